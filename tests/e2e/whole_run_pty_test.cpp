// A whole set-up run in real time: the window, the system's serial device
// and zorvik-modemsim on a pseudo-terminal, the operator answering the power
// prompts. It must give the same log as the run in virtual time, take at
// least the time its waits take and sleep through them; how much longer,
// and its CPU seconds, are the figures of bench_whole_run.
#include <cstdio>

#include <gtest/gtest.h>

#include "bench/whole_run.h"
#include "toolkit/codepage.h"

TEST(WholeRunOverPty, SucceedsAsInVirtualTimeAndSleepsThroughItsWaits) {
  const bench::WholeRun virtualRun = bench::RunInVirtualTime();
  ASSERT_TRUE(virtualRun.success);
  const bench::WholeRun realRun = bench::RunInRealTime(MODEMSIM_PROGRAM, false);
  ASSERT_TRUE(realRun.success) << (realRun.log.empty() ? "" : toolkit::Utf8(realRun.log.back()));
  // Same commands, same replies, same verdicts, line for line: none of its
  // lines carries a time, and only the clock differs.
  EXPECT_EQ(realRun.log, virtualRun.log);
  std::printf("virtual %.3f s, wall %.3f s, ratio %.4f, CPU %.3f s, %llu passes of the loop\n", virtualRun.seconds,
              realRun.seconds, realRun.seconds / virtualRun.seconds, realRun.cpuSeconds,
              (unsigned long long)realRun.loopPasses);
  // A slow machine only makes the real run longer: it can never be shorter
  // than its waits.
  EXPECT_GT(realRun.seconds, 0.97 * virtualRun.seconds);
  // A sleeping run makes about a pass per tick of its 10 ms probe, fewer on
  // a slow machine, whose late timers tick once; a loop that spun through
  // the waits would make thousands a second however slow the machine.
  EXPECT_LT(double(realRun.loopPasses), 400 * virtualRun.seconds) << "the waits spin instead of sleeping";
}
