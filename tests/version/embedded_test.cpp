// The built program's own block: this test program has it embedded by the
// program's build step, and reads it from its running executable.
#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "toolkit/codepage.h"
#include "version/elf_section.h"
#include "version/version_info.h"

namespace {

TEST(EmbeddedVersionBlock, TheRunningExecutableCarriesIt) {
  const version::TVersionInfo v;  // the system's platform: /proc/self/exe
  EXPECT_EQ(v.ProductVersion(), "2008.04.04 14:48");
  EXPECT_EQ(v.FileVersion(), "4.4.8.0");
  EXPECT_EQ(v.ProductName(), toolkit::Cp1251("зорвик"));
  EXPECT_EQ(version::VersionCaption(v), toolkit::Cp1251("ЗОРВИК версия 2008.04.04 14:48(0)"));
  for (uint32_t locale : {0x0419u, 0x0409u, 0u}) {
    version::ElfVersionPlatform p("/proc/self/exe", locale);
    EXPECT_EQ(version::VersionCaption(version::TVersionInfo(p)), version::VersionCaption(v)) << locale;
  }
}

// Read here by a reader of the test's own, after the Windows layout (each
// node: length, value length, type, key, padding to 4, value, padding,
// children), against values written out below: not by the program's writer
// or reader, whose common mistake would pass unseen.
struct Node {
  std::u16string key;
  uint16_t type = 0;
  std::vector<uint8_t> value;
  std::vector<Node> children;
};

uint16_t U16(const std::vector<uint8_t>& b, size_t at) { return uint16_t(b.at(at) | b.at(at + 1) << 8); }
uint32_t U32(const std::vector<uint8_t>& b, size_t at) { return U16(b, at) | uint32_t(U16(b, at + 2)) << 16; }
size_t Align4(size_t n) { return (n + 3) & ~size_t(3); }

Node ReadNode(const std::vector<uint8_t>& b, size_t at, size_t& end) {
  Node n;
  const size_t length = U16(b, at), valueLength = U16(b, at + 2);
  n.type = U16(b, at + 4);
  end = at + length;
  size_t p = at + 6;
  for (; U16(b, p) != 0; p += 2) n.key.push_back(char16_t(U16(b, p)));
  p = Align4(p + 2);
  const size_t valueBytes = n.type == 1 ? valueLength * 2 : valueLength;  // text: in characters
  n.value.assign(b.begin() + long(p), b.begin() + long(p + valueBytes));
  for (p = Align4(p + valueBytes); p < end;) {
    size_t childEnd = 0;
    n.children.push_back(ReadNode(b, p, childEnd));
    p = Align4(childEnd);
  }
  return n;
}

std::u16string Text(const Node& n) {
  std::u16string t;
  for (size_t i = 0; i + 1 < n.value.size(); i += 2) t.push_back(char16_t(n.value[i] | n.value[i + 1] << 8));
  if (!t.empty() && t.back() == u'\0') t.pop_back();
  return t;
}

TEST(EmbeddedVersionBlock, TheSectionHoldsTheBlockInWindowsLayout) {
  const auto s = version::FindElfSection("/proc/self/exe", version::kVersionSection);
  ASSERT_TRUE(s);
  std::vector<uint8_t> bytes(s->size);
  std::ifstream in("/proc/self/exe", std::ios::binary);
  in.seekg(std::streamoff(s->offset));
  in.read(reinterpret_cast<char*>(bytes.data()), std::streamsize(bytes.size()));
  ASSERT_GE(bytes.size(), 6u);
  ASSERT_LE(U16(bytes, 0), bytes.size());
  size_t end = 0;
  const Node root = ReadNode(bytes, 0, end);
  EXPECT_EQ(root.key, u"VS_VERSION_INFO");
  ASSERT_EQ(root.value.size(), 52u);
  EXPECT_EQ(U32(root.value, 0), 0xFEEF04BDu);                                  // signature
  EXPECT_EQ(U32(root.value, 8), 0x00040004u);                                  // file version 4.4
  EXPECT_EQ(U32(root.value, 12), 0x00080000u);                                 // .8.0
  EXPECT_EQ(U32(root.value, 16), 0x00040004u);                                 // product version
  EXPECT_EQ(U32(root.value, 24), 0x3Fu);                                       // flags mask
  EXPECT_EQ(U32(root.value, 32), 4u);                                          // 32-bit Windows
  EXPECT_EQ(U32(root.value, 36), 1u);                                          // an application

  std::map<std::u16string, std::u16string> strings;
  std::vector<uint8_t> translation;
  for (const Node& group : root.children) {
    if (group.key == u"StringFileInfo") {
      ASSERT_EQ(group.children.size(), 1u);
      EXPECT_EQ(group.children[0].key, u"041904E3");
      for (const Node& entry : group.children[0].children) {
        EXPECT_EQ(entry.type, 1u) << "text";
        strings[entry.key] = Text(entry);
      }
    } else if (group.key == u"VarFileInfo" && !group.children.empty()) {
      EXPECT_EQ(group.children[0].key, u"Translation");
      translation = group.children[0].value;
    }
  }
  EXPECT_EQ(translation, (std::vector<uint8_t>{0x19, 0x04, 0xE3, 0x04}));  // Russian, code page 1251
  const std::map<std::u16string, std::u16string> expected = {
      {u"CompanyName", u"Служба наладки теплоучёта ЯРВ"},
      {u"FileDescription", u"Настройка GSM-модема на приём вызовов данных вычислителя ЯРВ"},
      {u"FileVersion", u"4.4.8.0"},
      {u"InternalName", u""},
      {u"LegalCopyright", u"© 2008 Служба наладки теплоучёта ЯРВ, автор Н. Ю. Зорин"},
      {u"LegalTrademarks", u"ЗОРВИК и ЯРВ — обозначения Службы наладки теплоучёта ЯРВ"},
      {u"OriginalFilename", u""},
      {u"ProductName", u"зорвик"},
      {u"ProductVersion", u"2008.04.04 14:48"}};
  EXPECT_TRUE(strings == expected);
}

}  // namespace
