#include "serial/port_system_win32.h"

#include <string>
#include <utility>
#include <vector>

#include "toolkit/wide_text_win32.h"

namespace serial {

namespace {
// The size QueryDosDeviceA is given for the target path, which is not used.
constexpr DWORD kTargetPathSize = 260;
}  // namespace

bool Win32PortSystem::EnumPorts(std::vector<PortRecord>& records) {
  switch (AskPrintingSubsystem(records)) {
    case SpoolerAnswer::Records:
      return true;
    case SpoolerAnswer::NoPorts:
      return false;
    case SpoolerAnswer::Unavailable:
      break;
  }
  records.clear();
  return ReadDeviceMap(records);
}

Win32PortSystem::SpoolerAnswer Win32PortSystem::AskPrintingSubsystem(std::vector<PortRecord>& records) {
  DWORD needed = 0, returned = 0;
  // Asked without a buffer, the system says how much it needs; success here
  // means it has no ports at all. Any other failure (the service stopped:
  // RPC_S_SERVER_UNAVAILABLE) means it cannot be asked.
  if (calls_.EnumPortsA(nullptr, 2, nullptr, 0, &needed, &returned)) return SpoolerAnswer::NoPorts;
  if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) return SpoolerAnswer::Unavailable;
  std::vector<BYTE> buffer(needed);
  returned = 0;
  if (!calls_.EnumPortsA(nullptr, 2, buffer.data(), needed, &needed, &returned)) return SpoolerAnswer::Unavailable;
  const auto* info = reinterpret_cast<const PORT_INFO_2A*>(buffer.data());
  for (DWORD i = 0; i < returned; ++i) {
    PortRecord r;
    if (info[i].pPortName) r.portName = info[i].pPortName;
    if (info[i].pDescription) r.description = std::string(info[i].pDescription);
    records.push_back(std::move(r));
  }
  return SpoolerAnswer::Records;
}

bool Win32PortSystem::ReadDeviceMap(std::vector<PortRecord>& records) {
  HKEY key = nullptr;
  if (calls_.RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_QUERY_VALUE, &key) !=
      ERROR_SUCCESS)
    return false;
  DWORD values = 0, longestName = 0, longestData = 0;
  if (calls_.RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values, &longestName,
                              &longestData, nullptr, nullptr) != ERROR_SUCCESS)
    values = 0;
  std::vector<wchar_t> name(longestName + 1);
  std::vector<BYTE> data(longestData + sizeof(wchar_t));
  for (DWORD i = 0; i < values; ++i) {
    DWORD nameSize = DWORD(name.size()), dataSize = DWORD(data.size()) - sizeof(wchar_t), type = 0;
    if (calls_.RegEnumValueW(key, i, name.data(), &nameSize, nullptr, &type, data.data(), &dataSize) != ERROR_SUCCESS ||
        type != REG_SZ)
      continue;
    // The text may or may not end in its zero.
    std::wstring port(reinterpret_cast<const wchar_t*>(data.data()), dataSize / sizeof(wchar_t));
    port.resize(port.find(L'\0') == std::wstring::npos ? port.size() : port.find(L'\0'));
    // Shaped as the printing subsystem's names, for the same rules after.
    records.push_back(PortRecord{toolkit::Cp1251FromWide(port) + ":", std::nullopt});
  }
  calls_.RegCloseKey(key);
  return true;
}

bool Win32PortSystem::DeviceExists(const std::string& name) {
  char target[kTargetPathSize];
  return calls_.QueryDosDeviceA(name.c_str(), target, kTargetPathSize) != 0;
}

PortSystem& SystemPortSystem() {
  static Win32PortSystem system;
  return system;
}

}  // namespace serial
