// Serial devices through the Win32 communications API, over a table of the
// system calls (the system's own unless a test gives another).
#pragma once

#include <memory>
#include <string>

#include "serial/serial_device.h"
#include "serial/system_calls_win32.h"

namespace serial {

class Win32SerialPlatform final : public SerialPlatform {
 public:
  explicit Win32SerialPlatform(const Win32Calls& calls = Win32Calls{}) : calls_(calls) {}
  std::unique_ptr<SerialDevice> Open(const std::string& path, OpenFailure& why) override;

 private:
  Win32Calls calls_;
};

// What the system announces when a device leaves: WM_DEVICECHANGE with
// DBT_DEVICEREMOVECOMPLETE and a port's name goes to every top-level window,
// among them this process's hidden one, which marks the open devices of that
// name as gone. The window exists from the first open on; null before.
HWND RemovalListener();

}  // namespace serial
