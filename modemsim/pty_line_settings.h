// The line settings that the program at the other end of a pseudo-terminal
// set on its side, read from the master.
#pragma once

#include <cstdint>

namespace modemsim {

struct PtyLineSettings {
  uint32_t rate = 0;  // bit/s
  uint32_t dataBits = 8;
  char parity = 'N';  // N, O, E, M or S
  uint32_t stopBits = 1;
};

// False when the descriptor is not a terminal.
bool ReadPtyLineSettings(int fd, PtyLineSettings& settings);

}  // namespace modemsim
