// Port discovery on Windows: the printing subsystem's port list and the DOS
// device names. The two calls are parameters so that the protocol around
// them can be exercised with made-up answers.
#pragma once

#include <windows.h>
#include <winspool.h>

#include <string>
#include <string_view>
#include <vector>

#include "serial/port_system.h"

namespace serial {

class Win32PortSystem final : public PortSystem {
 public:
  using EnumPortsFn = BOOL(WINAPI*)(LPSTR name, DWORD level, LPBYTE ports, DWORD size, LPDWORD needed,
                                    LPDWORD returned);
  using QueryDosDeviceFn = DWORD(WINAPI*)(LPCSTR device, LPSTR target, DWORD size);

  Win32PortSystem(EnumPortsFn enumPorts = ::EnumPortsA, QueryDosDeviceFn queryDosDevice = ::QueryDosDeviceA)
      : enumPorts_(enumPorts), queryDosDevice_(queryDosDevice) {}

  // Level-2 records of the local machine. false when the first call does
  // anything but fail for want of a buffer (no ports, or an error).
  bool EnumPorts(std::vector<PortRecord>& records) override;
  std::string_view SerialPrefix() const override { return "COM"; }
  bool DeviceExists(const std::string& name) override;

 private:
  EnumPortsFn enumPorts_;
  QueryDosDeviceFn queryDosDevice_;
};

}  // namespace serial
