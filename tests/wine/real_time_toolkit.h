// A toolkit in real time for the tests against devices of the system: the
// system's tick count, timers fired from a plain sleeping loop. No prompts.
#pragma once

#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <string_view>
#include <utility>
#include <vector>

#include "toolkit/tick_count.h"
#include "toolkit/toolkit.h"

#include <windows.h>  // after toolkit.h, whose RGB it defines as a macro

namespace wine_tests {

class RealTimeToolkit final : public toolkit::Toolkit {
 public:
  uint32_t TickCount() override { return toolkit::SystemTickCount(); }

  std::unique_ptr<toolkit::Timer> CreateTimer(uint32_t intervalMs, std::function<void()> onTimer) override {
    auto t = std::make_unique<LoopTimer>(*this, intervalMs);
    t->SetOnTimer(std::move(onTimer));
    return t;
  }
  void ProcessEvents() override { FireDue(); }
  void WaitForEvents(uint32_t maxMs) override {
    uint32_t wait = maxMs;
    const uint32_t now = TickCount();
    for (const LoopTimer* t : timers_)
      if (t->Enabled()) wait = std::min(wait, t->due - now < 0x80000000u ? t->due - now : 0);
    ::Sleep(wait);
    FireDue();
  }
  void ShowMessage(std::string_view, std::string_view) override {}
  void ShowError(std::string_view, std::string_view) override {}
  bool OnMainThread() const override { return true; }

  // Runs the loop for ms milliseconds, or until done() holds.
  template <class Done>
  bool RunUntil(Done done, uint32_t ms) {
    const uint32_t start = TickCount();
    while (!done()) {
      const uint32_t passed = TickCount() - start;
      if (passed >= ms) return false;
      WaitForEvents(std::min<uint32_t>(ms - passed, 10));
    }
    return true;
  }
  void RunFor(uint32_t ms) {
    RunUntil([] { return false; }, ms);
  }

 private:
  class LoopTimer final : public toolkit::Timer {
   public:
    LoopTimer(RealTimeToolkit& tk, uint32_t ms) : tk_(tk), interval_(ms) { tk_.timers_.push_back(this); }
    ~LoopTimer() override { std::erase(tk_.timers_, this); }
    void SetInterval(uint32_t ms) override {
      interval_ = ms;
      if (enabled_) due = tk_.TickCount() + ms;
    }
    uint32_t Interval() const override { return interval_; }
    void SetEnabled(bool on) override {
      if (on && !enabled_) due = tk_.TickCount() + interval_;
      enabled_ = on;
    }
    bool Enabled() const override { return enabled_; }
    void Tick() {
      due = tk_.TickCount() + interval_;
      Fire();
    }
    uint32_t due = 0;

   private:
    RealTimeToolkit& tk_;
    uint32_t interval_;
    bool enabled_ = false;
  };

  void FireDue() {
    const uint32_t now = TickCount();
    const std::vector<LoopTimer*> timers = timers_;  // a handler may remove one
    for (LoopTimer* t : timers)
      if (std::find(timers_.begin(), timers_.end(), t) != timers_.end() && t->Enabled() &&
          now - t->due < 0x80000000u)
        t->Tick();
  }

  std::vector<LoopTimer*> timers_;
};

}  // namespace wine_tests
