#include <gtest/gtest.h>

#include <clocale>

#include "setup/text_between.h"
#include "setup/variant_message.h"
#include "toolkit/codepage.h"
#include "testing/sim_toolkit.h"

using namespace setup;

TEST(TextBetween, TakesTheTextBetweenTheFirstMarks) {
  EXPECT_EQ(TextBetween("AT&&D1 (a (b) c)", "(", ")"), "a (b");
  EXPECT_EQ(TextBetween("no close (tail", "(", ")"), "tail");
  EXPECT_EQ(TextBetween("no open) x", "(", ")"), "no open");
  EXPECT_EQ(TextBetween(")before(", "(", ")"), "");
  EXPECT_EQ(TextBetween("abc", "", ""), "abc");
  EXPECT_EQ(TextBetween("", "(", ")"), "");
  EXPECT_EQ(TextBetween("x[[y]]z", "[[", "]]"), "y");
}

TEST(VariantText, EachKindAsThePromptShowsIt) {
  EXPECT_EQ(VariantText(Variant::FromBool(true)), "TRUE");
  EXPECT_EQ(VariantText(Variant::FromBool(false)), "F A L S E");
  EXPECT_EQ(VariantText(Variant()), toolkit::Cp1251("НЕ ОПОЗНАНЫЙ ВАРИЯНТ"));
  EXPECT_EQ(VariantText(Variant::FromReal(varSingle, 1.5)), toolkit::Cp1251("НЕ ОПОЗНАНЫЙ ВАРИЯНТ"));
  EXPECT_EQ(VariantText(Variant::FromInt(varInteger, -42)), "-42");
  EXPECT_EQ(VariantText(Variant::FromInt(varInt64, 0x100000005LL)), "5");  // as a 32-bit integer
  EXPECT_EQ(VariantText(Variant::FromInt(varLongWord, 0xFFFFFFFFLL)), "-1");
  EXPECT_EQ(VariantText(Variant::FromInt(varCurrency, 125000)), "12.5");
  EXPECT_EQ(VariantText(Variant::FromInt(varCurrency, -7)), "-0.0007");
  EXPECT_EQ(VariantText(Variant::FromReal(varDouble, 0.1 + 0.2)), "0.3");
  EXPECT_EQ(VariantText(Variant::FromReal(varDouble, 1.0 / 3)), "0.333333333333333");
  EXPECT_EQ(VariantText(Variant::FromText("abc\r\n")), "abc\r\n");
}

TEST(VariantText, DatesLeaveOutMidnight) {
  std::setlocale(LC_TIME, "C");
  EXPECT_EQ(VariantText(Variant::FromReal(varDate, 39542.0)), "04/04/08");                   // 2008-04-04
  EXPECT_EQ(VariantText(Variant::FromReal(varDate, 39542.0 + 14.0 / 24 + 48.0 / 1440)), "04/04/08 14:48:00");
  EXPECT_EQ(VariantText(Variant::FromReal(varDate, 1e300)), "");  // no such date: nothing rather than garbage
}

TEST(ShowVariantMessage, PrefixValueAndSuffixUnderTheApplicationTitle) {
  toolkit::SimToolkit tk;
  ShowVariantMessage(tk, Variant::FromBool(false), "<", ">\r\n");
  ASSERT_EQ(tk.Prompts().size(), 1u);
  EXPECT_EQ(tk.Prompts()[0].caption, toolkit::Cp1251("ЗОРВИК"));
  EXPECT_EQ(tk.Prompts()[0].message, "<F A L S E>\r\n");
}
