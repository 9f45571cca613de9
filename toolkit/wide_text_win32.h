// Windows' own text is UTF-16: the one place that converts to and from it.
#pragma once

#include <string>
#include <string_view>

namespace toolkit {

// UTF-16 of text in a code page (CP_UTF8, 1251, the ANSI one), and back; a
// character the code page lacks becomes '?' (UTF-8 has them all).
std::wstring Wide(std::string_view text, unsigned codePage);
std::string Narrow(std::wstring_view wide, unsigned codePage);

inline std::wstring WideFrom1251(std::string_view cp1251) { return Wide(cp1251, 1251); }
inline std::string Cp1251FromWide(std::wstring_view wide) { return Narrow(wide, 1251); }

}  // namespace toolkit
