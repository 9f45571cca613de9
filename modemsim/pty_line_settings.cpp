#include "modemsim/pty_line_settings.h"

// termios2 gives the rate in bit/s, also when it was set as a custom one
// (BOTHER, as Wine 10 sets every rate), where cfgetospeed knows no code.
#include <asm/termbits.h>
#include <sys/ioctl.h>

namespace modemsim {

bool ReadPtyLineSettings(int fd, PtyLineSettings& settings) {
  struct termios2 t {};
  if (::ioctl(fd, TCGETS2, &t) != 0) return false;
  settings.rate = t.c_ospeed;
  switch (t.c_cflag & CSIZE) {
    case CS5: settings.dataBits = 5; break;
    case CS6: settings.dataBits = 6; break;
    case CS7: settings.dataBits = 7; break;
    default: settings.dataBits = 8;
  }
  settings.parity = 'N';
  if (t.c_cflag & PARENB) {
    if (t.c_cflag & CMSPAR)
      settings.parity = (t.c_cflag & PARODD) ? 'M' : 'S';
    else
      settings.parity = (t.c_cflag & PARODD) ? 'O' : 'E';
  }
  settings.stopBits = (t.c_cflag & CSTOPB) ? 2 : 1;
  return true;
}

}  // namespace modemsim
