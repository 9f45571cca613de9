// The dial-up link: calls a number (or sends a modem command) over the
// library's own serial driver, collects the modem's answer, interprets the
// result text, makes up to AttemptCount attempts and reports every step as
// a coloured log line. The outcome stays in the module state (TLink).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "serial/serial_driver.h"
#include "toolkit/toolkit.h"

namespace meterlink {

// Log colours.
constexpr toolkit::TColor clOlive = 0x008080;  // progress
constexpr toolkit::TColor clGreen = 0x008000;  // success
constexpr toolkit::TColor clRed = 0x0000FF;    // error
using toolkit::clWindow;                       // raw data; never passed to LogCallback

// A multi-line text control that shows the log. Positions count bytes of
// the whole text, line breaks included.
class TLogView {
 public:
  virtual ~TLogView() = default;
  virtual void AppendLine(const std::string& line) = 0;
  virtual int32_t TextLength() const = 0;
  virtual int32_t SelStart() const = 0;  // the caret
  virtual void SetSelStart(int32_t pos) = 0;
  virtual void SetSelLength(int32_t length) = 0;
  virtual std::string SelText() const = 0;
  // Replaces the selection; the caret ends right after the new text.
  virtual void SetSelText(const std::string& text) = 0;
};

// The host's hook for log lines and the call countdown.
using TLogCallback = std::function<void(const std::string& text, toolkit::TColor colour)>;

class TNoVisibleDriver : public serial::TSerialDriver {
 public:
  using serial::TSerialDriver::TSerialDriver;

  // Takes every line setting of Source through this driver's own setters,
  // in the driver's declaration order; the notifications are not copied.
  void UnitePort(const serial::TSerialDriver& Source);
  // The link's receive notification.
  void ReceiveDataOn(serial::TSerialDriver* Sender, const char* DataPtr, uint32_t DataSize);
};

// A toolkit timer carrying the link's two handlers; both work on the module
// state only and ignore the timer they are attached to.
class TNoVisibleTimer final : public toolkit::Timer {
 public:
  TNoVisibleTimer(toolkit::Toolkit& tk, uint32_t intervalMs);

  void SetInterval(uint32_t ms) override { timer_->SetInterval(ms); }
  uint32_t Interval() const override { return timer_->Interval(); }
  void SetEnabled(bool enabled) override { timer_->SetEnabled(enabled); }
  bool Enabled() const override { return timer_->Enabled(); }

  // Quiet detection and interpretation of the modem's answer.
  void TimerOnForRX(toolkit::Timer* Sender);
  // No answer within ResponseTimeout.
  void TimerOnForTimeOut(toolkit::Timer* Sender);

 private:
  std::unique_ptr<toolkit::Timer> timer_;
};

// The module state of the link, from MeterLinkStartup to MeterLinkShutdown.
struct TLink {
  // Settings: a host may change them before calling Dial.
  uint8_t AttemptCount = 3;
  char LogSeparator = '|';  // after every line of LinkLogText and LinkErrorText
  int32_t PollStep = 500;   // ms per pass of the wait loop
  int32_t PortInputTimeout = 2000;
  int32_t ResponseTimeout = 35000;  // ms the modem has to answer
  TLogView* LogView = nullptr;      // not owned
  TLogCallback LogCallback;

  // State.
  std::string DialTarget;   // what to call or send
  std::string DialCommand;  // what is sent for it
  std::string RxText;       // bytes received since the send
  int32_t RxLastLength = 0;
  bool RxCollecting = false;
  uint8_t LinkState = 1;  // 0 connected (or "OK" to a plain command), 1 no link, 2 waiting
  uint32_t ElapsedMs = 0;
  std::string LinkLogText;    // every line of the current Dial
  std::string LinkErrorText;  // each distinct error line of the current attempt

  // Objects.
  std::unique_ptr<TNoVisibleTimer> RxTimer;
  std::unique_ptr<TNoVisibleTimer> ResponseTimer;
  std::unique_ptr<TNoVisibleDriver> LinkPort;

  toolkit::Toolkit* tk = nullptr;  // the one the link was started with
};

// Calls or sends DialTarget with up to AttemptCount attempts; returns when
// the outcome is known, events being dispatched meanwhile. Nothing happens
// before start-up.
void Dial();
// One attempt.
void DialOnce();
// Whether DialTarget holds dial characters only (empty counts).
bool IsDialString();
// One log line; IsInfo false for an error line.
void LinkLog(const std::string& Text, bool IsInfo, toolkit::TColor Colour);
// Waits while dispatching events.
void LinkWait(int32_t Milliseconds);

}  // namespace meterlink
