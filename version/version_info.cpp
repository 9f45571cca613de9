#include "version/version_info.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "toolkit/codepage.h"
#include "version/locale_id.h"

namespace version {

namespace {

constexpr std::string_view kTypeNames[kVersionTypeCount] = {
    "vtCompanyName",  "vtFileDescription",  "vtFileVersion", "vtInternalName",    "vtLegalCopyright",
    "vtLegalTradeMark", "vtOriginalFileName", "vtProductName", "vtProductVersion", "vtComments"};

constexpr uint32_t kProbeBytes = 1001;
constexpr char kFallbackTable[] = "041904E3\\";

}  // namespace

std::string_view VersionTypeName(TVersionType type) { return kTypeNames[type]; }

TVersionInfo::TVersionInfo(VersionPlatform& platform) { ReadVersionInfo(platform); }

std::string TVersionInfo::GetVersionValue(TVersionType type) const { return VersionValues.at(size_t(type)); }

void TVersionInfo::ReadVersionInfo(VersionPlatform& platform) {
  const std::string path = platform.ExecutablePath();
  const uint32_t size = platform.GetFileVersionInfoSize(path);
  if (size == 0) return;

  const uint32_t locale = platform.GetThreadLocale();
  const uint32_t language = locale ? locale & 0xFFFF : kEnglishUs;
  const uint32_t primary = language & 0x3FF, sub = language >> 10;
  char digits[5];
  std::snprintf(digits, sizeof digits, "%04X", unsigned(primary + 1024 * sub));

  // The block's keys are UTF-16; without the bytes under 32 (the zero high
  // bytes among them) they read as plain text.
  std::vector<uint8_t> probe(std::min(size, kProbeBytes), 0);
  platform.GetFileVersionInfo(path, uint32_t(probe.size()), probe.data());
  std::string text;
  for (uint8_t b : probe)
    if (b >= 32) text += char(b);
  const size_t at = text.find(digits);
  const std::string table = at == std::string::npos ? kFallbackTable : text.substr(at, 8) + "\\";

  std::vector<uint8_t> block(size, 0);
  platform.GetFileVersionInfo(path, size, block.data());
  for (int t = 0; t < kVersionTypeCount; ++t) {
    const std::string entry = "StringFileInfo\\" + table + std::string(kTypeNames[t].substr(2));
    std::string value;
    if (platform.VerQueryValue(block.data(), size, entry, value)) VersionValues[t] = value;
  }
}

std::string VersionCaption(std::string_view productVersion, std::string_view fileVersion) {
  const size_t dot = fileVersion.rfind('.');
  const std::string_view last = dot == std::string_view::npos ? fileVersion : fileVersion.substr(dot + 1);
  return toolkit::Cp1251("ЗОРВИК версия ") + std::string(productVersion) + "(" + std::string(last) + ")";
}

std::string VersionCaption(const TVersionInfo& info) {
  return VersionCaption(info.ProductVersion(), info.FileVersion());
}

}  // namespace version
