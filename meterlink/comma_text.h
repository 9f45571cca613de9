// Lists of names kept as one text: items separated by commas, blanks and
// control characters between items skipped, double quotes around an item
// that holds a comma, a blank or a quote (a quote inside is doubled).
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace meterlink {

// The items of a comma-text. A blank ends an unquoted item; a quoted item
// runs to its closing quote (to the end of the text if there is none).
// Every comma stands between two items, so ",," and a trailing comma give
// empty items; an empty or all-blank text gives none.
std::vector<std::string> ParseCommaText(std::string_view text);

// A blank of comma-text: a space or any control character; Cyrillic
// (above 0x7F) is none.
inline bool IsBlank(char c) { return static_cast<unsigned char>(c) <= ' '; }

// The comma-text of the items; ParseCommaText gives them back unchanged.
std::string MakeCommaText(const std::vector<std::string>& items);

// A list of texts with its comma-text form.
class TStringList {
 public:
  std::vector<std::string> Strings;

  void Add(std::string s) { Strings.push_back(std::move(s)); }
  size_t Count() const { return Strings.size(); }
  const std::string& operator[](size_t i) const { return Strings[i]; }
  void Clear() { Strings.clear(); }

  std::string CommaText() const { return MakeCommaText(Strings); }
  void SetCommaText(std::string_view text) { Strings = ParseCommaText(text); }
};

}  // namespace meterlink
