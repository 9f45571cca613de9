// What an engine is attached to: the line towards the program, with the
// status lines the modem drives, and the clock it asks for every delay.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace modemsim {

// Status lines the modem drives towards the program.
enum StatusLine : uint32_t { kCts = 1, kDsr = 2, kDcd = 4, kRing = 8 };

// The line towards the program.
class Line {
 public:
  virtual ~Line() = default;
  // Bytes for the program. rate: the modem's line rate when it sent them,
  // 0 in autobaud (it talks at whatever rate the program uses).
  virtual void Send(const std::string& bytes, uint32_t rate) = 0;
  // Time one byte takes on the line now; 0 when unknown.
  virtual uint64_t ByteTimeUs() const = 0;
  // The line goes away for good (cable pulled, pty master closed); called
  // a moment after the last byte, what was sent before arrives.
  virtual void Drop() = 0;
  virtual void SetStatusLines(uint32_t /*lines*/) {}
};

// Time and delays. Actions run later, never from inside CallIn.
class Clock {
 public:
  using TimerId = uint64_t;
  virtual ~Clock() = default;
  virtual uint64_t NowUs() const = 0;
  virtual TimerId CallIn(uint64_t us, std::function<void()> action) = 0;
  virtual void Cancel(TimerId id) = 0;
};

}  // namespace modemsim
