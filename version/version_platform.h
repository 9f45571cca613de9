// The system's side of the version reader, in the shape of the Win32 calls
// (GetFileVersionInfoSizeA, GetFileVersionInfoA, VerQueryValueA,
// GetThreadLocale) so that the Windows one maps onto it call for call. On
// Linux the block is a section of the program's own ELF file.
#pragma once

#include <cstdint>
#include <string>
#include <utility>

namespace version {

// Name of the ELF section that carries the program's version block.
inline constexpr char kVersionSection[] = ".zorvik_version";

class VersionPlatform {
 public:
  virtual ~VersionPlatform() = default;
  // Full path of the running executable.
  virtual std::string ExecutablePath() = 0;
  // Bytes of the buffer that holds the file's version block; 0 when none.
  virtual uint32_t GetFileVersionInfoSize(const std::string& path) = 0;
  // The block into data, cut to length when that is shorter.
  virtual bool GetFileVersionInfo(const std::string& path, uint32_t length, uint8_t* data) = 0;
  // The text of the entry at a sub-block path of a block read above,
  // Windows-1251 up to its terminating zero; false when there is no such entry.
  virtual bool VerQueryValue(const uint8_t* block, uint32_t size, const std::string& subBlock, std::string& text) = 0;
  // LCID of the main thread's locale; 0 when there is none.
  virtual uint32_t GetThreadLocale() = 0;
};

// The version block as an ELF section of a file.
class ElfVersionPlatform final : public VersionPlatform {
 public:
  ElfVersionPlatform(std::string executable, uint32_t threadLocale)
      : executable_(std::move(executable)), threadLocale_(threadLocale) {}

  std::string ExecutablePath() override { return executable_; }
  uint32_t GetFileVersionInfoSize(const std::string& path) override;
  bool GetFileVersionInfo(const std::string& path, uint32_t length, uint8_t* data) override;
  bool VerQueryValue(const uint8_t* block, uint32_t size, const std::string& subBlock, std::string& text) override;
  uint32_t GetThreadLocale() override { return threadLocale_; }

 private:
  std::string executable_;
  uint32_t threadLocale_;
};

// The running program: /proc/self/exe and the locale of its messages, taken
// once at first use.
VersionPlatform& SystemVersionPlatform();

}  // namespace version
