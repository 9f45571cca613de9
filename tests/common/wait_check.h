// What every real toolkit must show, in real time: a wait sleeps on the
// queue instead of spinning, and a timer ticks inside it at its period.
#pragma once

#include <cstdint>

#include <gtest/gtest.h>

#include "tests/common/counting_toolkit.h"

namespace testing_support {

inline void ExpectWaitSleepsAndTimersTickInside(toolkit::Toolkit& real) {
  CountingToolkit tk(real);
  EXPECT_TRUE(tk.OnMainThread());
  int ticks = 0;
  auto t = tk.CreateTimer(50, [&] { ++ticks; });
  t->SetEnabled(true);
  const uint32_t t0 = tk.TickCount();
  toolkit::WaitMilliseconds(tk, 500);
  const uint32_t waited = tk.TickCount() - t0;
  EXPECT_GE(waited, 500u);
  EXPECT_GE(ticks, 1);
  EXPECT_LE(ticks, int(waited / 50) + 1);
  // A sleeping wait makes about one pass per tick (ten here); a spinning one
  // would make thousands, however slow the machine.
  EXPECT_LT(tk.passes, 100u) << "the wait spins instead of sleeping";
}

}  // namespace testing_support
