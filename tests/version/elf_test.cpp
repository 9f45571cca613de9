// Finding the version section in ELF files built here, of both classes and
// byte orders, and in malformed ones.
#include <gtest/gtest.h>

#include "temp_file.h"
#include "toolkit/codepage.h"
#include "version/elf_section.h"
#include "version/version_info.h"
#include "version_test_blocks.h"

namespace {

using version::FindElfSection;

struct Elf {
  std::vector<uint8_t> bytes;
  bool wide, big;
  size_t shoffAt, shnumAt, shstrndxAt;
  size_t headers;  // offset of the section table
  size_t entry;    // its entry size

  void Put(size_t at, uint64_t v, int n) {
    for (int i = 0; i < n; ++i) bytes[at + (big ? n - 1 - i : i)] = uint8_t(v >> (8 * i));
  }
  // Field of section header `index`: name 0, type 1, offset 2, size 3, link 4.
  void SetSection(size_t index, int field, uint64_t v) {
    static constexpr size_t wideAt[] = {0, 4, 24, 32, 40}, narrowAt[] = {0, 4, 16, 20, 24};
    static constexpr int wideN[] = {4, 4, 8, 8, 4}, narrowN[] = {4, 4, 4, 4, 4};
    Put(headers + index * entry + (wide ? wideAt : narrowAt)[field], v, (wide ? wideN : narrowN)[field]);
  }
};

// Sections 1..n as given, then the name table; section 0 is the null one.
Elf MakeElf(bool wide, bool big, const std::vector<std::pair<std::string, std::vector<uint8_t>>>& sections) {
  Elf e{{}, wide, big, size_t(wide ? 0x28 : 0x20), size_t(wide ? 0x3C : 0x30), size_t(wide ? 0x3E : 0x32), 0,
        size_t(wide ? 64 : 40)};
  e.bytes.assign(wide ? 64 : 52, 0);
  e.bytes[0] = 0x7F, e.bytes[1] = 'E', e.bytes[2] = 'L', e.bytes[3] = 'F';
  e.bytes[4] = wide ? 2 : 1;
  e.bytes[5] = big ? 2 : 1;
  e.bytes[6] = 1;
  std::vector<std::pair<size_t, size_t>> places;  // offset, size
  std::string names(1, '\0');
  std::vector<size_t> nameAt;
  for (const auto& [name, data] : sections) {
    places.emplace_back(e.bytes.size(), data.size());
    e.bytes.insert(e.bytes.end(), data.begin(), data.end());
    nameAt.push_back(names.size());
    names += name + '\0';
  }
  nameAt.push_back(names.size());
  names += std::string(".shstrtab") + '\0';
  places.emplace_back(e.bytes.size(), names.size());
  e.bytes.insert(e.bytes.end(), names.begin(), names.end());
  while (e.bytes.size() % 8) e.bytes.push_back(0);
  e.headers = e.bytes.size();
  const size_t count = sections.size() + 2;
  e.bytes.resize(e.headers + count * e.entry, 0);
  e.Put(e.shoffAt, e.headers, wide ? 8 : 4);
  e.Put(wide ? 0x3A : 0x2E, e.entry, 2);
  e.Put(e.shnumAt, count, 2);
  e.Put(e.shstrndxAt, count - 1, 2);
  for (size_t i = 0; i + 1 < count; ++i) {
    e.SetSection(i + 1, 0, nameAt[i]);
    e.SetSection(i + 1, 1, i + 2 == count ? 3 : 1);  // SHT_STRTAB, SHT_PROGBITS
    e.SetSection(i + 1, 2, places[i].first);
    e.SetSection(i + 1, 3, places[i].second);
  }
  return e;
}

const std::vector<uint8_t> kPayload = {1, 2, 3, 4, 5, 6, 7};

Elf Sample(bool wide = true, bool big = false) {
  return MakeElf(wide, big, {{".text", {0x90, 0x90}}, {version::kVersionSection, kPayload}, {".zorvik", {9}}});
}

std::optional<version::FileSection> Find(const Elf& e, std::string_view name = version::kVersionSection) {
  return FindElfSection(TempFile(e.bytes).path(), name);
}

TEST(ElfSection, BothClassesAndByteOrders) {
  for (bool wide : {true, false})
    for (bool big : {false, true}) {
      SCOPED_TRACE(testing::Message() << "wide " << wide << " big " << big);
      const Elf e = Sample(wide, big);
      const auto s = Find(e);
      ASSERT_TRUE(s);
      EXPECT_EQ(s->size, kPayload.size());
      EXPECT_EQ(std::vector<uint8_t>(e.bytes.begin() + long(s->offset), e.bytes.begin() + long(s->offset + s->size)),
                kPayload);
      EXPECT_EQ(Find(e, ".zorvik")->size, 1u);  // names match whole
      EXPECT_FALSE(Find(e, ".zorvik_versio"));
      EXPECT_FALSE(Find(e, ".data"));
    }
}

TEST(ElfSection, ManySectionsNumbering) {
  Elf e = Sample();
  e.Put(e.shnumAt, 0, 2);
  e.SetSection(0, 3, 5);  // the count lives in section 0
  e.Put(e.shstrndxAt, 0xFFFF, 2);
  e.SetSection(0, 4, 4);  // and so does the name table's index
  EXPECT_EQ(Find(e)->size, kPayload.size());
}

TEST(ElfSection, MalformedFilesHaveNoSection) {
  const Elf good = Sample();
  ASSERT_TRUE(Find(good));
  const uint64_t size = good.bytes.size();
  const auto bad = [&](auto change) {
    Elf e = good;
    change(e);
    return !Find(e);
  };
  EXPECT_TRUE(bad([](Elf& e) { e.bytes[1] = 'X'; }));
  EXPECT_TRUE(bad([](Elf& e) { e.bytes[4] = 3; }));
  EXPECT_TRUE(bad([](Elf& e) { e.bytes[5] = 0; }));
  EXPECT_TRUE(bad([&](Elf& e) { e.Put(e.shoffAt, size - 10, 8); }));
  EXPECT_TRUE(bad([](Elf& e) { e.Put(e.shoffAt, ~0ull - 8, 8); }));
  EXPECT_TRUE(bad([](Elf& e) { e.Put(e.shoffAt, 0, 8); }));
  EXPECT_TRUE(bad([](Elf& e) { e.Put(0x3A, 16, 2); }));  // entries too small
  EXPECT_TRUE(bad([](Elf& e) { e.Put(e.shnumAt, 0xFFFE, 2); }));
  EXPECT_TRUE(bad([](Elf& e) { e.Put(e.shstrndxAt, 5, 2); }));
  EXPECT_TRUE(bad([](Elf& e) { e.SetSection(4, 2, ~0ull - 2); }));  // name table offset
  EXPECT_TRUE(bad([&](Elf& e) { e.SetSection(4, 3, size); }));       // name table size
  EXPECT_TRUE(bad([](Elf& e) { e.SetSection(4, 1, 8); }));           // name table without bytes
  EXPECT_TRUE(bad([](Elf& e) { e.SetSection(2, 0, 1u << 30); }));    // name past the table
  EXPECT_TRUE(bad([&](Elf& e) { e.SetSection(2, 2, size - 3); }));   // contents past the end
  EXPECT_TRUE(bad([](Elf& e) { e.SetSection(2, 3, ~0ull); }));
  EXPECT_TRUE(bad([](Elf& e) { e.SetSection(2, 1, 8); }));           // SHT_NOBITS
  for (size_t n = 0; n < good.bytes.size(); ++n) {
    Elf cut = good;
    cut.bytes.resize(n);
    EXPECT_FALSE(Find(cut)) << n;
  }
}

TEST(ElfSection, FilesThatAreNoElf) {
  EXPECT_FALSE(FindElfSection("/nonexistent/zorvik", version::kVersionSection));
  EXPECT_FALSE(FindElfSection(TempFile({}).path(), version::kVersionSection));
  const std::string text = "#!/bin/sh\necho ЗОРВИК версия\n";
  EXPECT_FALSE(FindElfSection(TempFile(std::vector<uint8_t>(text.begin(), text.end())).path(), version::kVersionSection));
  EXPECT_FALSE(FindElfSection("/tmp", version::kVersionSection));  // a directory
}

TEST(ElfVersionPlatform, ReadsTheBlockOfAFile) {
  const Elf e = MakeElf(true, false, {{".text", {0x90}}, {version::kVersionSection, testblocks::ProgramBlock()}});
  const TempFile file(e.bytes);
  version::ElfVersionPlatform p(file.path(), 0x0419);
  EXPECT_EQ(p.GetFileVersionInfoSize(file.path()), testblocks::ProgramBlock().size());
  const version::TVersionInfo v(p);
  EXPECT_EQ(v.ProductVersion(), "2008.04.04 14:48");
  EXPECT_EQ(v.FileVersion(), "4.4.8.0");
  EXPECT_EQ(v.ProductName(), toolkit::Cp1251("зорвик"));

  // A buffer shorter than the block gets its beginning.
  std::vector<uint8_t> head(10, 0xEE);
  ASSERT_TRUE(p.GetFileVersionInfo(file.path(), 8, head.data()));
  const auto block = testblocks::ProgramBlock();
  EXPECT_TRUE(std::equal(head.begin(), head.begin() + 8, block.begin()));
  EXPECT_EQ(head[8], 0xEE);
}

TEST(ElfVersionPlatform, NoBlockOrAnOversizedOne) {
  const std::vector<uint8_t> huge(2 << 20, 0);
  for (const Elf& e : {MakeElf(true, false, {{".text", {0x90}}}), MakeElf(true, false, {{version::kVersionSection, huge}})}) {
    const TempFile file(e.bytes);
    version::ElfVersionPlatform p(file.path(), 0x0419);
    EXPECT_EQ(p.GetFileVersionInfoSize(file.path()), 0u);
    const version::TVersionInfo v(p);
    EXPECT_EQ(v.FileVersion(), "");
    EXPECT_EQ(version::VersionCaption(v), toolkit::Cp1251("ЗОРВИК версия ()"));
  }
}

// This test program carries no version block of its own.
TEST(ElfVersionPlatform, AnExecutableWithoutBlock) {
  version::ElfVersionPlatform p("/proc/self/exe", 0x0419);
  ASSERT_TRUE(FindElfSection("/proc/self/exe", ".text"));
  EXPECT_EQ(p.GetFileVersionInfoSize("/proc/self/exe"), 0u);
  const version::TVersionInfo v(p);
  for (int t = 0; t < version::kVersionTypeCount; ++t) EXPECT_EQ(v.GetVersionValue(version::TVersionType(t)), "");
  EXPECT_EQ(version::VersionCaption(v), toolkit::Cp1251("ЗОРВИК версия ()"));
}

}  // namespace
