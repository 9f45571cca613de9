// Why CreateFile refused a port, from its GetLastError().
#include "serial/open_failure_win32.h"

#include <windows.h>

#include <string>

#include "toolkit/wide_text_win32.h"

namespace serial {

std::string SystemWords(unsigned long err) {
  wchar_t* text = nullptr;
  const DWORD n = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, err, 0,
      reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::wstring message = n && text ? std::wstring(text, n) : L"";
  if (text) LocalFree(text);
  while (!message.empty() &&
         (message.back() == L'\r' || message.back() == L'\n' || message.back() == L' ' || message.back() == L'.'))
    message.pop_back();
  if (message.empty()) message = L"error " + std::to_wstring(err);
  return toolkit::Narrow(message, CP_UTF8);
}

// What CreateFile's refusal means for the operator. A port another program
// holds is refused with ERROR_ACCESS_DENIED; the rest in the system's words.
OpenFailure DescribeOpenFailure(unsigned long err) {
  switch (err) {
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
      return {OpenProblem::InUse, {}};
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
      return {OpenProblem::NoSuchPort, {}};
    default:
      return {OpenProblem::Other, SystemWords(err)};
  }
}

}  // namespace serial
