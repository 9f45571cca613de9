#include "modemsim/line_match.h"

namespace modemsim {

bool LineUnderstood(const serial::DeviceControlBlock& dcb, uint32_t modemRate) {
  const uint32_t rate = dcb.BaudRate ? dcb.BaudRate : 9600;
  const uint32_t bits = dcb.ByteSize ? dcb.ByteSize : 8;
  if (bits != 8 || dcb.Parity != 0) return false;
  return modemRate == 0 || modemRate == rate;
}

}  // namespace modemsim
