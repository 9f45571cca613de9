// TSerialDriver over real Win32 handles. Under Wine the ports are
// pseudo-terminals; zorvik-com-peer on the far end reports the line settings
// it sees and answers what is sent.
// Our headers first: windows.h defines some of their names as macros.
#include "serial/open_failure_win32.h"
#include "serial/serial_driver.h"
#include "tests/serial/serial_contract.h"
#include "real_time_toolkit.h"

#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <windows.h>

#include "peer.h"

namespace {

using namespace serial;

struct Line {
  wine_tests::RealTimeToolkit tk;
  TSerialDriver port{tk};
  std::string received;
  std::vector<uint32_t> deliveries;

  explicit Line(const std::string& path) {
    // As the main window has it, polled faster to keep the tests short.
    port.SetPort(pnCustom);
    port.SetPortName(path);
    port.SetStopBits(sb2BITS);
    port.SetPollingDelay(5);
    port.SetOnReceiveData([this](TSerialDriver*, const char* data, uint32_t size) {
      received.append(data, size);
      deliveries.push_back(size);
    });
  }
  // Sends a line and returns the peer's answer without its CR LF.
  std::string Ask(const std::string& line) {
    received.clear();
    if (!port.SendString(line + "\r")) return "(not sent)";
    if (!tk.RunUntil([&] { return received.find("\r\n") != std::string::npos; }, 3000))
      return "(no answer: " + received + ")";
    return received.substr(0, received.find("\r\n"));
  }
};

HANDLE OpenRaw(const char* path) {
  return CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

bool UnderWine() { return GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version") != nullptr; }

TEST(Win32Port, PrefixedAndBareNamesOpenWithTheMainWindowsLine) {
  ZORVIK_NEED_PEER();
  for (const std::string path : {"\\\\.\\COM5", "COM5", "\\\\.\\COM12", "COM12"}) {
    SCOPED_TRACE(path);
    Line line(path);
    ASSERT_TRUE(line.port.Connect());
    EXPECT_EQ(line.port.PortName(), path);  // the name itself stays as given
    EXPECT_EQ(line.Ask("LINE?"), "LINE 9600 8 N 2");
    line.port.Disconnect();
    EXPECT_FALSE(line.port.Connected());
  }
  // Why bare names get the prefix: the system finds COM1 to COM9 by their
  // bare names, not COM10 and above.
  const HANDLE bare5 = OpenRaw("COM5");
  EXPECT_NE(bare5, INVALID_HANDLE_VALUE);
  if (bare5 != INVALID_HANDLE_VALUE) CloseHandle(bare5);
  EXPECT_EQ(OpenRaw("COM12"), INVALID_HANDLE_VALUE);
}

TEST(Win32Port, MissingPortsDoNotOpen) {
  ZORVIK_NEED_PEER();
  for (const std::string path : {"COM7", "\\\\.\\COM30", "COM", "\\\\.\\"}) {
    SCOPED_TRACE(path);
    Line line(path);
    EXPECT_FALSE(line.port.Connect());
    EXPECT_FALSE(line.port.Connected());
    EXPECT_FALSE(line.port.SendString("AT\r"));
    // Wine opens a COM name with no device behind it, and then refuses its
    // line settings; Windows finds no such file.
    if (!UnderWine() && (path == "COM7" || path == "\\\\.\\COM30")) {
      EXPECT_EQ(line.port.LastOpenFailure().problem, OpenProblem::NoSuchPort) << line.port.LastOpenFailure().detail;
    }
  }
}

// What the operator is told of a refusal: a held port, a missing one, and
// anything else in the system's own words, whatever its language.
TEST(Win32Port, RefusalsAreToldInTheOperatorsTerms) {
  EXPECT_EQ(DescribeOpenFailure(ERROR_ACCESS_DENIED).problem, OpenProblem::InUse);
  EXPECT_EQ(DescribeOpenFailure(ERROR_FILE_NOT_FOUND).problem, OpenProblem::NoSuchPort);
  EXPECT_EQ(DescribeOpenFailure(ERROR_PATH_NOT_FOUND).problem, OpenProblem::NoSuchPort);
  const OpenFailure other = DescribeOpenFailure(ERROR_GEN_FAILURE);
  EXPECT_EQ(other.problem, OpenProblem::Other);
  EXPECT_FALSE(other.detail.empty());
  EXPECT_EQ(other.detail.find_first_of("\r\n"), std::string::npos) << other.detail;
  EXPECT_NE(other.detail.find_first_not_of("? "), std::string::npos) << "not readable in Windows-1251";
}

TEST(Win32Port, FailingModemLineCallsLeaveTheLineUsable) {
  ZORVIK_NEED_PEER();
  // A pseudo-terminal has no modem lines: the system's call fails.
  const HANDLE raw = OpenRaw("\\\\.\\COM12");
  ASSERT_NE(raw, INVALID_HANDLE_VALUE);
  DWORD bits = 0;
  EXPECT_FALSE(GetCommModemStatus(raw, &bits));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_NOT_SUPPORTED));
  CloseHandle(raw);

  Line line("\\\\.\\COM12");
  ASSERT_TRUE(line.port.Connect());
  EXPECT_EQ(line.port.ModemLines(), 0);
  EXPECT_EQ(line.Ask("AT"), "ECHO AT");
  // Checking the lines, nothing is sent while none is on.
  line.port.SetCheckLineStatus(true);
  EXPECT_EQ(line.port.SendBytes("AT\r", 3), 0u);
  line.port.SetCheckLineStatus(false);
  EXPECT_EQ(line.Ask("ATZ"), "ECHO ATZ");
}

}  // namespace

// The serial device's contract through the Win32 backend, on COM5 of the
// test prefix with zorvik-com-peer at its far end.
using serial_contract::SerialContract;
INSTANTIATE_TEST_SUITE_P(Win32, SerialContract,
                         ::testing::Values(serial_contract::Implementation{
                             "Win32BackendUnderWine",
                             [] {
                               return std::unique_ptr<serial_contract::Rig>(new serial_contract::PeerRig(
                                   serial::SystemSerialPlatform(), "COM5",
                                   wine_tests::PeerServes("COM5") ? "" : "no peer on COM5: run scripts/test-windows.sh",
                                   UnderWine() ? "Wine keeps no device exclusive: a second CreateFile of an open port "
                                                 "succeeds"
                                               : ""));
                             }}),
                         serial_contract::NameOf);
