// What differs in the C library from system to system: the broken-down
// calendar and the encoding of the texts it writes (strftime).
#pragma once

#include <ctime>
#include <string>
#include <string_view>

namespace toolkit {

// The calendar time of t in UTC.
std::tm UtcCalendar(std::time_t t);

// Windows-1251 of a text the C library wrote: UTF-8 on Linux, the ANSI code
// page on Windows.
std::string Cp1251OfCLibraryText(std::string_view text);

}  // namespace toolkit
