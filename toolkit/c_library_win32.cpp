#include <windows.h>

#include "toolkit/c_library.h"
#include "toolkit/wide_text_win32.h"

namespace toolkit {

std::tm UtcCalendar(std::time_t t) {
  std::tm tm{};
  gmtime_s(&tm, &t);
  return tm;
}

std::string Cp1251OfCLibraryText(std::string_view text) {
  const UINT ansi = GetACP();
  if (ansi == 1251 || text.empty()) return std::string(text);
  return Narrow(Wide(text, ansi), 1251);
}

}  // namespace toolkit
