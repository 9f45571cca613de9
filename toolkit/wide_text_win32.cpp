#include "toolkit/wide_text_win32.h"

#include <windows.h>

namespace toolkit {

std::wstring Wide(std::string_view s, unsigned codePage) {
  if (s.empty()) return {};
  const int n = MultiByteToWideChar(codePage, 0, s.data(), int(s.size()), nullptr, 0);
  std::wstring w(size_t(n), L'\0');
  MultiByteToWideChar(codePage, 0, s.data(), int(s.size()), w.data(), n);
  return w;
}

std::string Narrow(std::wstring_view w, unsigned codePage) {
  if (w.empty()) return {};
  const DWORD flags = codePage == CP_UTF8 ? 0 : WC_NO_BEST_FIT_CHARS;
  const char* fallback = codePage == CP_UTF8 ? nullptr : "?";
  const int n = WideCharToMultiByte(codePage, flags, w.data(), int(w.size()), nullptr, 0, fallback, nullptr);
  std::string s(size_t(n), '\0');
  WideCharToMultiByte(codePage, flags, w.data(), int(w.size()), s.data(), n, fallback, nullptr);
  return s;
}

}  // namespace toolkit
