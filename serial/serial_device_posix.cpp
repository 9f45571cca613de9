// Serial devices through termios. A bare name ("ttyUSB0") means /dev/NAME.
#include <asm/termbits.h>  // termios2 and BOTHER: any line rate
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <string.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include "serial/open_failure_posix.h"
#include "serial/serial_device.h"
#include "toolkit/codepage.h"

namespace serial {
namespace {

// A standard rate by its own code, so that every tool reads it back; any
// other rate through BOTHER.
tcflag_t RateBits(uint32_t rate) {
  static const struct { uint32_t rate; tcflag_t bits; } kRates[] = {
      {50, B50},       {75, B75},       {110, B110},     {134, B134},       {150, B150},
      {200, B200},     {300, B300},     {600, B600},     {1200, B1200},     {1800, B1800},
      {2400, B2400},   {4800, B4800},   {9600, B9600},   {19200, B19200},   {38400, B38400},
      {57600, B57600}, {115200, B115200}, {230400, B230400}, {460800, B460800}, {921600, B921600}};
  for (const auto& r : kRates)
    if (r.rate == rate) return r.bits;
  return BOTHER;
}

// The C library's words for an error, in the program's locale.
SettingResult Refused(int err) { return SettingResult::Refused(::strerror(err)); }

IoResult ErrnoResult() {
  return (errno == EIO || errno == ENXIO || errno == ENODEV || errno == EBADF) ? IoResult::HungUp
                                                                               : IoResult::Failed;
}

class PosixDevice final : public SerialDevice {
 public:
  explicit PosixDevice(int fd) : fd_(fd) {}
  ~PosixDevice() override {
    ::flock(fd_, LOCK_UN);
    ::ioctl(fd_, TIOCNXCL);
    ::close(fd_);
  }

  SettingResult SetLineSettings(const DeviceControlBlock& dcb) override {
    struct termios2 tio {};
    if (::ioctl(fd_, TCGETS2, &tio) != 0) return Refused(errno);
    tio.c_iflag = IGNBRK;  // binary: no translation of any byte
    tio.c_oflag = 0;
    tio.c_lflag = 0;
    tio.c_cflag = CREAD | CLOCAL | RateBits(dcb.BaudRate);
    switch (dcb.ByteSize) {
      case 5: tio.c_cflag |= CS5; break;
      case 6: tio.c_cflag |= CS6; break;
      case 7: tio.c_cflag |= CS7; break;
      case 8: tio.c_cflag |= CS8; break;
      default: return Refused(EINVAL);
    }
    switch (dcb.Parity) {
      case 0: break;
      case 1: tio.c_cflag |= PARENB | PARODD; break;
      case 2: tio.c_cflag |= PARENB; break;
      case 3: tio.c_cflag |= PARENB | PARODD | CMSPAR; break;
      case 4: tio.c_cflag |= PARENB | CMSPAR; break;
      default: return Refused(EINVAL);
    }
    if (dcb.fParity) tio.c_iflag |= INPCK;
    // termios has no 1.5 stop bits; the UARTs that do use it for 5-bit
    // characters only, where CSTOPB selects it.
    if (dcb.StopBits == 1 || dcb.StopBits == 2) tio.c_cflag |= CSTOPB;
    if (dcb.fOutxCtsFlow || dcb.fRtsControl == RTS_CONTROL_HANDSHAKE) tio.c_cflag |= CRTSCTS;
    if (dcb.fOutX) tio.c_iflag |= IXON;
    if (dcb.fInX) tio.c_iflag |= IXOFF;
    tio.c_cc[VSTART] = cc_t(dcb.XonChar);
    tio.c_cc[VSTOP] = cc_t(dcb.XoffChar);
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    if (dcb.BaudRate == 0) return Refused(EINVAL);
    tio.c_ispeed = tio.c_ospeed = dcb.BaudRate;
    if (::ioctl(fd_, TCSETS2, &tio) != 0) return Refused(errno);

    // DTR and RTS by the block. Pseudo-terminals have no modem lines
    // (ENOTTY); that is no reason to refuse the line.
    int set = 0, clear = 0;
    (dcb.fDtrControl == DTR_CONTROL_ENABLE ? set : clear) |= TIOCM_DTR;
    if (dcb.fRtsControl == RTS_CONTROL_ENABLE) set |= TIOCM_RTS;
    if (dcb.fRtsControl == RTS_CONTROL_DISABLE) clear |= TIOCM_RTS;
    if (set && ::ioctl(fd_, TIOCMBIS, &set) != 0 && errno != ENOTTY && errno != EINVAL) return Refused(errno);
    if (clear && ::ioctl(fd_, TIOCMBIC, &clear) != 0 && errno != ENOTTY && errno != EINVAL) return Refused(errno);
    return true;
  }

  SettingResult SetQueueSizes(uint32_t in, uint32_t out) override {
    // The kernel sizes its own queues; the request only has to be sane.
    return in > 0 && out > 0 ? SettingResult() : Refused(EINVAL);
  }

  bool SetTimeouts(const CommTimeouts&) override {
    // Reads and writes never block (O_NONBLOCK); the driver's calls return
    // at once with what is there, which is what the time-outs ask for.
    return true;
  }

  SettingResult Purge(uint32_t flags) override {
    const bool in = flags & (PURGE_RXABORT | PURGE_RXCLEAR);
    const bool out = flags & (PURGE_TXABORT | PURGE_TXCLEAR);
    if (!in && !out) return true;
    if (::ioctl(fd_, TCFLSH, in && out ? TCIOFLUSH : in ? TCIFLUSH : TCOFLUSH) != 0) return Refused(errno);
    return true;
  }

  IoResult GetQueueStatus(QueueStatus& status) override {
    int in = 0, out = 0;
    if (::ioctl(fd_, FIONREAD, &in) != 0) return ErrnoResult();
    if (::ioctl(fd_, TIOCOUTQ, &out) != 0) out = 0;
    status.inQueue = uint32_t(std::max(in, 0));
    status.outQueue = uint32_t(std::max(out, 0));
    if (status.inQueue == 0 && PeerGone()) return IoResult::HungUp;
    return IoResult::Ok;
  }

  IoResult Read(void* buffer, uint32_t size, uint32_t& read) override {
    read = 0;
    if (size == 0) return IoResult::Ok;
    const ssize_t n = ::read(fd_, buffer, size);
    if (n > 0) {
      read = uint32_t(n);
      return IoResult::Ok;
    }
    // A terminal in raw mode (VMIN 0) reads 0 bytes when nothing is there;
    // only a hung-up line says so as well.
    if (n == 0) return PeerGone() ? IoResult::HungUp : IoResult::Ok;
    if (errno == EAGAIN || errno == EINTR) return IoResult::Ok;
    return ErrnoResult();
  }

  IoResult Write(const void* data, uint32_t size, uint32_t& written) override {
    written = 0;
    if (size == 0) return IoResult::Ok;
    const ssize_t n = ::write(fd_, data, size);
    if (n >= 0) {
      written = uint32_t(n);
      return IoResult::Ok;
    }
    if (errno == EAGAIN || errno == EINTR) return IoResult::Ok;
    return ErrnoResult();
  }

  bool GetModemStatus(uint32_t& bits) override {
    int lines = 0;
    if (::ioctl(fd_, TIOCMGET, &lines) != 0) return false;
    bits = 0;
    if (lines & TIOCM_CTS) bits |= MS_CTS_ON;
    if (lines & TIOCM_DSR) bits |= MS_DSR_ON;
    if (lines & TIOCM_RNG) bits |= MS_RING_ON;
    if (lines & TIOCM_CAR) bits |= MS_RLSD_ON;
    return true;
  }

  void WaitWritable(uint32_t maxMs) override {
    pollfd p{fd_, POLLOUT, 0};
    ::poll(&p, 1, int(maxMs));
  }

 private:
  // With nothing to read, a hung-up line shows as POLLHUP at once.
  bool PeerGone() {
    pollfd p{fd_, POLLIN, 0};
    return ::poll(&p, 1, 0) == 1 && (p.revents & (POLLHUP | POLLERR | POLLNVAL)) && !(p.revents & POLLIN);
  }
  int fd_;
};

class PosixPlatform final : public SerialPlatform {
 public:
  std::unique_ptr<SerialDevice> Open(const std::string& name, OpenFailure& why) override {
    if (name.empty() || name.size() > 4095 || name.find('\0') != std::string::npos) {
      why = {OpenProblem::NoSuchPort, {}};
      return nullptr;
    }
    // Names come in Windows-1251 like all of the program's text; paths are UTF-8.
    const std::string utf8 = toolkit::Utf8(name);
    const std::string path = utf8.find('/') == std::string::npos ? "/dev/" + utf8 : utf8;
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
      why = DescribeOpenFailure(errno, path);
      return nullptr;
    }
    // Only terminals; and only one user at a time. flock holds also
    // against root, which TIOCEXCL does not.
    struct termios2 tio {};
    int err = 0;
    if (!::isatty(fd) || ::ioctl(fd, TCGETS2, &tio) != 0)
      err = ENOTTY;
    else if (::flock(fd, LOCK_EX | LOCK_NB) != 0)
      err = errno;
    if (err != 0) {
      ::close(fd);
      why = DescribeOpenFailure(err, path);
      return nullptr;
    }
    ::ioctl(fd, TIOCEXCL);
    return std::make_unique<PosixDevice>(fd);
  }
};

}  // namespace

SerialPlatform& SystemSerialPlatform() {
  static PosixPlatform platform;
  return platform;
}

}  // namespace serial
