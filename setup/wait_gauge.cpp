// The wait gauge: half-second steps under a blinking label, and the blocking
// wait that keeps the window alive.
#include <cstdint>
#include <string>

#include "setup/setup_form.h"

namespace setup {

void TSetupForm::StartWaitGauge(const std::string& caption, int32_t totalMs) {
  SetWaitCaption(caption);
  SetGaugeMax(totalMs);
  SetGaugeProgress(0);
  Tw->SetEnabled(true);  // the gauge and the label appear at the first tick
}

void TSetupForm::TwTimer() {
  SetGaugeProgress(GaugeProgress() + int32_t(Tw->Interval()));
  SetGaugeVisible(GaugeProgress() < GaugeMax());
  Tw->SetEnabled(GaugeVisible());
  if (Tw->Enabled())
    SetWaitLabelVisible(!WaitLabelVisible());
  else
    SetWaitLabelVisible(false);
}

bool TSetupForm::BlockWhileGaugeRuns() {
  struct Count {
    int& n;
    explicit Count(int& c) : n(c) { ++n; }
    ~Count() { --n; }
  } running(gaugeWaits_);
  for (;;) {
    if (!Tw->Enabled() && !closing_) return true;
    if (!AutoMode || closing_) {
      Tw->SetEnabled(false);
      SetStartEnabled(true);
      SetGaugeVisible(false);
      SetWaitLabelVisible(false);
      return false;
    }
    WaitMilliseconds(50);
  }
}

void TSetupForm::StopWaitGauge() {
  Tw->SetEnabled(false);
  SetWaitLabelVisible(false);
  SetGaugeVisible(false);
}

}  // namespace setup
