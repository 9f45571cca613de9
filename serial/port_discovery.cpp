#include <algorithm>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "serial/port_system.h"

namespace serial {

namespace {
constexpr size_t kMaxDescription = 255;
}

void EnumSystemComPorts(PortSystem& system, std::vector<std::string>& list) {
  std::vector<PortRecord> records;
  if (!system.EnumPorts(records)) return;
  const std::string_view prefix = system.SerialPrefix();
  for (const PortRecord& r : records) {
    std::string entry = r.portName;
    if (r.description) entry.append(" ").append(*r.description, 0, kMaxDescription);
    // Printer ports, files and network ports share the list.
    if (r.portName.compare(0, prefix.size(), prefix) == 0)
      list.push_back(std::move(entry));
  }
}

void GetComPorts(PortSystem& system, std::vector<std::string>& list) {
  std::vector<std::string> entries;
  EnumSystemComPorts(system, entries);
  std::stable_sort(entries.begin(), entries.end(), [](const std::string& a, const std::string& b) {
    return CompareTextUserLocale(a, b) < 0;
  });
  list.clear();
  for (const std::string& entry : entries) {
    // The bare name ends at the colon; without one there is no name to ask for.
    const size_t colon = entry.find(':');
    if (colon == std::string::npos || colon == 0) continue;
    const std::string name = entry.substr(0, colon);
    if (system.DeviceExists(name)) list.push_back(name);
  }
}

}  // namespace serial
