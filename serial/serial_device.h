// The platform edge of the serial driver: one open device and the calls the
// driver makes on it. The shapes follow the Win32 communications API (DCB,
// COMMTIMEOUTS, PurgeComm flags, modem status bits) so that the Windows
// backend is a one-to-one mapping; the POSIX backend translates them to
// termios. Errors come back as values, never as exceptions.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>

namespace serial {

// The device-control block, field by field.
struct DeviceControlBlock {
  uint32_t DCBlength = 28;
  uint32_t BaudRate = 0;
  bool fBinary = false;
  bool fParity = false;
  bool fOutxCtsFlow = false;
  bool fOutxDsrFlow = false;
  uint8_t fDtrControl = 0;  // DTR_CONTROL_*
  bool fDsrSensitivity = false;
  bool fTXContinueOnXoff = false;
  bool fOutX = false;
  bool fInX = false;
  bool fErrorChar = false;
  bool fNull = false;
  uint8_t fRtsControl = 0;  // RTS_CONTROL_*
  bool fAbortOnError = false;
  uint16_t XonLim = 0;
  uint16_t XoffLim = 0;
  uint8_t ByteSize = 0;
  uint8_t Parity = 0;    // 0 none, 1 odd, 2 even, 3 mark, 4 space
  uint8_t StopBits = 0;  // 0 one, 1 one and a half, 2 two
  char XonChar = 0;
  char XoffChar = 0;
  char ErrorChar = 0;
  char EofChar = 0;
  char EvtChar = 0;

  bool operator==(const DeviceControlBlock&) const = default;
};

constexpr uint8_t DTR_CONTROL_DISABLE = 0;
constexpr uint8_t DTR_CONTROL_ENABLE = 1;
constexpr uint8_t RTS_CONTROL_DISABLE = 0;
constexpr uint8_t RTS_CONTROL_ENABLE = 1;
constexpr uint8_t RTS_CONTROL_HANDSHAKE = 2;

struct CommTimeouts {
  uint32_t ReadIntervalTimeout = 0;
  uint32_t ReadTotalTimeoutMultiplier = 0;
  uint32_t ReadTotalTimeoutConstant = 0;
  uint32_t WriteTotalTimeoutMultiplier = 0;
  uint32_t WriteTotalTimeoutConstant = 0;
};

// PurgeComm flags.
constexpr uint32_t PURGE_TXABORT = 0x1;
constexpr uint32_t PURGE_RXABORT = 0x2;
constexpr uint32_t PURGE_TXCLEAR = 0x4;
constexpr uint32_t PURGE_RXCLEAR = 0x8;

// GetCommModemStatus bits.
constexpr uint32_t MS_CTS_ON = 0x10;
constexpr uint32_t MS_DSR_ON = 0x20;
constexpr uint32_t MS_RING_ON = 0x40;
constexpr uint32_t MS_RLSD_ON = 0x80;

struct QueueStatus {
  uint32_t inQueue = 0;
  uint32_t outQueue = 0;
};

// HungUp: the far end is gone (a pty whose master closed, a USB adapter
// pulled out); the device will not come back under this handle. Failed: the
// call did nothing this time, the device is still there.
enum class IoResult { Ok, Failed, HungUp };

// Whether the device took a setting; when it refused, the system's own words
// for why (UTF-8, in the system's language; may be empty).
struct SettingResult {
  bool accepted = true;
  std::string reason;

  SettingResult(bool ok = true) : accepted(ok) {}  // NOLINT: a plain yes or no converts
  static SettingResult Refused(std::string why) {
    SettingResult r(false);
    r.reason = std::move(why);
    return r;
  }
  explicit operator bool() const { return accepted; }
};

class SerialDevice {
 public:
  virtual ~SerialDevice() = default;  // closes the device

  virtual SettingResult SetLineSettings(const DeviceControlBlock& dcb) = 0;  // SetCommState
  virtual SettingResult SetQueueSizes(uint32_t in, uint32_t out) = 0;        // SetupComm
  virtual bool SetTimeouts(const CommTimeouts& t) = 0;                       // SetCommTimeouts
  virtual SettingResult Purge(uint32_t flags) = 0;                           // PurgeComm
  // ClearCommError: queued byte counts; line errors are cleared.
  virtual IoResult GetQueueStatus(QueueStatus& status) = 0;
  // ReadFile: at most size bytes of what is queued, without waiting.
  virtual IoResult Read(void* buffer, uint32_t size, uint32_t& read) = 0;
  // WriteFile: returns within about the write time-out with the count taken.
  virtual IoResult Write(const void* data, uint32_t size, uint32_t& written) = 0;
  virtual bool GetModemStatus(uint32_t& bits) = 0;  // GetCommModemStatus
  // Sleeps until the output queue may take bytes again or maxMs passed.
  // Lets a full queue be waited for without spinning.
  virtual void WaitWritable(uint32_t maxMs) = 0;
};

// Why a device could not be opened, as the operator can act on it.
// SettingRefused: it opened, but refused a step of programming the line.
enum class OpenProblem { None, NoPermission, InUse, NoSuchPort, SettingRefused, Other };
// The steps of programming the line, in their order.
enum class LineStep { LineSettings, Purge, QueueSizes };
struct OpenFailure {
  OpenProblem problem = OpenProblem::None;
  // UTF-8, as the system gives it. NoPermission: the group whose members may
  // open the device; InUse: who holds it, where the system tells;
  // SettingRefused and Other: the system's message.
  std::string detail;
  LineStep refusedStep = LineStep::LineSettings;  // SettingRefused only
};

// Opens devices by path: exclusively, existing devices only, for reading and
// writing. nullptr when the device cannot be had, with the reason in why.
class SerialPlatform {
 public:
  virtual ~SerialPlatform() = default;
  virtual std::unique_ptr<SerialDevice> Open(const std::string& path, OpenFailure& why) = 0;
};

// The real devices of the system this program runs on.
SerialPlatform& SystemSerialPlatform();

}  // namespace serial
