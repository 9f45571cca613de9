// TVersionInfo over blocks held in memory: the table key from the locale's
// digits in the probe, the fallback, the lookups and the caption.
#include <gtest/gtest.h>

#include "toolkit/codepage.h"
#include "version/version_info.h"
#include "version_test_blocks.h"

namespace {

using namespace testblocks;
using version::TVersionInfo;

constexpr uint32_t kRussian = 0x0419, kEnglish = 0x0409;

// The block as a file's version resource; the size reported may be larger
// than the block, as Windows reports it.
class MemoryPlatform final : public version::VersionPlatform {
 public:
  MemoryPlatform(std::vector<uint8_t> block, uint32_t locale) : block_(std::move(block)), locale_(locale) {}

  uint32_t reportedSize = 0;  // 0: the block's own
  bool failWholeRead = false;
  std::vector<uint32_t> reads;

  std::string ExecutablePath() override { return "/opt/zorvik/zorvik"; }
  uint32_t GetFileVersionInfoSize(const std::string& path) override {
    EXPECT_EQ(path, "/opt/zorvik/zorvik");
    return block_.empty() ? 0 : reportedSize ? reportedSize : uint32_t(block_.size());
  }
  bool GetFileVersionInfo(const std::string&, uint32_t length, uint8_t* data) override {
    reads.push_back(length);
    if (failWholeRead && length == GetFileVersionInfoSize("/opt/zorvik/zorvik")) return false;
    std::copy_n(block_.begin(), std::min<size_t>(length, block_.size()), data);
    return true;
  }
  bool VerQueryValue(const uint8_t* block, uint32_t size, const std::string& path, std::string& text) override {
    queries.push_back(path);
    return elf_.VerQueryValue(block, size, path, text);
  }
  uint32_t GetThreadLocale() override { return locale_; }

  std::vector<std::string> queries;

 private:
  std::vector<uint8_t> block_;
  uint32_t locale_;
  version::ElfVersionPlatform elf_{"", 0};  // its lookups are the ones under test
};

std::vector<std::string> All(const TVersionInfo& v) {
  return {v.CompanyName(),  v.FileDescription(),  v.FileVersion(), v.InternalName(),   v.LegalCopyright(),
          v.LegalTradeMark(), v.OriginalFileName(), v.ProductName(), v.ProductVersion(), v.Comments()};
}

bool AllEmpty(const TVersionInfo& v) {
  for (const std::string& s : All(v))
    if (!s.empty()) return false;
  return true;
}

void ExpectProgramTexts(const TVersionInfo& v) {
  EXPECT_EQ(v.ProductVersion(), "2008.04.04 14:48");
  EXPECT_EQ(v.FileVersion(), "4.4.8.0");
  EXPECT_EQ(v.ProductName(), toolkit::Cp1251("зорвик"));
  EXPECT_EQ(v.InternalName(), "");
  EXPECT_EQ(v.Comments(), "");
  EXPECT_EQ(v.LegalTradeMark(), "");  // the block's entry is LegalTrademarks
  EXPECT_EQ(v.OriginalFileName(), "");
  EXPECT_NE(v.CompanyName(), "");
  EXPECT_NE(v.FileDescription(), "");
  EXPECT_NE(v.LegalCopyright(), "");
  EXPECT_EQ(version::VersionCaption(v), toolkit::Cp1251("ЗОРВИК версия 2008.04.04 14:48(0)"));
}

TEST(VersionReader, ProgramBlockOnRussianAndEnglishLocales) {
  for (uint32_t locale : {kRussian, kEnglish, 0u, 0x0C0Au}) {
    SCOPED_TRACE(locale);
    MemoryPlatform p(ProgramBlock(), locale);
    const TVersionInfo v(p);
    ExpectProgramTexts(v);
    ASSERT_EQ(p.queries.size(), 10u);
    EXPECT_EQ(p.queries[2], "StringFileInfo\\041904E3\\FileVersion");
    EXPECT_EQ(p.queries[5], "StringFileInfo\\041904E3\\LegalTradeMark");
    // The probe, then the whole block.
    EXPECT_EQ(p.reads, (std::vector<uint32_t>{1001, uint32_t(ProgramBlock().size())}));
  }
}

TEST(VersionReader, WindowsSizedBufferAndShortBlocks) {
  // Windows reports room beyond the block; a short block is probed whole.
  MemoryPlatform big(ProgramBlock(), kRussian);
  big.reportedSize = 5000;
  ExpectProgramTexts(TVersionInfo(big));
  EXPECT_EQ(big.reads, (std::vector<uint32_t>{1001, 5000}));

  const auto small = BlockWithTable(u"041904E3", {{u"FileVersion", u"1.0"}});
  ASSERT_LT(small.size(), 1001u);
  MemoryPlatform p(small, kRussian);
  EXPECT_EQ(TVersionInfo(p).FileVersion(), "1.0");
  EXPECT_EQ(p.reads, (std::vector<uint32_t>{uint32_t(small.size()), uint32_t(small.size())}));
}

TEST(VersionReader, NoBlock) {
  MemoryPlatform p({}, kRussian);
  const TVersionInfo v(p);
  EXPECT_TRUE(AllEmpty(v));
  EXPECT_TRUE(p.reads.empty());
  EXPECT_EQ(version::VersionCaption(v), toolkit::Cp1251("ЗОРВИК версия ()"));
}

TEST(VersionReader, TableKeyFromTheLocaleOrTheFallback) {
  const std::vector<std::pair<std::u16string, std::u16string>> entries = {
      {u"ProductVersion", u"1999.01.02 03:04"}, {u"FileVersion", u"1.2.3.4"}, {u"Comments", u"c"}};
  // An English table read on a Russian locale: 0419 is not in the probe, and
  // the Russian fallback table is not in the block.
  MemoryPlatform us1252(BlockWithTable(u"040904E4", entries), kRussian);
  EXPECT_TRUE(AllEmpty(TVersionInfo(us1252)));
  EXPECT_EQ(us1252.queries[0], "StringFileInfo\\041904E3\\CompanyName");

  MemoryPlatform unicode(BlockWithTable(u"040904B0", entries), kEnglish);
  const TVersionInfo v(unicode);
  EXPECT_EQ(v.ProductVersion(), "1999.01.02 03:04");
  EXPECT_EQ(v.Comments(), "c");
  EXPECT_EQ(v.CompanyName(), "");
  EXPECT_EQ(unicode.queries[0], "StringFileInfo\\040904B0\\CompanyName");

  // Upper-case digits, and the sub-language above the low 10 bits.
  MemoryPlatform spanish(BlockWithTable(u"0C0A04E4", entries), 0x0C0A);
  EXPECT_EQ(TVersionInfo(spanish).FileVersion(), "1.2.3.4");
  MemoryPlatform lower(BlockWithTable(u"0c0a04e4", entries), 0x0C0A);
  EXPECT_EQ(TVersionInfo(lower).FileVersion(), "");
}

TEST(VersionReader, TheProbeSeesOnlyTheFirst1001Bytes) {
  using version::BlockNode;
  // A Russian table long enough to push an English one past the probe.
  std::vector<BlockNode> russian = {BlockNode::Text(u"FileVersion", u"ru"),
                                    BlockNode::Text(u"Filler", std::u16string(600, u'x'))};
  std::vector<BlockNode> english = {BlockNode::Text(u"FileVersion", u"en")};
  BlockNode root = BlockNode::Binary(u"VS_VERSION_INFO", std::vector<uint8_t>(52, 0));
  root.children.push_back(BlockNode::Group(
      u"StringFileInfo", {BlockNode::Group(u"041904E3", std::move(russian)), BlockNode::Group(u"040904B0", english)}));
  const std::vector<uint8_t> far = version::SerializeBlock(root);
  MemoryPlatform p(far, kEnglish);
  EXPECT_EQ(TVersionInfo(p).FileVersion(), "ru");

  // The same English table near the start is found.
  root.children[0].children[0].children.pop_back();
  MemoryPlatform near(version::SerializeBlock(root), kEnglish);
  EXPECT_EQ(TVersionInfo(near).FileVersion(), "en");
}

TEST(VersionReader, AFailedWholeReadLeavesAllEmpty) {
  MemoryPlatform p(ProgramBlock(), kRussian);
  p.failWholeRead = true;
  EXPECT_TRUE(AllEmpty(TVersionInfo(p)));
  EXPECT_EQ(p.queries.size(), 10u);
}

TEST(VersionReader, TruncatedBlockLeavesAllEmpty) {
  std::vector<uint8_t> b = ProgramBlock();
  b.resize(b.size() - 1);
  MemoryPlatform p(b, kRussian);
  EXPECT_TRUE(AllEmpty(TVersionInfo(p)));
}

TEST(VersionReader, ValuesByMember) {
  MemoryPlatform p(ProgramBlock(), kRussian);
  const TVersionInfo v(p);
  EXPECT_EQ(v.GetVersionValue(version::vtProductVersion), v.ProductVersion());
  EXPECT_EQ(version::VersionTypeName(version::vtLegalTradeMark), "vtLegalTradeMark");
  EXPECT_THROW(v.GetVersionValue(version::TVersionType(10)), std::out_of_range);
  EXPECT_THROW(v.GetVersionValue(version::TVersionType(-1)), std::out_of_range);
}

TEST(VersionCaption, LastPartOfTheFileVersion) {
  const std::string prefix = toolkit::Cp1251("ЗОРВИК версия ");
  EXPECT_EQ(version::VersionCaption("2008.04.04 14:48", "4.4.8.0"), prefix + "2008.04.04 14:48(0)");
  EXPECT_EQ(version::VersionCaption("x", "7"), prefix + "x(7)");
  EXPECT_EQ(version::VersionCaption("x", ""), prefix + "x()");
  EXPECT_EQ(version::VersionCaption("x", "1.2."), prefix + "x()");
  EXPECT_EQ(version::VersionCaption("", ".15"), prefix + "(15)");
  EXPECT_EQ(version::VersionCaption("x", "4.4.8.12 beta"), prefix + "x(12 beta)");
}

}  // namespace
