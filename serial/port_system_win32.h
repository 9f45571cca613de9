// Port discovery on Windows: the printing subsystem's port list and the DOS
// device names. Where the printing subsystem cannot be asked (its service
// stopped, as hardened machines that do not print have it), the names come
// from the system's serial device map instead. The calls come from a table,
// so that the protocol around them can be exercised with made-up answers.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "serial/port_system.h"
#include "serial/system_calls_win32.h"
// winspool.h's macro would rename the interface's EnumPorts in this file only.
#undef EnumPorts

namespace serial {

class Win32PortSystem final : public PortSystem {
 public:
  explicit Win32PortSystem(const Win32Calls& calls = Win32Calls{}) : calls_(calls) {}

  // Level-2 records of the local machine; false when the first call says
  // there are none. When the printing subsystem fails otherwise, the COM
  // names of the serial device map, as records without a description.
  bool EnumPorts(std::vector<PortRecord>& records) override;
  std::string_view SerialPrefix() const override { return "COM"; }
  bool DeviceExists(const std::string& name) override;

 private:
  enum class SpoolerAnswer { Records, NoPorts, Unavailable };
  SpoolerAnswer AskPrintingSubsystem(std::vector<PortRecord>& records);
  // HKLM\HARDWARE\DEVICEMAP\SERIALCOMM: each value's text is a port's name.
  bool ReadDeviceMap(std::vector<PortRecord>& records);

  Win32Calls calls_;
};

}  // namespace serial
