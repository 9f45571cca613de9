// Serial devices through the Win32 communications API.
// Our header first: windows.h defines the same names as macros, with the
// same values, which must not reach our declarations.
#include "serial/serial_device.h"

#include <windows.h>

#include "serial/open_failure_win32.h"

namespace serial {
namespace {

// A call that fails on an open handle means the device has gone from
// under it (a USB adapter pulled out); what the drivers then report differs
// (under Wine ERROR_INVALID_FUNCTION for a USB adapter, ERROR_NOT_READY for
// a pty; ERROR_DEVICE_NOT_CONNECTED, ERROR_BAD_COMMAND, ERROR_DEVICE_REMOVED,
// ERROR_GEN_FAILURE, ERROR_ACCESS_DENIED on Windows' own drivers), and none
// of them comes back under the handle. A time-out is
// not a failure: the calls return success with fewer bytes.
class Win32Device final : public SerialDevice {
 public:
  explicit Win32Device(HANDLE h) : h_(h) {}
  ~Win32Device() override { CloseHandle(h_); }

  bool SetLineSettings(const DeviceControlBlock& d) override {
    DCB dcb;
    ZeroMemory(&dcb, sizeof dcb);
    dcb.DCBlength = sizeof(DCB);
    dcb.BaudRate = d.BaudRate;
    dcb.fBinary = d.fBinary;
    dcb.fParity = d.fParity;
    dcb.fOutxCtsFlow = d.fOutxCtsFlow;
    dcb.fOutxDsrFlow = d.fOutxDsrFlow;
    dcb.fDtrControl = d.fDtrControl;
    dcb.fDsrSensitivity = d.fDsrSensitivity;
    dcb.fTXContinueOnXoff = d.fTXContinueOnXoff;
    dcb.fOutX = d.fOutX;
    dcb.fInX = d.fInX;
    dcb.fErrorChar = d.fErrorChar;
    dcb.fNull = d.fNull;
    dcb.fRtsControl = d.fRtsControl;
    dcb.fAbortOnError = d.fAbortOnError;
    dcb.XonLim = d.XonLim;
    dcb.XoffLim = d.XoffLim;
    dcb.ByteSize = d.ByteSize;
    dcb.Parity = d.Parity;
    dcb.StopBits = d.StopBits;
    dcb.XonChar = d.XonChar;
    dcb.XoffChar = d.XoffChar;
    dcb.ErrorChar = d.ErrorChar;
    dcb.EofChar = d.EofChar;
    dcb.EvtChar = d.EvtChar;
    return SetCommState(h_, &dcb) != 0;
  }
  bool SetQueueSizes(uint32_t in, uint32_t out) override { return SetupComm(h_, in, out) != 0; }
  bool SetTimeouts(const CommTimeouts& t) override {
    COMMTIMEOUTS ct{t.ReadIntervalTimeout, t.ReadTotalTimeoutMultiplier, t.ReadTotalTimeoutConstant,
                    t.WriteTotalTimeoutMultiplier, t.WriteTotalTimeoutConstant};
    return SetCommTimeouts(h_, &ct) != 0;
  }
  bool Purge(uint32_t flags) override { return PurgeComm(h_, flags) != 0; }
  IoResult GetQueueStatus(QueueStatus& status) override {
    DWORD errors = 0;
    COMSTAT stat;
    ZeroMemory(&stat, sizeof stat);
    if (!ClearCommError(h_, &errors, &stat)) return IoResult::HungUp;
    status.inQueue = stat.cbInQue;
    status.outQueue = stat.cbOutQue;
    return IoResult::Ok;
  }
  IoResult Read(void* buffer, uint32_t size, uint32_t& read) override {
    DWORD n = 0;
    const BOOL ok = ReadFile(h_, buffer, size, &n, nullptr);
    read = n;
    return ok ? IoResult::Ok : IoResult::HungUp;
  }
  IoResult Write(const void* data, uint32_t size, uint32_t& written) override {
    DWORD n = 0;
    const BOOL ok = WriteFile(h_, data, size, &n, nullptr);
    written = n;
    return ok ? IoResult::Ok : IoResult::HungUp;
  }
  bool GetModemStatus(uint32_t& bits) override {
    DWORD s = 0;
    if (!GetCommModemStatus(h_, &s)) return false;
    bits = s;
    return true;
  }
  void WaitWritable(uint32_t maxMs) override {
    // Each write already waits up to its 10 ms time-out; sleep the rest of
    // a short slice instead of spinning.
    Sleep(maxMs < 10 ? maxMs : 10);
  }

 private:
  HANDLE h_;
};

class Win32Platform final : public SerialPlatform {
 public:
  std::unique_ptr<SerialDevice> Open(const std::string& path, OpenFailure& why) override {
    if (path.empty() || path.find('\0') != std::string::npos) {
      why = {OpenProblem::NoSuchPort, {}};
      return nullptr;
    }
    // A bare "COMn" opens as "\\.\COMn": Windows finds COM1 to COM9 by their
    // bare names but not COM10 and above.
    std::string device = path;
    if (IsBareComName(path)) device = "\\\\.\\" + path;
    const HANDLE h = CreateFileA(device.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
      why = DescribeOpenFailure(GetLastError());
      return nullptr;
    }
    return std::make_unique<Win32Device>(h);
  }

 private:
  static bool IsBareComName(const std::string& p) {
    if (p.size() < 4 || (p[0] != 'C' && p[0] != 'c') || (p[1] != 'O' && p[1] != 'o') || (p[2] != 'M' && p[2] != 'm'))
      return false;
    for (size_t i = 3; i < p.size(); ++i)
      if (p[i] < '0' || p[i] > '9') return false;
    return true;
  }
};

}  // namespace

SerialPlatform& SystemSerialPlatform() {
  static Win32Platform platform;
  return platform;
}

}  // namespace serial
