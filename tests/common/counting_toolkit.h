// A toolkit that counts the passes of the event loop made through it: a wait
// that sleeps makes a pass per event it dispatches, one that spins makes
// thousands a second whatever the speed of the machine. Everything else goes
// to the real toolkit underneath.
#pragma once

#include <cstdint>

#include "toolkit/toolkit.h"

namespace testing_support {

class CountingToolkit final : public toolkit::Toolkit {
 public:
  explicit CountingToolkit(toolkit::Toolkit& inner) : inner_(inner) {}

  uint64_t passes = 0;  // calls of ProcessEvents and WaitForEvents

  uint32_t TickCount() override { return inner_.TickCount(); }
  std::unique_ptr<toolkit::Timer> CreateTimer(uint32_t ms, std::function<void()> onTimer) override {
    return inner_.CreateTimer(ms, std::move(onTimer));
  }
  void ProcessEvents() override {
    ++passes;
    inner_.ProcessEvents();
  }
  void WaitForEvents(uint32_t maxMs) override {
    ++passes;
    inner_.WaitForEvents(maxMs);
  }
  void ShowMessage(std::string_view caption, std::string_view message) override {
    inner_.ShowMessage(caption, message);
  }
  void ShowError(std::string_view caption, std::string_view message) override { inner_.ShowError(caption, message); }
  bool OnMainThread() const override { return inner_.OnMainThread(); }

 private:
  toolkit::Toolkit& inner_;
};

}  // namespace testing_support
