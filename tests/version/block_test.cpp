// The block layout: what the writer makes, what the lookups find, and that a
// malformed block makes every lookup fail without reading past the buffer
// (run these under AddressSanitizer too).
#include <gtest/gtest.h>

#include "version/version_block.h"
#include "version_test_blocks.h"

namespace {

using namespace testblocks;
using version::QueryBlockText;
using version::QueryBlockValue;

const char* const kEntries[] = {"CompanyName",   "FileDescription", "FileVersion", "InternalName",
                                "LegalCopyright", "LegalTrademarks", "OriginalFilename", "ProductName",
                                "ProductVersion"};

std::string Path(const char* entry) { return std::string("StringFileInfo\\041904E3\\") + entry; }

// Lookups over a buffer of exactly the given bytes, so that the sanitizer
// sees any read past it.
int Found(const std::vector<uint8_t>& bytes) {
  const std::unique_ptr<uint8_t[]> exact(new uint8_t[bytes.size() + (bytes.empty() ? 1 : 0)]);
  std::copy(bytes.begin(), bytes.end(), exact.get());
  int found = 0;
  for (const char* e : kEntries) {
    const auto text = QueryBlockText(exact.get(), bytes.size(), Path(e));
    if (text) {
      ++found;
      EXPECT_LE(text->size() * 2, bytes.size());
    }
  }
  if (QueryBlockValue(exact.get(), bytes.size(), "VarFileInfo\\Translation")) ++found;
  return found;
}

TEST(VersionBlock, WriterLaysOutTheFixedPartAndTranslation) {
  const std::vector<uint8_t> b = ProgramBlock();
  EXPECT_EQ(Get16(b, 0), b.size());
  EXPECT_EQ(Get16(b, 2), 52);  // VS_FIXEDFILEINFO
  EXPECT_EQ(NodeOf(b, u"VS_VERSION_INFO"), 0u);
  // The key ends at 38, the fixed part starts on the next 32-bit boundary.
  EXPECT_EQ(Get32(b, 40), 0xFEEF04BDu);
  EXPECT_EQ(Get32(b, 48), 0x00040004u);  // file version 4.4.8.0
  EXPECT_EQ(Get32(b, 52), 0x00080000u);
  EXPECT_EQ(Get32(b, 56), 0x00040004u);  // product version 4.4.8.0
  EXPECT_EQ(Get32(b, 60), 0x00080000u);
  EXPECT_EQ(Get32(b, 64), 0x3Fu);
  EXPECT_EQ(Get32(b, 68), 0u);
  EXPECT_EQ(Get32(b, 72), 4u);
  EXPECT_EQ(Get32(b, 76), 1u);
  EXPECT_EQ(Get32(b, 80), 0u);
  EXPECT_EQ(Get32(b, 84) | Get32(b, 88), 0u);  // no date
  EXPECT_EQ(NodeOf(b, u"StringFileInfo"), 92u);

  const auto fixed = QueryBlockValue(b.data(), b.size(), "\\");
  ASSERT_TRUE(fixed);
  EXPECT_EQ(fixed->data, b.data() + 40);
  EXPECT_EQ(fixed->size, 52u);
  const auto translation = QueryBlockValue(b.data(), b.size(), "\\VarFileInfo\\Translation");
  ASSERT_TRUE(translation);
  EXPECT_EQ(translation->type, 0);
  ASSERT_EQ(translation->size, 4u);
  EXPECT_EQ(std::vector<uint8_t>(translation->data, translation->data + 4), (std::vector<uint8_t>{0x19, 0x04, 0xE3, 0x04}));
}

TEST(VersionBlock, ProgramEntries) {
  const std::vector<uint8_t> b = ProgramBlock();
  const auto text = [&](const char* e) { return QueryBlockText(b.data(), b.size(), Path(e)); };
  EXPECT_EQ(text("ProductVersion"), u"2008.04.04 14:48");
  EXPECT_EQ(text("FileVersion"), u"4.4.8.0");
  EXPECT_EQ(text("ProductName"), u"зорвик");
  EXPECT_EQ(text("InternalName"), u"");  // present, empty
  EXPECT_EQ(text("OriginalFilename"), u"");
  for (const char* e : {"CompanyName", "FileDescription", "LegalCopyright", "LegalTrademarks"})
    EXPECT_FALSE(text(e).value_or(u"").empty()) << e;
  EXPECT_FALSE(text("Comments"));
  EXPECT_FALSE(text("LegalTradeMark"));
}

// Made by hand, not by the writer: root "V" > group "S" > text "T" = "ok".
const std::vector<uint8_t> kHandMade = {
    0x2A, 0, 0, 0, 1, 0, 'V', 0, 0, 0, 0, 0,                    //
    0x1E, 0, 0, 0, 1, 0, 'S', 0, 0, 0, 0, 0,                    //
    0x12, 0, 3, 0, 1, 0, 'T', 0, 0, 0, 0, 0, 'o', 0, 'k', 0, 0, 0};

TEST(VersionBlock, PathsOverAHandMadeBlock) {
  const auto at = [](std::string_view path) { return QueryBlockText(kHandMade.data(), kHandMade.size(), path); };
  EXPECT_EQ(at("S\\T"), u"ok");
  EXPECT_EQ(at("\\S\\T"), u"ok");
  EXPECT_EQ(at("s\\\\t"), u"ok");  // keys without regard to case, empty steps skipped
  EXPECT_EQ(at("S"), u"");         // a group has no text of its own
  EXPECT_FALSE(at("S\\X"));
  EXPECT_FALSE(at("S\\TT"));
  EXPECT_FALSE(at("S\\T\\T"));
  EXPECT_FALSE(at("T"));
  EXPECT_FALSE(at("ST"));
}

TEST(VersionBlock, TruncatedBlocksFindNothing) {
  const std::vector<uint8_t> b = ProgramBlock();
  EXPECT_EQ(Found(b), 10);
  for (size_t n = 0; n < b.size(); ++n) EXPECT_EQ(Found(std::vector<uint8_t>(b.begin(), b.begin() + n)), 0) << n;
  EXPECT_EQ(Found(std::vector<uint8_t>(b.size(), 0)), 0);  // a read that failed
  EXPECT_FALSE(QueryBlockValue(nullptr, 100, "\\"));
}

TEST(VersionBlock, ALengthPastItsParentHidesThatNodeOnly) {
  std::vector<uint8_t> b = ProgramBlock();
  const size_t info = NodeOf(b, u"StringFileInfo");
  const size_t table = NodeOf(b, u"041904E3");
  Set16(b, table, uint16_t(info + Get16(b, info) - table + 2));
  EXPECT_EQ(Found(b), 1);  // the translation, in the next group, is still there
}

TEST(VersionBlock, ChildLengthsTooSmallStopTheWalk) {
  for (uint16_t bad : {0, 1, 5}) {
    std::vector<uint8_t> b = ProgramBlock();
    Set16(b, NodeOf(b, u"FileVersion"), bad);
    // Entries before it are found, none after it; the translation is apart.
    const auto text = [&](const char* e) { return QueryBlockText(b.data(), b.size(), Path(e)); };
    EXPECT_TRUE(text("FileDescription")) << bad;
    EXPECT_FALSE(text("FileVersion")) << bad;
    EXPECT_FALSE(text("ProductVersion")) << bad;
    EXPECT_TRUE(QueryBlockValue(b.data(), b.size(), "VarFileInfo\\Translation"));
  }
}

TEST(VersionBlock, OddSizesAndValueLengths) {
  // One byte more in the root and the buffer: still readable.
  std::vector<uint8_t> b = ProgramBlock();
  b.push_back(0x55);
  Set16(b, 0, uint16_t(b.size()));
  EXPECT_EQ(Found(b), 10);

  // A text said to be longer than its node ends at its zero; its neighbours
  // stay where their lengths put them.
  b = ProgramBlock();
  const size_t version = NodeOf(b, u"FileVersion");
  Set16(b, version + 2, 0x7FFF);
  EXPECT_EQ(QueryBlockText(b.data(), b.size(), Path("FileVersion")), u"4.4.8.0");
  EXPECT_EQ(QueryBlockText(b.data(), b.size(), Path("ProductVersion")), u"2008.04.04 14:48");

  // A node cut inside its text: the text ends with the node, on a whole character.
  std::vector<uint8_t> h = kHandMade;
  Set16(h, 24, 0x0F);  // "T" now ends in the middle of 'k'
  EXPECT_EQ(QueryBlockText(h.data(), h.size(), "S\\T"), u"o");
}

TEST(VersionBlock, KeysMustEndInsideTheirNode) {
  std::vector<uint8_t> h(kHandMade.begin(), kHandMade.begin() + 12);
  Set16(h, 0, 12);
  EXPECT_TRUE(QueryBlockValue(h.data(), h.size(), "\\"));
  Set16(h, 0, 8);  // the key's zero falls outside the root
  EXPECT_FALSE(QueryBlockValue(h.data(), h.size(), "\\"));
  h = kHandMade;
  Set16(h, 12, 8);  // group "S" cut inside its key
  EXPECT_FALSE(QueryBlockText(h.data(), h.size(), "S\\T"));
}

// Any single byte changed anywhere: lookups stay inside the buffer.
TEST(VersionBlock, CorruptedBytesStayInBounds) {
  const std::vector<uint8_t> b = ProgramBlock();
  for (size_t at = 0; at < b.size(); ++at)
    for (uint8_t v : {0x00, 0x01, 0x7F, 0xFF}) {
      std::vector<uint8_t> c = b;
      c[at] = v;
      EXPECT_LE(Found(c), 10);
    }
}

TEST(VersionBlock, Utf8AndUtf16) {
  EXPECT_EQ(version::Utf8ToUtf16("зорвик €𝄞"), u"зорвик €𝄞");
  EXPECT_EQ(version::Utf16ToUtf8(u"зорвик €𝄞"), "зорвик €𝄞");
  EXPECT_EQ(version::Utf16ToUtf8(std::u16string(1, char16_t(0xD834))), "\xEF\xBF\xBD");
  for (const char* bad : {"\xC0\x80", "\xD0", "\xED\xA0\x80", "\xF4\x90\x80\x80", "a\x80"})
    EXPECT_FALSE(version::Utf8ToUtf16(bad)) << bad;
}

TEST(VersionDescription, RejectsWhatItCannotTake) {
  std::string error;
  EXPECT_TRUE(version::ParseVersionDescription("[fixed]\nfile_version = 1.2.3.4\n", error));
  for (const char* bad : {"[fixed]\nfile_version = 1.2.3\n", "[fixed]\nfile_version = 1.2.3.4.5\n",
                          "[fixed]\nfile_version = 1.2.3.65536\n", "[fixed]\nfiel_version = 1.2.3.4\n",
                          "[translation]\nlanguage = 0x10000\n", "[strings]\nProductName\n", "[other]\n",
                          "ProductName = x\n", "[strings]\nProductName = \xD0\n"}) {
    error.clear();
    EXPECT_FALSE(version::ParseVersionDescription(bad, error)) << bad;
    EXPECT_FALSE(error.empty());
  }
  const auto d = version::ParseVersionDescription("# c\n[translation]\nlanguage = 0x0409\ncodepage = 1200\n"
                                                  "[strings]\nA = x = y\nB =\n", error);
  ASSERT_TRUE(d);
  EXPECT_EQ(version::StringTableKey(d->language, d->codepage), "040904B0");
  ASSERT_EQ(d->strings.size(), 2u);
  EXPECT_EQ(d->strings[0].second, "x = y");
  EXPECT_EQ(d->strings[1].second, "");
}

}  // namespace
