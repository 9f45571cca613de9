// The window on a port whose device never goes quiet: CPU of the program
// over S seconds of a flood at 9600 bit/s (NMEA lines back to back, paced to
// the line's rate) after НАЧАТЬ, against the same S seconds idle with the
// port open; and how soon the window takes a click during the flood.
//   bench_flood [S]   (default 60)
#include <QApplication>
#include <QElapsedTimer>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

#include "app/umset.h"
#include "bench/process_figures.h"
#include "serial/serial_device.h"
#include "toolkit/codepage.h"
#include "toolkit/qt_toolkit.h"

using bench::CpuSeconds;

namespace {

// Notes when a press posted to the pane reaches it.
struct PressWatch : QObject {
  QElapsedTimer since;
  std::vector<double> ms;
  bool eventFilter(QObject*, QEvent* e) override {
    if (e->type() == QEvent::MouseButtonPress) ms.push_back(double(since.nsecsElapsed()) / 1e6);
    return false;
  }
};

}  // namespace

int main(int argc, char** argv) {
  const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 60;
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  int master = -1, slave = -1;
  char name[128];
  if (openpty(&master, &slave, name, nullptr, nullptr) != 0) return 1;
  close(slave);

  toolkit::QtToolkit tk;
  app::TForm1 form(app::Environment{tk, serial::SystemSerialPlatform(), [&] { return std::vector<std::string>{name}; },
                                    [] { return toolkit::Cp1251("ЗОРВИК"); }, "/dev/null"});
  if (!form.port.Connected()) return 1;
  auto runFor = [&](int s) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(s);
    while (std::chrono::steady_clock::now() < end) tk.WaitForEvents(50);
  };
  fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
  // What the program sends is read and dropped, as a GPS receiver would.
  std::atomic<bool> flooding{false}, stop{false};
  std::atomic<unsigned long long> sent{0};
  std::thread device([&] {
    const std::string line = "$GPGGA,092750.000,5321.6802,N,00630.3372,W,1,8,1.03,61.7,M,55.2,M,,*76\r\n";
    const auto byteTime = std::chrono::microseconds(1'000'000 * 10 / 9600);
    auto next = std::chrono::steady_clock::now();
    char drain[256];
    while (!stop) {
      (void)!read(master, drain, sizeof drain);
      if (!flooding) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        next = std::chrono::steady_clock::now();
        continue;
      }
      if (write(master, line.data(), line.size()) > 0) sent += line.size();
      next += byteTime * line.size();
      std::this_thread::sleep_until(next);
    }
  });

  runFor(1);  // settled
  double cpu0 = CpuSeconds();
  runFor(seconds);
  const double idle = CpuSeconds() - cpu0;

  PressWatch watch;
  form.MEset->viewport()->installEventFilter(&watch);
  flooding = true;
  cpu0 = CpuSeconds();
  form.BBB->click();
  QElapsedTimer clock;
  clock.start();
  double endedS = -1;
  while (clock.elapsed() < seconds * 1000LL) {
    watch.since.start();
    const QPointF at(4, 4);
    QCoreApplication::postEvent(form.MEset->viewport(), new QMouseEvent(QEvent::MouseButtonPress, at, at, at,
                                                                        Qt::LeftButton, Qt::LeftButton, Qt::NoModifier));
    QCoreApplication::postEvent(form.MEset->viewport(), new QMouseEvent(QEvent::MouseButtonRelease, at, at, at,
                                                                        Qt::LeftButton, Qt::NoButton, Qt::NoModifier));
    const qint64 until = clock.elapsed() + 500;
    while (clock.elapsed() < until) {
      tk.WaitForEvents(50);
      if (endedS < 0 && form.BBB->isEnabled()) endedS = double(clock.elapsed()) / 1000;
    }
  }
  const double flooded = CpuSeconds() - cpu0;
  stop = true;
  device.join();
  close(master);
  std::vector<double> ms = watch.ms;
  std::sort(ms.begin(), ms.end());
  std::printf("%d s idle with the port open: %.3f CPU s\n", seconds, idle);
  std::printf("%d s of a flood at 9600 bit/s after НАЧАТЬ: %.3f CPU s (%.1f times idle), %llu bytes sent\n", seconds,
              flooded, idle > 0 ? flooded / idle : 0.0, sent.load());
  std::printf("run ended by itself after: %.1f s\n", endedS);
  if (!ms.empty())
    std::printf("a click reaches the window during the flood: median %.1f ms, slowest %.1f ms, of %zu\n",
                ms[ms.size() / 2], ms.back(), ms.size());
  std::printf("resident memory after the flood: %ld KiB\n", bench::ResidentKiB());
  return endedS < 0 ? 1 : 0;
}
