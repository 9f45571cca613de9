// Version blocks for the tests: the program's own, made from its
// description file, and string tables of any key.
#pragma once

#include <fstream>
#include <sstream>
#include <stdexcept>

#include "version/block_writer.h"

namespace testblocks {

inline version::VersionDescription ProgramDescription() {
  std::ifstream in(ZORVIK_VERSION_DESCRIPTION_FILE, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  std::string error;
  const auto d = version::ParseVersionDescription(text.str(), error);
  if (!d) throw std::runtime_error("version description: " + error);
  return *d;
}

inline std::vector<uint8_t> ProgramBlock() { return version::BuildVersionBlock(ProgramDescription()); }

// A block whose only string table has the given key.
inline std::vector<uint8_t> BlockWithTable(std::u16string key,
                                           std::vector<std::pair<std::u16string, std::u16string>> entries) {
  using version::BlockNode;
  std::vector<BlockNode> strings;
  for (auto& [name, value] : entries) strings.push_back(BlockNode::Text(name, value));
  BlockNode root = BlockNode::Binary(u"VS_VERSION_INFO", std::vector<uint8_t>(52, 0));
  root.children.push_back(BlockNode::Group(u"StringFileInfo", {BlockNode::Group(std::move(key), std::move(strings))}));
  return version::SerializeBlock(root);
}

// Offset of the node whose key is `key` (the first such key in the block).
inline size_t NodeOf(const std::vector<uint8_t>& block, std::u16string_view key) {
  std::vector<uint8_t> pattern;
  for (char16_t c : key) {
    pattern.push_back(uint8_t(c));
    pattern.push_back(uint8_t(c >> 8));
  }
  pattern.push_back(0);
  pattern.push_back(0);
  for (size_t at = 6; at + pattern.size() <= block.size(); at += 2)
    if (std::equal(pattern.begin(), pattern.end(), block.begin() + at)) return at - 6;
  throw std::runtime_error("no such key");
}

inline void Set16(std::vector<uint8_t>& b, size_t at, uint16_t v) {
  b[at] = uint8_t(v);
  b[at + 1] = uint8_t(v >> 8);
}
inline uint16_t Get16(const std::vector<uint8_t>& b, size_t at) { return uint16_t(b[at] | b[at + 1] << 8); }
inline uint32_t Get32(const std::vector<uint8_t>& b, size_t at) {
  return uint32_t(Get16(b, at)) | uint32_t(Get16(b, at + 2)) << 16;
}

}  // namespace testblocks
