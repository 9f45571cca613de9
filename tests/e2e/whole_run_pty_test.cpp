// A whole set-up run in real time: the window, the system's serial device
// and zorvik-modemsim on a pseudo-terminal, the operator answering the power
// prompts. Its wall time is held against the same run in virtual time.
#include <gtest/gtest.h>

#include "bench/whole_run.h"
#include "toolkit/codepage.h"

TEST(WholeRunOverPty, SucceedsInTheTimeItsWaitsTakeAndCostsLittleCpu) {
  const bench::WholeRun virtualRun = bench::RunInVirtualTime();
  ASSERT_TRUE(virtualRun.success);
  const bench::WholeRun realRun = bench::RunInRealTime(MODEMSIM_PROGRAM, false);
  ASSERT_TRUE(realRun.success) << (realRun.log.empty() ? "" : toolkit::Utf8(realRun.log.back()));
  // Same commands, same replies, same verdicts; only the clock differs.
  EXPECT_EQ(realRun.log.size(), virtualRun.log.size());
  const double ratio = realRun.seconds / virtualRun.seconds;
  std::printf("virtual %.3f s, wall %.3f s, ratio %.4f, CPU %.3f s\n", virtualRun.seconds, realRun.seconds, ratio,
              realRun.cpuSeconds);
  // Loose bounds: other tests share the machine. bench_whole_run gives the figures.
  EXPECT_GT(ratio, 0.97);
  EXPECT_LT(ratio, 1.15);
  EXPECT_LT(realRun.cpuSeconds, 0.05 * realRun.seconds);
}
