#include <algorithm>
#include <cstdint>
#include <fstream>
#include <optional>
#include <string>

#include "toolkit/codepage.h"
#include "version/elf_section.h"
#include "version/version_block.h"
#include "version/version_platform.h"

namespace version {

namespace {
// A version block has a 16-bit length; anything far larger is no block.
constexpr uint64_t kMaxBlock = 1 << 20;
}  // namespace

uint32_t ElfVersionPlatform::GetFileVersionInfoSize(const std::string& path) {
  const std::optional<FileSection> s = FindElfSection(path, kVersionSection);
  return s && s->size <= kMaxBlock ? uint32_t(s->size) : 0;
}

bool ElfVersionPlatform::GetFileVersionInfo(const std::string& path, uint32_t length, uint8_t* data) {
  const std::optional<FileSection> s = FindElfSection(path, kVersionSection);
  if (!s || s->size > kMaxBlock) return false;
  const uint64_t n = std::min<uint64_t>(length, s->size);
  std::ifstream in(path, std::ios::binary);
  in.seekg(std::streamoff(s->offset));
  in.read(reinterpret_cast<char*>(data), std::streamsize(n));
  return bool(in);
}

bool ElfVersionPlatform::VerQueryValue(const uint8_t* block, uint32_t size, const std::string& subBlock,
                                       std::string& text) {
  const std::optional<std::u16string> found = QueryBlockText(block, size, subBlock);
  if (!found) return false;
  text = toolkit::Cp1251(Utf16ToUtf8(*found));
  return true;
}

}  // namespace version
