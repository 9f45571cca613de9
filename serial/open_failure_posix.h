// Why open() or the checks after it refused a device, in the operator's terms.
#pragma once

#include <string>

#include "serial/serial_device.h"

namespace serial {

// err: the errno of the refusal; path: the device file (UTF-8).
OpenFailure DescribeOpenFailure(int err, const std::string& path);

}  // namespace serial
