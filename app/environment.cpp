#include "app/environment.h"

#include <memory>

#include "meterlink/ucv.h"
#include "serial/port_discovery.h"
#include "serial/serial_device.h"
#include "version/version_info.h"

namespace app {

void ModulesStartup(toolkit::Toolkit& tk) { meterlink::MeterLinkStartup(tk); }

void ModulesShutdown() { meterlink::MeterLinkShutdown(); }

Environment SystemEnvironment(toolkit::Toolkit& tk) {
  Environment env{tk, serial::SystemSerialPlatform(), nullptr, nullptr};
  env.portList = [] {
    std::vector<std::string> list;
    serial::GetComPorts(list);
    return list;
  };
  // The reader is consulted once, for the caption, and lives with the program.
  env.caption = [] {
    static const auto reader = std::make_unique<version::TVersionInfo>();
    return version::VersionCaption(*reader);
  };
  return env;
}

}  // namespace app
