// Discovery on the running system, kept apart so that the logic links
// without a system behind it.
#include "serial/port_discovery.h"
#include "serial/port_system.h"

namespace serial {

void EnumSystemComPorts(std::vector<std::string>& list) { EnumSystemComPorts(SystemPortSystem(), list); }

void GetComPorts(std::vector<std::string>& list) { GetComPorts(SystemPortSystem(), list); }

}  // namespace serial
