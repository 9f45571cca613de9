// The log file on Windows: written aside and renamed, so that a save that
// fails leaves the earlier file whole and says the system's reason.
#include "setup/log_file.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <fstream>
#include <sstream>
#include <string>

namespace {

std::string Read(const wchar_t* path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

TEST(Win32LogFile, ReplacesWholeAndFailsWithTheSystemsReasonLeavingTheOldFile) {
  wchar_t dir[MAX_PATH];
  GetTempPathW(MAX_PATH, dir);
  const std::wstring base = std::wstring(dir) + L"zorvik_log_test\\";
  CreateDirectoryW(base.c_str(), nullptr);
  SetCurrentDirectoryW(base.c_str());
  std::string reason;

  // Windows-1251 bytes as given, a CR inside a line too; saved twice.
  const std::string log = "\xEE\xF2\xE2\xE5\xF2=OK\r\nAT+CPIN=1,2\r\r\n";
  ASSERT_TRUE(setup::ReplaceLogFile("отчет.txt", "old", reason)) << reason;
  ASSERT_TRUE(setup::ReplaceLogFile("отчет.txt", log, reason)) << reason;
  EXPECT_EQ(Read(L"отчет.txt"), log);

  // A read-only file is not replaced.
  SetFileAttributesW(L"отчет.txt", FILE_ATTRIBUTE_READONLY);
  reason.clear();
  EXPECT_FALSE(setup::ReplaceLogFile("отчет.txt", "new", reason));
  EXPECT_FALSE(reason.empty());
  EXPECT_EQ(Read(L"отчет.txt"), log);
  SetFileAttributesW(L"отчет.txt", FILE_ATTRIBUTE_NORMAL);

  // A directory of that name.
  CreateDirectoryW(L"каталог.txt", nullptr);
  reason.clear();
  EXPECT_FALSE(setup::ReplaceLogFile("каталог.txt", "new", reason));
  EXPECT_FALSE(reason.empty());
  EXPECT_EQ(GetFileAttributesW(L"каталог.txt") & FILE_ATTRIBUTE_DIRECTORY, DWORD(FILE_ATTRIBUTE_DIRECTORY));

  // Nothing is left aside after the failures.
  WIN32_FIND_DATAW found;
  HANDLE h = FindFirstFileW(L"zrv*", &found);
  EXPECT_EQ(h, INVALID_HANDLE_VALUE) << "a file written aside was left behind";
  if (h != INVALID_HANDLE_VALUE) FindClose(h);
  DeleteFileW(L"отчет.txt");
  RemoveDirectoryW(L"каталог.txt");
}

}  // namespace
