#include "serial/port_system_win32.h"

#include <string>
#include <utility>
#include <vector>

namespace serial {

namespace {
// The size QueryDosDeviceA is given for the target path, which is not used.
constexpr DWORD kTargetPathSize = 260;
}  // namespace

bool Win32PortSystem::EnumPorts(std::vector<PortRecord>& records) {
  DWORD needed = 0, returned = 0;
  // Asked without a buffer, the system says how much it needs; success here
  // means it has no ports at all.
  if (enumPorts_(nullptr, 2, nullptr, 0, &needed, &returned) || GetLastError() != ERROR_INSUFFICIENT_BUFFER)
    return false;
  std::vector<BYTE> buffer(needed);
  returned = 0;
  if (!enumPorts_(nullptr, 2, buffer.data(), needed, &needed, &returned)) returned = 0;
  const auto* info = reinterpret_cast<const PORT_INFO_2A*>(buffer.data());
  for (DWORD i = 0; i < returned; ++i) {
    PortRecord r;
    if (info[i].pPortName) r.portName = info[i].pPortName;
    if (info[i].pDescription) r.description = std::string(info[i].pDescription);
    records.push_back(std::move(r));
  }
  return true;
}

bool Win32PortSystem::DeviceExists(const std::string& name) {
  char target[kTargetPathSize];
  return queryDosDevice_(name.c_str(), target, kTargetPathSize) != 0;
}

PortSystem& SystemPortSystem() {
  static Win32PortSystem system;
  return system;
}

}  // namespace serial
