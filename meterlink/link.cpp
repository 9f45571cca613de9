#include "meterlink/link.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <string_view>

#include "meterlink/comma_text.h"
#include "meterlink/ucv.h"
#include "toolkit/codepage.h"

namespace meterlink {

using toolkit::Cp1251;

namespace {

// Letter case in Windows-1251: Latin, Cyrillic А..я, Ё/ё.
unsigned char Fold(char ch) {
  const auto c = static_cast<unsigned char>(ch);
  if (c >= 'A' && c <= 'Z') return static_cast<unsigned char>(c + 32);
  if (c >= 0xC0 && c <= 0xDF) return static_cast<unsigned char>(c + 32);
  if (c == 0xA8) return 0xB8;
  return c;
}

size_t FindNoCase(std::string_view text, std::string_view what, size_t from = 0) {
  if (what.empty() || text.size() < what.size()) return std::string_view::npos;
  for (size_t i = from; i + what.size() <= text.size(); ++i) {
    size_t k = 0;
    while (k < what.size() && Fold(text[i + k]) == Fold(what[k])) ++k;
    if (k == what.size()) return i;
  }
  return std::string_view::npos;
}

bool ContainsNoCase(std::string_view text, std::string_view what) {
  return FindNoCase(text, what) != std::string_view::npos;
}

// One pass from the left; what a removal brings together is not looked at again.
std::string RemoveAllNoCase(const std::string& text, const std::string& what) {
  if (what.empty()) return text;
  std::string out;
  size_t pos = 0;
  for (size_t hit; (hit = FindNoCase(text, what, pos)) != std::string::npos; pos = hit + what.size())
    out.append(text, pos, hit - pos);
  out.append(text, pos, std::string::npos);
  return out;
}


std::string Trim(const std::string& s) {
  size_t b = 0, e = s.size();
  while (b < e && IsBlank(s[b])) ++b;
  while (e > b && IsBlank(s[e - 1])) --e;
  return s.substr(b, e - b);
}

std::string TwoDigits(uint32_t n) {
  std::string s = std::to_string(n);
  return s.size() < 2 ? "0" + s : s;
}

// Remaining whole seconds of the response wait. Past the period (a nested
// Dial shares ElapsedMs) it shows 0 rather than a wrapped-around count.
uint32_t RemainingSeconds(const TLink& L) {
  const uint32_t period = L.ResponseTimer->Interval();
  return L.ElapsedMs >= period ? 0 : (period - L.ElapsedMs) / 1000;
}

}  // namespace

bool IsDialString() {
  TLink* L = Link();
  if (!L) return false;
  static constexpr std::string_view kDialChars = "0123456789*#+ABC,TP!W@";
  for (char c : L->DialTarget) {
    char upper = c;
    if (c >= 'a' && c <= 'z') upper = char(c - 32);
    if (kDialChars.find(upper) == std::string_view::npos) return false;
  }
  return true;
}

void LinkLog(const std::string& Text, bool IsInfo, toolkit::TColor Colour) {
  TLink* L = Link();
  if (!L) return;
  L->LinkLogText += Text;
  L->LinkLogText += L->LogSeparator;
  if (!IsInfo && L->LinkErrorText.find(Text) == std::string::npos) {
    L->LinkErrorText += Text;
    L->LinkErrorText += L->LogSeparator;
  }
  if (L->LogCallback && Colour != clWindow) L->LogCallback(Text, Colour);
  if (L->LogView) {
    L->LogView->AppendLine(Text);
    // The caret goes to the very end, behind the new line's break: the
    // countdown then overwrites that break with its two digits, so the
    // seconds stand at the end of the last line and nothing logged is lost.
    L->LogView->SetSelStart(L->LogView->TextLength());
  }
}

void LinkWait(int32_t Milliseconds) {
  TLink* L = Link();
  if (!L || Milliseconds <= 0) return;
  toolkit::Toolkit& tk = *L->tk;
  const uint32_t ms = uint32_t(Milliseconds);
  const uint32_t t0 = tk.TickCount();
  // Differences of the 32-bit tick count are taken modulo 2^32, so a wrap
  // during the wait does not cut it short or make it endless.
  for (uint32_t passed; (passed = tk.TickCount() - t0) < ms;) tk.WaitForEvents(ms - passed);
}

void Dial() {
  TLink* L = Link();
  if (!L) return;
  L->LinkErrorText.clear();
  L->LinkLogText.clear();
  for (int attempt = 1; attempt <= L->AttemptCount; ++attempt) {
    LinkLog(Cp1251("попытка № ") + std::to_string(attempt), true, clOlive);
    DialOnce();
    if (L->LinkErrorText.empty()) break;
    L->LinkPort->Disconnect();
    LinkWait(4000);
  }
}

void DialOnce() {
  TLink* L = Link();
  if (!L) return;
  L->LinkErrorText.clear();
  if (L->DialTarget == "+++")
    L->DialCommand = "+++";
  else if (L->DialTarget == "ATH")
    L->DialCommand = "ATH\r";
  else if (IsDialString())
    L->DialCommand = "ATDT" + L->DialTarget + "\r";
  else
    L->DialCommand = L->DialTarget;
  LinkLog(Cp1251(IsDialString() ? "Вызываю " : "Посылаю ") + L->DialCommand, true, clOlive);

  if (!L->LinkPort->Connect()) {
    L->LinkState = 1;
    LinkLog(Cp1251("порт занят(отсутствует)"), false, clRed);
    return;
  }
  L->LinkPort->PurgeBuffers(true, true);
  L->LinkPort->SetInputTimeout(1000);
  L->RxText.clear();
  L->RxLastLength = 0;
  L->RxCollecting = true;
  L->LinkState = 2;
  // A ResponseTimeout changed by the host counts from the next fresh wait; a
  // timer still running from an earlier attempt keeps its phase.
  if (!L->ResponseTimer->Enabled()) {
    const uint32_t period = uint32_t(std::max<int32_t>(L->ResponseTimeout, 1));
    if (L->ResponseTimer->Interval() != period) L->ResponseTimer->SetInterval(period);
  }
  L->ResponseTimer->SetEnabled(true);

  if (!L->LinkPort->SendString(L->DialCommand)) {
    L->LinkState = 1;
    LinkLog(Cp1251("Не удалось послать (нет связи)") + L->DialTarget, false, clRed);
    return;
  }

  // A pass must take time, or a PollStep of 0 would spin without ever
  // letting the answer in.
  const int32_t step = std::max<int32_t>(L->PollStep, 1);
  while (L->ResponseTimer->Enabled()) {
    L->ElapsedMs += uint32_t(step);
    const uint32_t remaining = RemainingSeconds(*L);
    if (TLogView* view = L->LogView) {
      view->SetSelStart(std::max<int32_t>(view->SelStart() - 2, 0));
      view->SetSelLength(2);
      view->SetSelText(TwoDigits(remaining));
    }
    if (L->LogCallback && IsDialString()) {
      L->LogCallback(Cp1251("Соединение с № ") + L->DialTarget + Cp1251(" Ждите... ") + TwoDigits(remaining) +
                         Cp1251(" сек"),
                     clOlive);
    }
    L->LinkState = 2;
    LinkWait(step);
  }
  L->ElapsedMs = 0;
}

void TNoVisibleDriver::UnitePort(const serial::TSerialDriver& Source) {
  if (&Source == this) return;
  SetPort(Source.Port());
  SetPortName(Source.PortName());
  SetBaudRate(Source.BaudRate());
  SetBaudRateValue(Source.BaudRateValue());
  SetDataBits(Source.DataBits());
  SetStopBits(Source.StopBits());
  SetParity(Source.Parity());
  SetHwFlow(Source.HwFlow());
  SetSwFlow(Source.SwFlow());
  SetInBufSize(Source.InBufSize());
  SetOutBufSize(Source.OutBufSize());
  SetPacketSize(Source.PacketSize());
  SetPacketTimeout(Source.PacketTimeout());
  SetPacketMode(Source.PacketMode());
  SetPollingDelay(Source.PollingDelay());
  SetEnableDTROnOpen(Source.EnableDTROnOpen());
  SetOutputTimeout(Source.OutputTimeout());
  SetInputTimeout(Source.InputTimeout());
  SetCheckLineStatus(Source.CheckLineStatus());
}

void TNoVisibleDriver::ReceiveDataOn(serial::TSerialDriver*, const char* DataPtr, uint32_t DataSize) {
  TLink* L = Link();
  if (!L || !L->RxCollecting || !DataPtr) return;
  L->RxText.append(DataPtr, DataSize);
  L->RxTimer->SetEnabled(true);
}

TNoVisibleTimer::TNoVisibleTimer(toolkit::Toolkit& tk, uint32_t intervalMs)
    : timer_(tk.CreateTimer(intervalMs, [this] { Fire(); })) {}

void TNoVisibleTimer::TimerOnForRX(toolkit::Timer*) {
  TLink* L = Link();
  if (!L) return;
  const int64_t length = int64_t(L->RxText.size());
  if (length > L->RxLastLength) {
    L->RxLastLength = int32_t(std::min<int64_t>(length, INT32_MAX));
    return;
  }
  L->RxTimer->SetEnabled(false);
  L->RxLastLength = 0;
  LinkLog(Cp1251("Принял ") + std::to_string(length) + Cp1251(" байт=") + L->RxText, true, clWindow);

  L->RxText = RemoveAllNoCase(L->RxText, L->DialCommand);
  if (L->RxText.empty()) {
    // Only the echo so far: keep listening.
    L->LinkState = 2;
    LinkLog(Cp1251("Принял  0 байт="), true, clWindow);
    return;
  }
  L->ResponseTimer->SetEnabled(false);
  L->RxCollecting = false;
  std::string answer = Trim(L->RxText);

  if (ContainsNoCase(answer, "connect")) {
    L->LinkState = 0;
    LinkLog(L->DialTarget + Cp1251(" на связи"), true, clGreen);
    return;
  }
  if (ContainsNoCase(answer, "busy")) {
    L->LinkState = 1;
    LinkLog(answer + Cp1251(" (занято)"), false, clRed);
    return;
  }
  // NO CARRIER and NO DIALTONE come with a blank.
  answer.erase(std::remove(answer.begin(), answer.end(), ' '), answer.end());
  if (ContainsNoCase(answer, "NOCARRIER")) {
    L->LinkState = 1;
    LinkLog(answer + Cp1251(" (нет несущей)"), false, clRed);
    return;
  }
  if (ContainsNoCase(answer, "NODIALTONE")) {
    L->LinkState = 1;
    LinkLog(answer + Cp1251(" (нет гудка)"), false, clRed);
    return;
  }
  if (ContainsNoCase(answer, "OK") && L->DialTarget == "+++") {
    LinkLog(Cp1251(" отключаюсь..."), true, clOlive);
    L->DialTarget = "ATH";
    Dial();  // the hang-up proper, nested in this handler
    return;
  }
  if (ContainsNoCase(answer, "OK") && L->DialTarget == "ATH") {
    L->LinkState = 1;
    LinkLog(Cp1251(" отключился "), true, clGreen);
    L->LinkPort->Disconnect();
    return;
  }
  if (ContainsNoCase(answer, "OK")) {
    L->LinkState = 0;
    // In the background colour on purpose: the host's hook does not see it.
    LinkLog(answer + Cp1251(" (вызываемый не в режиме передачи данных, проверьте номер)"), false, clWindow);
    return;
  }
  // The state changes after the line here: a hook reading it still sees 2.
  LinkLog(answer + Cp1251(" (ответ непонятен)"), false, clRed);
  L->LinkState = 1;
}

void TNoVisibleTimer::TimerOnForTimeOut(toolkit::Timer*) {
  TLink* L = Link();
  if (!L) return;
  L->ResponseTimer->SetEnabled(false);
  L->RxTimer->SetEnabled(false);
  L->RxCollecting = false;
  L->LinkState = 1;
  LinkLog(Cp1251("превышено время ожидания ответа ") + std::to_string(L->ResponseTimer->Interval() / 1000) +
              Cp1251(" сек"),
          false, clRed);
}

}  // namespace meterlink
