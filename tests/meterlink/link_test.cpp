// The dial-up link in virtual time: calls, hang-up, failed attempts, time-out,
// the countdown and the log lines, against the modem emulator and against
// modems scripted on the simulated line.
#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "link_rig.h"

using namespace linktest;
using meterlink::clGreen;
using meterlink::clOlive;
using meterlink::clRed;
using meterlink::clWindow;
using toolkit::Cp1251;

namespace {

class Link : public Rig {};

}  // namespace

TEST_F(Link, ConnectStopsAfterOneAttemptAndLeavesThePortOpen) {
  modemsim::SimModem& m = Emulator();
  const uint64_t took = DialTo("5551234");

  EXPECT_EQ(L->LinkState, 0);
  EXPECT_TRUE(port.IsOpen());
  EXPECT_EQ(port.OpenCount(), 1);
  EXPECT_TRUE(m.engine().InDataMode());
  EXPECT_EQ(port.Transmitted(), "ATDT5551234\r");
  EXPECT_EQ(Log(),
            "попытка № 1|Вызываю ATDT5551234\r|Принял 12 байт=ATDT5551234\r|Принял  0 байт=|"
            "Принял 20 байт=\r\nCONNECT 9600/RLP\r\n|5551234 на связи|");
  EXPECT_EQ(Errors(), "");
  // The dial takes the modem 6 s; the answer is taken after 200 ms of quiet.
  EXPECT_GE(took, 6000u);
  EXPECT_LE(took, 7000u);
  EXPECT_FALSE(L->ResponseTimer->Enabled());
  EXPECT_EQ(L->ElapsedMs, 0u);

  // The hook sees neither the received-bytes lines nor the countdown in the log.
  EXPECT_EQ(HookedLines(), (std::vector<std::string>{"попытка № 1", "Вызываю ATDT5551234\r", "5551234 на связи"}));
  EXPECT_EQ(hooked.back().colour, clGreen);
  // A countdown line every half second from 34 on.
  const std::vector<std::string> countdown = Countdown();
  ASSERT_GE(countdown.size(), 12u);
  EXPECT_EQ(countdown[0], "Соединение с № 5551234 Ждите... 34 сек");
  EXPECT_EQ(countdown[1], "Соединение с № 5551234 Ждите... 34 сек");
  EXPECT_EQ(countdown[2], "Соединение с № 5551234 Ждите... 33 сек");
  uint64_t prev = 0;
  for (const Hooked& h : hooked) {
    if (h.text.rfind("Соединение", 0) != 0) continue;
    if (prev) {
      EXPECT_EQ(h.atMs - prev, 500u);
    }
    prev = h.atMs;
    EXPECT_EQ(h.colour, clOlive);
  }
  EXPECT_EQ(Count(Log(), "Соединение"), 0u);
}

TEST_F(Link, HangUpEscapesThenSendsAthThroughTheNestedDial) {
  modemsim::SimModem& m = Emulator();
  DialTo("5551234");
  ASSERT_EQ(L->LinkState, 0);
  tk.RunFor(1500);  // the modem wants a second of silence before "+++"
  hooked.clear();

  DialTo("+++");
  EXPECT_EQ(L->LinkState, 1);
  EXPECT_FALSE(port.IsOpen());
  EXPECT_FALSE(m.engine().InCall());
  EXPECT_EQ(L->DialTarget, "ATH");
  EXPECT_EQ(port.Transmitted(), "ATDT5551234\r+++ATH\r");
  // The nested Dial emptied the logs: only the hang-up proper is left.
  EXPECT_EQ(Log(), "попытка № 1|Посылаю ATH\r|Принял 10 байт=ATH\r\r\nOK\r\n| отключился |");
  EXPECT_EQ(Errors(), "");
  EXPECT_EQ(HookedLines(), (std::vector<std::string>{"попытка № 1", "Вызываю +++", " отключаюсь...", "попытка № 1",
                                                     "Посылаю ATH\r", " отключился "}));
  // "+++" counts as a dial string: its wait shows a countdown; "ATH" does not.
  const std::vector<std::string> countdown = Countdown();
  ASSERT_FALSE(countdown.empty());
  EXPECT_EQ(countdown[0], "Соединение с № +++ Ждите... 34 сек");
  for (const std::string& line : countdown) EXPECT_EQ(line.find("ATH"), std::string::npos);
  // The outer wait ended with the nested one.
  EXPECT_FALSE(L->ResponseTimer->Enabled());
  EXPECT_EQ(L->ElapsedMs, 0u);
}

namespace {

struct Failure {
  modemsim::DialResult result;
  const char* line;  // what the attempt leaves in LinkErrorText
  uint8_t stateSeen;  // LinkState as the hook sees it during that line
};

void PrintTo(const Failure& f, std::ostream* os) { *os << f.line; }

class FailedCall : public Rig, public ::testing::WithParamInterface<Failure> {};

}  // namespace

TEST_P(FailedCall, ThreeAttemptsWithFourSecondPausesAndTheLastAttemptsError) {
  modemsim::Settings s = Ready();
  s.dialResult = GetParam().result;
  s.dialMs = 3000;
  Emulator(s);
  const uint64_t took = DialTo("5551234");
  const std::string line = GetParam().line;

  EXPECT_EQ(L->LinkState, 1);
  EXPECT_FALSE(port.IsOpen());
  EXPECT_EQ(port.OpenCount(), 3);
  EXPECT_EQ(Count(port.Transmitted(), "ATDT5551234\r"), 3u);
  EXPECT_EQ(Errors(), line + "|");
  EXPECT_EQ(Count(Log(), line + "|"), 3u);
  for (const char* n : {"попытка № 1|", "попытка № 2|", "попытка № 3|"}) EXPECT_EQ(Count(Log(), n), 1u);

  // Each failed attempt is followed by a close and a 4 s pause, the last too.
  std::vector<uint64_t> verdicts, attempts;
  for (const Hooked& h : hooked) {
    if (h.text == line) {
      verdicts.push_back(h.atMs);
      EXPECT_EQ(h.colour, clRed);
      EXPECT_EQ(h.state, GetParam().stateSeen);
    }
    if (h.text.rfind("попытка", 0) == 0) attempts.push_back(h.atMs);
  }
  ASSERT_EQ(verdicts.size(), 3u);
  ASSERT_EQ(attempts.size(), 3u);
  for (size_t i = 0; i + 1 < 3; ++i) {
    EXPECT_GE(attempts[i + 1] - verdicts[i], 4000u);
    EXPECT_LE(attempts[i + 1] - verdicts[i], 4500u);
  }
  EXPECT_GE(took - verdicts[2] + attempts[0], 4000u);
  EXPECT_LE(took, 3 * (3000 + 1000 + 4500u));
}

// NO CARRIER and NO DIALTONE lose their blank; BUSY keeps the answer as it
// came; an answer the table does not know sets the state only after its
// line, so the hook still sees 2 there.
INSTANTIATE_TEST_SUITE_P(Answers, FailedCall,
                         ::testing::Values(Failure{modemsim::DialResult::Busy, "BUSY (занято)", 1},
                                           Failure{modemsim::DialResult::NoCarrier, "NOCARRIER (нет несущей)", 1},
                                           Failure{modemsim::DialResult::NoDialtone, "NODIALTONE (нет гудка)", 1},
                                           Failure{modemsim::DialResult::NoAnswer, "NOANSWER (ответ непонятен)", 2}));

TEST_F(Link, NoAnswerTimesOutAfter35SecondsWithTheCountdownDownToZero) {
  Emulator().settings().dialResult = modemsim::DialResult::Silent;
  L->AttemptCount = 1;
  const uint64_t took = DialTo("777");

  EXPECT_EQ(L->LinkState, 1);
  EXPECT_EQ(Errors(), "превышено время ожидания ответа 35 сек|");
  EXPECT_EQ(Log(),
            "попытка № 1|Вызываю ATDT777\r|Принял 8 байт=ATDT777\r|Принял  0 байт=|"
            "превышено время ожидания ответа 35 сек|");
  ASSERT_FALSE(hooked.empty());
  EXPECT_EQ(hooked.back().text, "превышено время ожидания ответа 35 сек");
  EXPECT_EQ(hooked.back().colour, clRed);
  EXPECT_GE(hooked.back().atMs, 35000u);
  EXPECT_LT(hooked.back().atMs, 35100u);
  EXPECT_GE(took, 39000u);  // the time-out, then the pause after the attempt
  EXPECT_LE(took, 39600u);
  const std::vector<std::string> countdown = Countdown();
  ASSERT_EQ(countdown.size(), 70u);
  EXPECT_EQ(countdown.back(), "Соединение с № 777 Ждите... 00 сек");
  EXPECT_FALSE(L->RxCollecting);
  EXPECT_FALSE(L->RxTimer->Enabled());
}

TEST_F(Link, EchoAloneKeepsWaitingAndAPlainCommandIsSentAsItIs) {
  // "12-34" is no dial string: sent unchanged, without a CR, so a modem
  // never takes it as a command and only its echo comes back.
  ScriptedModem& m = Scripted();
  L->AttemptCount = 1;
  DialTo("12-34");
  EXPECT_EQ(port.Transmitted(), "12-34");
  EXPECT_TRUE(m.commands.empty());
  EXPECT_EQ(Log(),
            "попытка № 1|Посылаю 12-34|Принял 5 байт=12-34|Принял  0 байт=|"
            "превышено время ожидания ответа 35 сек|");
  EXPECT_TRUE(Countdown().empty());  // no countdown for what is not a dial string
}

TEST_F(Link, EchoIsRemovedInAnyLetterCase) {
  ScriptedModem& m = Scripted();
  m.echo = false;
  m.script = [](const std::string&) { return std::string("atdt55\r\r\nCONNECT 9600\r\n"); };
  DialTo("55");
  EXPECT_EQ(L->LinkState, 0);
  EXPECT_EQ(Log(), "попытка № 1|Вызываю ATDT55\r|Принял 23 байт=atdt55\r\r\nCONNECT 9600\r\n|55 на связи|");
}

TEST_F(Link, OkToAPlainCommandCountsAsFailedAndNeverReachesTheHook) {
  modemsim::SimModem& m = Emulator();
  DialTo("ATZ\r");

  const std::string row7 = "OK (вызываемый не в режиме передачи данных, проверьте номер)";
  EXPECT_EQ(L->LinkState, 0);
  EXPECT_EQ(Errors(), row7 + "|");
  EXPECT_EQ(Count(Log(), row7), 3u);  // an error line was logged: three attempts
  EXPECT_EQ(Count(Log(), "Посылаю ATZ\r|"), 3u);
  EXPECT_EQ(std::count(m.engine().Commands().begin(), m.engine().Commands().end(), "ATZ"), 3);
  EXPECT_FALSE(port.IsOpen());
  for (const Hooked& h : hooked) EXPECT_EQ(h.text.find("вызываемый"), std::string::npos);
  EXPECT_EQ(HookedLines().size(), 6u);  // the attempt and the send line, three times
}

TEST_F(Link, DialStringsAndWhatIsSentForThem) {
  struct Case {
    const char* target;
    bool dial;
  };
  const Case cases[] = {{"", true},       {"t123", true},  {"0123456789*#+ABC,TP!W@", true},
                        {"abc,tpw!@", true}, {"12-34", false}, {"1 2", false},
                        {"(812)", false},   {"D1", false},    {"1\r", false},
                        {"ATH", false},     {"Я1", false}};
  for (const Case& c : cases) {
    L->DialTarget = Cp1251(c.target);
    EXPECT_EQ(meterlink::IsDialString(), c.dial) << c.target;
  }

  ScriptedModem& m = Scripted();
  m.script = [](const std::string&) { return std::string("\r\nERROR\r\n"); };
  L->AttemptCount = 1;
  DialTo("");
  EXPECT_EQ(port.Transmitted(), "ATDT\r");
  EXPECT_EQ(Log(), "попытка № 1|Вызываю ATDT\r|Принял 14 байт=ATDT\r\r\nERROR\r\n|ERROR (ответ непонятен)|");
  EXPECT_EQ(L->LinkState, 1);
  DialTo("t123");
  EXPECT_EQ(port.Transmitted(), "ATDT\rATDTt123\r");
  EXPECT_EQ(Count(Log(), "Вызываю ATDTt123\r|"), 1u);
}

TEST_F(Link, ZeroAttemptsOnlyEmptyTheLogs) {
  L->AttemptCount = 0;
  L->LinkLogText = "old|";
  L->LinkErrorText = "old|";
  const uint64_t took = DialTo("123");
  EXPECT_EQ(L->LinkLogText, "");
  EXPECT_EQ(L->LinkErrorText, "");
  EXPECT_EQ(took, 0u);
  EXPECT_EQ(port.OpenCount(), 0);
  EXPECT_TRUE(hooked.empty());
  EXPECT_EQ(L->LinkState, 1);
}

TEST_F(Link, PortThatCannotBeOpenedOrWrittenFailsEachAttempt) {
  port.heldElsewhere = true;
  const uint64_t took = DialTo("123");
  EXPECT_EQ(L->LinkState, 1);
  EXPECT_EQ(Errors(), "порт занят(отсутствует)|");
  EXPECT_EQ(Count(Log(), "порт занят(отсутствует)|"), 3u);
  EXPECT_EQ(port.OpenCount(), 0);
  EXPECT_EQ(took, 12000u);  // three 4 s pauses and nothing else
  EXPECT_FALSE(L->ResponseTimer->Enabled());

  port.heldElsewhere = false;
  port.failWrites = true;
  L->AttemptCount = 1;
  hooked.clear();
  DialTo("123");
  EXPECT_EQ(L->LinkState, 1);
  EXPECT_EQ(Errors(), "Не удалось послать (нет связи)123|");
  EXPECT_FALSE(port.IsOpen());
  // As the link is laid out, the response timer and the collection are left
  // running after a failed send; the time-out then arrives after Dial returned.
  EXPECT_TRUE(L->ResponseTimer->Enabled());
  EXPECT_TRUE(L->RxCollecting);
  tk.RunFor(35'000);
  EXPECT_EQ(hooked.back().text, "превышено время ожидания ответа 35 сек");
  EXPECT_FALSE(L->ResponseTimer->Enabled());
}

TEST_F(Link, LogLinesErrorsOnceHookAndSeparator) {
  L->LogSeparator = '#';
  meterlink::LinkLog("a", true, clOlive);
  meterlink::LinkLog("e", false, clRed);
  meterlink::LinkLog("e", false, clRed);
  meterlink::LinkLog("raw", false, clWindow);
  EXPECT_EQ(L->LinkLogText, "a#e#e#raw#");
  EXPECT_EQ(L->LinkErrorText, "e#raw#");  // a repeated error line is kept once
  ASSERT_EQ(hooked.size(), 3u);
  EXPECT_EQ(hooked[2].text, "e");
  L->LogCallback = nullptr;
  meterlink::LinkLog("quiet", true, clGreen);
  EXPECT_EQ(hooked.size(), 3u);
}

TEST_F(Link, WaitDispatchesEventsAndSurvivesTheTickCountWrapping) {
  // The tick counter wraps 1 s into this wait.
  toolkit::SimToolkit wrapTk(0xFFFFFFFFu - 1000);
  serial::SimSerialPlatform wrapPlatform(wrapTk);
  meterlink::MeterLinkShutdown();
  meterlink::MeterLinkStartup(wrapTk, wrapPlatform);
  int ticks = 0;
  auto timer = wrapTk.CreateTimer(100, [&] { ++ticks; });
  timer->SetEnabled(true);
  meterlink::LinkWait(3000);
  EXPECT_EQ(wrapTk.NowMs(), 3000u);
  EXPECT_EQ(ticks, 30);
  meterlink::LinkWait(0);
  meterlink::LinkWait(-5);
  EXPECT_EQ(wrapTk.NowMs(), 3000u);
  timer.reset();
  meterlink::MeterLinkShutdown();
  meterlink::MeterLinkStartup(tk, platform);
  L = meterlink::Link();
}
