// The configuration sequence. The state is the command line itself: each
// reply is judged against the command that produced it, by the first row of
// the table whose command matches.
#include <functional>
#include <string>
#include <vector>

#include "setup/setup_form.h"
#include "setup/text_between.h"
#include "setup/variant_message.h"
#include "toolkit/codepage.h"

namespace setup {
namespace {

bool Contains(const std::string& text, const std::string& what) { return text.find(what) != std::string::npos; }

std::string WithoutSpaces(std::string text) {
  std::erase(text, ' ');
  return text;
}

std::string WithoutCrLfPairs(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
      ++i;
      continue;
    }
    out.push_back(text[i]);
  }
  return out;
}

std::string NormBanner() { return std::string(10, '^') + " HOPMA " + std::string(10, 'v'); }
std::string PinBanner() { return std::string(10, '<') + toolkit::Cp1251(" ВВОД PIN-кода ") + std::string(10, '>'); }
std::string PowerPrompt(const char* first) {
  return toolkit::Cp1251(first) + "\n\r\n\r" + toolkit::Cp1251("2. НАЖМИТЕ КНОПУ \"ЛАДНО\"");
}

}  // namespace

std::string TextBetween(const std::string& text, const std::string& left, const std::string& right) {
  size_t start = 0;  // 0-based
  if (!left.empty()) {
    const size_t at = text.find(left);
    if (at != std::string::npos) start = at + left.size();
  }
  size_t end = text.size();
  if (!right.empty()) {
    const size_t at = text.find(right);
    if (at != std::string::npos) end = at;
  }
  return end > start ? text.substr(start, end - start) : std::string();
}

// One row: which command it is for, and its reply tests in order. A test
// with no predicate is the row's "otherwise".
struct SequenceRow {
  std::function<bool(const std::string& command, const std::string& pin)> matches;
  struct Test {
    std::function<bool(const std::string& reply)> holds;
    std::function<void(TSetupForm&)> outcome;
  };
  std::vector<Test> tests;
};

void TSetupForm::AdvanceSequence(const std::string&) {
  using Test = SequenceRow::Test;
  auto is = [](std::string c) { return [c](const std::string& cmd, const std::string&) { return cmd == c; }; };
  auto has = [](std::string t) { return [t](const std::string& r) { return Contains(r, t); }; };
  auto advance = [](std::string c) { return [c](TSetupForm& f) { f.Advance(c); }; };
  auto fail = [](const char* m) {
    std::string msg = toolkit::Cp1251(m);
    return [msg](TSetupForm& f) { f.Fail(msg); };
  };
  const char* kFactory = "не удалось установить заводские установки или ответ модема непонятен";
  const char* kExtra = "не удалось сохранить дополнительные установки или ответ модема непонятен";

  static const std::vector<SequenceRow> rows = {
      {is("ATI"),
       {{[](const std::string& r) { return Contains(r, "SIEMENS") && Contains(r, "C35i"); }, advance("AT+CPIN?")},
        {nullptr, [](TSetupForm& f) { f.ModelMismatch(); }}}},
      {is("AT+CPIN?"),
       {{has("SIM PIN"), [](TSetupForm& f) { f.PinEntry(); }},
        {has("READY"), advance("AT&F")},
        {has("SIM PUK"), [](TSetupForm& f) { f.PukDemand(); }},
        {nullptr, fail("ответ не понятен")}}},
      {[](const std::string& cmd, const std::string& pin) { return cmd == "AT+CPIN=" + pin; },
       {{has("OK"), [](TSetupForm& f) { f.StopWaitGauge(); f.Advance("AT+CLCK=SC,0," + f.PinText()); }},
        {has("ERROR"), [](TSetupForm& f) { f.PinRejected(); }},
        // Neither: the reply goes on growing and is judged again, whole.
        {nullptr, [](TSetupForm&) {}}}},
      {[](const std::string& cmd, const std::string& pin) { return cmd == "AT+CLCK=SC,0," + pin; },
       {{has("OK"), advance("AT&F")},
        {nullptr, fail("не удалось снять запрос PIN-кода или ответ модема непонятен")}}},
      {is("AT&F"), {{has("OK"), [](TSetupForm& f) { f.DtrStep(); }}, {nullptr, fail(kFactory)}}},
      {[](const std::string& cmd, const std::string&) { return Contains(cmd, "AT&D"); },
       {{has("OK"), advance("ATS0=1")}, {nullptr, fail(kFactory)}}},
      {is("ATS0=1"),
       {{has("OK"), advance("AT+CSNS=4")},
        {nullptr, fail("не удалось установить режим автоматически снимать трубку или ответ модема непонятен")}}},
      {is("AT+CSNS=4"),
       {{has("OK"), advance("AT+IPR=9600")},
        {nullptr,
         fail("не удалось установить автоматический переход в режим передачи данных или ответ модема непонятен")}}},
      {is("AT+IPR=9600"),
       {{has("OK"), advance("AT&W")},
        {nullptr, fail("не удалось задать скорость обмена 9600 или ответ модема непонятен")}}},
      {is("AT&W"),
       {{has("OK"), advance("AT^SMSO")},
        {nullptr, fail("не удалось сохранить основные установки или ответ модема непонятен")}}},
      {is("AT^SMSO"),
       // The shutdown report first: a quick modem sends it before the "OFF"
       // reply is judged, and emptying the buffer then would wait for ever.
       {{has("SHUTDOWN"), [](TSetupForm& f) { f.PowerCycle(); }},
        {has("OFF"), [](TSetupForm& f) { f.ReplyText.clear(); f.ReplyLength = 0; }},  // wait for the shutdown
        {has("SYSSTART"), advance("AT+CSNS?")},
        {nullptr, fail(kExtra)}}},
      {is("AT+CSNS?"),
       {{[](const std::string& r) { return Contains(WithoutSpaces(r), "+CSNS:4"); }, advance("AT&V")},
        {nullptr, fail(kExtra)}}},
      {is("AT&V"), {{nullptr, [](TSetupForm& f) { f.Verify(); }}}},
  };

  // The command line is read afresh at every comparison.
  for (const SequenceRow& row : rows) {
    if (!row.matches(CommandText(), PinText())) continue;
    for (const Test& test : row.tests) {
      if (!test.holds || test.holds(ReplyText)) {
        test.outcome(*this);
        return;
      }
    }
    return;
  }
  // A command not in the table: the reply has been logged and stays.
}

void TSetupForm::Advance(const std::string& command) {
  SetLogColour(clSuccess);
  AppendLog(NormBanner());
  AppendEmpty();
  IssueCommand(command);
}

void TSetupForm::Fail(const std::string& message) {
  SetLogColour(clError);
  AppendLog(CrossLine());
  AppendLog(message);
  FinishExchange();
}

void TSetupForm::ModelMismatch() {
  SetLogColour(clWarning);
  AppendLog(CrossLine());
  AppendLog(toolkit::Cp1251("марка модема не совпадает с заявленной"));
  IssueCommand("AT+CPIN?");
}

void TSetupForm::PinEntry() {
  SetLogColour(clSuccess);
  AppendLog(PinBanner());
  IssueCommand("AT+CPIN=" + PinText());
  StartWaitGauge(toolkit::Cp1251("ЖДИТЕ ОКОНЧАНИЯ ПРОВЕРКИ ПРАВИЛЬНОСТИ PIN-кода"), 20000);
  // The reply is judged by a nested evaluation, which stops the gauge.
  BlockWhileGaugeRuns();
}

void TSetupForm::PukDemand() {
  SetLogColour(clError);
  AppendLog(CrossLine());
  AppendLog(toolkit::Cp1251("требуется ввод PUK-кода"));
  const std::string text = toolkit::Cp1251("1. Установите галочку рядом с полем ввода PUK-кода") + "\r\r" +
                           toolkit::Cp1251("2. Введите PUK-код в соответствующее поле ввода") + "\r\r" +
                           toolkit::Cp1251("3. Нажмите на клавиатуре клавишу ВВОД(Enter)") + "\r\r";
  Prompt(text);
  FinishExchange();
}

void TSetupForm::PinRejected() {
  AppendLog(CrossLine());
  AppendLog(toolkit::Cp1251("PIN-код не принят. Проверьте правильность PIN-кода и нажмите кнопку \"НАЧАТЬ\" "));
  SetLogColour(clError);  // a failed step, whatever the PIN entry showed
  StopWaitGauge();
  FinishExchange();
}

void TSetupForm::DtrStep() {
  SetLogColour(clSuccess);
  AppendLog(NormBanner());
  AppendEmpty();
  const int index = DtrIndex();
  SetCommandText("AT&D" + std::to_string(index));
  DtrModeRemark = TextBetween(DtrItem(index), "(", ")");
  char key = '\r';
  LEHTKeyPress(key);
}

void TSetupForm::PowerCycle() {
  // The shutdown report is used up here, so that a start-up report coming
  // during the wait is judged on its own and moves the run on.
  ReplyText.clear();
  ReplyLength = 0;
  Prompt(PowerPrompt("1. ОТКЛЮЧИТЕ МОДЕМ ОТ ПИТАНИЯ"));
  StartWaitGauge(toolkit::Cp1251("ЖДИТЕ ВАЖНОГО СООБЩЕНИЯ"), PowerOffSeconds() * 1000);
  if (!BlockWhileGaugeRuns()) return;
  // Switched on during the wait: the run has gone on (emptying the buffer
  // would throw away a reply in flight), or its start-up report is in and
  // awaits its own evaluation. Either way the modem is on; do not ask.
  if (CommandText() != "AT^SMSO" || Contains(ReplyText, "SYSSTART")) return;
  ReplyText.clear();
  ReplyLength = 0;
  Prompt(PowerPrompt("1. ВКЛЮЧИТЕ ПИТАНИЕ МОДЕМА"));
  // The start-up report is judged by its own evaluation (nested, if it came
  // while the box was open). This one ends here: judging "AT+CSNS?" or
  // "AT&V" again with whatever part of their reply has arrived would fail a
  // good run, or evaluate one reply twice.
}

void TSetupForm::Prompt(const std::string& text) {
  if (!closing_) ShowVariantMessage(tk_, Variant::FromText(text), std::string(), std::string());
}

void TSetupForm::Verify() {
  const std::string t = WithoutSpaces(WithoutCrLfPairs(ReplyText));
  if (Contains(t, "S0:001") && Contains(t, "+IPR:9600") && Contains(t, "&D" + std::to_string(DtrIndex()))) {
    SetLogColour(clSuccess);
    AppendLog(NormBanner());
    AppendEmpty();
    AppendLog(toolkit::Cp1251("УСТАНОВКА ПАРАМЕТРОВ МОДЕМА (") + DtrModeRemark +
              toolkit::Cp1251(") - ЗАКОНЧИЛАСЬ УСПЕШНО"));
    AppendEmpty();
    FinishExchange();
    SetCommandText(std::string());
    return;
  }
  SetLogColour(clError);
  AppendLog(t);
  AppendLog(CrossLine());
  AppendLog(toolkit::Cp1251("не удалось сохранить основные установки или ответ модема непонятен"));
  FinishExchange();
}

}  // namespace setup
