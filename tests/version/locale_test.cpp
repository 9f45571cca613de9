#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <string>
#include <utility>

#include "version/locale_id.h"

namespace {

TEST(ThreadLocale, LanguageIdentifiers) {
  const std::pair<const char*, uint16_t> cases[] = {
      {"ru_RU.UTF-8", 0x0419}, {"ru_UA", 0x0419},  {"ru", 0x0419},        {"en_US.UTF-8", 0x0409},
      {"en_GB.UTF-8", 0x0809}, {"de_DE@euro", 0x0407}, {"de_AT", 0x0C07}, {"uk_UA.UTF-8", 0x0422},
      {"pt", 0x0416},          {"pt_PT", 0x0816},  {"sr_RS@latin", 0x281A}, {"RU_ru", 0x0419},
      {"C", 0x0409},           {"C.UTF-8", 0x0409}, {"POSIX", 0x0409},    {"", 0x0409}, {"xx_YY", 0x0409}};
  for (const auto& [name, id] : cases) EXPECT_EQ(version::LanguageIdOfLocale(name), id) << name;
}

TEST(ThreadLocale, TheCLibrarysOrderOfVariables) {
  std::map<std::string, std::string> env;
  const auto get = [&](const char* name) { return env.count(name) ? env[name].c_str() : nullptr; };
  EXPECT_EQ(version::MessagesLocaleName(get), "");
  env["LANG"] = "de_DE.UTF-8";
  EXPECT_EQ(version::MessagesLocaleName(get), "de_DE.UTF-8");
  env["LC_MESSAGES"] = "ru_RU.UTF-8";
  env["LC_ALL"] = "";  // set, but empty: passed over
  EXPECT_EQ(version::MessagesLocaleName(get), "ru_RU.UTF-8");
  env["LC_ALL"] = "en_GB.UTF-8";
  EXPECT_EQ(version::MessagesLocaleName(get), "en_GB.UTF-8");
}

}  // namespace
