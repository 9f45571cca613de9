#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "toolkit/sim_toolkit.h"

using toolkit::SimToolkit;

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

TEST(SimTimers, EnablingAnEnabledTimerKeepsItsPeriodDisablingStopsIt) {
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
  EXPECT_EQ(ticks.size(), 1u);
  t->SetEnabled(true);  // a full period from now (750)
  tk.RunFor(200);
  EXPECT_EQ(ticks, (std::vector<uint64_t>{200, 950}));
  t->SetInterval(100);  // restarts the period while enabled
  tk.RunFor(100);
  EXPECT_EQ(ticks.back(), 1050u);
}

TEST(SimTimers, AHandlerThatWaitsIsNotReenteredButARestartedTimerTicksInside) {
  SimToolkit tk;
  int depth = 0, maxDepth = 0, ticks = 0;
  std::unique_ptr<toolkit::Timer> t;
  t = tk.CreateTimer(100, [&] {
    ++ticks;
    ++depth;
    maxDepth = std::max(maxDepth, depth);
    if (ticks == 1) toolkit::WaitMilliseconds(tk, 350);  // three periods pass inside
    if (ticks == 2) {
      t->SetEnabled(false);
      t->SetEnabled(true);
      toolkit::WaitMilliseconds(tk, 150);  // the restarted timer ticks inside
    }
    --depth;
  });
  t->SetEnabled(true);
  tk.RunFor(460);
  EXPECT_EQ(maxDepth, 2);
  EXPECT_GE(ticks, 3);
}

TEST(SimTimers, ZeroIntervalNeverTicksAndATimerMayDestroyItselfInItsHandler) {
  SimToolkit tk;
  int ticks = 0;
  auto zero = tk.CreateTimer(0, [&] { ++ticks; });
  zero->SetEnabled(true);
  std::unique_ptr<toolkit::Timer> self;
  self = tk.CreateTimer(10, [&] { ++ticks; self.reset(); });
  self->SetEnabled(true);
  tk.RunFor(100);
  EXPECT_EQ(ticks, 1);
  EXPECT_EQ(self, nullptr);
}

TEST(SimClock, TickCountWrapsModulo32Bits) {
  SimToolkit tk(0xFFFFFF00u);
  const uint32_t t0 = tk.TickCount();
  tk.RunFor(0x200);
  EXPECT_LT(tk.TickCount(), t0);  // wrapped
  EXPECT_EQ(uint32_t(tk.TickCount() - t0), 0x200u);
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

TEST(SimPrompts, NestedPromptsCloseInsideOut) {
  SimToolkit tk;
  tk.SetOperator([](const SimToolkit::Prompt& p) -> uint64_t { return p.message == "outer" ? 500 : 100; });
  int openInside = -1;
  tk.PostIn(200'000, [&] {
    tk.ShowMessage("c", "inner");
    openInside = tk.OpenPrompts();
  });
  tk.ShowMessage("c", "outer");
  EXPECT_EQ(openInside, 1);  // the outer one still open when the inner closed
  EXPECT_EQ(tk.Prompts()[1].closedUs, 300'000u);
  EXPECT_EQ(tk.Prompts()[0].closedUs, 500'000u);
}
