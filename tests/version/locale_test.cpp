#include <gtest/gtest.h>

#include <map>

#include "version/locale_id.h"

namespace {

using version::LanguageIdOfLocale;

TEST(ThreadLocale, LanguageIdentifiers) {
  const std::pair<const char*, uint16_t> cases[] = {
      {"ru_RU.UTF-8", 0x0419}, {"ru_RU", 0x0419},      {"ru_RU.CP1251", 0x0419}, {"ru_UA.UTF-8", 0x0419},
      {"ru", 0x0419},          {"en_US.UTF-8", 0x0409}, {"en_GB.UTF-8", 0x0809}, {"de_DE.UTF-8@euro", 0x0407},
      {"de_AT", 0x0C07},       {"uk_UA.UTF-8", 0x0422}, {"be_BY", 0x0423},       {"kk_KZ", 0x043F},
      {"fr_CA", 0x0C0C},       {"pt_PT", 0x0816},       {"pt", 0x0416},          {"es_ES", 0x0C0A},
      {"zh_CN.GB18030", 0x0804}, {"sr_RS@latin", 0x281A}, {"RU_ru", 0x0419},     {"C", 0x0409},
      {"C.UTF-8", 0x0409},     {"POSIX", 0x0409},       {"", 0x0409},            {"xx_YY", 0x0409},
  };
  for (const auto& [name, id] : cases) EXPECT_EQ(LanguageIdOfLocale(name), id) << name;
}

TEST(ThreadLocale, TheCLibrarysOrderOfVariables) {
  std::map<std::string, std::string> env;
  const auto get = [&](const char* name) -> const char* {
    const auto it = env.find(name);
    return it == env.end() ? nullptr : it->second.c_str();
  };
  EXPECT_EQ(version::MessagesLocaleName(get), "");
  env["LANG"] = "de_DE.UTF-8";
  EXPECT_EQ(version::MessagesLocaleName(get), "de_DE.UTF-8");
  env["LC_MESSAGES"] = "ru_RU.UTF-8";
  EXPECT_EQ(version::MessagesLocaleName(get), "ru_RU.UTF-8");
  env["LC_ALL"] = "";  // set but empty: passed over
  EXPECT_EQ(version::MessagesLocaleName(get), "ru_RU.UTF-8");
  env["LC_ALL"] = "en_GB.UTF-8";
  EXPECT_EQ(version::MessagesLocaleName(get), "en_GB.UTF-8");
}

}  // namespace
