// The version block reader on any bytes: the block lookups, TVersionInfo
// over a block held in memory, and on Linux the search for the block's
// section in an ELF file.
//   byte 0: what to read (bit 0 set, on Linux: the rest is an ELF file);
//   bytes 1-2: the thread locale (little-endian);
//   the rest: the block, or the file.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz_check.h"
#include "version/version_block.h"
#include "version/version_info.h"
#include "version/version_platform.h"

#if defined(__linux__)
#include <sys/mman.h>
#include <unistd.h>

#include "version/elf_section.h"
#endif

namespace {

class MemoryPlatform final : public version::VersionPlatform {
 public:
  MemoryPlatform(const uint8_t* block, size_t size, uint32_t locale) : block_(block, block + size), locale_(locale) {}
  std::string ExecutablePath() override { return "zorvik"; }
  uint32_t GetFileVersionInfoSize(const std::string&) override { return uint32_t(block_.size()); }
  bool GetFileVersionInfo(const std::string&, uint32_t length, uint8_t* data) override {
    FUZZ_CHECK(length <= block_.size());
    std::memcpy(data, block_.data(), std::min<size_t>(length, block_.size()));
    return true;
  }
  bool VerQueryValue(const uint8_t* block, uint32_t size, const std::string& subBlock, std::string& text) override {
    return elf_.VerQueryValue(block, size, subBlock, text);
  }
  uint32_t GetThreadLocale() override { return locale_; }

 private:
  std::vector<uint8_t> block_;
  uint32_t locale_;
  version::ElfVersionPlatform elf_{"", 0};
};

void Lookups(const uint8_t* block, size_t size) {
  static const char* const kPaths[] = {"\\", "StringFileInfo", "StringFileInfo\\041904E3\\FileVersion",
                                       "\\\\VarFileInfo\\Translation", "StringFileInfo\\040904B0\\ProductName", ""};
  for (const char* path : kPaths) {
    const auto value = version::QueryBlockValue(block, size, path);
    if (!value) continue;
    // What a lookup gives lies inside the block.
    FUZZ_CHECK(value->data >= block && value->size <= size && size_t(value->data - block) <= size - value->size);
    const auto text = version::QueryBlockText(block, size, path);
    FUZZ_CHECK(text && text->size() * 2 <= value->size);
    // A text that came as UTF-16 goes to UTF-8 and back unchanged, but for
    // lone halves of surrogate pairs, which become U+FFFD.
    const auto back = version::Utf8ToUtf16(version::Utf16ToUtf8(*text));
    FUZZ_CHECK(back && back->size() == text->size());
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3) return 0;
  const uint8_t mode = data[0];
  const uint32_t locale = uint32_t(data[1] | (data[2] << 8));
  data += 3;
  size -= 3;

#if defined(__linux__)
  if (mode & 1) {
    const int fd = memfd_create("zorvik-fuzz", 0);
    if (fd < 0) return 0;
    for (size_t done = 0; done < size;) {
      const ssize_t n = write(fd, data + done, size - done);
      if (n <= 0) break;
      done += size_t(n);
    }
    const auto section = version::FindElfSection("/proc/self/fd/" + std::to_string(fd), version::kVersionSection);
    close(fd);
    if (section) FUZZ_CHECK(section->offset <= size && section->size <= size - section->offset);
    return 0;
  }
#else
  (void)mode;
#endif

  Lookups(data, size);
  MemoryPlatform platform(data, size, locale);
  const version::TVersionInfo info(platform);
  (void)version::VersionCaption(info);
  return 0;
}
