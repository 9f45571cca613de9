#include <windows.h>

#include "toolkit/c_library.h"

namespace toolkit {

std::tm UtcCalendar(std::time_t t) {
  std::tm tm{};
  gmtime_s(&tm, &t);
  return tm;
}

std::string Cp1251OfCLibraryText(std::string_view text) {
  const UINT ansi = GetACP();
  if (ansi == 1251 || text.empty()) return std::string(text);
  const int n = MultiByteToWideChar(ansi, 0, text.data(), int(text.size()), nullptr, 0);
  std::wstring wide(size_t(n), L'\0');
  MultiByteToWideChar(ansi, 0, text.data(), int(text.size()), wide.data(), n);
  const int m = WideCharToMultiByte(1251, WC_NO_BEST_FIT_CHARS, wide.data(), n, nullptr, 0, "?", nullptr);
  std::string out(size_t(m), '\0');
  WideCharToMultiByte(1251, WC_NO_BEST_FIT_CHARS, wide.data(), n, out.data(), m, "?", nullptr);
  return out;
}

}  // namespace toolkit
