// Whole runs against the modem emulator in virtual time, one for each way
// the modem can behave: every run comes to a named end — the success line,
// a step's own message or the watchdog's — with the pane in the colour that
// end belongs to and no wait left running.
#include <gtest/gtest.h>

#include <QProgressBar>
#include <QPushButton>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "app_rig.h"
#include "testing/sim_modem.h"

using namespace testing_app;

namespace {

struct Case {
  const char* name;
  std::function<void(modemsim::Settings&)> modem;
  const char* lastLine;  // the last line that is not empty
  toolkit::TColor colour;
  const char* alsoLogged = nullptr;  // a line the end must have logged before
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }


std::string LastNonEmpty(const std::vector<std::string>& log) {
  for (auto it = log.rbegin(); it != log.rend(); ++it)
    if (!it->empty()) return *it;
  return "";
}

class EmulatorRun : public ::testing::TestWithParam<Case> {};

}  // namespace

TEST_P(EmulatorRun, EndsNamed) {
  const Case& c = GetParam();
  Rig r;
  modemsim::Settings settings;
  settings.autoPowerOnMs = 0;
  c.modem(settings);
  modemsim::SimModem modem(r.tk, r.Line(), settings);
  r.tk.SetOperator([&](const toolkit::SimToolkit::Prompt& p) -> uint64_t {
    if (p.message.find(W("ВКЛЮЧИТЕ")) != std::string::npos) modem.PowerOn();
    return 1500;
  });
  r.form->BBB->click();
  // The longest end is the watchdog after the 20-second PIN gauge.
  r.tk.RunFor(90'000);
  const auto log = r.Log();
  EXPECT_EQ(LastNonEmpty(log), c.lastLine);
  EXPECT_EQ(r.form->LogColour(), c.colour);
  if (c.alsoLogged) {
    EXPECT_TRUE(r.LogHas(c.alsoLogged)) << c.alsoLogged;
  }
  EXPECT_TRUE(r.form->BBB->isEnabled());
  EXPECT_FALSE(r.form->Tw->Enabled());
  EXPECT_TRUE(r.form->Gw->isHidden());
  EXPECT_EQ(r.tk.OpenPrompts(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Behaviours, EmulatorRun,
    ::testing::Values(
        Case{"PinAsked", [](modemsim::Settings&) {}, kSuccess, setup::clSuccess},
        Case{"RestartsByItselfDuringTheWait", [](modemsim::Settings& s) { s.autoPowerOnMs = 2500; }, kSuccess,
             setup::clSuccess},
        Case{"SimReady", [](modemsim::Settings& s) { s.sim.pinRequest = false; }, kSuccess, setup::clSuccess},
        Case{"Autobaud", [](modemsim::Settings& s) { s.rate = 0; }, kSuccess, setup::clSuccess},
        Case{"ReplyInSlowPieces",
             [](modemsim::Settings& s) {
               s.faults.pieceBytes = 5;
               s.faults.pieceGapMs = 100;
             },
             kSuccess, setup::clSuccess},
        Case{"AnotherModelIsOnlyWarnedOf", [](modemsim::Settings& s) { s.model = "MC39i"; }, kSuccess, setup::clSuccess,
             "марка модема не совпадает с заявленной"},
        Case{"WrongPin", [](modemsim::Settings& s) { s.sim.pin = "1111"; },
             "PIN-код не принят. Проверьте правильность PIN-кода и нажмите кнопку \"НАЧАТЬ\" ", setup::clError,
             "X X X X X X X X X X X X X X X X X X X X "},
        Case{"PukWanted", [](modemsim::Settings& s) { s.sim.pinTries = 0; }, "требуется ввод PUK-кода",
             setup::clError},
        Case{"Silent", [](modemsim::Settings& s) { s.faults.silent = true; }, "X X X X X X X X X X X X X X X X X X X X ",
             setup::clError, "НЕТ СВЯЗИ c модемом"},
        Case{"LineDropsInTheProfile",
             [](modemsim::Settings& s) {
               s.faults.dropOn = "AT&V";
               s.faults.dropAfterBytes = 30;
             },
             "не удалось сохранить основные установки или ответ модема непонятен", setup::clError}));
