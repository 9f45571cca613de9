#include "version/block_writer.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <stdexcept>

#include "version/version_block.h"

namespace version {

namespace {

void Put16(std::vector<uint8_t>& out, uint16_t v) {
  out.push_back(uint8_t(v));
  out.push_back(uint8_t(v >> 8));
}
void Put32(std::vector<uint8_t>& out, uint32_t v) {
  Put16(out, uint16_t(v));
  Put16(out, uint16_t(v >> 16));
}
void Pad4(std::vector<uint8_t>& out) {
  while (out.size() % 4) out.push_back(0);
}
void Set16(std::vector<uint8_t>& out, size_t at, size_t v) {
  if (v > 0xFFFF) throw std::length_error("version block node longer than 65535 bytes");
  out[at] = uint8_t(v);
  out[at + 1] = uint8_t(v >> 8);
}

void Serialize(std::vector<uint8_t>& out, const BlockNode& node) {
  const size_t start = out.size();
  Put16(out, 0);
  Put16(out, 0);
  Put16(out, node.type);
  for (char16_t c : node.key) Put16(out, c);
  Put16(out, 0);
  Pad4(out);
  out.insert(out.end(), node.value.begin(), node.value.end());
  for (const BlockNode& child : node.children) {
    Pad4(out);
    Serialize(out, child);
  }
  Set16(out, start, out.size() - start);
  Set16(out, start + 2, node.type == 1 ? node.value.size() / 2 : node.value.size());
}

std::u16string U16(std::string_view ascii) { return std::u16string(ascii.begin(), ascii.end()); }

std::string_view Trim(std::string_view s) {
  const size_t a = s.find_first_not_of(" \t\r");
  if (a == std::string_view::npos) return {};
  return s.substr(a, s.find_last_not_of(" \t\r") - a + 1);
}

// Decimal, or hexadecimal after 0x.
bool Number(std::string_view s, uint32_t max, uint32_t& v) {
  int base = 10;
  if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
    s.remove_prefix(2);
    base = 16;
  }
  const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v, base);
  return ec == std::errc() && end == s.data() + s.size() && v <= max;
}

// "4.4.8.0": exactly four parts of 16 bits.
bool FourPart(std::string_view s, std::array<uint16_t, 4>& v) {
  for (int i = 0; i < 4; ++i) {
    const size_t dot = s.find('.');
    if ((i < 3) == (dot == std::string_view::npos)) return false;
    uint32_t part = 0;
    if (!Number(s.substr(0, dot), 0xFFFF, part)) return false;
    v[i] = uint16_t(part);
    if (i < 3) s.remove_prefix(dot + 1);
  }
  return true;
}

std::u16string FromUtf8(const std::string& s) {
  std::optional<std::u16string> text = Utf8ToUtf16(s);
  if (!text) throw std::invalid_argument("version text is not UTF-8");
  return *text;
}

}  // namespace

BlockNode BlockNode::Text(std::u16string key, std::u16string_view text) {
  BlockNode n{std::move(key), 1, {}, {}};
  for (char16_t c : text) Put16(n.value, c);
  Put16(n.value, 0);
  return n;
}

BlockNode BlockNode::Binary(std::u16string key, std::vector<uint8_t> bytes) {
  return BlockNode{std::move(key), 0, std::move(bytes), {}};
}

BlockNode BlockNode::Group(std::u16string key, std::vector<BlockNode> children) {
  return BlockNode{std::move(key), 1, {}, std::move(children)};
}

std::vector<uint8_t> SerializeBlock(const BlockNode& root) {
  std::vector<uint8_t> out;
  Serialize(out, root);
  return out;
}

std::string StringTableKey(uint16_t language, uint16_t codepage) {
  char key[9];
  std::snprintf(key, sizeof key, "%04X%04X", unsigned(language), unsigned(codepage));
  return key;
}

std::optional<VersionDescription> ParseVersionDescription(std::string_view text, std::string& error) {
  VersionDescription d;
  std::string section;
  int lineNumber = 0;
  while (!text.empty()) {
    const size_t eol = std::min(text.find('\n'), text.size());
    const std::string_view line = Trim(text.substr(0, eol));
    text.remove_prefix(std::min(eol + 1, text.size()));
    ++lineNumber;
    const auto fail = [&](const std::string& why) {
      error = "line " + std::to_string(lineNumber) + ": " + why;
      return std::nullopt;
    };
    if (line.empty() || line[0] == '#') continue;
    if (line.front() == '[' && line.back() == ']') {
      section = std::string(line.substr(1, line.size() - 2));
      if (section != "fixed" && section != "translation" && section != "strings") return fail("unknown section");
      continue;
    }
    const size_t eq = line.find('=');
    if (eq == std::string_view::npos) return fail("no '='");
    const std::string name(Trim(line.substr(0, eq)));
    const std::string_view value = Trim(line.substr(eq + 1));
    if (name.empty()) return fail("no name");
    uint32_t n = 0;
    bool ok = true;
    if (section == "strings") {
      if (!Utf8ToUtf16(name) || !Utf8ToUtf16(value)) return fail("not UTF-8");
      d.strings.emplace_back(name, std::string(value));
    } else if (section == "fixed") {
      if (name == "file_version") ok = FourPart(value, d.fileVersion);
      else if (name == "product_version") ok = FourPart(value, d.productVersion);
      else if (name == "flags_mask") ok = Number(value, 0xFFFFFFFF, d.flagsMask);
      else if (name == "flags") ok = Number(value, 0xFFFFFFFF, d.flags);
      else if (name == "os") ok = Number(value, 0xFFFFFFFF, d.os);
      else if (name == "type") ok = Number(value, 0xFFFFFFFF, d.type);
      else if (name == "subtype") ok = Number(value, 0xFFFFFFFF, d.subtype);
      else return fail("unknown name " + name);
    } else if (section == "translation") {
      ok = Number(value, 0xFFFF, n);
      if (name == "language") d.language = uint16_t(n);
      else if (name == "codepage") d.codepage = uint16_t(n);
      else return fail("unknown name " + name);
    } else {
      return fail("outside a section");
    }
    if (!ok) return fail("bad value for " + name);
  }
  return d;
}

std::vector<uint8_t> BuildVersionBlock(const VersionDescription& d) {
  std::vector<uint8_t> fixed;
  Put32(fixed, 0xFEEF04BD);  // signature
  Put32(fixed, 0x00010000);  // structure version 1.0
  Put32(fixed, uint32_t(d.fileVersion[0]) << 16 | d.fileVersion[1]);
  Put32(fixed, uint32_t(d.fileVersion[2]) << 16 | d.fileVersion[3]);
  Put32(fixed, uint32_t(d.productVersion[0]) << 16 | d.productVersion[1]);
  Put32(fixed, uint32_t(d.productVersion[2]) << 16 | d.productVersion[3]);
  for (uint32_t v : {d.flagsMask, d.flags, d.os, d.type, d.subtype, 0u, 0u}) Put32(fixed, v);

  std::vector<BlockNode> strings;
  for (const auto& [name, value] : d.strings) strings.push_back(BlockNode::Text(FromUtf8(name), FromUtf8(value)));
  std::vector<uint8_t> translation;
  Put16(translation, d.language);
  Put16(translation, d.codepage);

  BlockNode root = BlockNode::Binary(u"VS_VERSION_INFO", std::move(fixed));
  root.children.push_back(
      BlockNode::Group(u"StringFileInfo", {BlockNode::Group(U16(StringTableKey(d.language, d.codepage)), std::move(strings))}));
  root.children.push_back(BlockNode::Group(u"VarFileInfo", {BlockNode::Binary(u"Translation", std::move(translation))}));
  return SerializeBlock(root);
}

}  // namespace version
