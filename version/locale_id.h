// The Windows language identifier of a POSIX locale, for the thread locale
// the version reader asks for.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace version {

// English (United States): the language taken when there is none.
inline constexpr uint16_t kEnglishUs = 0x0409;

// "ru_RU.UTF-8" gives 0x0419, "en_GB" 0x0809, "de" 0x0407. "C", "POSIX",
// an empty name or a language without a Windows identifier give English
// (United States), 0x0409.
uint16_t LanguageIdOfLocale(std::string_view name);

// The locale of messages as the C library chooses it: the first of LC_ALL,
// LC_MESSAGES and LANG that is set and not empty.
std::string MessagesLocaleName(const std::function<const char*(const char*)>& getenv);
std::string MessagesLocaleName();

}  // namespace version
