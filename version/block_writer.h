// Writing version blocks: the program's own from its description, and any
// other shape a test needs.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace version {

struct BlockNode {
  std::u16string key;
  uint16_t type = 1;           // 1 text, 0 binary
  std::vector<uint8_t> value;  // as stored; text is UTF-16LE with its zero
  std::vector<BlockNode> children;

  static BlockNode Text(std::u16string key, std::u16string_view text);
  static BlockNode Binary(std::u16string key, std::vector<uint8_t> bytes);
  static BlockNode Group(std::u16string key, std::vector<BlockNode> children);
};

// Throws std::length_error when a node outgrows its 16-bit length.
std::vector<uint8_t> SerializeBlock(const BlockNode& root);

// What the program's version block says; texts are UTF-8.
struct VersionDescription {
  std::array<uint16_t, 4> fileVersion{};
  std::array<uint16_t, 4> productVersion{};
  uint32_t flagsMask = 0, flags = 0, os = 0, type = 0, subtype = 0;
  uint16_t language = 0, codepage = 0;
  std::vector<std::pair<std::string, std::string>> strings;  // in the table's order
};

// The description file: "[fixed]", "[translation]" and "[strings]" sections
// of "name = value" lines, '#' comments. Nothing, with the reason in error,
// when a line cannot be taken.
std::optional<VersionDescription> ParseVersionDescription(std::string_view text, std::string& error);

// "041904E3": language and code page as eight upper-case hexadecimal digits.
std::string StringTableKey(uint16_t language, uint16_t codepage);

// VS_VERSIONINFO with the fixed part, the one string table and the
// translation.
std::vector<uint8_t> BuildVersionBlock(const VersionDescription& description);

}  // namespace version
