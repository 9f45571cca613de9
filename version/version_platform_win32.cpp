#include "version/version_platform_win32.h"

#include <windows.h>
// The interface has the calls' own names; the W forms are called by name.
#undef GetFileVersionInfoSize
#undef GetFileVersionInfo
#undef VerQueryValue

#include <cstdint>
#include <string>
#include <vector>

#include "toolkit/wide_text_win32.h"

namespace version {

namespace {
// The main thread's locale as the program starts.
const LCID kStartLocale = ::GetThreadLocale();
}  // namespace

// The path is UTF-8: a folder named in letters outside the ANSI code page
// (a Cyrillic user name on an English Windows) must still be found.
uint32_t Win32VersionPlatform::GetFileVersionInfoSize(const std::string& path) {
  DWORD handle = 0;
  return GetFileVersionInfoSizeW(toolkit::Wide(path, CP_UTF8).c_str(), &handle);
}

bool Win32VersionPlatform::GetFileVersionInfo(const std::string& path, uint32_t length, uint8_t* data) {
  return GetFileVersionInfoW(toolkit::Wide(path, CP_UTF8).c_str(), 0, length, data) != 0;
}

bool Win32VersionPlatform::VerQueryValue(const uint8_t* block, uint32_t, const std::string& subBlock,
                                         std::string& text) {
  void* value = nullptr;
  UINT length = 0;
  if (!VerQueryValueW(block, toolkit::WideFrom1251(subBlock).c_str(), &value, &length) || !value) return false;
  text = toolkit::Cp1251FromWide(static_cast<const wchar_t*>(value));
  return true;
}

std::string OwnExecutablePath() {
  // A path longer than the buffer comes back cut; grow until it fits.
  std::vector<wchar_t> path(MAX_PATH);
  for (;;) {
    const DWORD n = GetModuleFileNameW(nullptr, path.data(), DWORD(path.size()));
    if (n == 0) return {};
    if (n < path.size()) return toolkit::Narrow(std::wstring_view(path.data(), n), CP_UTF8);
    path.resize(path.size() * 2);
  }
}

VersionPlatform& SystemVersionPlatform() {
  static Win32VersionPlatform platform(OwnExecutablePath(), kStartLocale);
  return platform;
}

}  // namespace version
