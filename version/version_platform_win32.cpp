#include "version/version_platform_win32.h"

#include <windows.h>
// The interface has the calls' own names; the A forms are called by name.
#undef GetFileVersionInfoSize
#undef GetFileVersionInfo
#undef VerQueryValue

#include <cstdint>
#include <string>
#include <vector>

namespace version {

namespace {
// The main thread's locale as the program starts.
const LCID kStartLocale = ::GetThreadLocale();
}  // namespace

uint32_t Win32VersionPlatform::GetFileVersionInfoSize(const std::string& path) {
  DWORD handle = 0;
  return GetFileVersionInfoSizeA(path.c_str(), &handle);
}

bool Win32VersionPlatform::GetFileVersionInfo(const std::string& path, uint32_t length, uint8_t* data) {
  return GetFileVersionInfoA(path.c_str(), 0, length, data) != 0;
}

bool Win32VersionPlatform::VerQueryValue(const uint8_t* block, uint32_t, const std::string& subBlock,
                                         std::string& text) {
  void* value = nullptr;
  UINT length = 0;
  if (!VerQueryValueA(block, subBlock.c_str(), &value, &length) || !value) return false;
  text = static_cast<const char*>(value);
  return true;
}

std::string OwnExecutablePath() {
  // A path longer than the buffer comes back cut; grow until it fits.
  std::vector<char> path(MAX_PATH);
  for (;;) {
    const DWORD n = GetModuleFileNameA(nullptr, path.data(), DWORD(path.size()));
    if (n == 0) return {};
    if (n < path.size()) return std::string(path.data(), n);
    path.resize(path.size() * 2);
  }
}

VersionPlatform& SystemVersionPlatform() {
  static Win32VersionPlatform platform(OwnExecutablePath(), kStartLocale);
  return platform;
}

}  // namespace version
