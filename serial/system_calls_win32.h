// The system calls of the serial backend and of port discovery, as a table.
// The program uses the system's own; a test puts a driver's documented
// behaviour between the backend and them (a write that times out with an
// error, a queue query that always fails, a device that vanishes).
#pragma once

#include <windows.h>
#include <winspool.h>

namespace serial {

struct Win32Calls {
  // The device.
  decltype(&::CreateFileW) CreateFileW = ::CreateFileW;
  decltype(&::CloseHandle) CloseHandle = ::CloseHandle;
  decltype(&::SetCommState) SetCommState = ::SetCommState;
  decltype(&::SetupComm) SetupComm = ::SetupComm;
  decltype(&::SetCommTimeouts) SetCommTimeouts = ::SetCommTimeouts;
  decltype(&::PurgeComm) PurgeComm = ::PurgeComm;
  decltype(&::ClearCommError) ClearCommError = ::ClearCommError;
  decltype(&::ReadFile) ReadFile = ::ReadFile;
  decltype(&::WriteFile) WriteFile = ::WriteFile;
  decltype(&::GetCommModemStatus) GetCommModemStatus = ::GetCommModemStatus;
  decltype(&::Sleep) Sleep = ::Sleep;
  // Names: whether one still leads to a device, and the port lists.
  decltype(&::QueryDosDeviceW) QueryDosDeviceW = ::QueryDosDeviceW;
  decltype(&::QueryDosDeviceA) QueryDosDeviceA = ::QueryDosDeviceA;
  decltype(&::EnumPortsA) EnumPortsA = ::EnumPortsA;
  decltype(&::RegOpenKeyExW) RegOpenKeyExW = ::RegOpenKeyExW;
  decltype(&::RegQueryInfoKeyW) RegQueryInfoKeyW = ::RegQueryInfoKeyW;
  decltype(&::RegEnumValueW) RegEnumValueW = ::RegEnumValueW;
  decltype(&::RegCloseKey) RegCloseKey = ::RegCloseKey;
  // Under Wine, the Unix file behind a Windows name (kernel32's
  // wine_get_unix_file_name; the caller frees the result from the process
  // heap); null on Windows, which has no such thing.
  using UnixFileNameFn = char*(CDECL*)(const WCHAR* dosName);
  UnixFileNameFn WineUnixFileName = SystemWineUnixFileName();

  static UnixFileNameFn SystemWineUnixFileName() {
    return reinterpret_cast<UnixFileNameFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
  }
};

}  // namespace serial
