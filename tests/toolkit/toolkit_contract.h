// The rules every toolkit keeps (toolkit/toolkit.h), as one suite run
// against each implementation: the virtual-time one, Qt's and Win32's. Each
// test program instantiates ToolkitContract with a rig of its own; a failure
// names the implementation and the rule. A rule that needs real time waits
// for its condition, bounded generously; none measures the machine's speed.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "tests/common/wait_check.h"
#include "toolkit/toolkit.h"

namespace toolkit_contract {

class Rig {
 public:
  virtual ~Rig() = default;
  virtual toolkit::Toolkit& Tk() = 0;
  // The operator: every prompt from now on is answered by its button about
  // ms after it opened; of prompts open together, the one on top first.
  virtual void AnswerPromptsAfter(uint32_t ms) = 0;

  // The event loop until done() holds or limitMs of the toolkit's time passed.
  bool RunUntil(const std::function<bool()>& done, uint32_t limitMs = 20000) {
    const uint32_t t0 = Tk().TickCount();
    while (!done() && uint32_t(Tk().TickCount() - t0) < limitMs) Tk().WaitForEvents(20);
    return done();
  }
};

struct Implementation {
  const char* name;
  std::function<std::unique_ptr<Rig>()> make;
};
inline void PrintTo(const Implementation& i, std::ostream* os) { *os << i.name; }
inline std::string NameOf(const ::testing::TestParamInfo<Implementation>& info) { return info.param.name; }

class ToolkitContract : public ::testing::TestWithParam<Implementation> {
 protected:
  void SetUp() override { rig_ = GetParam().make(); }
  toolkit::Toolkit& tk() { return rig_->Tk(); }
  std::unique_ptr<Rig> rig_;
};

TEST_P(ToolkitContract, AWaitSleepsAndTimersTickInsideIt) { testing_support::ExpectWaitSleepsAndTimersTickInside(tk()); }

// Also across the wrap of the 32-bit count, where a rig starts near it.
TEST_P(ToolkitContract, AWaitLastsAtLeastItsTimeInTickCountsTakenModulo32Bits) {
  const uint32_t t0 = tk().TickCount();
  toolkit::WaitMilliseconds(tk(), 300);
  EXPECT_GE(uint32_t(tk().TickCount() - t0), 300u);
}

TEST_P(ToolkitContract, ATimerIsMadeDisabledAndStopsWhenDisabled) {
  int ticks = 0;
  auto t = tk().CreateTimer(20, [&] { ++ticks; });
  EXPECT_FALSE(t->Enabled());
  EXPECT_EQ(t->Interval(), 20u);
  toolkit::WaitMilliseconds(tk(), 100);
  EXPECT_EQ(ticks, 0);
  t->SetEnabled(true);
  ASSERT_TRUE(rig_->RunUntil([&] { return ticks >= 1; })) << "an enabled timer did not tick";
  t->SetEnabled(false);
  const int stopped = ticks;
  toolkit::WaitMilliseconds(tk(), 100);  // a tick already queued is dropped too
  EXPECT_EQ(ticks, stopped);
}

// Enabled again every 30 ms, a timer of 100 ms still ticks: enabling an
// enabled timer does not start its period anew.
TEST_P(ToolkitContract, EnablingAnEnabledTimerKeepsItsPeriod) {
  int ticks = 0;
  auto t = tk().CreateTimer(100, [&] { ++ticks; });
  t->SetEnabled(true);
  auto again = tk().CreateTimer(30, [&] { t->SetEnabled(true); });
  again->SetEnabled(true);
  EXPECT_TRUE(rig_->RunUntil([&] { return ticks >= 1; })) << "re-enabling restarted the period";
}

TEST_P(ToolkitContract, AHandlerThatWaitsIsNotEnteredAgainButATimerStoppedAndStartedTicksAnew) {
  int depth = 0, deepest = 0, calls = 0, deepestInFirst = 0;
  std::unique_ptr<toolkit::Timer> t;
  t = tk().CreateTimer(20, [&] {
    ++calls;
    deepest = std::max(deepest, ++depth);
    if (calls == 1) {
      toolkit::WaitMilliseconds(tk(), 200);  // ten periods inside the handler
      deepestInFirst = deepest;
    }
    if (calls == 2) {
      t->SetEnabled(false);
      t->SetEnabled(true);  // a new enabling: it ticks while this handler waits
      rig_->RunUntil([&] { return deepest >= 2; });
    }
    --depth;
  });
  t->SetEnabled(true);
  ASSERT_TRUE(rig_->RunUntil([&] { return calls >= 2; })) << "the timer did not tick twice";
  EXPECT_EQ(deepestInFirst, 1) << "a handler was entered again by its own timer";
  EXPECT_GE(deepest, 2) << "the timer stopped and started did not tick inside its handler";
}

TEST_P(ToolkitContract, AnIntervalOfZeroNeverTicks) {
  int zero = 0, other = 0;
  auto z = tk().CreateTimer(0, [&] { ++zero; });
  z->SetEnabled(true);
  auto o = tk().CreateTimer(10, [&] { ++other; });
  o->SetEnabled(true);
  ASSERT_TRUE(rig_->RunUntil([&] { return other >= 10; }));
  EXPECT_EQ(zero, 0);
}

TEST_P(ToolkitContract, ATimerMayDestroyItselfInItsHandler) {
  int ticks = 0;
  std::unique_ptr<toolkit::Timer> self = tk().CreateTimer(10, [&] {
    ++ticks;
    self.reset();
  });
  self->SetEnabled(true);
  ASSERT_TRUE(rig_->RunUntil([&] { return self == nullptr; }));
  toolkit::WaitMilliseconds(tk(), 50);
  EXPECT_EQ(ticks, 1);
}

TEST_P(ToolkitContract, APromptReturnsAtItsAnswerAndTimersTickWhileItIsOpen) {
  rig_->AnswerPromptsAfter(300);
  int ticks = 0;
  auto t = tk().CreateTimer(20, [&] { ++ticks; });
  t->SetEnabled(true);
  const uint32_t t0 = tk().TickCount();
  tk().ShowMessage("caption", "message");
  EXPECT_GE(uint32_t(tk().TickCount() - t0), 250u) << "returned before the operator answered";
  EXPECT_GE(ticks, 1) << "no tick while the prompt was open";
}

TEST_P(ToolkitContract, NestedPromptsCloseInsideOut) {
  rig_->AnswerPromptsAfter(200);
  std::vector<std::string> returned;
  std::unique_ptr<toolkit::Timer> once = tk().CreateTimer(30, [&] {
    once->SetEnabled(false);
    tk().ShowMessage("caption", "inner");
    returned.push_back("inner");
  });
  once->SetEnabled(true);
  tk().ShowMessage("caption", "outer");
  returned.push_back("outer");
  EXPECT_EQ(returned, (std::vector<std::string>{"inner", "outer"}));
}

}  // namespace toolkit_contract
