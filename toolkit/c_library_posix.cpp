#include "toolkit/c_library.h"
#include "toolkit/codepage.h"

namespace toolkit {

std::tm UtcCalendar(std::time_t t) {
  std::tm tm{};
  gmtime_r(&t, &tm);
  return tm;
}

std::string Cp1251OfCLibraryText(std::string_view text) { return Cp1251(text); }

}  // namespace toolkit
