// Version blocks for the tests: the program's own, made from its description
// file, and single string tables of any key.
#pragma once

#include <cstdint>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "version/block_writer.h"

namespace testblocks {

inline std::vector<uint8_t> ProgramBlock() {
  std::ifstream in(ZORVIK_VERSION_DESCRIPTION_FILE, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  std::string error;
  const auto d = version::ParseVersionDescription(text.str(), error);
  if (!d) throw std::runtime_error("version description: " + error);
  return version::BuildVersionBlock(*d);
}

inline version::BlockNode Root(std::vector<version::BlockNode> tables) {
  using version::BlockNode;
  BlockNode root = BlockNode::Binary(u"VS_VERSION_INFO", std::vector<uint8_t>(52, 0));
  root.children.push_back(BlockNode::Group(u"StringFileInfo", std::move(tables)));
  return root;
}

inline std::vector<uint8_t> BlockWithTable(std::u16string key,
                                           std::vector<std::pair<std::u16string, std::u16string>> entries) {
  std::vector<version::BlockNode> strings;
  for (auto& [name, value] : entries) strings.push_back(version::BlockNode::Text(name, value));
  return version::SerializeBlock(Root({version::BlockNode::Group(std::move(key), std::move(strings))}));
}

// Offset of the first node whose key is `key`.
inline size_t NodeOf(const std::vector<uint8_t>& block, std::u16string_view key) {
  for (size_t at = 0; at + 6 + 2 * key.size() + 2 <= block.size(); at += 2) {
    bool same = block[at + 6 + 2 * key.size()] == 0 && block[at + 7 + 2 * key.size()] == 0;
    for (size_t i = 0; same && i < key.size(); ++i)
      same = block[at + 6 + 2 * i] == uint8_t(key[i]) && block[at + 7 + 2 * i] == uint8_t(key[i] >> 8);
    if (same) return at;
  }
  throw std::runtime_error("no such key");
}

inline void Set16(std::vector<uint8_t>& b, size_t at, uint16_t v) {
  b[at] = uint8_t(v);
  b[at + 1] = uint8_t(v >> 8);
}
inline uint32_t Get32(const std::vector<uint8_t>& b, size_t at) {
  return uint32_t(b[at] | b[at + 1] << 8 | b[at + 2] << 16) | uint32_t(b[at + 3]) << 24;
}

}  // namespace testblocks
