// The built program's own block: this test program has it embedded by the
// program's build step, and reads it from its running executable.
#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <vector>

#include "toolkit/codepage.h"
#include "version/elf_section.h"
#include "version/version_info.h"
#include "version_test_blocks.h"

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

TEST(EmbeddedVersionBlock, TheSectionHoldsTheDescribedBlock) {
  const auto s = version::FindElfSection("/proc/self/exe", version::kVersionSection);
  ASSERT_TRUE(s);
  const std::vector<uint8_t> expected = testblocks::ProgramBlock();
  ASSERT_GE(s->size, expected.size());
  std::vector<uint8_t> got(expected.size());
  std::ifstream in("/proc/self/exe", std::ios::binary);
  in.seekg(std::streamoff(s->offset));
  in.read(reinterpret_cast<char*>(got.data()), std::streamsize(got.size()));
  EXPECT_EQ(got, expected);
}

}  // namespace
