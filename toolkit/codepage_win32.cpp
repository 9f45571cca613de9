// For builds without Qt on Windows: the system's own converters.
#include <windows.h>

#include "toolkit/codepage.h"
#include "toolkit/wide_text_win32.h"

namespace toolkit {

std::string Cp1251(std::string_view utf8) { return Narrow(Wide(utf8, CP_UTF8), 1251); }
std::string Utf8(std::string_view cp1251) { return Narrow(Wide(cp1251, 1251), CP_UTF8); }

}  // namespace toolkit
