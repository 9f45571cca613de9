// The cases the guest of scripts/test-vm.sh runs on the kernel's own serial
// drivers: a 16550A UART at /dev/ttyS1 and an FTDI USB adapter at
// /dev/ttyUSB0, whose far ends are on the host: zorvik-com-peer for the
// driver's cases, then zorvik-modemsim. A line "operator: ..." on standard
// output asks the host to act. They skip unless ZORVIK_VM names the results
// folder shared with the host; VmHost runs on the host, the others in the
// guest.
#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <QLabel>
#include <QPushButton>

#include "bench/whole_run.h"
#include "modemsim/emulator_process.h"
#include "serial/port_discovery.h"
#include "serial/serial_driver.h"
#include "tests/serial/serial_contract.h"
#include "tests/e2e/window_rig.h"
#include "toolkit/codepage.h"
#include "toolkit/qt_toolkit.h"

namespace {

const char* const kUart = "/dev/ttyS1";
const char* const kAdapter = "/dev/ttyUSB0";

std::string Shared() {
  const char* dir = std::getenv("ZORVIK_VM");
  return dir ? dir : "";
}
#define ZORVIK_NEED_VM() \
  if (Shared().empty()) GTEST_SKIP() << "runs in the guest of scripts/test-vm.sh"

void Say(const char* line) {
  std::printf("%s\n", line);
  std::fflush(stdout);
}

std::string ReadAll(const std::string& file) {
  std::ifstream in(file, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string Pattern(size_t n) {
  std::string s(n, '\0');
  for (size_t i = 0; i < n; ++i) s[i] = char(i & 0xFF);
  return s;
}

bool RunUntil(toolkit::Toolkit& tk, const std::function<bool()>& done, uint32_t ms) {
  const uint32_t t0 = tk.TickCount();
  while (!done()) {
    if (tk.TickCount() - t0 >= ms) return false;
    tk.WaitForEvents(20);
  }
  return true;
}

}  // namespace

// The port list: the UART and the adapter; neither the console's port
// (ttyS0) nor the 8250's empty slots (ttyS2, ttyS3).
TEST(VmPorts, TheListIsTheUartAndTheAdapter) {
  ZORVIK_NEED_VM();
  std::vector<std::string> list;
  serial::GetComPorts(list);
  EXPECT_EQ(list, (std::vector<std::string>{"ttyS1", "ttyUSB0"}));
}

// The serial device's contract on the kernel's own drivers, against
// zorvik-com-peer on the host.
using serial_contract::SerialContract;
INSTANTIATE_TEST_SUITE_P(
    Guest, SerialContract,
    ::testing::Values(
        serial_contract::Implementation{"Uart16550",
                                        [] {
                                          return std::unique_ptr<serial_contract::Rig>(new serial_contract::PeerRig(
                                              serial::SystemSerialPlatform(), kUart,
                                              Shared().empty() ? "runs in the guest of scripts/test-vm.sh" : ""));
                                        }},
        serial_contract::Implementation{"FtdiAdapter",
                                        [] {
                                          return std::unique_ptr<serial_contract::Rig>(new serial_contract::PeerRig(
                                              serial::SystemSerialPlatform(), kAdapter,
                                              Shared().empty() ? "runs in the guest of scripts/test-vm.sh" : ""));
                                        }}),
    serial_contract::NameOf);

// The driver as the window sets it up (9600 8N2, DTR and RTS on), against
// zorvik-com-peer: both lines on, a megabyte each way intact. Neither
// emulated line keeps to its rate, so the driver reads more per poll than a
// real 9600 bit/s line would need.
class VmDriver : public ::testing::TestWithParam<const char*> {};

TEST_P(VmDriver, RaisesDtrAndRtsAndCarriesAMegabyteEachWay) {
  ZORVIK_NEED_VM();
  const std::string port = GetParam();
  toolkit::QtToolkit tk;
  serial::TSerialDriver driver(tk, serial::SystemSerialPlatform());
  driver.SetPortName(port);
  driver.SetStopBits(serial::sb2BITS);
  driver.SetInBufSize(65536);
  std::string got;
  driver.SetOnReceiveData([&](serial::TSerialDriver*, const char* p, uint32_t n) { got.append(p, n); });
  ASSERT_TRUE(driver.Connect());
  const int fd = open(port.c_str(), O_RDWR | O_NONBLOCK | O_NOCTTY);  // root passes TIOCEXCL
  int lines = 0;
  ASSERT_EQ(ioctl(fd, TIOCMGET, &lines), 0);
  close(fd);
  EXPECT_TRUE(lines & TIOCM_DTR);
  EXPECT_TRUE(lines & TIOCM_RTS);

  const std::string megabyte = Pattern(1'000'000);
  got.clear();
  ASSERT_TRUE(driver.SendString("SEND 1000000\r"));
  ASSERT_TRUE(RunUntil(tk, [&] { return got.size() >= megabyte.size(); }, 90'000)) << got.size() << " bytes came";
  EXPECT_TRUE(got == megabyte) << "the megabyte from the far end came changed";

  got.clear();
  ASSERT_TRUE(driver.SendString("TAKE 1000000\r" + megabyte));
  ASSERT_TRUE(RunUntil(tk, [&] { return got.find("\r\n") != std::string::npos; }, 90'000));
  EXPECT_EQ(got.substr(0, got.find("\r\n")), "TOOK 1000000");
  driver.Disconnect();
  EXPECT_FALSE(driver.Connected());
}
INSTANTIATE_TEST_SUITE_P(OnBothDrivers, VmDriver, ::testing::Values(kUart, kAdapter));

// On the host: the run the guest's is held against, over a pseudo-terminal.
TEST(VmHost, TheWholeRunOverAPty) {
  ZORVIK_NEED_VM();
  modemsim::EmulatorProcess modem(MODEMSIM_PROGRAM, bench::WholeRunModemOptions());
  ASSERT_FALSE(modem.Path().empty());
  EXPECT_TRUE(bench::RunOnPort(modem.Path(), [&] { modem.PowerOn(); }, Shared() + "/pty-run.txt").success);
}

// The window's whole run through the USB adapter, against zorvik-modemsim
// on the host: the log it saves is the one of the same run over a pty.
TEST(VmProgram, AWholeRunThroughTheAdapterLogsAsOverAPty) {
  ZORVIK_NEED_VM();
  const std::string saved = Shared() + "/adapter-run.txt";
  const bench::WholeRun run = bench::RunOnPort(kAdapter, [] { Say("operator: power on"); }, saved);
  ASSERT_TRUE(run.success) << (run.log.empty() ? "" : toolkit::Utf8(run.log.back()));
  const std::string over = ReadAll(Shared() + "/pty-run.txt");
  ASSERT_FALSE(over.empty()) << "no run over a pty to hold it against";
  EXPECT_EQ(ReadAll(saved), over);
}

// The adapter pulled in the middle of a run: the port closed and «занят»,
// the next send reports the missing connection, nothing hangs; put back and
// chosen again, it opens, and a whole run succeeds on it.
TEST(VmProgram, APulledAdapterClosesThePortAndARunSucceedsOnceItIsBack) {
  ZORVIK_NEED_VM();
  testing_e2e::Window w(kAdapter);
  w.qt.SetOperator([](std::string_view, std::string_view message) -> uint32_t {
    if (message.find(toolkit::Cp1251("ВКЛЮЧИТЕ")) == std::string_view::npos) return 1000;
    Say("operator: power on");
    return 2000;
  });
  auto W = [](const char* utf8) { return toolkit::Cp1251(utf8); };
  ASSERT_TRUE(w.form.port.Connected());
  w.form.BBB->click();
  ASSERT_TRUE(w.RunUntil([&] { return w.Has(W("Команда= AT&F\r")); }, 60'000)) << w.Tail();
  Say("operator: unplug");
  ASSERT_TRUE(w.RunUntil([&] { return !w.form.port.Connected(); }, 10'000)) << w.Tail();
  EXPECT_EQ(w.form.LAcom->text(), QString::fromUtf8("занят"));
  // The run ends at its next send, or by its watchdog when no reply came.
  ASSERT_TRUE(w.RunUntil([&] { return w.Has(W("нет соединения с портом")) || w.form.BBB->isEnabled(); }, 15'000));
  w.form.BBE->click();
  w.form.BBB->click();
  EXPECT_EQ(w.form.LogLines().back(), W("нет соединения с портом"));

  Say("operator: plug back");
  ASSERT_TRUE(w.RunUntil([] { return access(kAdapter, F_OK) == 0; }, 20'000)) << "the adapter did not come back";
  w.form.CBcomChange();
  EXPECT_EQ(w.form.LAcom->text(), QString::fromUtf8("свободен"));
  w.form.BBE->click();
  w.form.BBB->click();
  const std::string success = W("УСТАНОВКА ПАРАМЕТРОВ МОДЕМА (универсальный, но  медлительный) - ЗАКОНЧИЛАСЬ УСПЕШНО");
  EXPECT_TRUE(w.RunUntil([&] { return w.Has(success); }, 120'000)) << w.Tail();
}
