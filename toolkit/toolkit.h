// The few things of a GUI toolkit that the program's logic relies on: the
// millisecond tick count, timers delivered through the event loop, processing
// of pending events, a bounded wait for the next event and the modal operator
// prompt. Two implementations: QtToolkit (the real program) and SimToolkit
// (virtual time, for tests).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

namespace toolkit {

// Colours in the toolkit's encoding: 0x00BBGGRR for a plain colour,
// 0xFF000000 plus the index for a system colour.
using TColor = uint32_t;
constexpr TColor RGB(uint8_t r, uint8_t g, uint8_t b) {
  return TColor(r) | (TColor(g) << 8) | (TColor(b) << 16);
}
constexpr TColor clWindow = 0xFF000005;  // system window background
constexpr bool IsSystemColour(TColor c) { return (c & 0xFF000000u) == 0xFF000000u; }

// A periodic timer whose ticks arrive through the event loop.
// Enabling an enabled timer changes nothing (its running period is not
// restarted); disabling stops it; enabling a disabled timer starts a full
// period. Changing the interval of an enabled timer restarts its period.
// A tick is not delivered again while the handler of the same enabling is
// still running (a handler that waits inside is not re-entered by its own
// timer); a timer disabled and enabled again in the meantime ticks anew.
class Timer {
 public:
  virtual ~Timer() = default;
  virtual void SetInterval(uint32_t ms) = 0;
  virtual uint32_t Interval() const = 0;
  virtual void SetEnabled(bool enabled) = 0;
  virtual bool Enabled() const = 0;
  void SetOnTimer(std::function<void()> handler) { onTimer_ = std::move(handler); }

 protected:
  void Fire() {
    if (onTimer_) onTimer_();
  }

 private:
  std::function<void()> onTimer_;
};

class Toolkit {
 public:
  virtual ~Toolkit() = default;

  // Milliseconds, 32 bits, wrapping: take every difference modulo 2^32.
  virtual uint32_t TickCount() = 0;

  // A new timer, disabled.
  virtual std::unique_ptr<Timer> CreateTimer(uint32_t intervalMs, std::function<void()> onTimer) = 0;

  // Dispatch what is pending now; never blocks.
  virtual void ProcessEvents() = 0;

  // Block until something happens or maxMs have passed, then dispatch it.
  virtual void WaitForEvents(uint32_t maxMs) = 0;

  // The modal message box of the operator prompts: caption and message are
  // Windows-1251 text, control characters passed unchanged; no icon, one
  // button captioned "ЛАДНО". Events keep being dispatched while it is open;
  // returns when the operator presses the button or closes the box.
  virtual void ShowMessage(std::string_view caption, std::string_view message) = 0;

  // The toolkit's error box, for failures the program does not handle itself
  // (a file that cannot be written): an error icon and an OK button.
  virtual void ShowError(std::string_view caption, std::string_view message) = 0;

  // Whether the caller runs on the thread that owns the event loop.
  virtual bool OnMainThread() const = 0;
};

// Returns after at least ms milliseconds, dispatching events all along.
// It sleeps on the event queue between events instead of spinning.
void WaitMilliseconds(Toolkit& tk, uint32_t ms);

}  // namespace toolkit
