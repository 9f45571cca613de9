// TVersionInfo on version resources: this program's own, made from
// version_block.txt, and a program without one.
#include <algorithm>
#include <cstdint>
#include <iterator>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <windows.h>
// The platform interface has the calls' own names.
#undef GetFileVersionInfoSize
#undef GetFileVersionInfo
#undef VerQueryValue

#include "toolkit/codepage.h"
#include "version/version_info.h"
#include "version/version_platform_win32.h"
#include "../version/version_test_blocks.h"

namespace {

using version::TVersionInfo;
using version::Win32VersionPlatform;

std::string Beside(const std::string& file) {
  const std::string self = version::OwnExecutablePath();
  return self.substr(0, self.find_last_of("\\/") + 1) + file;
}

bool AllEmpty(const TVersionInfo& v) {
  for (int t = 0; t < version::kVersionTypeCount; ++t)
    if (!v.GetVersionValue(version::TVersionType(t)).empty()) return false;
  return true;
}

TEST(Win32VersionResource, OwnResourceOnEveryLocale) {
  const TVersionInfo system;  // the running program, its thread's locale
  for (const uint32_t locale : {0x0419u, 0x0409u, 0u}) {
    SCOPED_TRACE(locale);
    Win32VersionPlatform platform(version::OwnExecutablePath(), locale);
    const TVersionInfo v(platform);
    EXPECT_EQ(v.ProductVersion(), "2008.04.04 14:48");
    EXPECT_EQ(v.FileVersion(), "4.4.8.0");
    EXPECT_EQ(v.InternalName(), "");
    EXPECT_EQ(v.Comments(), "");
    EXPECT_EQ(v.LegalTradeMark(), "");  // the resource names it LegalTrademarks
    EXPECT_FALSE(v.CompanyName().empty());
    for (int t = 0; t < version::kVersionTypeCount; ++t)
      EXPECT_EQ(v.GetVersionValue(version::TVersionType(t)), system.GetVersionValue(version::TVersionType(t)));
  }
  EXPECT_EQ(version::VersionCaption(system), toolkit::Cp1251("ЗОРВИК версия 2008.04.04 14:48(0)"));
}

// Unpacked under a folder named in letters outside the ANSI code page (a
// Cyrillic user name on an English Windows; Greek under a Russian one
// here), the program still reads its own block: a copy of this test
// program there runs the test above.
TEST(Win32VersionResource, FromAFolderOutsideTheAnsiCodePage) {
  wchar_t self[MAX_PATH * 4] = {}, temp[MAX_PATH] = {};
  ASSERT_GT(GetModuleFileNameW(nullptr, self, DWORD(std::size(self))), 0u);
  ASSERT_GT(GetTempPathW(MAX_PATH, temp), 0u);
  struct Copy {
    std::wstring folder, exe;
    ~Copy() {
      DeleteFileW(exe.c_str());
      RemoveDirectoryW(folder.c_str());
    }
  } copy{std::wstring(temp) + L"Ωμέγα " + std::to_wstring(GetCurrentProcessId()), {}};
  copy.exe = copy.folder + L"\\version_tests.exe";
  ASSERT_TRUE(CreateDirectoryW(copy.folder.c_str(), nullptr));
  ASSERT_TRUE(CopyFileW(self, copy.exe.c_str(), FALSE));
  std::wstring command = L"\"" + copy.exe + L"\" --gtest_filter=Win32VersionResource.OwnResourceOnEveryLocale";
  STARTUPINFOW start{};
  start.cb = sizeof start;
  PROCESS_INFORMATION process{};
  ASSERT_TRUE(CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, copy.folder.c_str(), &start,
                             &process));
  EXPECT_EQ(WaitForSingleObject(process.hProcess, 120'000), WAIT_OBJECT_0);
  DWORD exitCode = 1;
  GetExitCodeProcess(process.hProcess, &exitCode);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  EXPECT_EQ(exitCode, 0u);
}

TEST(Win32VersionResource, RussianTextsInTheRussianCodePage) {
  if (GetACP() != 1251)
    GTEST_SKIP() << "the ANSI code page is " << GetACP() << ": run Wine with a Russian LANG (ru_RU.UTF-8 generated)";
  EXPECT_EQ(version::SystemVersionPlatform().GetThreadLocale() & 0xFFFF, 0x0419u);
  const TVersionInfo v;
  EXPECT_EQ(v.ProductName(), toolkit::Cp1251("зорвик"));
  EXPECT_EQ(v.LegalCopyright(), toolkit::Cp1251("© 2008 Служба наладки теплоучёта ЯРВ, автор Н. Ю. Зорин"));
}

// The block the Linux build embeds, made from the same description.
class DescribedBlock final : public version::VersionPlatform {
 public:
  std::string ExecutablePath() override { return "zorvik"; }
  uint32_t GetFileVersionInfoSize(const std::string&) override { return uint32_t(block_.size()); }
  bool GetFileVersionInfo(const std::string&, uint32_t length, uint8_t* data) override {
    std::copy_n(block_.begin(), std::min<size_t>(length, block_.size()), data);
    return true;
  }
  bool VerQueryValue(const uint8_t* block, uint32_t size, const std::string& path, std::string& text) override {
    return elf_.VerQueryValue(block, size, path, text);
  }
  uint32_t GetThreadLocale() override { return 0x0419; }

 private:
  std::vector<uint8_t> block_ = testblocks::ProgramBlock();
  version::ElfVersionPlatform elf_{"", 0};
};

TEST(Win32VersionResource, SameTextsAsTheLinuxBlock) {
  if (GetACP() != 1251) GTEST_SKIP() << "the ANSI code page is " << GetACP() << ", not 1251";
  DescribedBlock described;
  const TVersionInfo linux(described), windows;
  for (int t = 0; t < version::kVersionTypeCount; ++t) {
    SCOPED_TRACE(version::VersionTypeName(version::TVersionType(t)));
    EXPECT_EQ(windows.GetVersionValue(version::TVersionType(t)), linux.GetVersionValue(version::TVersionType(t)));
  }
  EXPECT_FALSE(windows.FileDescription().empty());
}

TEST(Win32VersionResource, ProgramsWithoutOne) {
  for (const std::string& file : {Beside("zorvik_no_version_resource.exe"), Beside("no such program.exe")}) {
    SCOPED_TRACE(file);
    Win32VersionPlatform platform(file, 0x0419);
    EXPECT_EQ(platform.GetFileVersionInfoSize(file), 0u);
    const TVersionInfo v(platform);
    EXPECT_TRUE(AllEmpty(v));
    EXPECT_EQ(version::VersionCaption(v), toolkit::Cp1251("ЗОРВИК версия ()"));
  }
}

}  // namespace
