#include "meterlink/comma_text.h"

#include <utility>

namespace meterlink {

namespace {

bool NeedsQuotes(const std::string& s) {
  if (s.empty()) return true;  // an unquoted empty item is lost when it stands alone
  for (char c : s)
    if (IsBlank(c) || c == ',' || c == '"') return true;
  return false;
}

}  // namespace

std::vector<std::string> ParseCommaText(std::string_view text) {
  std::vector<std::string> items;
  size_t p = 0;
  const size_t n = text.size();
  auto skipBlanks = [&] {
    while (p < n && IsBlank(text[p])) ++p;
  };
  skipBlanks();
  while (p < n) {
    std::string item;
    if (text[p] == '"') {
      ++p;
      while (p < n) {
        if (text[p] == '"') {
          if (p + 1 < n && text[p + 1] == '"') {
            item += '"';
            p += 2;
            continue;
          }
          ++p;
          break;
        }
        item += text[p++];
      }
    } else {
      const size_t start = p;
      while (p < n && !IsBlank(text[p]) && text[p] != ',') ++p;
      item.assign(text.substr(start, p - start));
    }
    items.push_back(std::move(item));
    skipBlanks();
    if (p < n && text[p] == ',') {
      ++p;
      skipBlanks();
      if (p == n) items.emplace_back();  // "a," has an empty last item
    }
  }
  return items;
}

std::string MakeCommaText(const std::vector<std::string>& items) {
  std::string out;
  for (size_t i = 0; i < items.size(); ++i) {
    if (i) out += ',';
    const std::string& s = items[i];
    if (!NeedsQuotes(s)) {
      out += s;
      continue;
    }
    out += '"';
    for (char c : s) {
      if (c == '"') out += '"';
      out += c;
    }
    out += '"';
  }
  return out;
}

}  // namespace meterlink
