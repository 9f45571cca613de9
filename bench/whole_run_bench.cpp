// A whole set-up run against the modem emulator, in real time and in
// virtual time: the wall time against the sum of the timer periods, the
// operator's answers and the modem's reply times; CPU time; memory after.
//   bench_whole_run [--show]
#include <QApplication>
#include <cstdio>
#include <cstring>

#include "bench/whole_run.h"

int main(int argc, char** argv) {
  const bool show = argc > 1 && std::strcmp(argv[1], "--show") == 0;
  if (!show && !qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  const bench::WholeRun virtualRun = bench::RunInVirtualTime();
  const bench::WholeRun realRun = bench::RunInRealTime(ZORVIK_MODEMSIM_PROGRAM, show);
  if (!virtualRun.success || !realRun.success) {
    std::fprintf(stderr, "the whole run did not succeed (virtual %d, real %d)\n", virtualRun.success, realRun.success);
    return 1;
  }
  std::printf("whole run, virtual time (timer periods + operator + modem): %.3f s\n", virtualRun.seconds);
  std::printf("whole run, wall time: %.3f s\n", realRun.seconds);
  std::printf("wall / virtual: %.4f\n", realRun.seconds / virtualRun.seconds);
  std::printf("CPU of the program: %.3f s (%.2f %% of wall)\n", realRun.cpuSeconds,
              100 * realRun.cpuSeconds / realRun.seconds);
  std::printf("CPU of the emulator: %.3f s\n", realRun.modemCpuSeconds);
  std::printf("resident memory after the run: %ld KiB\n", realRun.residentKiB);
  return 0;
}
