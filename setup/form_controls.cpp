// The handlers of the window's other controls, written once for both windows:
// the port choice and its status, the PIN/PUK entry, the check boxes, the log
// pane's gestures and the log file.
#include <string>

#include "setup/log_file.h"
#include "setup/setup_form.h"
#include "toolkit/codepage.h"

namespace setup {

void TSetupForm::CBcomChange() {
  const std::string name = PortChoiceText();
  chosenPort_ = name;
  port.Disconnect();
  port.SetPortName(name);
  SetStartEnabled(true);
  if (port.Connect())
    SetPortStatus(toolkit::Cp1251("свободен"), toolkit::RGB(0, 128, 0));
  else
    ShowPortBusy();
}

void TSetupForm::ShowPortBusy() { SetPortStatus(toolkit::Cp1251("занят"), toolkit::RGB(255, 0, 0)); }

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
