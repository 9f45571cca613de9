// zorvik-demo's cost: a whole run on the ready training modem as its user
// runs it (real message boxes, one second to read each), then the program
// left alone with the training modem open.
//   bench_demo [idle-seconds]
#include <QApplication>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/demo_program.h"
#include "bench/demo_run.h"
#include "bench/process_figures.h"

int main(int argc, char** argv) {
  const int idleSeconds = argc > 1 ? std::atoi(argv[1]) : 20;
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);

  const bench::DemoRun run = bench::RunDemoAsOperator(application);
  if (!run.ended || run.log.size() < 2 ||
      run.log[run.log.size() - 2].find("ЗАКОНЧИЛАСЬ УСПЕШНО") == std::string::npos) {
    std::fprintf(stderr, "the run on the training modem did not succeed\n");
    return 1;
  }
  std::printf("whole run on %s, wall time: %.3f s\n", run.port.c_str(), run.seconds);
  std::printf("CPU during the whole run: %.3f s (%.2f %% of one core)\n", run.cpuSeconds,
              100 * run.cpuSeconds / run.seconds);

  double idleCpu = 0, idleWall = 0;
  app::RunDemoProgram(application, [&](app::TForm1&) {
    const double cpu0 = bench::CpuSeconds();
    const auto t0 = std::chrono::steady_clock::now();
    QTimer::singleShot(idleSeconds * 1000, [&, cpu0, t0] {
      idleCpu = bench::CpuSeconds() - cpu0;
      idleWall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
      QApplication::quit();
    });
  });
  std::printf("idle with the training modem open, %d s: %.3f CPU s (%.2f %% of one core)\n", idleSeconds, idleCpu,
              100 * idleCpu / idleWall);
  return 0;
}
