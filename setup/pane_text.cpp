#include "setup/pane_text.h"

#include <cstdint>

#include "toolkit/codepage.h"

namespace setup {

// U+2400 + c is E2 90 80+c for c < 0x20; U+2421 (DEL) is E2 90 A1.
std::string PaneShown(std::string_view cp1251) {
  // Control characters are the same single bytes in UTF-8.
  const std::string utf8 = toolkit::Utf8(cp1251);
  std::string shown;
  shown.reserve(utf8.size());
  for (char c : utf8) {
    const auto b = uint8_t(c);
    if (b < 0x20 || b == 0x7F) {
      shown += "\xE2\x90";
      shown += char(b == 0x7F ? 0xA1 : 0x80 + b);
    } else {
      shown += c;
    }
  }
  return shown;
}

std::string PaneBytes(std::string_view shownUtf8) {
  std::string raw;
  raw.reserve(shownUtf8.size());
  for (size_t i = 0; i < shownUtf8.size(); ++i) {
    if (i + 2 < shownUtf8.size() && shownUtf8[i] == '\xE2' && shownUtf8[i + 1] == '\x90') {
      const auto b = uint8_t(shownUtf8[i + 2]);
      if (b >= 0x80 && b < 0xA0) {
        raw += char(b - 0x80);
        i += 2;
        continue;
      }
      if (b == 0xA1) {
        raw += '\x7F';
        i += 2;
        continue;
      }
    }
    raw += shownUtf8[i];
  }
  return toolkit::Cp1251(raw);
}

}  // namespace setup
