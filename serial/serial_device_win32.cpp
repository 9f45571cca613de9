// Serial devices through the Win32 communications API.
// Our headers first: windows.h defines some of their names as macros, with
// the same values, which must not reach our declarations.
#include "serial/serial_device_win32.h"

#include <dbt.h>

#include <algorithm>
#include <cwctype>
#include <string>
#include <vector>

#include "serial/open_failure_win32.h"
#include "toolkit/wide_text_win32.h"

namespace serial {
namespace {

class Win32Device;
// The open devices of this process, on the GUI thread, for the removal
// announcements to find them by name.
std::vector<Win32Device*>& OpenDevices() {
  static std::vector<Win32Device*> devices;
  return devices;
}

bool SameName(std::wstring_view a, std::wstring_view b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](wchar_t x, wchar_t y) { return towupper(x) == towupper(y); });
}

// A failed call is not a pulled adapter. Drivers fail calls on devices that
// are still there: usbser.sys a write whose time-out elapsed
// (ERROR_SEM_TIMEOUT), some virtual and Bluetooth ports every ClearCommError
// (ERROR_INVALID_PARAMETER), any driver a call cut short by a purge
// (ERROR_OPERATION_ABORTED). The device is gone only when the system says
// so: it announced the removal, or its name no longer leads to a device.
// Under Wine the name stays mapped after its device went; Wine's own
// resolver of the name to the Unix device then fails instead.
class Win32Device final : public SerialDevice {
 public:
  Win32Device(const Win32Calls& calls, HANDLE h, std::wstring name) : calls_(calls), h_(h), name_(std::move(name)) {
    OpenDevices().push_back(this);
  }
  ~Win32Device() override {
    auto& devices = OpenDevices();
    devices.erase(std::remove(devices.begin(), devices.end(), this), devices.end());
    calls_.CloseHandle(h_);
  }

  const std::wstring& Name() const { return name_; }
  void MarkRemoved() { removed_ = true; }

  SettingResult SetLineSettings(const DeviceControlBlock& d) override {
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
    return Setting(calls_.SetCommState(h_, &dcb));
  }
  SettingResult SetQueueSizes(uint32_t in, uint32_t out) override { return Setting(calls_.SetupComm(h_, in, out)); }
  bool SetTimeouts(const CommTimeouts& t) override {
    COMMTIMEOUTS ct{t.ReadIntervalTimeout, t.ReadTotalTimeoutMultiplier, t.ReadTotalTimeoutConstant,
                    t.WriteTotalTimeoutMultiplier, t.WriteTotalTimeoutConstant};
    return calls_.SetCommTimeouts(h_, &ct) != 0;
  }
  SettingResult Purge(uint32_t flags) override { return Setting(calls_.PurgeComm(h_, flags)); }
  IoResult GetQueueStatus(QueueStatus& status) override {
    if (removed_) return IoResult::HungUp;
    DWORD errors = 0;
    COMSTAT stat;
    ZeroMemory(&stat, sizeof stat);
    if (!calls_.ClearCommError(h_, &errors, &stat)) return FailedCall();
    status.inQueue = stat.cbInQue;
    status.outQueue = stat.cbOutQue;
    return IoResult::Ok;
  }
  IoResult Read(void* buffer, uint32_t size, uint32_t& read) override {
    read = 0;
    if (removed_) return IoResult::HungUp;
    DWORD n = 0;
    const BOOL ok = calls_.ReadFile(h_, buffer, size, &n, nullptr);
    read = n;
    return ok ? IoResult::Ok : FailedCall();
  }
  IoResult Write(const void* data, uint32_t size, uint32_t& written) override {
    written = 0;
    if (removed_) return IoResult::HungUp;
    DWORD n = 0;
    const BOOL ok = calls_.WriteFile(h_, data, size, &n, nullptr);
    written = n;  // a write that timed out with an error may still have taken some
    return ok ? IoResult::Ok : FailedCall();
  }
  bool GetModemStatus(uint32_t& bits) override {
    DWORD s = 0;
    if (!calls_.GetCommModemStatus(h_, &s)) return false;
    bits = s;
    return true;
  }
  void WaitWritable(uint32_t maxMs) override {
    // Each write already waits up to its 10 ms time-out; sleep the rest of
    // a short slice instead of spinning.
    calls_.Sleep(maxMs < 10 ? maxMs : 10);
  }

 private:
  SettingResult Setting(BOOL ok) {
    if (ok) return true;
    return SettingResult::Refused(SystemWords(GetLastError()));
  }
  IoResult FailedCall() {
    if (!removed_ && NameLeadsToDevice()) return IoResult::Failed;
    removed_ = true;
    return IoResult::HungUp;
  }
  bool NameLeadsToDevice() {
    wchar_t target[1024];
    if (!calls_.QueryDosDeviceW(name_.c_str(), target, DWORD(std::size(target))) &&
        GetLastError() != ERROR_INSUFFICIENT_BUFFER)
      return false;
    if (!calls_.WineUnixFileName) return true;
    char* unixName = calls_.WineUnixFileName((L"\\\\.\\" + name_).c_str());
    if (!unixName) return false;
    HeapFree(GetProcessHeap(), 0, unixName);
    return true;
  }

  const Win32Calls calls_;
  HANDLE h_;
  std::wstring name_;  // the DOS device name: COM3
  bool removed_ = false;
};

LRESULT CALLBACK ListenerProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_DEVICECHANGE && wParam == DBT_DEVICEREMOVECOMPLETE && lParam) {
    const auto* header = reinterpret_cast<const DEV_BROADCAST_HDR*>(lParam);
    if (header->dbch_devicetype == DBT_DEVTYP_PORT) {
      const std::wstring_view name = reinterpret_cast<const DEV_BROADCAST_PORT_W*>(header)->dbcp_name;
      for (Win32Device* device : OpenDevices())
        if (SameName(device->Name(), name)) device->MarkRemoved();
    }
    return TRUE;
  }
  return DefWindowProcW(hwnd, msg, wParam, lParam);
}

HWND MakeListener() {
  WNDCLASSW wc{};
  wc.lpfnWndProc = ListenerProc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = L"ZorvikPortRemoval";
  RegisterClassW(&wc);
  // Top-level and never shown: a message-only window gets no broadcasts.
  return CreateWindowExW(WS_EX_TOOLWINDOW, wc.lpszClassName, L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                         wc.hInstance, nullptr);
}

HWND& Listener() {
  static HWND listener = nullptr;
  return listener;
}

// "\\.\COM3" and "COM3" name the device COM3.
std::wstring DosName(const std::wstring& path) {
  const std::wstring prefix = L"\\\\.\\";
  return path.compare(0, prefix.size(), prefix) == 0 ? path.substr(prefix.size()) : path;
}

bool IsBareComName(const std::string& p) {
  if (p.size() < 4 || (p[0] != 'C' && p[0] != 'c') || (p[1] != 'O' && p[1] != 'o') || (p[2] != 'M' && p[2] != 'm'))
    return false;
  for (size_t i = 3; i < p.size(); ++i)
    if (p[i] < '0' || p[i] > '9') return false;
  return true;
}

}  // namespace

HWND RemovalListener() { return Listener(); }

std::unique_ptr<SerialDevice> Win32SerialPlatform::Open(const std::string& path, OpenFailure& why) {
  if (path.empty() || path.find('\0') != std::string::npos) {
    why = {OpenProblem::NoSuchPort, {}};
    return nullptr;
  }
  if (!Listener()) Listener() = MakeListener();
  // A bare "COMn" opens as "\\.\COMn": Windows finds COM1 to COM9 by their
  // bare names but not COM10 and above.
  const std::wstring device = toolkit::WideFrom1251(IsBareComName(path) ? "\\\\.\\" + path : path);
  const HANDLE h = calls_.CreateFileW(device.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    why = DescribeOpenFailure(GetLastError());
    return nullptr;
  }
  return std::make_unique<Win32Device>(calls_, h, DosName(device));
}

SerialPlatform& SystemSerialPlatform() {
  static Win32SerialPlatform platform;
  return platform;
}

}  // namespace serial
