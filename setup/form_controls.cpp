// The handlers of the window's other controls, written once for both windows:
// the window's making, the port choice and its status, the PIN/PUK entry, the
// check boxes, the DTR choice, the gauge, the log pane's lines and gestures
// and the log file.
#include <algorithm>
#include <string>
#include <vector>

#include "setup/form_description.h"
#include "setup/log_file.h"
#include "setup/setup_form.h"
#include "toolkit/codepage.h"

namespace setup {

void TSetupForm::FormCreate(const std::vector<std::string>& ports, const std::string& caption) {
  SetPortList(ports);
  CBcomChange();
  SetCommandText(std::string());
  if (!caption.empty()) SetCaption(caption);
}

void TSetupForm::AppendLog(const std::string& line) { AddLogLine(line, !LogLastLineEmpty()); }

int TSetupForm::DtrIndex() const {
  for (int i = 0; i < kDtrItemCount; ++i)
    if (DtrItemChecked(i)) return i;
  return -1;
}

std::string TSetupForm::DtrItem(int index) const { return toolkit::Cp1251(DtrItemText(index)); }

// A smaller maximum cuts the progress; values outside are cut, not dropped.
void TSetupForm::SetGaugeMax(int32_t max) {
  gaugeMax_ = std::max(max, 0);
  gaugeProgress_ = std::min(gaugeProgress_, gaugeMax_);
  ShowGauge(gaugeMax_, gaugeProgress_);
}

void TSetupForm::SetGaugeProgress(int32_t progress) {
  gaugeProgress_ = std::clamp(progress, 0, gaugeMax_);
  ShowGauge(gaugeMax_, gaugeProgress_);
}

void TSetupForm::CBcomChange() {
  const std::string name = PortChoiceText();
  chosenPort_ = name;
  port.Disconnect();
  port.SetPortName(name);
  SetStartEnabled(true);
  if (port.Connect())
    SetPortStatus(toolkit::Cp1251("свободен"), toolkit::RGB(0, 128, 0), PortStatusHint({}));
  else
    ShowPortBusy(port.LastOpenFailure());
}

void TSetupForm::ShowPortBusy(const serial::OpenFailure& why) {
  SetPortStatus(toolkit::Cp1251("занят"), toolkit::RGB(255, 0, 0), PortStatusHint(why));
}

std::string PortStatusHint(const serial::OpenFailure& failure) {
  using serial::OpenProblem;
  const std::string& detail = failure.detail;
  const std::string because = detail.empty() ? "" : ": " + detail;
  switch (failure.problem) {
    case OpenProblem::None:
      return "порт открыт";
    case OpenProblem::NoPermission:
      if (detail.empty()) return "нет прав на этот порт";
      return "нет прав на этот порт: его открывают члены группы «" + detail +
             "».\nДобавьте себя в эту группу (sudo usermod -aG " + detail + " $USER) и войдите в систему заново";
    case OpenProblem::InUse:
      return "порт занят другой программой" + because;
    case OpenProblem::NoSuchPort:
      return "нет такого порта: устройства нет или оно отключено";
    case OpenProblem::SettingRefused:
      switch (failure.refusedStep) {
        case serial::LineStep::LineSettings:
          return "порт не принял настройки линии (скорость, формат)" + because;
        case serial::LineStep::Purge:
          return "порт не дал очистить свои буферы" + because;
        case serial::LineStep::QueueSizes:
          return "порт не принял размеры буферов" + because;
      }
      break;
    case OpenProblem::Other:
      break;
  }
  return "порт не открылся" + because;
}

void TSetupForm::LEpinKeyPress(char& Key) {
  if (Key == '\b' || Key == '.' || (Key >= '0' && Key <= '9')) return;
  if (Key == '\r') {
    IssueCommand("AT+CPIN=" + PukText() + "," + PinText() + "\r");
    return;
  }
  Key = 0;
}

void TSetupForm::CBpukClick() { SetPukEnabled(PukChecked()); }
void TSetupForm::CBhtClick() { SetCommandEnabled(ManualTerminal()); }

void TSetupForm::CBsendClick() {
  SetDtrEnabled(!SendChecked());
  if (SendChecked()) SetDtrIndex(2);
}

void TSetupForm::MEsetDblClick() {
  ClearLog();
  SetLogColour(clNormal);
}

void TSetupForm::MEsetMouseDown(bool ctrlHeld) {
  if (ctrlHeld) SaveLog();
}

void TSetupForm::LogPanePress(bool leftButton, bool ctrlHeld, bool doubleClick) {
  MEsetMouseDown(ctrlHeld);
  if (doubleClick && leftButton) MEsetDblClick();
}

bool TSetupForm::SaveLog() {
  const std::string file = LogFileName();
  std::string reason;
  if (ReplaceLogFile(file, LogText(), reason)) return true;
  tk_.ShowError(ApplicationTitle(), toolkit::Cp1251("Не удаётся записать файл \"" + file + "\".\n" + reason));
  return false;
}

}  // namespace setup
