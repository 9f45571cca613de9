// Linux ports from sysfs: every tty with a device behind it that is neither
// a phantom 8250 slot nor the system's console.
#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "serial/port_system.h"
#include "toolkit/codepage.h"

namespace serial {

namespace fs = std::filesystem;

namespace {

// First line of a sysfs attribute, without its line end; nullopt when unreadable.
std::optional<std::string> ReadAttribute(const fs::path& file) {
  std::ifstream in(file);
  std::string line;
  if (!in || !std::getline(in, line)) return std::nullopt;
  while (!line.empty() && std::isspace(static_cast<unsigned char>(line.back()))) line.pop_back();
  return line;
}

bool AllDigits(std::string_view s) {
  return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// Virtual consoles (tty, tty0...), the console alias and pseudo-terminals,
// old BSD style (ptyp0, ttyp0) as well as ptmx. They have no device link
// anyway; the names keep them out even on odd kernels.
bool IsVirtualTty(std::string_view name) {
  if (name == "tty" || name == "console" || name == "ptmx") return true;
  if (name.substr(0, 3) == "pty") return true;
  if (name.substr(0, 3) != "tty") return false;
  const std::string_view rest = name.substr(3);
  if (AllDigits(rest)) return true;
  const auto hex = [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); };
  return rest.size() == 2 && ((rest[0] >= 'p' && rest[0] <= 'z') || (rest[0] >= 'a' && rest[0] <= 'e')) &&
         hex(rest[1]);
}

// Opening a console port would re-program the kernel's console line.
std::set<std::string> ConsoleNames(const SysfsPortSystem::Layout& layout) {
  std::set<std::string> names;
  std::ifstream active(layout.sysfs / "class" / "tty" / "console" / "active");
  for (std::string name; active >> name;) names.insert(name);
  std::ifstream consoles(layout.consoles);
  for (std::string line; std::getline(consoles, line);) {
    std::istringstream fields(line);
    std::string name;
    if (fields >> name) names.insert(name);
  }
  return names;
}

// A USB adapter's product and serial number sit on the USB device, a few
// levels above the tty's own device.
std::optional<std::string> Describe(const fs::path& sysfs, const fs::path& tty) {
  std::error_code ec;
  const fs::path root = fs::weakly_canonical(sysfs, ec);
  fs::path dir = fs::canonical(tty / "device", ec);
  if (ec) return std::nullopt;
  for (int level = 0; level < 4 && dir.has_relative_path() && dir != root; ++level, dir = dir.parent_path()) {
    const std::optional<std::string> product = ReadAttribute(dir / "product");
    if (!product) continue;
    std::string text = *product;
    if (const std::optional<std::string> number = ReadAttribute(dir / "serial"); number && !number->empty())
      text += " " + *number;
    return toolkit::Cp1251(text);
  }
  return std::nullopt;
}

}  // namespace

bool SysfsPortSystem::EnumPorts(std::vector<PortRecord>& records) {
  const fs::path ttys = layout_.sysfs / "class" / "tty";
  std::error_code ec;
  fs::directory_iterator it(ttys, ec);
  if (ec) return false;
  const std::set<std::string> consoles = ConsoleNames(layout_);
  std::vector<PortRecord> found;
  for (const fs::directory_entry& entry : it) {
    const std::string name = entry.path().filename().string();
    if (IsVirtualTty(name) || consoles.count(name)) continue;
    const fs::path tty = ttys / name;
    if (!fs::exists(tty / "device", ec)) continue;
    // Type 0 is PORT_UNKNOWN: a slot the 8250 driver reserves without a UART.
    if (const std::optional<std::string> type = ReadAttribute(tty / "type"); type && *type == "0") continue;
    found.push_back(PortRecord{name + ":", Describe(layout_.sysfs, tty)});
  }
  // The directory's order is arbitrary; keep it the same from run to run.
  std::sort(found.begin(), found.end(),
            [](const PortRecord& a, const PortRecord& b) { return a.portName < b.portName; });
  records.insert(records.end(), found.begin(), found.end());
  return true;
}

bool SysfsPortSystem::DeviceExists(const std::string& name) {
  if (name.empty() || name.find('/') != std::string::npos || name == "." || name == "..") return false;
  std::error_code ec;
  return fs::exists(layout_.dev / name, ec);
}

}  // namespace serial
