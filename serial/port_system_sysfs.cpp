// Discovery on Linux: the sysfs tree of the running system.
#include "serial/port_system.h"

namespace serial {

PortSystem& SystemPortSystem() {
  static SysfsPortSystem system;
  return system;
}

}  // namespace serial
