// The version block as the version resource of a Windows executable.
#pragma once

#include <cstdint>
#include <string>
#include <utility>

#include "version/version_platform.h"

namespace version {

class Win32VersionPlatform final : public VersionPlatform {
 public:
  // executable: the file whose resource is read, UTF-8; threadLocale as
  // GetThreadLocale gave it.
  Win32VersionPlatform(std::string executable, uint32_t threadLocale)
      : executable_(std::move(executable)), threadLocale_(threadLocale) {}

  std::string ExecutablePath() override { return executable_; }
  uint32_t GetFileVersionInfoSize(const std::string& path) override;
  bool GetFileVersionInfo(const std::string& path, uint32_t length, uint8_t* data) override;
  // The text in Windows-1251, whatever the ANSI code page.
  bool VerQueryValue(const uint8_t* block, uint32_t size, const std::string& subBlock, std::string& text) override;
  uint32_t GetThreadLocale() override { return threadLocale_; }

 private:
  std::string executable_;
  uint32_t threadLocale_;
};

// Full path of the running executable, UTF-8.
std::string OwnExecutablePath();

}  // namespace version
