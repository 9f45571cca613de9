// The toolkit in virtual time, for tests: deterministic, never sleeps.
//
// The clock moves only when the program waits (WaitForEvents, a prompt, or
// Sleep for a wait that dispatches nothing) or when a test runs the loop.
// Two kinds of things happen on it:
//  - events, dispatched only by the event loop: timer ticks and actions
//    posted by a test (the operator's clicks and keys); in order of due time,
//    ties in the order they were scheduled;
//  - hardware actions (simulated devices, the modem), which run as soon as
//    the clock reaches them, also while the program dispatches nothing.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "toolkit/toolkit.h"

namespace toolkit {

class SimToolkit final : public Toolkit {
 public:
  // startTick: the tick count at virtual time 0, to test wrapping.
  explicit SimToolkit(uint32_t startTick = 0);
  ~SimToolkit() override;
  SimToolkit(const SimToolkit&) = delete;
  SimToolkit& operator=(const SimToolkit&) = delete;

  // Toolkit
  uint32_t TickCount() override;
  std::unique_ptr<Timer> CreateTimer(uint32_t intervalMs, std::function<void()> onTimer) override;
  void ProcessEvents() override;
  void WaitForEvents(uint32_t maxMs) override;
  void ShowMessage(std::string_view caption, std::string_view message) override;
  void ShowError(std::string_view caption, std::string_view message) override;
  bool OnMainThread() const override { return mainThread_; }

  // Virtual time since construction.
  uint64_t NowUs() const { return nowUs_; }
  uint64_t NowMs() const { return nowUs_ / 1000; }

  using ActionId = uint64_t;
  // A hardware action at an absolute virtual time (a time in the past runs at
  // the next movement of the clock).
  ActionId ScheduleAt(uint64_t atUs, std::function<void()> action);
  ActionId ScheduleIn(uint64_t inUs, std::function<void()> action) {
    return ScheduleAt(nowUs_ + inUs, std::move(action));
  }
  void Cancel(ActionId id);

  // An event for the loop to dispatch at that time: what an operator does.
  void PostAt(uint64_t atUs, std::function<void()> event);
  void PostIn(uint64_t inUs, std::function<void()> event) { PostAt(nowUs_ + inUs, std::move(event)); }

  // The program is busy without dispatching (a send waiting for room): the
  // clock moves and the hardware acts, but no event is dispatched.
  void Sleep(uint64_t us);

  // The top-level event loop of a test.
  void RunFor(uint64_t ms);
  // Runs until done() holds (checked after every dispatch) or maxMs passed.
  bool RunUntil(const std::function<bool()>& done, uint64_t maxMs);

  // The operator at the prompts: given the prompt, the milliseconds until
  // the button is pressed. Without an operator every prompt is answered at once.
  struct Prompt {
    std::string caption;
    std::string message;
    uint64_t shownUs = 0;
    uint64_t closedUs = 0;  // 0 while open
    bool error = false;     // the error box rather than an operator prompt
  };
  using Operator = std::function<uint64_t(const Prompt&)>;
  void SetOperator(Operator op) { operator_ = std::move(op); }
  const std::vector<Prompt>& Prompts() const { return prompts_; }
  int OpenPrompts() const { return openPrompts_; }

  // Pretend the caller runs on another thread (for components that must
  // not poll there).
  void SetOnMainThread(bool onMain) { mainThread_ = onMain; }

  // Events dispatched so far.
  uint64_t Dispatched() const { return dispatched_; }
  // Called after every dispatched event, nested ones included: where a
  // test checks what must hold between any two events.
  void SetAfterDispatch(std::function<void()> hook) { afterDispatch_ = std::move(hook); }

  struct TimerState;  // internal, shared with the timers

 private:
  struct Key {
    uint64_t at;
    uint64_t seq;
    bool operator<(const Key& o) const { return at != o.at ? at < o.at : seq < o.seq; }
  };

  void AdvanceTo(uint64_t targetUs);
  bool NextEventTime(uint64_t& at) const;
  void DispatchDue();
  void WaitUntil(uint64_t targetUs);
  bool Fireable(const TimerState& t) const;

  uint64_t nowUs_ = 0;
  uint32_t startTick_;
  uint64_t seq_ = 0;
  bool mainThread_ = true;
  std::map<Key, std::function<void()>> actions_;
  std::map<ActionId, Key> actionKeys_;
  std::map<Key, std::function<void()>> posted_;
  std::vector<std::shared_ptr<TimerState>> timers_;
  std::vector<Prompt> prompts_;
  int openPrompts_ = 0;
  Operator operator_;
  uint64_t dispatched_ = 0;
  std::function<void()> afterDispatch_;
  uint64_t idlePasses_ = 0;  // ProcessEvents calls in a row with the clock standing still

  friend class SimTimer;
};

}  // namespace toolkit
