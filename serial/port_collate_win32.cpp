// The user's collation as Windows has it for its text lists.
#include <windows.h>

#include <string_view>

#include "serial/port_system.h"

namespace serial {

int CompareTextUserLocale(std::string_view a, std::string_view b) {
  return CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE, a.data(), int(a.size()), b.data(), int(b.size())) -
         CSTR_EQUAL;
}

}  // namespace serial
