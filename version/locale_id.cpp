#include "version/locale_id.h"

#include <cctype>
#include <cstdlib>

namespace version {

namespace {

struct Entry {
  const char* name;  // language, or language_TERRITORY
  uint16_t id;
};

// The territory-specific ones first; a bare language takes its usual
// country.
constexpr Entry kLocales[] = {
    {"ar_SA", 0x0401}, {"ar_EG", 0x0C01}, {"bg_BG", 0x0402}, {"ca_ES", 0x0403}, {"zh_TW", 0x0404},
    {"zh_CN", 0x0804}, {"zh_HK", 0x0C04}, {"zh_SG", 0x1004}, {"cs_CZ", 0x0405}, {"da_DK", 0x0406},
    {"de_DE", 0x0407}, {"de_CH", 0x0807}, {"de_AT", 0x0C07}, {"de_LU", 0x1007}, {"de_LI", 0x1407},
    {"el_GR", 0x0408}, {"en_US", 0x0409}, {"en_GB", 0x0809}, {"en_AU", 0x0C09}, {"en_CA", 0x1009},
    {"en_NZ", 0x1409}, {"en_IE", 0x1809}, {"en_ZA", 0x1C09}, {"en_IN", 0x4009}, {"es_ES", 0x0C0A},
    {"es_MX", 0x080A}, {"es_AR", 0x2C0A}, {"fi_FI", 0x040B}, {"fr_FR", 0x040C}, {"fr_BE", 0x080C},
    {"fr_CA", 0x0C0C}, {"fr_CH", 0x100C}, {"fr_LU", 0x140C}, {"he_IL", 0x040D}, {"hu_HU", 0x040E},
    {"is_IS", 0x040F}, {"it_IT", 0x0410}, {"it_CH", 0x0810}, {"ja_JP", 0x0411}, {"ko_KR", 0x0412},
    {"nl_NL", 0x0413}, {"nl_BE", 0x0813}, {"nb_NO", 0x0414}, {"nn_NO", 0x0814}, {"pl_PL", 0x0415},
    {"pt_BR", 0x0416}, {"pt_PT", 0x0816}, {"ro_RO", 0x0418}, {"ro_MD", 0x0818}, {"ru_RU", 0x0419},
    {"ru_MD", 0x0819}, {"hr_HR", 0x041A}, {"sr_RS", 0x281A}, {"sk_SK", 0x041B}, {"sq_AL", 0x041C},
    {"sv_SE", 0x041D}, {"sv_FI", 0x081D}, {"th_TH", 0x041E}, {"tr_TR", 0x041F}, {"ur_PK", 0x0420},
    {"id_ID", 0x0421}, {"uk_UA", 0x0422}, {"be_BY", 0x0423}, {"sl_SI", 0x0424}, {"et_EE", 0x0425},
    {"lv_LV", 0x0426}, {"lt_LT", 0x0427}, {"fa_IR", 0x0429}, {"vi_VN", 0x042A}, {"hy_AM", 0x042B},
    {"az_AZ", 0x042C}, {"eu_ES", 0x042D}, {"mk_MK", 0x042F}, {"af_ZA", 0x0436}, {"ka_GE", 0x0437},
    {"hi_IN", 0x0439}, {"kk_KZ", 0x043F}, {"ky_KG", 0x0440}, {"uz_UZ", 0x0443}, {"tt_RU", 0x0444},
    {"mn_MN", 0x0450},
    {"ar", 0x0401}, {"bg", 0x0402}, {"ca", 0x0403}, {"zh", 0x0804}, {"cs", 0x0405}, {"da", 0x0406},
    {"de", 0x0407}, {"el", 0x0408}, {"en", 0x0409}, {"es", 0x0C0A}, {"fi", 0x040B}, {"fr", 0x040C},
    {"he", 0x040D}, {"hu", 0x040E}, {"is", 0x040F}, {"it", 0x0410}, {"ja", 0x0411}, {"ko", 0x0412},
    {"nl", 0x0413}, {"nb", 0x0414}, {"no", 0x0414}, {"nn", 0x0814}, {"pl", 0x0415}, {"pt", 0x0416},
    {"ro", 0x0418}, {"ru", 0x0419}, {"hr", 0x041A}, {"sr", 0x281A}, {"sk", 0x041B}, {"sq", 0x041C},
    {"sv", 0x041D}, {"th", 0x041E}, {"tr", 0x041F}, {"ur", 0x0420}, {"id", 0x0421}, {"uk", 0x0422},
    {"be", 0x0423}, {"sl", 0x0424}, {"et", 0x0425}, {"lv", 0x0426}, {"lt", 0x0427}, {"fa", 0x0429},
    {"vi", 0x042A}, {"hy", 0x042B}, {"az", 0x042C}, {"eu", 0x042D}, {"mk", 0x042F}, {"af", 0x0436},
    {"ka", 0x0437}, {"hi", 0x0439}, {"kk", 0x043F}, {"ky", 0x0440}, {"uz", 0x0443}, {"tt", 0x0444},
    {"mn", 0x0450},
};


uint16_t Find(const std::string& key) {
  for (const Entry& e : kLocales)
    if (key == e.name) return e.id;
  return 0;
}

}  // namespace

uint16_t LanguageIdOfLocale(std::string_view name) {
  // language[_TERRITORY][.codeset][@modifier]
  name = name.substr(0, name.find_first_of(".@"));
  const size_t bar = name.find('_');
  std::string language(name.substr(0, bar));
  for (char& c : language) c = char(std::tolower(static_cast<unsigned char>(c)));
  if (language.empty() || language == "c" || language == "posix") return kEnglishUs;
  if (bar != std::string_view::npos) {
    std::string territory(name.substr(bar + 1));
    for (char& c : territory) c = char(std::toupper(static_cast<unsigned char>(c)));
    if (const uint16_t id = Find(language + "_" + territory)) return id;
  }
  const uint16_t id = Find(language);
  return id ? id : kEnglishUs;
}

std::string MessagesLocaleName(const std::function<const char*(const char*)>& getenv) {
  for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* value = getenv(variable);
    if (value && *value) return value;
  }
  return {};
}

std::string MessagesLocaleName() {
  return MessagesLocaleName([](const char* name) { return std::getenv(name); });
}

}  // namespace version
