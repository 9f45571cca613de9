// Why CreateFile refused a port, in the operator's terms.
#pragma once

#include "serial/serial_device.h"

namespace serial {

// err: GetLastError() after the refusal.
OpenFailure DescribeOpenFailure(unsigned long err);

}  // namespace serial
