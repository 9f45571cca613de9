// Start-up of the program as its entry runs it: from the process start to
// the window shown (offscreen), its resident memory, and the cost of a
// 20-second WaitMilliseconds inside the running window.
//   bench_startup [wait-seconds]
#include <QApplication>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/resource.h>
#include <unistd.h>

#include "app/program_hooks.h"
#include "bench/process_figures.h"
#include "toolkit/qt_toolkit.h"

using bench::CpuSeconds;
using bench::ResidentKiB;

namespace {
// Seconds since this process started, from /proc.
double SinceProcessStart() {
  std::ifstream stat("/proc/self/stat");
  std::string s((std::istreambuf_iterator<char>(stat)), {});
  std::istringstream rest(s.substr(s.rfind(')') + 2));
  std::string field;
  for (int i = 3; i <= 22; ++i) rest >> field;  // field 22: starttime in clock ticks
  const double started = std::stod(field) / double(sysconf(_SC_CLK_TCK));
  std::ifstream up("/proc/uptime");
  double uptime = 0;
  up >> uptime;
  return uptime - started;
}
}  // namespace

int main(int argc, char** argv) {
  const double waitSeconds = argc > 1 ? std::atof(argv[1]) : 20.0;
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  toolkit::QtToolkit tk;
  app::ModulesStartup(tk);
  QApplication::setApplicationName(QString::fromUtf8("ЗОРВИК"));
  {
    app::TForm1 form(app::SystemEnvironment(tk));
    form.show();
    QApplication::processEvents();
    const double shown = SinceProcessStart();
    std::printf("process start to window shown: %.0f ms (uptime resolution 10 ms)\n", shown * 1000);
    std::printf("resident memory after start-up: %ld KiB\n", ResidentKiB());

    const double cpu0 = CpuSeconds();
    const auto wall0 = std::chrono::steady_clock::now();
    form.WaitMilliseconds(uint32_t(waitSeconds * 1000));
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wall0).count();
    std::printf("WaitMilliseconds(%.0f s): %.3f CPU s over %.2f s wall\n", waitSeconds, CpuSeconds() - cpu0, wall);
  }
  app::ModulesShutdown();
  return 0;
}
