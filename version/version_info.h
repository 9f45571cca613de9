// TVersionInfo (unit VersionInfo): the ten standard texts of the program's
// own version block, read once at construction.
#pragma once

#include <array>
#include <string>
#include <string_view>

#include "version/version_platform.h"

namespace version {

enum TVersionType {
  vtCompanyName,
  vtFileDescription,
  vtFileVersion,
  vtInternalName,
  vtLegalCopyright,
  vtLegalTradeMark,
  vtOriginalFileName,
  vtProductName,
  vtProductVersion,
  vtComments
};
inline constexpr int kVersionTypeCount = 10;

// The member's name as written ("vtCompanyName"); its key in the block is
// the name without "vt".
std::string_view VersionTypeName(TVersionType type);

class TVersionInfo {
 public:
  explicit TVersionInfo(VersionPlatform& platform = SystemVersionPlatform());
  virtual ~TVersionInfo() = default;

  // Throws std::out_of_range for a value outside the enumeration.
  std::string GetVersionValue(TVersionType type) const;

  // Windows-1251 texts; empty when the block has no such entry.
  std::string CompanyName() const { return GetVersionValue(vtCompanyName); }
  std::string FileDescription() const { return GetVersionValue(vtFileDescription); }
  std::string FileVersion() const { return GetVersionValue(vtFileVersion); }
  std::string InternalName() const { return GetVersionValue(vtInternalName); }
  std::string LegalCopyright() const { return GetVersionValue(vtLegalCopyright); }
  std::string LegalTradeMark() const { return GetVersionValue(vtLegalTradeMark); }
  std::string OriginalFileName() const { return GetVersionValue(vtOriginalFileName); }
  std::string ProductName() const { return GetVersionValue(vtProductName); }
  std::string ProductVersion() const { return GetVersionValue(vtProductVersion); }
  std::string Comments() const { return GetVersionValue(vtComments); }

 protected:
  std::array<std::string, kVersionTypeCount> VersionValues;

 private:
  void ReadVersionInfo(VersionPlatform& platform);
};

// "ЗОРВИК версия " + product version + "(" + the part of the file version
// after its last full stop + ")", Windows-1251.
std::string VersionCaption(std::string_view productVersion, std::string_view fileVersion);
std::string VersionCaption(const TVersionInfo& info);

}  // namespace version
