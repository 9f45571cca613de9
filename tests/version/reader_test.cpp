// TVersionInfo over blocks held in memory: the table key from the locale's
// digits in the probe or the fallback, the lookups, and the caption.
#include <algorithm>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "toolkit/codepage.h"
#include "version/version_info.h"
#include "version_test_blocks.h"

namespace {

using namespace testblocks;
using version::TVersionInfo;

constexpr uint32_t kRussian = 0x0419, kEnglish = 0x0409;

class MemoryPlatform final : public version::VersionPlatform {
 public:
  MemoryPlatform(std::vector<uint8_t> block, uint32_t locale) : block_(std::move(block)), locale_(locale) {}

  bool failWholeRead = false;
  std::vector<uint32_t> reads;
  std::vector<std::string> queries;

  std::string ExecutablePath() override { return "/opt/zorvik"; }
  uint32_t GetFileVersionInfoSize(const std::string& path) override {
    return path == "/opt/zorvik" ? uint32_t(block_.size()) : 0;
  }
  bool GetFileVersionInfo(const std::string&, uint32_t length, uint8_t* data) override {
    reads.push_back(length);
    if (failWholeRead && length == block_.size()) return false;
    std::copy_n(block_.begin(), std::min<size_t>(length, block_.size()), data);
    return true;
  }
  bool VerQueryValue(const uint8_t* block, uint32_t size, const std::string& path, std::string& text) override {
    queries.push_back(path);
    return elf_.VerQueryValue(block, size, path, text);  // the real lookups
  }
  uint32_t GetThreadLocale() override { return locale_; }

 private:
  std::vector<uint8_t> block_;
  uint32_t locale_;
  version::ElfVersionPlatform elf_{"", 0};
};

bool AllEmpty(const TVersionInfo& v) {
  for (int t = 0; t < version::kVersionTypeCount; ++t)
    if (!v.GetVersionValue(version::TVersionType(t)).empty()) return false;
  return true;
}

TEST(VersionReader, ProgramBlockOnEveryLocale) {
  for (uint32_t locale : {kRussian, kEnglish, 0u, 0x0C0Au}) {
    SCOPED_TRACE(locale);
    MemoryPlatform p(ProgramBlock(), locale);
    const TVersionInfo v(p);
    EXPECT_EQ(v.ProductVersion(), "2008.04.04 14:48");
    EXPECT_EQ(v.FileVersion(), "4.4.8.0");
    EXPECT_EQ(v.ProductName(), toolkit::Cp1251("зорвик"));
    for (const std::string& empty : {v.InternalName(), v.Comments(), v.LegalTradeMark(), v.OriginalFileName()})
      EXPECT_EQ(empty, "");
    for (const std::string& set : {v.CompanyName(), v.FileDescription(), v.LegalCopyright()}) EXPECT_NE(set, "");
    EXPECT_EQ(version::VersionCaption(v), toolkit::Cp1251("ЗОРВИК версия 2008.04.04 14:48(0)"));
    ASSERT_EQ(p.queries.size(), 10u);
    EXPECT_EQ(p.queries[5], "StringFileInfo\\041904E3\\LegalTradeMark");
    EXPECT_EQ(p.reads, (std::vector<uint32_t>{1001, uint32_t(ProgramBlock().size())}));  // probe, whole
  }
}

TEST(VersionReader, NoBlockOrAFailedRead) {
  MemoryPlatform none({}, kRussian);
  const TVersionInfo v(none);
  EXPECT_TRUE(AllEmpty(v));
  EXPECT_TRUE(none.reads.empty());
  EXPECT_EQ(version::VersionCaption(v), toolkit::Cp1251("ЗОРВИК версия ()"));

  MemoryPlatform failing(ProgramBlock(), kRussian);
  failing.failWholeRead = true;
  EXPECT_TRUE(AllEmpty(TVersionInfo(failing)));
  std::vector<uint8_t> cut = ProgramBlock();
  cut.pop_back();
  MemoryPlatform truncated(cut, kRussian);
  EXPECT_TRUE(AllEmpty(TVersionInfo(truncated)));
}

TEST(VersionReader, TableKeyFromTheLocaleOrTheFallback) {
  const std::vector<std::pair<std::u16string, std::u16string>> entries = {{u"FileVersion", u"1.2.3.4"},
                                                                          {u"Comments", u"c"}};
  // 0419 is not in the probe, and the fallback table is not in the block.
  MemoryPlatform us(BlockWithTable(u"040904E4", entries), kRussian);
  EXPECT_TRUE(AllEmpty(TVersionInfo(us)));
  EXPECT_EQ(us.queries[0], "StringFileInfo\\041904E3\\CompanyName");

  MemoryPlatform unicode(BlockWithTable(u"040904B0", entries), kEnglish);
  const TVersionInfo v(unicode);
  EXPECT_EQ(v.FileVersion(), "1.2.3.4");
  EXPECT_EQ(v.Comments(), "c");
  EXPECT_EQ(unicode.queries[0], "StringFileInfo\\040904B0\\CompanyName");

  // Four upper-case digits; the sub-language sits above the low 10 bits.
  MemoryPlatform spanish(BlockWithTable(u"0C0A04E4", entries), 0x0C0A);
  EXPECT_EQ(TVersionInfo(spanish).FileVersion(), "1.2.3.4");
  MemoryPlatform lower(BlockWithTable(u"0c0a04e4", entries), 0x0C0A);
  EXPECT_EQ(TVersionInfo(lower).FileVersion(), "");
}

TEST(VersionReader, TheProbeSeesTheFirst1001BytesOnly) {
  using version::BlockNode;
  // A Russian table long enough to push the English one past the probe.
  BlockNode root = Root({BlockNode::Group(u"041904E3", {BlockNode::Text(u"FileVersion", u"ru"),
                                                        BlockNode::Text(u"Filler", std::u16string(600, u'x'))}),
                         BlockNode::Group(u"040904B0", {BlockNode::Text(u"FileVersion", u"en")})});
  MemoryPlatform far(version::SerializeBlock(root), kEnglish);
  EXPECT_EQ(TVersionInfo(far).FileVersion(), "ru");
  root.children[0].children[0].children.pop_back();
  MemoryPlatform near(version::SerializeBlock(root), kEnglish);
  EXPECT_EQ(TVersionInfo(near).FileVersion(), "en");
}

TEST(VersionCaption, LastPartOfTheFileVersion) {
  const std::string prefix = toolkit::Cp1251("ЗОРВИК версия ");
  EXPECT_EQ(version::VersionCaption("2008.04.04 14:48", "4.4.8.0"), prefix + "2008.04.04 14:48(0)");
  EXPECT_EQ(version::VersionCaption("x", "7"), prefix + "x(7)");
  EXPECT_EQ(version::VersionCaption("x", ""), prefix + "x()");
  EXPECT_EQ(version::VersionCaption("x", "1.2."), prefix + "x()");
  EXPECT_EQ(version::VersionCaption("", "4.4.8.12 beta"), prefix + "(12 beta)");
  MemoryPlatform p({}, kRussian);
  EXPECT_THROW(TVersionInfo(p).GetVersionValue(version::TVersionType(10)), std::out_of_range);
}

}  // namespace
