// The system's side of port discovery and the discovery logic over it.
// Windows answers with its printing subsystem's port list (EnumPortsA,
// level 2) and DOS device names (QueryDosDeviceA); Linux with sysfs.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace serial {

// The two fields of a PORT_INFO_2 record that discovery reads.
struct PortRecord {
  std::string portName;                    // with its colon, "COM3:"
  std::optional<std::string> description;  // absent when the system has none
};

class PortSystem {
 public:
  virtual ~PortSystem() = default;
  // The system's ports in its own order; false when it cannot be asked.
  virtual bool EnumPorts(std::vector<PortRecord>& records) = 0;
  // The leading characters, compared case-sensitively, that mark a serial
  // port among the records; empty when every record is one.
  virtual std::string_view SerialPrefix() const = 0;
  // Whether a device of this bare name exists at this moment.
  virtual bool DeviceExists(const std::string& name) = 0;
};

void EnumSystemComPorts(PortSystem& system, std::vector<std::string>& list);
void GetComPorts(PortSystem& system, std::vector<std::string>& list);

// <0, 0 or >0: Windows-1251 texts compared without regard to case under the
// user's locale collation.
int CompareTextUserLocale(std::string_view a, std::string_view b);

// The tty ports of a Linux machine. The roots are parameters so that
// discovery can run on a tree made up for it.
class SysfsPortSystem final : public PortSystem {
 public:
  struct Layout {
    std::filesystem::path sysfs = "/sys";
    std::filesystem::path dev = "/dev";
    std::filesystem::path consoles = "/proc/consoles";
  };

  explicit SysfsPortSystem(Layout layout) : layout_(std::move(layout)) {}
  SysfsPortSystem() : SysfsPortSystem(Layout{}) {}

  // Names are "ttyUSB0:"; the description is what sysfs knows of a USB
  // adapter (product, serial number).
  bool EnumPorts(std::vector<PortRecord>& records) override;
  std::string_view SerialPrefix() const override { return {}; }
  bool DeviceExists(const std::string& name) override;

 private:
  Layout layout_;
};

// The running system's ports.
PortSystem& SystemPortSystem();

}  // namespace serial
