// The command exchange cycle: send the command line, collect the reply until
// the line stays quiet, evaluate it.
#include <cstdint>
#include <string>

#include "setup/setup_form.h"
#include "toolkit/codepage.h"

namespace setup {

const std::string& ApplicationTitle() {
  static const std::string title = toolkit::Cp1251("ЗОРВИК");
  return title;
}

const std::string& CrossLine() {
  static const std::string line = [] {
    std::string s;
    for (int i = 0; i < 20; ++i) s += "X ";
    return s;
  }();
  return line;
}

TSetupForm::TSetupForm(toolkit::Toolkit& tk, serial::SerialPlatform& platform) : port(tk, platform), tk_(tk) {
  port.SetPort(serial::pnCustom);
  port.SetPortName("\\\\.\\COM2");
  port.SetStopBits(serial::sb2BITS);
  port.SetOnReceiveData([this](serial::TSerialDriver* s, const char* p, uint32_t n) { portReceiveData(s, p, n); });
  // A port that is gone cannot be used: its status must not go on saying free.
  port.SetOnDeviceLost(
      [this](serial::TSerialDriver*) { ShowPortBusy({serial::OpenProblem::NoSuchPort, {}}); });
  Trx = tk.CreateTimer(200, [this] { TrxTimer(); });
  Tgo = tk.CreateTimer(500, [this] { TgoTimer(); });
  Terror = tk.CreateTimer(3000, [this] { TerrorTimer(); });
  Tw = tk.CreateTimer(500, [this] { TwTimer(); });
}

TSetupForm::~TSetupForm() = default;

void TSetupForm::WaitMilliseconds(uint32_t ms) {
  const uint32_t t0 = tk_.TickCount();
  for (uint32_t passed; !closing_ && (passed = tk_.TickCount() - t0) < ms;) tk_.WaitForEvents(ms - passed);
}

void TSetupForm::WindowClosing() {
  closing_ = true;
  AutoMode = false;
  for (toolkit::Timer* timer : {Trx.get(), Tgo.get(), Terror.get(), Tw.get()}) timer->SetEnabled(false);
  port.Disconnect();
}

void TSetupForm::LEHTKeyPress(char& Key) {
  if (Key != '\r' || closing_) return;
  const std::string text = CommandText() + "\r";
  AppendLog(toolkit::Cp1251("Команда= ") + text);
  ReplyText.clear();
  ReplyLength = 0;
  Terror->SetEnabled(true);
  if (port.Connect()) {
    port.SendString(text);
  } else {
    SetLogColour(clError);
    AppendLog(toolkit::Cp1251("нет соединения с портом"));
    Terror->SetEnabled(false);
  }
}

void TSetupForm::IssueCommand(const std::string& text) {
  SetCommandText(text);
  char key = '\r';
  LEHTKeyPress(key);
}

void TSetupForm::FinishExchange() {
  SetStartEnabled(true);
  ReplyText.clear();
  ReplyLength = 0;
}

void TSetupForm::portReceiveData(serial::TSerialDriver*, const char* DataPtr, uint32_t DataSize) {
  if (closing_) return;
  if (!collecting_ || ReplyText.empty()) {
    collecting_ = true;
    collectionStartTick_ = tk_.TickCount();
    collectionStartLength_ = int32_t(ReplyText.size());
  }
  ReplyText.append(DataPtr, DataSize);
  Trx->SetEnabled(true);
  Terror->SetEnabled(false);
}

void TSetupForm::TrxTimer() {
  const int32_t len = int32_t(ReplyText.size());
  WaitMilliseconds(10);
  if (closing_) return;
  if (len > ReplyLength) {
    ReplyLength = len;
    // Still growing past the bounds: evaluate what came so far.
    if (!CollectedTooLong(len)) return;
  }
  collecting_ = false;  // what follows is collected afresh
  Trx->SetEnabled(false);
  Tgo->SetEnabled(true);
}

bool TSetupForm::CollectedTooLong(int32_t length) const {
  return length - collectionStartLength_ >= kLongestReplyBytes ||
         tk_.TickCount() - collectionStartTick_ >= kLongestReplyMs;
}

void TSetupForm::TgoTimer() {
  Tgo->SetEnabled(false);
  if (closing_) return;
  if (CommandText().empty()) {
    if (ReplyText.find("SYSSTART") != std::string::npos) AppendLog(toolkit::Cp1251("можно начинать"));
    FinishExchange();
    return;
  }
  if (ReplyLength == 0) {
    AppendLog(toolkit::Cp1251("НЕТ ОТВЕТА (0 байт)"));
    SetLogColour(clError);
    FinishExchange();
    return;
  }
  std::string shown;
  shown.reserve(ReplyText.size());
  for (char c : ReplyText)
    if (c != '\r' && c != '\n') shown.push_back(c);
  AppendLog(toolkit::Cp1251("ответ(без CR и LF)=") + shown);
  if (ManualTerminal()) AutoMode = false;
  if (!AutoMode) {
    AppendLog(CrossLine());
    if (!ManualTerminal()) AppendLog(toolkit::Cp1251("процесс прерван"));
    FinishExchange();
    return;
  }
  AdvanceSequence(CommandText());
}

void TSetupForm::TerrorTimer() {
  SetStartEnabled(true);
  AutoMode = true;
  Trx->SetEnabled(false);
  Tgo->SetEnabled(false);
  Terror->SetEnabled(false);
  SetLogColour(clError);
  AppendLog(toolkit::Cp1251("НЕТ СВЯЗИ c модемом"));
  AppendLog(CrossLine());
}

void TSetupForm::BBBClick() {
  DtrModeRemark.clear();
  SetStartEnabled(false);
  AutoMode = true;
  IssueCommand("ATI");
}

void TSetupForm::BBEClick() {
  AutoMode = false;
  SetLogColour(clNormal);
  SetStartEnabled(true);
  SetCommandText(std::string());
}

}  // namespace setup
