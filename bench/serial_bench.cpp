// The serial driver over a pseudo-terminal: the cost of an idle open port at
// the 50 ms poll, and raw-delivery throughput of 1 MiB.
//   bench_serial [idle-seconds]
#include <QCoreApplication>
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <poll.h>
#include <pty.h>
#include <string>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>
#include <utility>

#include "bench/process_figures.h"
#include "serial/serial_driver.h"
#include "toolkit/qt_toolkit.h"

using bench::CpuSeconds;

namespace {
double WallSeconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}
}  // namespace

int main(int argc, char** argv) {
  const double idleSeconds = argc > 1 ? std::atof(argv[1]) : 60.0;
  QCoreApplication app(argc, argv);
  toolkit::QtToolkit tk;

  int master = -1, slave = -1;
  char name[128];
  if (openpty(&master, &slave, name, nullptr, nullptr) != 0) return 1;
  close(slave);

  serial::TSerialDriver drv(tk);
  drv.SetPortName(name);
  drv.SetBaudRate(serial::br115200);
  size_t received = 0;
  bool inOrder = true;
  drv.SetOnReceiveData([&](serial::TSerialDriver*, const char* p, uint32_t n) {
    for (uint32_t i = 0; i < n; ++i) inOrder &= (uint8_t(p[i]) == uint8_t((received + i) * 31 + 7));
    received += n;
  });
  if (!drv.Connect()) return 1;

  // Idle: an open port, nothing on the line.
  double cpu0 = CpuSeconds(), wall0 = WallSeconds();
  toolkit::WaitMilliseconds(tk, uint32_t(idleSeconds * 1000));
  const double idleCpu = CpuSeconds() - cpu0, idleWall = WallSeconds() - wall0;
  std::printf("idle open port: %.3f CPU s over %.1f s wall = %.3f%% of one core\n", idleCpu, idleWall,
              100.0 * idleCpu / idleWall);

  bool ok = true;
  for (auto [inBuf, pollMs] : {std::pair<uint32_t, uint16_t>{2048, 50}, {8192, 5}}) {
    drv.Disconnect();
    drv.SetInBufSize(inBuf);
    drv.SetPollingDelay(pollMs);
    received = 0;
    if (!drv.Connect()) return 1;
    std::printf("InBufSize %u, PollingDelay %u ms: ", inBuf, pollMs);
    // Throughput: a writer thread pushes 1 MiB into the master as fast as the
    // pty takes it; the driver reads at every tick.
    const size_t total = 1 << 20;
    std::thread writer([&] {
      std::string data(total, '\0');
      for (size_t i = 0; i < total; ++i) data[i] = char(i * 31 + 7);
      size_t off = 0;
      while (off < total) {
        pollfd p{master, POLLOUT, 0};
        poll(&p, 1, 100);
        const ssize_t n = write(master, data.data() + off, std::min<size_t>(4096, total - off));
        if (n > 0) off += size_t(n);
      }
    });
    cpu0 = CpuSeconds();
    wall0 = WallSeconds();
    while (received < total && WallSeconds() - wall0 < 300) tk.WaitForEvents(50);
    const double cpu = CpuSeconds() - cpu0, wall = WallSeconds() - wall0;
    writer.join();
    std::printf("throughput 1 MiB raw delivery: %s, %.2f MiB/s, %.3f CPU s (both threads), %.2f s wall\n",
                received == total && inOrder ? "intact" : "CORRUPTED", double(received) / (1 << 20) / wall, cpu, wall);
    ok &= received == total && inOrder;
  }
  drv.Disconnect();
  close(master);
  return ok ? 0 : 2;
}
