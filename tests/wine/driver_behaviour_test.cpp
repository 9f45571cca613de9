// What real Windows drivers do, played beneath the Win32 backend: its calls
// go through a table whose entries pass them to a simulated line with the
// modem emulator behind it, bending each call the way one driver is
// reported to. A whole set-up runs on each, in virtual time: a port that is
// still there keeps working and the run completes; a pulled adapter closes
// the port with «занят» and ends the run.
//
// Sources for the behaviours (field reports of serial programs' users):
//  - serial.sys: a write whose time-out elapses returns success with fewer
//    bytes (dotnet/corefx#16542);
//  - usbser.sys: such a write fails with ERROR_SEM_TIMEOUT, 121
//    (jcurl/RJCP.DLL.SerialPortStream#146, serialport/node-serialport#781);
//  - a virtual (u-blox) port whose ClearCommError fails with
//    ERROR_INVALID_PARAMETER, 87, on every call while reads work
//    (pyserial/pyserial#575);
//  - a call cut short by a purge: ERROR_OPERATION_ABORTED, 995
//    (pyserial/pyserial#447);
//  - a pulled adapter whose calls fail with ERROR_BAD_COMMAND, 22, until
//    its name goes (libusb/libusb#297, sigrok-pico#7);
//  - a pulled CH340 whose calls go on succeeding, bytes going nowhere
//    (serialport/node-serialport#2351, FengChendian/serial_port_win32#33):
//    only the system's removal announcement tells.
//  - an adapter that refuses line settings with 87 (nyholku/purejavacomm#104).
// Ours first: windows.h defines some of their names as macros.
#include "../setup/recording_form.h"
#include "testing/sim_modem.h"
#include "testing/sim_serial.h"
#include "toolkit/codepage.h"
#include "testing/sim_toolkit.h"
#include "serial/open_failure_win32.h"
#include "serial/serial_device_win32.h"

#include <dbt.h>
#include <gtest/gtest.h>
#undef AddPort  // winspool.h's, not the simulated line's

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

using serial::DeviceControlBlock;

enum class Driver { Uart, SerialSysTimeout, UsbserTimeout, QueueQueryFails, PurgeAborts, FtdiPulled, Ch340Pulled,
                    RefusesLineSettings };

// The world beneath the table: one port, COM3, on a simulated line.
struct World {
  Driver driver = Driver::Uart;
  toolkit::SimToolkit* tk = nullptr;
  serial::SimSerialPlatform* sim = nullptr;
  std::unique_ptr<serial::SerialDevice> device;
  bool pulled = false;    // the adapter is out
  bool nameGone = false;  // and the system has taken its name away
  bool purged = false;    // a purge since the last read
  int writes = 0;
};
World world;
const HANDLE kPort = reinterpret_cast<HANDLE>(0x3c0);

BOOL Fail(DWORD error) {
  SetLastError(error);
  return FALSE;
}
// The pulled FTDI adapter fails every call until its name is gone, and after.
bool FtdiOut() { return world.driver == Driver::FtdiPulled && world.pulled; }
// The pulled CH340 answers every call, with nothing behind it.
bool Ch340Out() { return world.driver == Driver::Ch340Pulled && world.pulled; }

HANDLE WINAPI FakeCreateFile(LPCWSTR name, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE) {
  serial::OpenFailure why;
  if (world.pulled || std::wstring(name) != L"\\\\.\\COM3" || !(world.device = world.sim->Open("COM3", why))) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  return kPort;
}
BOOL WINAPI FakeCloseHandle(HANDLE h) {
  EXPECT_EQ(h, kPort);
  world.device.reset();
  return TRUE;
}
BOOL WINAPI FakeSetCommState(HANDLE, LPDCB d) {
  if (FtdiOut()) return Fail(ERROR_BAD_COMMAND);
  if (Ch340Out()) return TRUE;
  if (world.driver == Driver::RefusesLineSettings && d->StopBits == TWOSTOPBITS) return Fail(ERROR_INVALID_PARAMETER);
  DeviceControlBlock dcb;
  dcb.BaudRate = d->BaudRate;
  dcb.fBinary = d->fBinary;
  dcb.fOutxCtsFlow = d->fOutxCtsFlow;
  dcb.fDtrControl = uint8_t(d->fDtrControl);
  dcb.fOutX = d->fOutX;
  dcb.fInX = d->fInX;
  dcb.fRtsControl = uint8_t(d->fRtsControl);
  dcb.XonLim = d->XonLim;
  dcb.XoffLim = d->XoffLim;
  dcb.ByteSize = d->ByteSize;
  dcb.Parity = d->Parity;
  dcb.StopBits = d->StopBits;
  dcb.XonChar = d->XonChar;
  dcb.XoffChar = d->XoffChar;
  return world.device->SetLineSettings(dcb) ? TRUE : Fail(ERROR_GEN_FAILURE);
}
BOOL WINAPI FakeSetupComm(HANDLE, DWORD in, DWORD out) {
  if (FtdiOut()) return Fail(ERROR_BAD_COMMAND);
  return Ch340Out() || world.device->SetQueueSizes(in, out) ? TRUE : Fail(ERROR_GEN_FAILURE);
}
BOOL WINAPI FakeSetCommTimeouts(HANDLE, LPCOMMTIMEOUTS t) {
  if (FtdiOut()) return Fail(ERROR_BAD_COMMAND);
  return Ch340Out() || world.device->SetTimeouts({t->ReadIntervalTimeout, t->ReadTotalTimeoutMultiplier,
                                                  t->ReadTotalTimeoutConstant, t->WriteTotalTimeoutMultiplier,
                                                  t->WriteTotalTimeoutConstant});
}
BOOL WINAPI FakePurgeComm(HANDLE, DWORD flags) {
  if (FtdiOut()) return Fail(ERROR_BAD_COMMAND);
  world.purged = true;
  return Ch340Out() || world.device->Purge(flags) ? TRUE : Fail(ERROR_GEN_FAILURE);
}
BOOL WINAPI FakeClearCommError(HANDLE, LPDWORD errors, LPCOMSTAT stat) {
  if (FtdiOut()) return Fail(ERROR_BAD_COMMAND);
  if (world.driver == Driver::QueueQueryFails) return Fail(ERROR_INVALID_PARAMETER);
  *errors = 0;
  *stat = COMSTAT{};
  if (Ch340Out()) return TRUE;
  serial::QueueStatus status;
  if (world.device->GetQueueStatus(status) != serial::IoResult::Ok) return Fail(ERROR_GEN_FAILURE);
  stat->cbInQue = status.inQueue;
  stat->cbOutQue = status.outQueue;
  return TRUE;
}
BOOL WINAPI FakeReadFile(HANDLE, LPVOID buffer, DWORD size, LPDWORD read, LPOVERLAPPED) {
  *read = 0;
  if (FtdiOut()) return Fail(ERROR_BAD_COMMAND);
  if (Ch340Out()) return TRUE;
  if (world.driver == Driver::PurgeAborts && world.purged) {
    world.purged = false;
    return Fail(ERROR_OPERATION_ABORTED);
  }
  uint32_t n = 0;
  if (world.device->Read(buffer, size, n) != serial::IoResult::Ok) return Fail(ERROR_GEN_FAILURE);
  *read = n;
  return TRUE;
}
BOOL WINAPI FakeWriteFile(HANDLE, LPCVOID data, DWORD size, LPDWORD written, LPOVERLAPPED) {
  *written = 0;
  if (FtdiOut()) return Fail(ERROR_BAD_COMMAND);
  if (Ch340Out()) {
    *written = size;
    return TRUE;
  }
  const bool timesOut = ++world.writes % 2 == 1;  // every other write meets its time-out
  if (timesOut && world.driver == Driver::SerialSysTimeout) size = std::min<DWORD>(size, 3);
  if (timesOut && world.driver == Driver::UsbserTimeout) size = std::min<DWORD>(size, 2);
  uint32_t n = 0;
  if (world.device->Write(data, size, n) != serial::IoResult::Ok) return Fail(ERROR_GEN_FAILURE);
  *written = n;
  return timesOut && world.driver == Driver::UsbserTimeout ? Fail(ERROR_SEM_TIMEOUT) : TRUE;
}
BOOL WINAPI FakeGetCommModemStatus(HANDLE, LPDWORD bits) {
  if (FtdiOut()) return Fail(ERROR_BAD_COMMAND);
  uint32_t b = 0;
  if (!Ch340Out() && !world.device->GetModemStatus(b)) return Fail(ERROR_GEN_FAILURE);
  *bits = b;
  return TRUE;
}
void WINAPI FakeSleep(DWORD ms) { world.tk->Sleep(uint64_t(ms) * 1000); }
DWORD WINAPI FakeQueryDosDevice(LPCWSTR name, LPWSTR target, DWORD size) {
  if (std::wstring(name) != L"COM3" || world.nameGone) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return 0;
  }
  const std::wstring device = L"\\Device\\Serial2";
  if (size <= device.size() + 1) return Fail(ERROR_INSUFFICIENT_BUFFER);
  std::copy(device.c_str(), device.c_str() + device.size() + 1, target);
  target[device.size() + 1] = L'\0';
  return DWORD(device.size() + 2);
}
// Wine's resolver, for the backend's look under Wine: the same answer.
char* CDECL FakeUnixFileName(const WCHAR*) {
  if (world.nameGone) return nullptr;
  char* name = static_cast<char*>(HeapAlloc(GetProcessHeap(), 0, 16));
  std::strcpy(name, "/dev/ttyUSB0");
  return name;
}

serial::Win32Calls DriverCalls() {
  serial::Win32Calls c;
  c.CreateFileW = FakeCreateFile;
  c.CloseHandle = FakeCloseHandle;
  c.SetCommState = FakeSetCommState;
  c.SetupComm = FakeSetupComm;
  c.SetCommTimeouts = FakeSetCommTimeouts;
  c.PurgeComm = FakePurgeComm;
  c.ClearCommError = FakeClearCommError;
  c.ReadFile = FakeReadFile;
  c.WriteFile = FakeWriteFile;
  c.GetCommModemStatus = FakeGetCommModemStatus;
  c.Sleep = FakeSleep;
  c.QueryDosDeviceW = FakeQueryDosDevice;
  c.WineUnixFileName = FakeUnixFileName;
  return c;
}

// The system's announcement, as it reaches every top-level window.
void AnnounceRemoval(const wchar_t* port) {
  struct {
    DEV_BROADCAST_PORT_W header;
    wchar_t rest[16];
  } b{};
  b.header.dbcp_size = sizeof b;
  b.header.dbcp_devicetype = DBT_DEVTYP_PORT;
  wcscpy(b.header.dbcp_name, port);
  ASSERT_TRUE(serial::RemovalListener());
  SendMessageW(serial::RemovalListener(), WM_DEVICECHANGE, DBT_DEVICEREMOVECOMPLETE, LPARAM(&b));
}

struct Case {
  const char* name;
  Driver driver;
  bool portKept;  // else lost: «занят», the run ended by the loss
};
void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

std::string U(const std::string& cp1251) { return toolkit::Utf8(cp1251); }
const std::string kSuccess = "УСТАНОВКА ПАРАМЕТРОВ МОДЕМА (универсальный, но  медлительный) - ЗАКОНЧИЛАСЬ УСПЕШНО";

class DriverBehaviour : public ::testing::TestWithParam<Case> {};

TEST_P(DriverBehaviour, WholeRun) {
  const Case& c = GetParam();
  toolkit::SimToolkit tk;
  serial::SimSerialPlatform sim(tk);
  serial::SimPort& line = sim.AddPort("COM3");
  world = World{};
  world.driver = c.driver;
  world.tk = &tk;
  world.sim = &sim;
  modemsim::Settings settings;
  modemsim::SimModem modem(tk, line, settings);
  tk.SetOperator([&](const toolkit::SimToolkit::Prompt& p) -> uint64_t {
    if (p.message.find(toolkit::Cp1251("ВКЛЮЧИТЕ")) != std::string::npos) modem.PowerOn();
    return 1500;
  });
  serial::Win32SerialPlatform platform(DriverCalls());
  testing_setup::RecordingForm form(tk, platform);
  form.pin = "4739";
  form.FormCreate({"COM3"}, "");

  // The adapter is pulled once the run has reached the factory profile.
  size_t sentAtPull = 0;
  const auto pull = tk.CreateTimer(1, [&] {
    if (world.pulled || line.Transmitted().find("AT&F\r") == std::string::npos) return;
    world.pulled = true;
    sentAtPull = line.Transmitted().size();
    if (c.driver == Driver::Ch340Pulled) {
      world.nameGone = true;
      AnnounceRemoval(L"com3");
    } else {
      tk.ScheduleIn(400'000, [] { world.nameGone = true; });  // the system takes its time
    }
  });
  const bool pulls = c.driver == Driver::FtdiPulled || c.driver == Driver::Ch340Pulled;
  pull->SetEnabled(pulls);

  if (c.driver == Driver::RefusesLineSettings) {
    EXPECT_EQ(U(form.portStatus), "занят");
    EXPECT_EQ(form.portHint, "порт не принял настройки линии (скорость, формат): " +
                                 serial::SystemWords(ERROR_INVALID_PARAMETER));
    EXPECT_NE(form.portHint.find_first_not_of("? "), std::string::npos);
    return;
  }
  ASSERT_EQ(U(form.portStatus), "свободен");
  AnnounceRemoval(L"COM5");  // another port's removal leaves this one alone
  form.BBBClick();
  tk.RunFor(90'000);

  std::vector<std::string> log;
  for (const std::string& l : form.log)
    if (!l.empty()) log.push_back(U(l));
  ASSERT_FALSE(log.empty());
  std::printf("%s: status %s, last lines: %s | %s\n", c.name, U(form.portStatus).c_str(),
              log.size() > 1 ? log[log.size() - 2].c_str() : "", log.back().c_str());
  if (c.portKept) {
    EXPECT_EQ(log.back(), kSuccess);
    EXPECT_EQ(form.colour, setup::clSuccess);
    EXPECT_EQ(U(form.portStatus), "свободен");
    EXPECT_TRUE(form.port.Connected());
    return;
  }
  EXPECT_EQ(U(form.portStatus), "занят");
  EXPECT_EQ(form.portHint, "нет такого порта: устройства нет или оно отключено");
  EXPECT_FALSE(form.port.Connected());
  EXPECT_EQ(form.colour, setup::clError);
  EXPECT_TRUE(std::any_of(log.begin(), log.end(), [](const std::string& l) {
    return l == "нет соединения с портом" || l == "НЕТ СВЯЗИ c модемом";
  }));
  EXPECT_EQ(line.Transmitted().size(), sentAtPull);  // nothing sent after
  // Put back under the same name, chosen again: it opens.
  world.pulled = world.nameGone = false;
  form.CBcomChange();
  EXPECT_EQ(U(form.portStatus), "свободен");
}

INSTANTIATE_TEST_SUITE_P(
    Drivers, DriverBehaviour,
    ::testing::Values(Case{"Uart", Driver::Uart, true}, Case{"SerialSysWriteTimeout", Driver::SerialSysTimeout, true},
                      Case{"UsbserWriteTimeout", Driver::UsbserTimeout, true},
                      Case{"QueueQueryAlwaysFails", Driver::QueueQueryFails, true},
                      Case{"ReadAbortedByPurge", Driver::PurgeAborts, true},
                      Case{"FtdiPulled", Driver::FtdiPulled, false}, Case{"Ch340Pulled", Driver::Ch340Pulled, false},
                      Case{"RefusesLineSettings", Driver::RefusesLineSettings, false}),
    [](const ::testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

}  // namespace
