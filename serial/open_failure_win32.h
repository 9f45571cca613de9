// Why CreateFile refused a port, in the operator's terms.
#pragma once

#include <string>

#include "serial/serial_device.h"

namespace serial {

// err: GetLastError() after the refusal.
OpenFailure DescribeOpenFailure(unsigned long err);

// The system's message for an error, in the user's language, as UTF-8
// without its final full stop and line break; "error N" when it has none.
std::string SystemWords(unsigned long err);

}  // namespace serial
