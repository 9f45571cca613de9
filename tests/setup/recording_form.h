// The set-up behind controls held in memory: what the window would show is
// recorded, what the operator would have entered is set by the test.
#pragma once

#include <string>
#include <vector>

#include "setup/setup_form.h"

namespace testing_setup {

class RecordingForm final : public setup::TSetupForm {
 public:
  using TSetupForm::TSetupForm;

  std::string command, pin;
  std::vector<std::string> log;
  toolkit::TColor colour = setup::clNormal;
  bool startEnabled = true, manual = false;
  int dtr = 1, powerOff = 1;
  bool gaugeVisible = false, labelVisible = false;
  std::string caption;
  std::vector<std::string> ports;
  std::string portStatus, portHint;  // LAcom's text and tooltip (UTF-8)

 protected:
  void SetPortList(const std::vector<std::string>& list) override { ports = list; }
  void SetCaption(const std::string&) override {}
  std::string CommandText() const override { return command; }
  void SetCommandText(const std::string& text) override { command = text; }
  bool LogLastLineEmpty() const override { return true; }
  void AddLogLine(const std::string& line, bool) override { log.push_back(line); }
  void SetLogColour(toolkit::TColor c) override { colour = c; }
  void SetStartEnabled(bool enabled) override { startEnabled = enabled; }
  bool ManualTerminal() const override { return manual; }
  std::string PinText() const override { return pin; }
  bool DtrItemChecked(int index) const override { return index == dtr; }
  int PowerOffSeconds() const override { return powerOff; }
  void ShowGauge(int32_t, int32_t) override {}
  void SetGaugeVisible(bool v) override { gaugeVisible = v; }
  bool GaugeVisible() const override { return gaugeVisible; }
  void SetWaitCaption(const std::string& c) override { caption = c; }
  void SetWaitLabelVisible(bool v) override { labelVisible = v; }
  bool WaitLabelVisible() const override { return labelVisible; }
  std::string PortChoiceText() const override { return ports.empty() ? std::string() : ports.front(); }
  void SetPortStatus(const std::string& text, toolkit::TColor, const std::string& hint) override {
    portStatus = text;
    portHint = hint;
  }
  std::string PukText() const override { return {}; }
  bool PukChecked() const override { return false; }
  void SetPukEnabled(bool) override {}
  void SetCommandEnabled(bool) override {}
  bool SendChecked() const override { return false; }
  void SetDtrEnabled(bool) override {}
  void SetDtrIndex(int) override {}
  std::string LogText() const override { return {}; }
  void ClearLog() override {}
};

}  // namespace testing_setup
