// The running program on Linux: its block is a section of /proc/self/exe.
#include "version/locale_id.h"
#include "version/version_platform.h"

namespace version {

VersionPlatform& SystemVersionPlatform() {
  static ElfVersionPlatform platform("/proc/self/exe", LanguageIdOfLocale(MessagesLocaleName()));
  return platform;
}

}  // namespace version
