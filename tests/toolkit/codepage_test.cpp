#include <string>

#include <gtest/gtest.h>

#include "toolkit/codepage.h"

TEST(Codepage, RussianTextIsOneBytePerLetter) {
  const std::string cp = toolkit::Cp1251("ЗОРВИК ё Ё");
  EXPECT_EQ(cp, std::string("\xC7\xCE\xD0\xC2\xC8\xCA \xB8 \xA8"));
  EXPECT_EQ(toolkit::Utf8(cp), "ЗОРВИК ё Ё");
}

TEST(Codepage, EveryByteRoundTripsAndUnknownCharactersBecomeQuestionMarks) {
  std::string all;
  for (int b = 0; b < 256; ++b) all.push_back(char(b));
  EXPECT_EQ(toolkit::Cp1251(toolkit::Utf8(all)), all);
  EXPECT_EQ(toolkit::Cp1251("a€b中c"), std::string("a\x88" "b?c"));
}
