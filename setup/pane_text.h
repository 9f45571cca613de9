// The log pane's text. A line may hold control characters (a CR inside a
// logged command); the pane shows them as their Unicode pictures (U+2400…)
// so that they neither break the line nor vanish, and saving gives the bytes
// back.
#pragma once

#include <string>
#include <string_view>

namespace setup {

// UTF-8 of a Windows-1251 line, control characters as pictures.
std::string PaneShown(std::string_view cp1251);
// Windows-1251 of the pane's UTF-8 text, pictures as the characters again.
std::string PaneBytes(std::string_view shownUtf8);

}  // namespace setup
