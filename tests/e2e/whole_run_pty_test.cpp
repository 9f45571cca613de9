// A whole set-up run in real time: the window, the system's serial device
// and zorvik-modemsim on a pseudo-terminal, the operator answering the power
// prompts. It must give the same log as the run in virtual time and take at
// least the time its waits take; how much longer, and its CPU seconds, are
// the figures of bench_whole_run.
#include <cstdio>

#include <gtest/gtest.h>

#include "bench/whole_run.h"
#include "toolkit/codepage.h"

TEST(WholeRunOverPty, SucceedsAsInVirtualTimeAndSleepsThroughItsWaits) {
  const bench::WholeRun virtualRun = bench::RunInVirtualTime();
  ASSERT_TRUE(virtualRun.success);
  const bench::WholeRun realRun = bench::RunInRealTime(MODEMSIM_PROGRAM, false);
  ASSERT_TRUE(realRun.success) << (realRun.log.empty() ? "" : toolkit::Utf8(realRun.log.back()));
  // Same commands, same replies, same verdicts; only the clock differs.
  EXPECT_EQ(realRun.log.size(), virtualRun.log.size());
  std::printf("virtual %.3f s, wall %.3f s, ratio %.4f, CPU %.3f s\n", virtualRun.seconds, realRun.seconds,
              realRun.seconds / virtualRun.seconds, realRun.cpuSeconds);
  // A slow machine only makes the real run longer: it can never be shorter
  // than its waits.
  EXPECT_GT(realRun.seconds, 0.97 * virtualRun.seconds);
  // The run is almost all waiting: a loop that spun through the waits would
  // take a whole core; a quarter tells the two apart on a loaded or
  // instrumented machine too (a sleeping run takes about 1%).
  EXPECT_LT(realRun.cpuSeconds, 0.25 * realRun.seconds);
}
