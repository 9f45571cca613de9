// Port discovery through the printing subsystem's port list and the DOS
// device names: the call protocol over made-up answers, then the system's
// own calls on the ports of the test prefix.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "peer.h"
#include "serial/port_discovery.h"
#include "serial/port_system_win32.h"

namespace {

using Names = std::vector<std::string>;

// One scripted EnumPortsA: what each call answers.
struct Script {
  BOOL firstResult = FALSE;
  DWORD firstError = ERROR_INSUFFICIENT_BUFFER;
  BOOL secondResult = TRUE;
  std::vector<std::pair<const char*, const char*>> ports;  // name, description (may be null)
  std::vector<DWORD> sizes;                                // buffer size of each call
};
Script script;

BOOL WINAPI ScriptedEnumPorts(LPSTR name, DWORD level, LPBYTE buffer, DWORD size, LPDWORD needed, LPDWORD returned) {
  EXPECT_EQ(name, nullptr);
  EXPECT_EQ(level, 2u);
  script.sizes.push_back(size);
  // The layout of the real one: the records, then their texts.
  DWORD texts = 0;
  for (const auto& [port, description] : script.ports)
    texts += DWORD(std::strlen(port) + 1 + (description ? std::strlen(description) + 1 : 0));
  const DWORD total = DWORD(script.ports.size() * sizeof(PORT_INFO_2A)) + texts;
  *needed = total;
  if (script.sizes.size() == 1) {
    *returned = 0;
    if (!script.firstResult) SetLastError(script.firstError);
    return script.firstResult;
  }
  if (!script.secondResult || size < total) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  auto* records = reinterpret_cast<PORT_INFO_2A*>(buffer);
  char* text = reinterpret_cast<char*>(buffer + script.ports.size() * sizeof(PORT_INFO_2A));
  const auto put = [&](const char* s) {
    char* at = text;
    std::strcpy(text, s);
    text += std::strlen(s) + 1;
    return at;
  };
  for (size_t i = 0; i < script.ports.size(); ++i) {
    records[i] = PORT_INFO_2A{};
    records[i].pPortName = put(script.ports[i].first);
    records[i].pDescription = script.ports[i].second ? put(script.ports[i].second) : nullptr;
  }
  *returned = DWORD(script.ports.size());
  return TRUE;
}

Names devicesAsked;
DWORD WINAPI ScriptedQueryDosDevice(LPCSTR device, LPSTR target, DWORD size) {
  EXPECT_EQ(size, 260u);
  devicesAsked.push_back(device);
  if (std::strcmp(device, "COM4") == 0) return 0;
  std::strcpy(target, "\\Device\\Serial0");
  return 16;
}

serial::Win32Calls Scripted() {
  serial::Win32Calls calls;
  calls.EnumPortsA = ScriptedEnumPorts;
  calls.QueryDosDeviceA = ScriptedQueryDosDevice;
  return calls;
}

Names Entries() {
  serial::Win32PortSystem system(Scripted());
  Names list{"old"};
  serial::EnumSystemComPorts(system, list);
  return list;
}

TEST(Win32PortList, AskedForItsSizeFirstThenRead) {
  script = {};
  script.ports = {{"COM3:", "Local Port"}, {"LPT1:", "Local Port"}, {"com5:", nullptr}, {"COM10:", nullptr},
                  {"FILE:", "Local Port"}, {"COM4:", "Port \xB9 4"}};
  EXPECT_EQ(Entries(), (Names{"old", "COM3: Local Port", "COM10:", "COM4: Port \xB9 4"}));
  ASSERT_EQ(script.sizes.size(), 2u);
  EXPECT_EQ(script.sizes[0], 0u);
  EXPECT_GT(script.sizes[1], 6 * sizeof(PORT_INFO_2A));

  devicesAsked.clear();
  script.sizes.clear();
  serial::Win32PortSystem system(Scripted());
  Names list{"old"};
  serial::GetComPorts(system, list);
  EXPECT_EQ(list, (Names{"COM10", "COM3"}));
  EXPECT_EQ(devicesAsked, (Names{"COM10", "COM3", "COM4"}));
}

// A scripted serial device map: the texts of its values, in order.
std::vector<std::wstring> deviceMap;
bool deviceMapMissing = false;
const HKEY kMapKey = reinterpret_cast<HKEY>(0x5e7);

LSTATUS WINAPI ScriptedOpenKey(HKEY root, LPCWSTR path, DWORD, REGSAM, PHKEY key) {
  EXPECT_EQ(root, HKEY_LOCAL_MACHINE);
  EXPECT_EQ(std::wstring(path), L"HARDWARE\\DEVICEMAP\\SERIALCOMM");
  if (deviceMapMissing) return ERROR_FILE_NOT_FOUND;
  *key = kMapKey;
  return ERROR_SUCCESS;
}
LSTATUS WINAPI ScriptedQueryInfoKey(HKEY key, LPWSTR, LPDWORD, LPDWORD, LPDWORD, LPDWORD, LPDWORD, LPDWORD values,
                                    LPDWORD longestName, LPDWORD longestData, LPDWORD, PFILETIME) {
  EXPECT_EQ(key, kMapKey);
  *values = DWORD(deviceMap.size());
  *longestName = 20;
  *longestData = 0;
  for (const std::wstring& v : deviceMap) *longestData = std::max(*longestData, DWORD((v.size() + 1) * 2));
  return ERROR_SUCCESS;
}
LSTATUS WINAPI ScriptedEnumValue(HKEY, DWORD i, LPWSTR name, LPDWORD nameSize, LPDWORD, LPDWORD type, LPBYTE data,
                                 LPDWORD dataSize) {
  if (i >= deviceMap.size()) return ERROR_NO_MORE_ITEMS;
  const std::wstring value = L"\\Device\\Serial" + std::to_wstring(i);
  const DWORD bytes = DWORD((deviceMap[i].size() + 1) * 2);
  if (value.size() >= *nameSize || bytes > *dataSize) return ERROR_MORE_DATA;
  std::copy(value.c_str(), value.c_str() + value.size() + 1, name);
  *nameSize = DWORD(value.size());
  *type = REG_SZ;
  std::memcpy(data, deviceMap[i].c_str(), bytes);
  *dataSize = bytes;
  return ERROR_SUCCESS;
}
LSTATUS WINAPI ScriptedCloseKey(HKEY key) {
  EXPECT_EQ(key, kMapKey);
  return ERROR_SUCCESS;
}

Names PortsWithTheDeviceMap() {
  serial::Win32Calls calls = Scripted();
  calls.RegOpenKeyExW = ScriptedOpenKey;
  calls.RegQueryInfoKeyW = ScriptedQueryInfoKey;
  calls.RegEnumValueW = ScriptedEnumValue;
  calls.RegCloseKey = ScriptedCloseKey;
  serial::Win32PortSystem system(calls);
  Names list{"old"};
  serial::GetComPorts(system, list);
  return list;
}

TEST(Win32PortList, NoPortsWhenTheFirstCallSaysSo) {
  script = {};
  script.firstResult = TRUE;  // no ports at all
  script.ports = {{"COM1:", nullptr}};
  EXPECT_EQ(Entries(), Names{"old"});
  EXPECT_EQ(script.sizes.size(), 1u);
}

// A printing subsystem that cannot be asked (its service stopped: the RPC
// server is unavailable) leaves the names to the serial device map, under
// the same rules: COM names only, sorted as text, each with its device.
TEST(Win32PortList, WithoutThePrintingSubsystemTheDeviceMap) {
  deviceMap = {L"COM3", L"CNCA0", L"", L"COM10", L"COM3", L"COM4"};
  for (int failure = 0; failure < 3; ++failure) {
    SCOPED_TRACE(failure);
    script = {};
    script.ports = {{"COM1:", nullptr}};
    if (failure == 0) script.firstError = RPC_S_SERVER_UNAVAILABLE;
    if (failure == 1) script.firstError = ERROR_ACCESS_DENIED;
    if (failure == 2) script.secondResult = FALSE;
    devicesAsked.clear();
    EXPECT_EQ(PortsWithTheDeviceMap(), (Names{"COM10", "COM3", "COM3"}));
    EXPECT_EQ(devicesAsked, (Names{"COM10", "COM3", "COM3", "COM4"}));
  }
  deviceMapMissing = true;
  EXPECT_EQ(PortsWithTheDeviceMap(), Names{});
  deviceMapMissing = false;
}

// The test prefix: the printing subsystem knows COM5:, COM12:, com7: and
// COM300:; COM5, COM12 and COM7 are device names, COM300 is none.
TEST(Win32PortList, TheSystemsPortsWithTheirDevices) {
  ZORVIK_NEED_PEER();
  Names entries;
  serial::EnumSystemComPorts(entries);
  Names names;
  for (const std::string& e : entries) names.push_back(e.substr(0, e.find(':') + 1));
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (Names{"COM12:", "COM300:", "COM5:"}));

  Names ports{"COM1"};
  serial::GetComPorts(ports);
  EXPECT_EQ(ports, (Names{"COM12", "COM5"}));

  // The prefix's own device map, the printing subsystem unavailable.
  script = {};
  script.firstError = RPC_S_SERVER_UNAVAILABLE;
  serial::Win32Calls calls;
  calls.EnumPortsA = ScriptedEnumPorts;
  serial::Win32PortSystem system(calls);
  serial::GetComPorts(system, ports);
  EXPECT_NE(std::find(ports.begin(), ports.end(), "COM5"), ports.end());
  EXPECT_NE(std::find(ports.begin(), ports.end(), "COM12"), ports.end());
  EXPECT_EQ(std::find(ports.begin(), ports.end(), "COM300"), ports.end());
}

}  // namespace
