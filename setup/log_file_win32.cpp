#include <windows.h>

#include "setup/log_file.h"
#include <algorithm>

#include "toolkit/wide_text_win32.h"

namespace setup {
namespace {

// The system's words for an error, in the user's language.
std::string Reason(DWORD err) {
  wchar_t* text = nullptr;
  const DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                     FORMAT_MESSAGE_IGNORE_INSERTS,
                                 nullptr, err, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::wstring w = n && text ? std::wstring(text, n) : L"error " + std::to_wstring(err);
  if (text) LocalFree(text);
  while (!w.empty() && (w.back() == L'\n' || w.back() == L'\r' || w.back() == L' ')) w.pop_back();
  return toolkit::Narrow(w, CP_UTF8);
}

}  // namespace

bool ReplaceLogFile(const std::string& path, const std::string& bytes, std::string& reason) {
  const std::wstring target = toolkit::Wide(path, CP_UTF8);
  const size_t slash = target.find_last_of(L"\\/");
  const std::wstring dir = slash == std::wstring::npos ? L"." : target.substr(0, slash + 1);
  // Windows refuses to replace a read-only file; Wine would replace it.
  const DWORD attributes = GetFileAttributesW(target.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY)) {
    reason = Reason(ERROR_ACCESS_DENIED);
    return false;
  }
  wchar_t aside[MAX_PATH + 16];
  if (!GetTempFileNameW(dir.c_str(), L"zrv", 0, aside)) {
    reason = Reason(GetLastError());
    return false;
  }
  DWORD err = 0;
  const HANDLE h = CreateFileW(aside, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    err = GetLastError();
  } else {
    for (size_t done = 0; !err && done < bytes.size();) {
      DWORD n = 0;
      const DWORD chunk = DWORD(std::min<size_t>(bytes.size() - done, 1u << 20));
      if (!WriteFile(h, bytes.data() + done, chunk, &n, nullptr) || n == 0)
        err = GetLastError() ? GetLastError() : ERROR_WRITE_FAULT;
      done += n;
    }
    if (!err && !FlushFileBuffers(h)) err = GetLastError();
    CloseHandle(h);
  }
  if (!err && !MoveFileExW(aside, target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    err = GetLastError();
  if (!err) return true;
  DeleteFileW(aside);
  reason = Reason(err);
  return false;
}

}  // namespace setup
