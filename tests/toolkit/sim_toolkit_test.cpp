#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "testing/sim_toolkit.h"
#include "toolkit_contract.h"

using toolkit::SimToolkit;

namespace {

// Virtual time started just before the 32-bit tick count wraps.
class SimRig final : public toolkit_contract::Rig {
 public:
  toolkit::Toolkit& Tk() override { return tk_; }
  void AnswerPromptsAfter(uint32_t ms) override {
    tk_.SetOperator([ms](const SimToolkit::Prompt&) -> uint64_t { return ms; });
  }

 private:
  SimToolkit tk_{0xFFFFFF80u};
};

}  // namespace

using toolkit_contract::ToolkitContract;
INSTANTIATE_TEST_SUITE_P(Sim, ToolkitContract,
                         ::testing::Values(toolkit_contract::Implementation{
                             "SimToolkit", [] { return std::unique_ptr<toolkit_contract::Rig>(new SimRig); }}),
                         toolkit_contract::NameOf);

TEST(SimTimers, TickInOrderOfDueTimeAndKeepTheirPeriod) {
  SimToolkit tk;
  std::vector<std::pair<char, uint64_t>> ticks;
  auto a = tk.CreateTimer(200, [&] { ticks.push_back({'a', tk.NowMs()}); });
  auto b = tk.CreateTimer(500, [&] { ticks.push_back({'b', tk.NowMs()}); });
  EXPECT_FALSE(a->Enabled());  // created disabled
  a->SetEnabled(true);
  b->SetEnabled(true);
  tk.RunFor(1000);
  std::vector<std::pair<char, uint64_t>> want = {{'a', 200}, {'a', 400}, {'b', 500}, {'a', 600},
                                                 {'a', 800}, {'a', 1000}, {'b', 1000}};
  EXPECT_EQ(ticks, want);
}

// The contract's rules in exact virtual time: a re-enabling keeps the
// period; an enabling starts a full one; a new interval restarts it.
TEST(SimTimers, PeriodsInExactTime) {
  SimToolkit tk;
  std::vector<uint64_t> ticks;
  auto t = tk.CreateTimer(200, [&] { ticks.push_back(tk.NowMs()); });
  t->SetEnabled(true);
  tk.RunFor(150);
  t->SetEnabled(true);  // no restart: still due at 200
  tk.RunFor(100);
  EXPECT_EQ(ticks, std::vector<uint64_t>{200});
  t->SetEnabled(false);
  tk.RunFor(500);
  t->SetEnabled(true);  // a full period from now (750)
  tk.RunFor(200);
  EXPECT_EQ(ticks, (std::vector<uint64_t>{200, 950}));
  t->SetInterval(100);  // restarts the period while enabled
  tk.RunFor(100);
  EXPECT_EQ(ticks.back(), 1050u);
}

TEST(SimClock, WaitMillisecondsDispatchesAllAlongAndReturnsOnTime) {
  SimToolkit tk(0xFFFFFFF0u);  // across the wrap
  int ticks = 0;
  auto t = tk.CreateTimer(50, [&] { ++ticks; });
  t->SetEnabled(true);
  toolkit::WaitMilliseconds(tk, 500);
  EXPECT_EQ(tk.NowMs(), 500u);
  EXPECT_EQ(ticks, 10);
}

TEST(SimClock, HardwareActsWhileTheProgramSleepsButEventsWait) {
  SimToolkit tk;
  std::vector<std::string> seen;
  tk.ScheduleIn(1000, [&] { seen.push_back("hw"); });
  tk.PostIn(500, [&] { seen.push_back("event"); });
  tk.Sleep(2000);
  EXPECT_EQ(seen, std::vector<std::string>{"hw"});
  tk.ProcessEvents();
  EXPECT_EQ(seen, (std::vector<std::string>{"hw", "event"}));
  auto id = tk.ScheduleIn(10, [&] { seen.push_back("cancelled"); });
  tk.Cancel(id);
  tk.RunFor(20);
  EXPECT_EQ(seen.size(), 2u);
}

TEST(SimPrompts, TheOperatorAnswersAfterItsDelayWhileEventsRun) {
  SimToolkit tk;
  int ticks = 0;
  auto t = tk.CreateTimer(100, [&] { ++ticks; });
  t->SetEnabled(true);
  tk.SetOperator([](const SimToolkit::Prompt& p) -> uint64_t { return p.message == "slow" ? 1000 : 0; });
  tk.ShowMessage("cap", "slow");
  EXPECT_EQ(tk.NowMs(), 1000u);
  EXPECT_EQ(ticks, 10);
  tk.ShowMessage("cap", "fast");
  EXPECT_EQ(tk.NowMs(), 1000u);
  ASSERT_EQ(tk.Prompts().size(), 2u);
  EXPECT_EQ(tk.Prompts()[0].shownUs, 0u);
  EXPECT_EQ(tk.Prompts()[0].closedUs, 1'000'000u);
  EXPECT_EQ(tk.OpenPrompts(), 0);
}

