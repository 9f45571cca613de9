// The block layout: what the writer makes, what lookups find, and that a
// malformed block makes lookups fail without reading past the buffer (these
// run under AddressSanitizer too).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "version/version_block.h"
#include "version_test_blocks.h"

namespace {

using namespace testblocks;
using version::QueryBlockText;
using version::QueryBlockValue;

std::string Path(const char* entry) { return std::string("StringFileInfo\\041904E3\\") + entry; }

// Entries found over a buffer of exactly these bytes, so that the sanitizer
// sees any read past it; the translation counts as one more.
int Found(const std::vector<uint8_t>& bytes) {
  const auto exact = std::make_unique<uint8_t[]>(bytes.size());
  std::copy(bytes.begin(), bytes.end(), exact.get());
  int found = QueryBlockValue(exact.get(), bytes.size(), "VarFileInfo\\Translation") ? 1 : 0;
  for (const char* e : {"CompanyName", "FileDescription", "FileVersion", "InternalName", "LegalCopyright",
                        "LegalTrademarks", "OriginalFilename", "ProductName", "ProductVersion"})
    if (const auto text = QueryBlockText(exact.get(), bytes.size(), Path(e))) {
      ++found;
      EXPECT_LE(text->size() * 2, bytes.size());
    }
  return found;
}

TEST(VersionBlock, TheProgramsBlockInWindowsLayout) {
  const std::vector<uint8_t> b = ProgramBlock();
  EXPECT_EQ(b[0] | b[1] << 8, int(b.size()));
  EXPECT_EQ(b[2] | b[3] << 8, 52);  // VS_FIXEDFILEINFO, after the key on a 32-bit boundary
  EXPECT_EQ(NodeOf(b, u"VS_VERSION_INFO"), 0u);
  const uint32_t fixed[] = {0xFEEF04BD, 0x10000, 0x40004, 0x80000, 0x40004, 0x80000, 0x3F, 0, 4, 1, 0, 0, 0};
  for (size_t i = 0; i < 13; ++i) EXPECT_EQ(Get32(b, 40 + 4 * i), fixed[i]) << i;
  EXPECT_EQ(NodeOf(b, u"StringFileInfo"), 92u);

  const auto translation = QueryBlockValue(b.data(), b.size(), "\\VarFileInfo\\Translation");
  ASSERT_TRUE(translation && translation->size == 4);
  EXPECT_EQ(std::vector<uint8_t>(translation->data, translation->data + 4), (std::vector<uint8_t>{0x19, 4, 0xE3, 4}));
  const auto text = [&](const char* e) { return QueryBlockText(b.data(), b.size(), Path(e)); };
  EXPECT_EQ(text("ProductVersion"), u"2008.04.04 14:48");
  EXPECT_EQ(text("FileVersion"), u"4.4.8.0");
  EXPECT_EQ(text("ProductName"), u"зорвик");
  EXPECT_EQ(text("InternalName"), u"");  // there, and empty
  EXPECT_FALSE(text("Comments"));
  EXPECT_FALSE(text("LegalTradeMark"));
  EXPECT_TRUE(text("LegalTrademarks"));
}

// Made by hand, not by the writer: root "V" > group "S" > text "T" = "ok".
const std::vector<uint8_t> kHandMade = {0x2A, 0, 0, 0, 1, 0, 'V', 0, 0, 0, 0, 0,  //
                                        0x1E, 0, 0, 0, 1, 0, 'S', 0, 0, 0, 0, 0,  //
                                        0x12, 0, 3, 0, 1, 0, 'T', 0, 0, 0, 0, 0, 'o', 0, 'k', 0, 0, 0};

TEST(VersionBlock, PathsOverAHandMadeBlock) {
  const auto at = [](const std::vector<uint8_t>& b, std::string_view path) { return QueryBlockText(b.data(), b.size(), path); };
  EXPECT_EQ(at(kHandMade, "S\\T"), u"ok");
  EXPECT_EQ(at(kHandMade, "\\s\\\\t"), u"ok");  // keys without regard to case; empty steps skipped
  EXPECT_EQ(at(kHandMade, "S"), u"");
  for (const char* missing : {"S\\X", "S\\TT", "S\\T\\T", "T", "ST"}) EXPECT_FALSE(at(kHandMade, missing)) << missing;

  std::vector<uint8_t> h = kHandMade;
  Set16(h, 24, 0x0F);  // "T" ends in the middle of 'k': the text ends on a whole character
  EXPECT_EQ(at(h, "S\\T"), u"o");
  Set16(h, 12, 8);  // "S" ends inside its key
  EXPECT_FALSE(at(h, "S\\T"));
  h.resize(12);  // the root alone, then without its key's zero
  Set16(h, 0, 12);
  EXPECT_TRUE(QueryBlockValue(h.data(), h.size(), "\\"));
  Set16(h, 0, 8);
  EXPECT_FALSE(QueryBlockValue(h.data(), h.size(), "\\"));
}

TEST(VersionBlock, TruncatedOrEmptyBlocksFindNothing) {
  const std::vector<uint8_t> b = ProgramBlock();
  EXPECT_EQ(Found(b), 10);
  for (size_t n = 0; n < b.size(); ++n) EXPECT_EQ(Found(std::vector<uint8_t>(b.begin(), b.begin() + long(n))), 0) << n;
  EXPECT_EQ(Found(std::vector<uint8_t>(b.size(), 0)), 0);  // a read that failed
  EXPECT_FALSE(QueryBlockValue(nullptr, 100, "\\"));
}

TEST(VersionBlock, BadLengthsHideWhatDependsOnThem) {
  std::vector<uint8_t> b = ProgramBlock();
  const size_t info = NodeOf(b, u"StringFileInfo"), table = NodeOf(b, u"041904E3");
  Set16(b, table, uint16_t(info + (b[info] | b[info + 1] << 8) - table + 2));  // past its parent
  EXPECT_EQ(Found(b), 1);  // the translation, in the next group, stays

  for (uint16_t bad : {0, 1, 5}) {  // under a header: the walk stops there
    b = ProgramBlock();
    Set16(b, NodeOf(b, u"FileVersion"), bad);
    EXPECT_TRUE(QueryBlockText(b.data(), b.size(), Path("FileDescription")));
    EXPECT_FALSE(QueryBlockText(b.data(), b.size(), Path("FileVersion")));
    EXPECT_EQ(Found(b), 3);
  }

  b = ProgramBlock();  // a text said to be longer than its node ends at its zero
  Set16(b, NodeOf(b, u"FileVersion") + 2, 0x7FFF);
  EXPECT_EQ(QueryBlockText(b.data(), b.size(), Path("FileVersion")), u"4.4.8.0");
  EXPECT_EQ(Found(b), 10);

  b = ProgramBlock();  // an odd length with the buffer to match
  b.push_back(0x55);
  Set16(b, 0, uint16_t(b.size()));
  EXPECT_EQ(Found(b), 10);
}

TEST(VersionBlock, AnyCorruptedByteStaysInBounds) {
  const std::vector<uint8_t> b = ProgramBlock();
  for (size_t at = 0; at < b.size(); ++at)
    for (uint8_t v : {0x00, 0x01, 0x7F, 0xFF}) {
      std::vector<uint8_t> c = b;
      c[at] = v;
      EXPECT_LE(Found(c), 10);
    }
}

}  // namespace
