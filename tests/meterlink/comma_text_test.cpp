// The comma-text reader and writer the catalogue's field lists and the name
// tables are stored in.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "meterlink/comma_text.h"
#include "toolkit/codepage.h"

using meterlink::MakeCommaText;
using meterlink::ParseCommaText;
using Items = std::vector<std::string>;

TEST(CommaText, SeparatorsBlanksAndQuotes) {
  EXPECT_EQ(ParseCommaText("byte,word,single"), (Items{"byte", "word", "single"}));
  // A blank ends an unquoted item, so blanks alone separate too.
  EXPECT_EQ(ParseCommaText("byte,word byte"), (Items{"byte", "word", "byte"}));
  EXPECT_EQ(ParseCommaText("  a ,\t b\r\n, c  "), (Items{"a", "b", "c"}));
  // Quoted items keep commas, blanks and doubled quotes.
  EXPECT_EQ(ParseCommaText(R"("a, b","say ""hi""",c)"), (Items{"a, b", R"(say "hi")", "c"}));
  // A quote inside an unquoted item is just a character.
  EXPECT_EQ(ParseCommaText(R"(ab"c,d)"), (Items{R"(ab"c)", "d"}));
}

TEST(CommaText, EmptyItemsAndEdges) {
  EXPECT_TRUE(ParseCommaText("").empty());
  EXPECT_TRUE(ParseCommaText(" \t\r\n").empty());
  EXPECT_EQ(ParseCommaText("a,,b"), (Items{"a", "", "b"}));
  EXPECT_EQ(ParseCommaText(",a"), (Items{"", "a"}));
  EXPECT_EQ(ParseCommaText("a,"), (Items{"a", ""}));
  EXPECT_EQ(ParseCommaText(R"("")"), (Items{""}));
  // An unterminated quote runs to the end of the text.
  EXPECT_EQ(ParseCommaText(R"(a,"b, c)"), (Items{"a", "b, c"}));
  // A NUL byte is a control character like any other.
  EXPECT_EQ(ParseCommaText(std::string("a\0b", 3)), (Items{"a", "b"}));
}

TEST(CommaText, CyrillicBytesAreNotSeparators) {
  // Windows-1251 letters lie above 0x7F; a signed comparison would take them
  // for control characters and cut every Russian name apart.
  const std::string name = toolkit::Cp1251("Тепло");
  ASSERT_EQ(name.size(), 5u);
  EXPECT_EQ(ParseCommaText(name + "," + name), (Items{name, name}));
  EXPECT_EQ(ParseCommaText(toolkit::Cp1251(R"("Время работы,час")")), (Items{toolkit::Cp1251("Время работы,час")}));
}

TEST(CommaText, WriterRoundTripsAndQuotesOnlyWhatNeedsIt) {
  EXPECT_EQ(MakeCommaText({"byte", "word/10"}), "byte,word/10");
  EXPECT_EQ(MakeCommaText({"a b", "c,d", R"(e"f)", ""}), R"("a b","c,d","e""f","")");
  EXPECT_EQ(MakeCommaText({}), "");
  const Items tricky{"", " lead", "trail ", "tab\there", "x,y", R"(""")", toolkit::Cp1251("ЯРВ К27"), "plain",
                     std::string("nul\0in", 6)};
  EXPECT_EQ(ParseCommaText(MakeCommaText(tricky)), tricky);
  const Items lone{""};
  EXPECT_EQ(ParseCommaText(MakeCommaText(lone)), lone);
}
