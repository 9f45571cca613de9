#include "app/program_hooks.h"

#include "serial/serial_device.h"

namespace app {

void ModulesStartup(toolkit::Toolkit&) {}

void ModulesShutdown() {}

Environment SystemEnvironment(toolkit::Toolkit& tk) {
  return Environment{tk, serial::SystemSerialPlatform(), nullptr, nullptr};
}

}  // namespace app
