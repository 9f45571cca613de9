// Finding the version section in ELF files built here, of both classes and
// byte orders, and in malformed ones.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <fstream>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "toolkit/codepage.h"
#include "version/elf_section.h"
#include "version/version_info.h"
#include "version_test_blocks.h"

namespace {

class TempFile {
 public:
  explicit TempFile(const std::vector<uint8_t>& bytes) {
    char name[] = "/tmp/zorvik-version-XXXXXX";
    close(mkstemp(name));
    path = name;
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), long(bytes.size()));
  }
  ~TempFile() { unlink(path.c_str()); }
  std::string path;
};

// Sections 1..n as given, then the name table, then the section table.
struct Elf {
  bool wide, big;
  std::vector<uint8_t> bytes;
  size_t table = 0;

  Elf(bool w, bool b, const std::vector<std::pair<std::string, std::vector<uint8_t>>>& sections) : wide(w), big(b) {
    bytes.assign(wide ? 64 : 52, 0);
    bytes[0] = 0x7F, bytes[1] = 'E', bytes[2] = 'L', bytes[3] = 'F', bytes[4] = wide ? 2 : 1, bytes[5] = big ? 2 : 1;
    std::string names(1, '\0');
    std::vector<std::array<size_t, 3>> places;  // name, offset, size
    for (const auto& [name, data] : sections) {
      places.push_back({names.size(), bytes.size(), data.size()});
      bytes.insert(bytes.end(), data.begin(), data.end());
      names += name + '\0';
    }
    const std::string own = std::string(".shstrtab") + '\0';
    places.push_back({names.size(), bytes.size(), names.size() + own.size()});
    names += own;
    bytes.insert(bytes.end(), names.begin(), names.end());
    table = bytes.size();
    bytes.resize(table + (places.size() + 1) * Entry());
    Header(wide ? 0x28 : 0x20, table);
    Header(wide ? 0x3A : 0x2E, Entry());
    Header(wide ? 0x3C : 0x30, places.size() + 1);
    Header(wide ? 0x3E : 0x32, places.size());
    for (size_t i = 0; i < places.size(); ++i) {
      Section(i + 1, 0, places[i][0]);
      Section(i + 1, 1, i + 1 == places.size() ? 3 : 1);
      Section(i + 1, 2, places[i][1]);
      Section(i + 1, 3, places[i][2]);
    }
  }
  size_t Entry() const { return wide ? 64 : 40; }
  void Put(size_t at, uint64_t v, int n) {
    for (int i = 0; i < n; ++i) bytes[at + (big ? n - 1 - i : i)] = uint8_t(v >> (8 * i));
  }
  void Header(size_t at, uint64_t v) { Put(at, v, at == (wide ? 0x28u : 0x20u) ? (wide ? 8 : 4) : 2); }
  // Field of a section header: name 0, type 1, offset 2, size 3, link 4.
  void Section(size_t index, int field, uint64_t v) {
    static constexpr size_t wideAt[] = {0, 4, 24, 32, 40}, narrowAt[] = {0, 4, 16, 20, 24};
    const bool eight = wide && (field == 2 || field == 3);
    Put(table + index * Entry() + (wide ? wideAt : narrowAt)[field], v, eight ? 8 : 4);
  }
  std::optional<version::FileSection> Find(std::string_view name = version::kVersionSection) const {
    return version::FindElfSection(TempFile(bytes).path, name);
  }
};

const std::vector<uint8_t> kPayload = {1, 2, 3, 4, 5, 6, 7};
Elf Sample(bool wide = true, bool big = false) {
  return Elf(wide, big, {{".text", {0x90, 0x90}}, {version::kVersionSection, kPayload}, {".zorvik", {9}}});
}

TEST(ElfSection, BothClassesAndByteOrders) {
  for (bool wide : {true, false})
    for (bool big : {false, true}) {
      const Elf e = Sample(wide, big);
      const auto s = e.Find();
      ASSERT_TRUE(s) << wide << big;
      EXPECT_TRUE(std::equal(kPayload.begin(), kPayload.end(), e.bytes.begin() + long(s->offset)));
      EXPECT_EQ(s->size, kPayload.size());
      EXPECT_EQ(e.Find(".zorvik")->size, 1u);  // names match whole
      EXPECT_FALSE(e.Find(".data"));
    }
  Elf many = Sample();  // more sections than the header holds: count and name table in section 0
  many.Header(0x3C, 0);
  many.Section(0, 3, 5);
  many.Header(0x3E, 0xFFFF);
  many.Section(0, 4, 4);
  EXPECT_EQ(many.Find()->size, kPayload.size());
}

TEST(ElfSection, MalformedFilesHaveNoSection) {
  const uint64_t size = Sample().bytes.size();
  const auto bad = [](auto change) {
    Elf e = Sample();
    change(e);
    return !e.Find();
  };
  EXPECT_TRUE(bad([](Elf& e) { e.bytes[1] = 'X'; }));
  EXPECT_TRUE(bad([](Elf& e) { e.bytes[4] = 3; }));
  EXPECT_TRUE(bad([&](Elf& e) { e.Header(0x28, size - 10); }));  // section table past the end
  EXPECT_TRUE(bad([](Elf& e) { e.Header(0x28, ~0ull - 8); }));
  EXPECT_TRUE(bad([](Elf& e) { e.Header(0x3A, 16); }));          // entries too small
  EXPECT_TRUE(bad([](Elf& e) { e.Header(0x3C, 0xFFFE); }));
  EXPECT_TRUE(bad([](Elf& e) { e.Header(0x3E, 5); }));
  EXPECT_TRUE(bad([](Elf& e) { e.Section(4, 2, ~0ull - 2); }));  // name table
  EXPECT_TRUE(bad([&](Elf& e) { e.Section(4, 3, size); }));
  EXPECT_TRUE(bad([](Elf& e) { e.Section(2, 0, 1u << 30); }));   // a name past the name table
  EXPECT_TRUE(bad([&](Elf& e) { e.Section(2, 2, size - 3); }));  // contents past the end
  EXPECT_TRUE(bad([](Elf& e) { e.Section(2, 3, ~0ull); }));
  EXPECT_TRUE(bad([](Elf& e) { e.Section(2, 1, 8); }));          // SHT_NOBITS
  for (size_t n = 0; n < size; ++n)
    EXPECT_TRUE(bad([n](Elf& e) { e.bytes.resize(n); })) << n;
  EXPECT_FALSE(version::FindElfSection("/nonexistent", ".text"));
  EXPECT_FALSE(version::FindElfSection("/tmp", ".text"));
  const std::string script = "#!/bin/sh\necho hello\n";
  EXPECT_FALSE(version::FindElfSection(TempFile({script.begin(), script.end()}).path, ".text"));
}

TEST(ElfVersionPlatform, TheBlockOfAFile) {
  const std::vector<uint8_t> block = testblocks::ProgramBlock();
  const TempFile file(Elf(true, false, {{".text", {0x90}}, {version::kVersionSection, block}}).bytes);
  version::ElfVersionPlatform p(file.path, 0x0419);
  EXPECT_EQ(p.GetFileVersionInfoSize(file.path), block.size());
  EXPECT_EQ(version::VersionCaption(version::TVersionInfo(p)), toolkit::Cp1251("ЗОРВИК версия 2008.04.04 14:48(0)"));
  std::vector<uint8_t> head(10, 0xEE);  // a shorter buffer gets the beginning
  ASSERT_TRUE(p.GetFileVersionInfo(file.path, 8, head.data()));
  EXPECT_TRUE(std::equal(head.begin(), head.begin() + 8, block.begin()));
  EXPECT_EQ(head[8], 0xEE);
}

TEST(ElfVersionPlatform, NoBlockOrAnOversizedOne) {
  const TempFile huge(Elf(true, false, {{version::kVersionSection, std::vector<uint8_t>(2 << 20)}}).bytes);
  // This test program carries no block of its own.
  for (const std::string& path : {huge.path, std::string("/proc/self/exe")}) {
    version::ElfVersionPlatform p(path, 0x0419);
    EXPECT_EQ(p.GetFileVersionInfoSize(path), 0u);
    EXPECT_EQ(version::VersionCaption(version::TVersionInfo(p)), toolkit::Cp1251("ЗОРВИК версия ()"));
  }
  EXPECT_TRUE(version::FindElfSection("/proc/self/exe", ".text"));
}

}  // namespace
