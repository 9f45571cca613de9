// Finding a named section in an ELF file through its section table.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace version {

struct FileSection {
  uint64_t offset;
  uint64_t size;
};

// The section's place in the file; nothing when the file cannot be read, is
// no ELF file, has no such section with contents, or when the tables point
// outside the file.
std::optional<FileSection> FindElfSection(const std::string& path, std::string_view name);

}  // namespace version
