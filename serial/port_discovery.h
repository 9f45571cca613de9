// The serial ports present now, for the port choice at start-up.
// Text is Windows-1251; a name is what TSerialDriver takes as PortName.
#pragma once

#include <string>
#include <vector>

namespace serial {

// Empties list, then fills it with the bare names of the ports whose device
// exists now, sorted as text without regard to case under the user's
// collation (COM1, COM10, COM2). A port reported twice is listed twice.
void GetComPorts(std::vector<std::string>& list);

// Appends one entry per serial port the system knows of, in its order: the
// name as the system gives it (with its colon), then a blank and the
// description when there is one.
void EnumSystemComPorts(std::vector<std::string>& list);

}  // namespace serial
