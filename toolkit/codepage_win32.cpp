// For builds without Qt on Windows: the system's own converters.
#include <windows.h>

#include "toolkit/codepage.h"

namespace toolkit {
namespace {

std::wstring Wide(std::string_view s, UINT codePage) {
  if (s.empty()) return {};
  const int n = MultiByteToWideChar(codePage, 0, s.data(), int(s.size()), nullptr, 0);
  std::wstring w(size_t(n), L'\0');
  MultiByteToWideChar(codePage, 0, s.data(), int(s.size()), w.data(), n);
  return w;
}

std::string Narrow(const std::wstring& w, UINT codePage) {
  if (w.empty()) return {};
  const DWORD flags = codePage == CP_UTF8 ? 0 : WC_NO_BEST_FIT_CHARS;
  const char* fallback = codePage == CP_UTF8 ? nullptr : "?";
  const int n = WideCharToMultiByte(codePage, flags, w.data(), int(w.size()), nullptr, 0, fallback, nullptr);
  std::string s(size_t(n), '\0');
  WideCharToMultiByte(codePage, flags, w.data(), int(w.size()), s.data(), n, fallback, nullptr);
  return s;
}

}  // namespace

std::string Cp1251(std::string_view utf8) { return Narrow(Wide(utf8, CP_UTF8), 1251); }
std::string Utf8(std::string_view cp1251) { return Narrow(Wide(cp1251, 1251), CP_UTF8); }

}  // namespace toolkit
