// Whether the modem and the program hear each other: the line settings the
// program gave against the modem's rate.
#pragma once

#include <cstdint>

#include "serial/serial_device.h"

namespace modemsim {

// At its rate (0: autobaud), the modem frames 8 data bits without parity; a
// second stop bit from the program is only a longer pause to it.
bool LineUnderstood(const serial::DeviceControlBlock& dcb, uint32_t modemRate);

}  // namespace modemsim
