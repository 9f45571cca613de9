#include "version/version_block.h"

#include <algorithm>

namespace version {

namespace {

constexpr size_t kHeader = 6;  // wLength, wValueLength, wType

uint16_t U16(const uint8_t* b, size_t at) { return uint16_t(b[at] | (b[at + 1] << 8)); }
size_t Align4(size_t at) { return (at + 3) & ~size_t(3); }

struct Node {
  size_t end;
  uint16_t type;
  size_t key, keyUnits;
  size_t value, valueEnd;
  size_t children;
};

// The node at `at`, which must lie wholly before `limit`.
std::optional<Node> ReadNode(const uint8_t* b, size_t at, size_t limit) {
  if (at > limit || limit - at < kHeader) return std::nullopt;
  const size_t length = U16(b, at);
  if (length < kHeader || length > limit - at) return std::nullopt;
  Node n{};
  n.end = at + length;
  const size_t valueLength = U16(b, at + 2);
  n.type = U16(b, at + 4);
  n.key = at + kHeader;
  size_t p = n.key;
  for (;; p += 2) {
    if (n.end - p < 2) return std::nullopt;  // key without its terminator
    if (U16(b, p) == 0) break;
  }
  n.keyUnits = (p - n.key) / 2;
  n.value = std::min(Align4(p + 2), n.end);
  // Text values count characters, binary ones bytes. A value said to run past
  // its node is cut at the node's end.
  const size_t valueBytes = n.type == 1 ? valueLength * 2 : valueLength;
  n.valueEnd = n.value + std::min(valueBytes, n.end - n.value);
  n.children = std::min(Align4(n.value + valueBytes), n.end);
  return n;
}

char AsciiLower(char16_t c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : char(c); }

bool KeyIs(const uint8_t* b, const Node& n, std::string_view name) {
  if (n.keyUnits != name.size()) return false;
  for (size_t i = 0; i < name.size(); ++i) {
    const char16_t k = U16(b, n.key + 2 * i);
    if (k >= 0x80 || AsciiLower(k) != AsciiLower(static_cast<unsigned char>(name[i]))) return false;
  }
  return true;
}

}  // namespace

std::optional<BlockValue> QueryBlockValue(const uint8_t* block, size_t size, std::string_view subBlock) {
  if (!block) return std::nullopt;
  std::optional<Node> node = ReadNode(block, 0, size);
  if (!node) return std::nullopt;
  size_t from = 0;
  while (node) {
    from = subBlock.find_first_not_of('\\', from);
    if (from == std::string_view::npos) break;
    const size_t to = std::min(subBlock.find('\\', from), subBlock.size());
    const std::string_view name = subBlock.substr(from, to - from);
    from = to;
    std::optional<Node> found;
    // A malformed child hides the ones after it: their places depend on it.
    for (size_t at = node->children; at < node->end;) {
      const std::optional<Node> child = ReadNode(block, at, node->end);
      if (!child) break;
      if (KeyIs(block, *child, name)) {
        found = child;
        break;
      }
      at = Align4(child->end);
    }
    node = found;
  }
  if (!node) return std::nullopt;
  return BlockValue{node->type, block + node->value, node->valueEnd - node->value};
}

std::optional<std::u16string> QueryBlockText(const uint8_t* block, size_t size, std::string_view subBlock) {
  const std::optional<BlockValue> value = QueryBlockValue(block, size, subBlock);
  if (!value) return std::nullopt;
  std::u16string text;
  for (size_t i = 0; i + 1 < value->size; i += 2) {
    const char16_t c = U16(value->data, i);
    if (c == 0) break;
    text.push_back(c);
  }
  return text;
}

std::string Utf16ToUtf8(std::u16string_view text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    uint32_t c = text[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = 0xFFFD;  // a lone half of a pair
    }
    if (c < 0x80) {
      out += char(c);
    } else if (c < 0x800) {
      out += char(0xC0 | (c >> 6));
      out += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += char(0xE0 | (c >> 12));
      out += char(0x80 | ((c >> 6) & 0x3F));
      out += char(0x80 | (c & 0x3F));
    } else {
      out += char(0xF0 | (c >> 18));
      out += char(0x80 | ((c >> 12) & 0x3F));
      out += char(0x80 | ((c >> 6) & 0x3F));
      out += char(0x80 | (c & 0x3F));
    }
  }
  return out;
}

std::optional<std::u16string> Utf8ToUtf16(std::string_view text) {
  std::u16string out;
  for (size_t i = 0; i < text.size();) {
    const unsigned char lead = static_cast<unsigned char>(text[i]);
    const int extra = lead < 0x80 ? 0 : (lead >> 5) == 0x6 ? 1 : (lead >> 4) == 0xE ? 2 : (lead >> 3) == 0x1E ? 3 : -1;
    if (extra < 0 || text.size() - i <= size_t(extra)) return std::nullopt;
    uint32_t c = extra == 0 ? lead : lead & (0x3F >> extra);
    for (int k = 1; k <= extra; ++k) {
      const unsigned char next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xC0) != 0x80) return std::nullopt;
      c = (c << 6) | (next & 0x3F);
    }
    static constexpr uint32_t kLeast[] = {0, 0x80, 0x800, 0x10000};
    if (c < kLeast[extra] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return std::nullopt;
    if (c >= 0x10000) {
      out.push_back(char16_t(0xD800 + ((c - 0x10000) >> 10)));
      out.push_back(char16_t(0xDC00 + ((c - 0x10000) & 0x3FF)));
    } else {
      out.push_back(char16_t(c));
    }
    i += size_t(extra) + 1;
  }
  return out;
}

}  // namespace version
