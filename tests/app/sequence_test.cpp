// The configuration sequence through the real window, in virtual time,
// against a modem scripted command by command.
#include <algorithm>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>

#include "app_rig.h"

using namespace testing_app;

namespace {

const std::string kOk = "\r\nOK\r\n";

// A modem that echoes each command and answers from a table; AT^SMSO is
// followed by its shutdown report, and the operator's power-on by SYSSTART.
struct ScriptedModem {
  Rig& r;
  std::map<std::string, std::string> replies;
  int dtr = 1;
  uint64_t replyDelayMs = 30;
  uint64_t pinDelayMs = 2000;
  uint64_t shutdownAfterMs = 2000;  // after the OK has been judged on its own
  bool sysstartOnPowerOn = true;
  uint64_t sysstartAfterMs = 1500;  // after the power-on prompt appears
  uint64_t powerOnPromptMs = 3000;  // how long the operator keeps that box open
  int64_t sysstartAfterOffPromptMs = -1;  // >= 0: switched on early, this long after the power-off prompt

  explicit ScriptedModem(Rig& rig) : r(rig) {
    replies = {{"ATI", "\r\nSIEMENS\r\nC35i\r\nREVISION 01.05\r\n" + kOk},
               {"AT+CPIN?", "\r\n+CPIN: READY\r\n" + kOk},
               {"AT&F", kOk}, {"ATS0=1", kOk}, {"AT+CSNS=4", kOk}, {"AT+IPR=9600", kOk}, {"AT&W", kOk},
               {"AT+CSNS?", "\r\n+CSNS: 4\r\n" + kOk}};
    r.Respond([this](const std::string& cmd) { return Answer(cmd); }, replyDelayMs);
    r.tk.SetOperator([this](const toolkit::SimToolkit::Prompt& p) -> uint64_t {
      if (Contains(p.message, "ВКЛЮЧИТЕ")) {
        if (sysstartOnPowerOn) r.tk.ScheduleIn(sysstartAfterMs * 1000, [this] { r.Line().PeerSend("\r\n^SYSSTART\r\n"); });
        return powerOnPromptMs;
      }
      if (sysstartAfterOffPromptMs >= 0 && Contains(p.message, "ОТКЛЮЧИТЕ")) {  // it starts once
        r.tk.ScheduleIn(uint64_t(sysstartAfterOffPromptMs) * 1000, [this] { r.Line().PeerSend("\r\n^SYSSTART\r\n"); });
        sysstartAfterOffPromptMs = -1;
      }
      return 1000;
    });
  }
  static bool Contains(const std::string& cp, const char* utf8) { return cp.find(W(utf8)) != std::string::npos; }
  std::string Profile() const {
    return "\r\nACTIVE PROFILE:\r\nE1 Q0 V1 X4 &C1 &D" + std::to_string(dtr) +
           " &S0 \\Q0 \r\nS0:001 S3:013 S4:010 S5:008 S6:000 S7:060 S8:000 S10:002 S18:000\r\n+CBST: 7,0,1\r\n"
           "+IPR: 9600\r\n" + kOk;
  }
  std::string Answer(const std::string& cmd) {
    const std::string echo = cmd + "\r";
    if (cmd == "AT^SMSO") {
      if (replies.count(cmd)) return echo + replies[cmd];
      r.tk.ScheduleIn((replyDelayMs + shutdownAfterMs) * 1000, [this] { r.Line().PeerSend("\r\n^SHUTDOWN\r\n"); });
      return echo + "\r\n^SMSO: MS OFF\r\n" + kOk;
    }
    if (cmd.rfind("AT&D", 0) == 0 && !replies.count(cmd)) return echo + kOk;
    if (cmd == "AT&V" && !replies.count(cmd)) return echo + Profile();
    if (cmd.rfind("AT+CPIN=", 0) == 0 && !replies.count(cmd)) {
      r.tk.ScheduleIn((replyDelayMs + pinDelayMs) * 1000, [this] { r.Line().PeerSend(kOk); });
      return echo;
    }
    if (cmd.rfind("AT+CLCK=SC,0,", 0) == 0 && !replies.count(cmd)) return echo + kOk;
    auto it = replies.find(cmd);
    return echo + (it == replies.end() ? "\r\nERROR\r\n" : it->second);
  }
};

std::string SuccessLine(int item) {
  const char* remarks[3] = {"только для КВАРТИРНЫХ", "универсальный, но  медлительный", "только для ПРОМЫШЛЕННЫХ"};
  return std::string("УСТАНОВКА ПАРАМЕТРОВ МОДЕМА (") + remarks[item] + ") - ЗАКОНЧИЛАСЬ УСПЕШНО";
}

bool Idle(const app::TForm1& f) {
  return f.BBB->isEnabled() && !f.Tw->Enabled() && f.Gw->isHidden() && f.Lw->isHidden();
}

std::vector<std::string> Commands(const std::string& sent) {
  std::vector<std::string> out;
  std::string cur;
  for (char c : sent) {
    if (c == '\r') {
      if (!cur.empty()) out.push_back(cur);
      cur.clear();
    } else {
      cur += c;
    }
  }
  return out;
}

}  // namespace

class WholeRun : public ::testing::TestWithParam<int> {};

TEST_P(WholeRun, EndsWithTheSuccessLineForEachDtrItem) {
  const int item = GetParam();
  Rig r;
  ScriptedModem modem(r);
  modem.dtr = item;
  r.form->RGDTRItems[item]->setChecked(true);
  r.form->BBB->click();
  ASSERT_TRUE(r.tk.RunUntil([&] { return r.form->BBB->isEnabled(); }, 120'000));
  r.tk.RunFor(2000);
  const auto log = r.Log();
  ASSERT_GE(log.size(), 2u);
  EXPECT_EQ(log[log.size() - 2], SuccessLine(item));
  EXPECT_EQ(log.back(), "");
  EXPECT_EQ(r.form->LogColour(), setup::clSuccess);
  EXPECT_TRUE(r.form->LEHT->text().isEmpty());
  EXPECT_TRUE(r.form->AutoMode);
  EXPECT_TRUE(Idle(*r.form));
  EXPECT_EQ(Commands(r.sentToModem),
            (std::vector<std::string>{"ATI", "AT+CPIN?", "AT&F", "AT&D" + std::to_string(item), "ATS0=1", "AT+CSNS=4",
                                      "AT+IPR=9600", "AT&W", "AT^SMSO", "AT+CSNS?", "AT&V"}));
  // Both power prompts were shown, in order, with the title as caption.
  ASSERT_EQ(r.tk.Prompts().size(), 2u);
  EXPECT_EQ(r.tk.Prompts()[0].caption, W("ЗОРВИК"));
  EXPECT_EQ(r.tk.Prompts()[0].message, W("1. ОТКЛЮЧИТЕ МОДЕМ ОТ ПИТАНИЯ\n\r\n\r2. НАЖМИТЕ КНОПУ \"ЛАДНО\""));
  EXPECT_EQ(r.tk.Prompts()[1].message, W("1. ВКЛЮЧИТЕ ПИТАНИЕ МОДЕМА\n\r\n\r2. НАЖМИТЕ КНОПУ \"ЛАДНО\""));
  // The power-off wait: 5 s of gauge between the two prompts.
  EXPECT_EQ(r.tk.Prompts()[1].shownUs - r.tk.Prompts()[0].closedUs, 5'000'000u);
  EXPECT_EQ(std::count(log.begin(), log.end(), std::string(10, '^') + " HOPMA " + std::string(10, 'v')), 11);
}
INSTANTIATE_TEST_SUITE_P(Dtr, WholeRun, ::testing::Values(0, 1, 2));

TEST(Sequence, TheRunGoesOnBehindTheOpenPowerOnBoxAndEndsOnce) {
  Rig r;
  ScriptedModem modem(r);
  modem.powerOnPromptMs = 60'000;  // the operator leaves the box open
  r.form->BBB->click();
  std::string lineBehindTheBox;
  auto done = r.When([&] { return r.tk.OpenPrompts() == 1 && r.tk.Prompts().size() == 2 && r.form->BBB->isEnabled(); },
                     [&] { lineBehindTheBox = r.Log()[r.Log().size() - 2]; });
  r.tk.RunFor(120'000);
  ASSERT_TRUE(done->seen);
  EXPECT_EQ(lineBehindTheBox, SuccessLine(1));
  EXPECT_EQ(r.Log()[r.Log().size() - 2], SuccessLine(1));  // nothing judged twice after the box closed
}

TEST(Sequence, ClosingThePowerOnBoxInTheMiddleOfTheNextExchangeFailsNothing) {
  for (uint64_t closeAfter : {1600, 1800, 2100, 2400, 2700, 3000, 3500}) {
    Rig r;
    ScriptedModem modem(r);
    modem.powerOnPromptMs = closeAfter;
    r.form->BBB->click();
    ASSERT_TRUE(r.tk.RunUntil([&] { return r.form->BBB->isEnabled(); }, 120'000)) << closeAfter;
    r.tk.RunFor(5000);
    const auto log = r.Log();
    EXPECT_EQ(log[log.size() - 2], SuccessLine(1)) << closeAfter;
    EXPECT_EQ(std::count(log.begin(), log.end(), toolkit::Utf8(setup::CrossLine())), 0) << closeAfter;
  }
}

TEST(Sequence, AModemSwitchedOnBeforeTheWaitEndsMovesTheRunOnWithoutAnotherPrompt) {
  // The power-off box is open for 1 s, then the wait runs 5 s: the start-up
  // report comes with the box open, in the wait, with the next reply in
  // flight at its end, and still uncollected at its end.
  for (int64_t at : {0, 2500, 4200, 4700, 5300}) {
    Rig r;
    ScriptedModem modem(r);
    modem.sysstartOnPowerOn = false;
    modem.sysstartAfterOffPromptMs = at;
    r.form->BBB->click();
    ASSERT_TRUE(r.tk.RunUntil([&] { return r.form->BBB->isEnabled(); }, 120'000)) << at;
    r.tk.RunFor(10'000);
    const auto log = r.Log();
    EXPECT_EQ(log[log.size() - 2], SuccessLine(1)) << at;
    EXPECT_EQ(std::count(log.begin(), log.end(), toolkit::Utf8(setup::CrossLine())), 0) << at;
    EXPECT_EQ(r.tk.Prompts().size(), 1u) << at;  // never asked to switch on a modem that is on
    EXPECT_EQ(Commands(r.sentToModem).back(), "AT&V") << at;
    EXPECT_TRUE(Idle(*r.form)) << at;
  }
}

TEST(Sequence, ASimThatAsksForItsPinIsUnlockedUnderTheGauge) {
  Rig r;
  ScriptedModem modem(r);
  modem.replies["AT+CPIN?"] = "\r\n+CPIN: SIM PIN\r\n" + kOk;
  modem.pinDelayMs = 4000;
  std::vector<std::string> logAtStart;
  bool hiddenAtStart = false;
  int gaugeMax = 0;
  auto started = r.When([&] { return r.form->Tw->Enabled(); }, [&] {
    logAtStart = r.Log();
    gaugeMax = r.form->Gw->maximum();
    hiddenAtStart = r.form->Gw->isHidden();
  });
  auto shown = r.When([&] { return !r.form->Gw->isHidden(); });
  auto stopped = r.When([&] { return started->seen && !r.form->Tw->Enabled(); });
  r.form->BBB->click();
  ASSERT_TRUE(r.tk.RunUntil([&] { return r.form->BBB->isEnabled(); }, 120'000));
  r.tk.RunFor(2000);
  EXPECT_EQ(r.Log()[r.Log().size() - 2], SuccessLine(1));
  const auto cmds = Commands(r.sentToModem);
  EXPECT_EQ(cmds[2], "AT+CPIN=4739");
  EXPECT_EQ(cmds[3], "AT+CLCK=SC,0,4739");
  EXPECT_EQ(cmds[4], "AT&F");
  ASSERT_TRUE(started->seen);
  EXPECT_EQ(logAtStart.back(), "Команда= AT+CPIN=4739\r");
  EXPECT_EQ(logAtStart[logAtStart.size() - 2], "<<<<<<<<<< ВВОД PIN-кода >>>>>>>>>>");
  EXPECT_TRUE(hiddenAtStart);  // shown from the first tick on
  EXPECT_EQ(shown->atMs - started->atMs, 500u);
  // The OK came 4 s after the command, and the gauge went off with it.
  EXPECT_GT(stopped->atMs - started->atMs, 4000u);
  EXPECT_LT(stopped->atMs - started->atMs, 5500u);
  EXPECT_EQ(gaugeMax, 20000);
}

TEST(Sequence, AWrongPinIsRejectedOnTheErrorColour) {
  Rig r;
  ScriptedModem modem(r);
  modem.replies["AT+CPIN?"] = "\r\n+CPIN: SIM PIN\r\n" + kOk;
  modem.replies["AT+CPIN=4739"] = "\r\n+CME ERROR: 16\r\n";  // incorrect password
  r.form->BBB->click();
  ASSERT_TRUE(r.tk.RunUntil([&] { return r.form->BBB->isEnabled(); }, 60'000));
  const auto log = r.Log();
  EXPECT_EQ(log.back(), "PIN-код не принят. Проверьте правильность PIN-кода и нажмите кнопку \"НАЧАТЬ\" ");
  EXPECT_EQ(log[log.size() - 2], toolkit::Utf8(setup::CrossLine()));
  EXPECT_EQ(r.form->LogColour(), setup::clError);
  EXPECT_TRUE(Idle(*r.form));
}

TEST(Sequence, APinThatIsNeverAnsweredOutlastsTheGaugeAndALateOkStillCounts) {
  Rig r;
  ScriptedModem modem(r);
  modem.replies["AT+CPIN?"] = "\r\n+CPIN: SIM PIN\r\n" + kOk;
  modem.replies["AT+CPIN=4739"] = "";  // the echo only
  auto started = r.When([&] { return r.form->Tw->Enabled(); });
  auto ended = r.When([&] { return started->seen && !r.form->Tw->Enabled(); });
  r.form->BBB->click();
  r.tk.RunFor(40'000);
  ASSERT_TRUE(ended->seen);
  EXPECT_EQ(ended->atMs - started->atMs, 20'000u);  // 40 ticks
  EXPECT_FALSE(r.form->BBB->isEnabled());  // no verdict yet
  EXPECT_TRUE(r.form->Gw->isHidden());
  EXPECT_EQ(r.form->LEHT->text(), "AT+CPIN=4739");
  r.Line().PeerSend(kOk);
  ASSERT_TRUE(r.tk.RunUntil([&] { return r.form->BBB->isEnabled(); }, 120'000));
  r.tk.RunFor(2000);
  EXPECT_EQ(r.Log()[r.Log().size() - 2], SuccessLine(1));
}

TEST(Sequence, ASimThatWantsItsPukPromptsTheOperatorWhoEntersItByHand) {
  Rig r;
  ScriptedModem modem(r);
  modem.replies["AT+CPIN?"] = "\r\n+CPIN: SIM PUK\r\n" + kOk;
  modem.replies["AT+CPIN=31570946,4739"] = kOk;
  r.form->BBB->click();
  ASSERT_TRUE(r.tk.RunUntil([&] { return r.form->BBB->isEnabled(); }, 60'000));
  EXPECT_EQ(r.Log().back(), "требуется ввод PUK-кода");
  EXPECT_EQ(r.form->LogColour(), setup::clError);
  ASSERT_EQ(r.tk.Prompts().size(), 1u);
  EXPECT_EQ(r.tk.Prompts()[0].message,
            W("1. Установите галочку рядом с полем ввода PUK-кода\r\r2. Введите PUK-код в соответствующее поле ввода"
              "\r\r3. Нажмите на клавиатуре клавишу ВВОД(Enter)\r\r"));
  EXPECT_EQ(r.form->LEHT->text(), "AT+CPIN?");

  r.form->CBpuk->click();
  r.Enter(r.form->LEPUK);
  r.tk.RunFor(3000);
  EXPECT_NE(r.sentToModem.find("AT+CPIN=31570946,4739\r\r"), std::string::npos);
  EXPECT_EQ(r.Log().back(), "ответ(без CR и LF)=AT+CPIN=31570946,4739OK");  // logged only: no step for it
  modem.replies["AT+CPIN?"] = "\r\n+CPIN: READY\r\n" + kOk;
  r.form->BBB->click();
  ASSERT_TRUE(r.tk.RunUntil([&] { return r.form->BBB->isEnabled(); }, 120'000));
  r.tk.RunFor(2000);
  EXPECT_EQ(r.Log()[r.Log().size() - 2], SuccessLine(1));
}

TEST(Sequence, AnotherModelIsOnlyAWarning) {
  Rig r;
  ScriptedModem modem(r);
  modem.replies["ATI"] = "\r\nSIEMENS\r\nc35i\r\n" + kOk;
  r.form->BBB->click();
  r.tk.RunUntil([&] { return r.form->LEHT->text() == "AT+CPIN?"; }, 10'000);
  const auto log = r.Log();
  EXPECT_EQ(log[log.size() - 3], toolkit::Utf8(setup::CrossLine()));
  EXPECT_EQ(log[log.size() - 2], "марка модема не совпадает с заявленной");
  EXPECT_EQ(r.form->LogColour(), setup::clWarning);
  ASSERT_TRUE(r.tk.RunUntil([&] { return r.form->BBB->isEnabled(); }, 120'000));
  r.tk.RunFor(2000);
  EXPECT_EQ(r.Log()[r.Log().size() - 2], SuccessLine(1));
}

TEST(Sequence, EachFailingStepEndsWithItsOwnMessage) {
  const std::vector<std::pair<std::string, const char*>> steps = {
      {"AT+CPIN?", "ответ не понятен"},
      {"AT&F", "не удалось установить заводские установки или ответ модема непонятен"},
      {"AT&D1", "не удалось установить заводские установки или ответ модема непонятен"},
      {"ATS0=1", "не удалось установить режим автоматически снимать трубку или ответ модема непонятен"},
      {"AT+CSNS=4", "не удалось установить автоматический переход в режим передачи данных или ответ модема непонятен"},
      {"AT+IPR=9600", "не удалось задать скорость обмена 9600 или ответ модема непонятен"},
      {"AT&W", "не удалось сохранить основные установки или ответ модема непонятен"},
      {"AT^SMSO", "не удалось сохранить дополнительные установки или ответ модема непонятен"},
      {"AT+CSNS?", "не удалось сохранить дополнительные установки или ответ модема непонятен"},
      {"AT&V", "не удалось сохранить основные установки или ответ модема непонятен"},
  };
  for (const auto& [cmd, message] : steps) {
    Rig r;
    ScriptedModem modem(r);
    modem.replies[cmd] = "\r\nERROR\r\n";
    r.form->BBB->click();
    ASSERT_TRUE(r.tk.RunUntil([&] { return r.form->BBB->isEnabled(); }, 120'000)) << cmd;
    const auto log = r.Log();
    EXPECT_EQ(log.back(), message) << cmd;
    EXPECT_EQ(log[log.size() - 2], toolkit::Utf8(setup::CrossLine())) << cmd;
    EXPECT_EQ(r.form->LogColour(), setup::clError) << cmd;
    EXPECT_EQ(r.form->LEHT->text().toStdString(), cmd) << "the failed command stays";
    EXPECT_TRUE(r.form->AutoMode);
  }
}

TEST(Sequence, AProfileWithAnotherDtrModeFailsAndListsTheCleanedReply) {
  Rig r;
  ScriptedModem modem(r);
  modem.dtr = 2;  // while item 1 is chosen
  r.form->BBB->click();
  ASSERT_TRUE(r.tk.RunUntil([&] { return r.form->BBB->isEnabled(); }, 120'000));
  const auto log = r.Log();
  EXPECT_EQ(log.back(), "не удалось сохранить основные установки или ответ модема непонятен");
  // CR LF pairs and blanks removed; the echo's own CR stays.
  EXPECT_EQ(log[log.size() - 3],
            "AT&V\rACTIVEPROFILE:E1Q0V1X4&C1&D2&S0\\Q0S0:001S3:013S4:010S5:008S6:000S7:060S8:000S10:002S18:000"
            "+CBST:7,0,1+IPR:9600OK");
}

// A modem with no network to leave reports its shutdown before the "OFF"
// reply is judged: the one reply goes to the power cycle all the same.
TEST(Sequence, AShutdownReportInTheSameReplyAsOffStillLeadsToThePowerCycle) {
  Rig r;
  ScriptedModem modem(r);
  modem.shutdownAfterMs = 300;
  r.form->BBB->click();
  ASSERT_TRUE(r.tk.RunUntil([&] { return r.form->BBB->isEnabled(); }, 120'000));
  ASSERT_EQ(r.tk.Prompts().size(), 2u);
  EXPECT_NE(r.tk.Prompts()[0].message.find(W("ОТКЛЮЧИТЕ")), std::string::npos);
  EXPECT_NE(r.tk.Prompts()[1].message.find(W("ВКЛЮЧИТЕ")), std::string::npos);
  const auto log = r.Log();
  EXPECT_NE(std::find(log.begin(), log.end(), "ответ(без CR и LF)=AT^SMSO^SMSO: MS OFFOK^SHUTDOWN"), log.end());
  EXPECT_EQ(log[log.size() - 2], SuccessLine(1));
}

// The operator closes the window in the middle of a run: the handlers
// return to the event loop within half a second (so the program ends), the
// port is closed, and nothing is sent or asked after the close.
TEST(Sequence, ClosingTheWindowAtAnyMomentEndsTheRunThere) {
  struct Moment {
    const char* name;
    std::function<bool(const app::TForm1&)> reached;
  };
  auto command = [](const app::TForm1& f) { return f.LEHT->text().toStdString(); };
  const Moment moments[] = {
      {"idle", [](const app::TForm1&) { return true; }},
      {"a reply awaited", [](const app::TForm1& f) { return f.Terror->Enabled(); }},
      {"the PIN gauge", [&](const app::TForm1& f) { return f.GaugeWaitsRunning() > 0 && command(f) == "AT+CPIN=4739"; }},
      {"the power-off wait", [&](const app::TForm1& f) { return f.GaugeWaitsRunning() > 0 && command(f) == "AT^SMSO"; }},
  };
  for (const Moment& m : moments) {
    SCOPED_TRACE(m.name);
    Rig r;
    ScriptedModem modem(r);
    modem.replies["AT+CPIN?"] = "\r\n+CPIN: SIM PIN\r\n" + kOk;
    modem.replyDelayMs = 400;
    r.form->show();
    if (std::string(m.name) != "idle") r.form->BBB->click();
    uint64_t closedUs = 0;
    size_t prompts = 0, sent = 0;
    r.When([&] { return m.reached(*r.form); }, [&] {
      closedUs = std::max<uint64_t>(r.tk.NowUs(), 1);
      prompts = r.tk.Prompts().size();
      sent = r.sentToModem.size();
      r.form->close();
    });
    ASSERT_TRUE(r.tk.RunUntil([&] { return closedUs != 0; }, 120'000));
    EXPECT_LE(r.tk.NowUs() - closedUs, 500'000u);
    r.tk.RunFor(60'000);  // whatever would have come
    EXPECT_FALSE(r.form->isVisible());
    EXPECT_FALSE(r.Line().IsOpen());
    EXPECT_EQ(r.tk.Prompts().size(), prompts);
    EXPECT_EQ(r.sentToModem.size(), sent);
    EXPECT_EQ(r.form->GaugeWaitsRunning(), 0);
  }
}

TEST(Sequence, AStopDuringEitherWaitEndsItWithinFiftyMilliseconds) {
  for (int which = 0; which < 2; ++which) {
    Rig r;
    ScriptedModem modem(r);
    if (which == 0) {
      modem.replies["AT+CPIN?"] = "\r\n+CPIN: SIM PIN\r\n" + kOk;
      modem.pinDelayMs = 15'000;
    }
    uint64_t stoppedAt = 0;
    bool gaugeShown = false;
    auto started = r.When([&] { return r.form->Tw->Enabled(); }, [&] {
      r.tk.PostIn(2'100'000, [&] {
        gaugeShown = !r.form->Gw->isHidden();
        stoppedAt = r.tk.NowMs();
        r.form->BBE->click();
      });
    });
    auto ended = r.When([&] { return stoppedAt && !r.form->Tw->Enabled(); });
    r.form->BBB->click();
    r.tk.RunFor(60'000);
    ASSERT_TRUE(ended->seen) << which;
    EXPECT_TRUE(gaugeShown);
    EXPECT_LE(ended->atMs - stoppedAt, 50u) << which;
    EXPECT_TRUE(Idle(*r.form)) << which;
    EXPECT_EQ(r.form->LogColour(), setup::clNormal);
    EXPECT_EQ(r.tk.Prompts().size(), size_t(which));  // no power-on prompt after a stop
  }
}

TEST(Sequence, ThePowerOffWaitLastsSewSeconds) {
  for (int seconds : {5, 30}) {
    Rig r;
    ScriptedModem modem(r);
    r.form->SEw->setValue(seconds);
    int ticks = 0, lastValue = 0, labelFlips = 0;
    bool label = false;
    QString caption;
    auto started = r.When([&] { return r.form->Tw->Enabled(); }, [&] { caption = r.form->Lw->text(); });
    std::shared_ptr<Rig::Watch> ended;
    r.When([&] {
      if (started->seen && !ended->seen) {
        if (r.form->Gw->value() != lastValue) ++ticks, lastValue = r.form->Gw->value();
        if (!r.form->Lw->isHidden() != label) ++labelFlips, label = !label;
      }
      return false;
    });
    ended = r.When([&] { return started->seen && !r.form->Tw->Enabled(); });
    r.form->BBB->click();
    r.tk.RunFor(90'000);
    ASSERT_TRUE(ended->seen);
    EXPECT_EQ(ticks, seconds * 2);
    EXPECT_EQ(ended->atMs - started->atMs, uint64_t(seconds) * 1000);
    EXPECT_GE(labelFlips, seconds * 2 - 1);  // the label blinks with every tick
    EXPECT_EQ(caption, QString::fromUtf8("ЖДИТЕ ВАЖНОГО СООБЩЕНИЯ"));
  }
}
