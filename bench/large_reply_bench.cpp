// A large reply through the whole receive path: the pty, the driver's poll,
// the reply buffer, the quiet detection and the log pane. The modem side
// writes it as fast as the pty takes it.
//   bench_large_reply [KiB]   (default 1024)
#include <QApplication>
#include <QPushButton>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <poll.h>
#include <pty.h>
#include <string>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "bench/process_figures.h"
#include "app/umset.h"
#include "serial/serial_device.h"
#include "toolkit/codepage.h"
#include "toolkit/qt_toolkit.h"

using bench::CpuSeconds;

namespace {
using Clock = std::chrono::steady_clock;
}  // namespace

int main(int argc, char** argv) {
  const size_t kib = argc > 1 ? size_t(std::atol(argv[1])) : 1024;
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  int master = -1, slave = -1;
  char name[128];
  if (openpty(&master, &slave, name, nullptr, nullptr) != 0) return 1;
  close(slave);

  // Printable bytes, so that the pane's line is the reply itself.
  std::string reply = "ATI\r";
  for (size_t i = 0; reply.size() < kib * 1024; ++i) reply += char('A' + i % 26);
  reply += "\r\nOK\r\n";
  std::atomic<bool> written{false};
  Clock::time_point writtenAt;
  std::thread modem([&] {
    // Until the program opens the slave, the master reads EIO.
    std::string got;
    const auto giveUp = Clock::now() + std::chrono::seconds(10);
    while (got.find('\r') == std::string::npos) {
      if (Clock::now() > giveUp) return;
      char buf[64];
      pollfd p{master, POLLIN, 0};
      poll(&p, 1, 20);
      const ssize_t n = read(master, buf, sizeof buf);
      if (n > 0) got.append(buf, size_t(n));
      else std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    for (size_t off = 0; off < reply.size();) {
      pollfd p{master, POLLOUT, 0};
      poll(&p, 1, 100);
      const ssize_t n = write(master, reply.data() + off, std::min<size_t>(4096, reply.size() - off));
      if (n > 0) off += size_t(n);
    }
    writtenAt = Clock::now();
    written = true;
  });

  toolkit::QtToolkit tk;
  app::TForm1 form(app::Environment{tk, serial::SystemSerialPlatform(), [&] { return std::vector<std::string>{name}; },
                                    [] { return toolkit::Cp1251("ЗОРВИК"); }, "/dev/null"});
  const std::string prefix = toolkit::Cp1251("ответ(без CR и LF)=");
  // A reply that long is handed over in pieces: all of it is logged when
  // the pieces add up to it (its CRs and LFs not shown).
  const size_t shown = reply.size() - size_t(std::count(reply.begin(), reply.end(), '\r')) -
                       size_t(std::count(reply.begin(), reply.end(), '\n'));
  size_t pieces = 0;
  auto logged = [&] {
    size_t bytes = 0;
    pieces = 0;
    for (const std::string& l : form.LogLines())
      if (l.rfind(prefix, 0) == 0) bytes += l.size() - prefix.size(), ++pieces;
    return bytes >= shown ? bytes : 0;
  };
  const auto start = Clock::now();
  const double cpu0 = CpuSeconds();
  form.BBB->click();
  size_t loggedBytes = 0;
  const auto limit = std::chrono::seconds(10 + kib / 16);
  while (!(loggedBytes = logged()) && Clock::now() - start < limit) tk.WaitForEvents(10);
  const auto end = Clock::now();
  const double cpu = CpuSeconds() - cpu0;
  modem.join();
  close(master);
  if (!written || !loggedBytes) {
    std::fprintf(stderr, "the reply was not logged (written: %d)\n", int(written));
    for (const std::string& l : form.LogLines()) std::fprintf(stderr, "%s\n", toolkit::Utf8(l.substr(0, 80)).c_str());
    return 1;
  }
  const double afterLastByte = std::chrono::duration<double>(end - writtenAt).count();
  std::printf("reply of %zu KiB: logged %.3f s after its last byte was written, %.3f s after start; %.3f CPU s;"
              " %zu bytes in %zu pieces\n",
              kib, afterLastByte, std::chrono::duration<double>(end - start).count(), cpu, loggedBytes, pieces);
  return 0;
}
