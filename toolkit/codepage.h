// Text of this program is single-byte Windows-1251, as on the wire and in the
// log file. Source literals are UTF-8; these convert at the edges.
#pragma once

#include <string>
#include <string_view>

namespace toolkit {

// Windows-1251 bytes of UTF-8 text; a character without a Windows-1251 form
// becomes '?'.
std::string Cp1251(std::string_view utf8);

// UTF-8 of Windows-1251 bytes; every byte value has a character.
std::string Utf8(std::string_view cp1251);

}  // namespace toolkit
