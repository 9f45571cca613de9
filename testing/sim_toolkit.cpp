#include "testing/sim_toolkit.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <utility>

namespace toolkit {

struct SimToolkit::TimerState {
  SimToolkit* owner = nullptr;
  uint32_t intervalMs = 0;
  bool enabled = false;
  uint64_t dueUs = 0;
  uint64_t seq = 0;           // order among timers due at the same time
  uint64_t generation = 0;    // one per enabling (and per restart)
  std::vector<uint64_t> running;  // generations whose handler is on the stack
  bool alive = true;
  std::function<void()> fire;
};

class SimTimer final : public Timer {
 public:
  SimTimer(SimToolkit& tk, uint32_t intervalMs) : state_(std::make_shared<SimToolkit::TimerState>()) {
    state_->owner = &tk;
    state_->intervalMs = intervalMs;
    state_->fire = [this] { Fire(); };
    tk.timers_.push_back(state_);
  }
  ~SimTimer() override {
    state_->alive = false;
    state_->fire = nullptr;
    if (!state_->owner) return;  // the toolkit went first
    auto& list = state_->owner->timers_;
    list.erase(std::remove(list.begin(), list.end(), state_), list.end());
  }
  void SetInterval(uint32_t ms) override {
    state_->intervalMs = ms;
    if (state_->enabled) Restart();
  }
  uint32_t Interval() const override { return state_->intervalMs; }
  void SetEnabled(bool enabled) override {
    if (enabled == state_->enabled) return;
    state_->enabled = enabled;
    if (enabled) Restart();
  }
  bool Enabled() const override { return state_->enabled; }

 private:
  void Restart() {
    SimToolkit& tk = *state_->owner;
    state_->generation++;
    state_->seq = ++tk.seq_;
    state_->dueUs = tk.nowUs_ + uint64_t(state_->intervalMs) * 1000;
  }
  std::shared_ptr<SimToolkit::TimerState> state_;
};

SimToolkit::SimToolkit(uint32_t startTick) : startTick_(startTick) {}

SimToolkit::~SimToolkit() {
  for (auto& t : timers_) t->owner = nullptr;
}

uint32_t SimToolkit::TickCount() { return uint32_t(startTick_ + nowUs_ / 1000); }

std::unique_ptr<Timer> SimToolkit::CreateTimer(uint32_t intervalMs, std::function<void()> onTimer) {
  auto timer = std::make_unique<SimTimer>(*this, intervalMs);
  timer->SetOnTimer(std::move(onTimer));
  return timer;
}

SimToolkit::ActionId SimToolkit::ScheduleAt(uint64_t atUs, std::function<void()> action) {
  Key key{std::max(atUs, nowUs_), ++seq_};
  actions_.emplace(key, std::move(action));
  actionKeys_.emplace(key.seq, key);
  return key.seq;
}

void SimToolkit::Cancel(ActionId id) {
  auto it = actionKeys_.find(id);
  if (it == actionKeys_.end()) return;
  actions_.erase(it->second);
  actionKeys_.erase(it);
}

void SimToolkit::PostAt(uint64_t atUs, std::function<void()> event) {
  posted_.emplace(Key{std::max(atUs, nowUs_), ++seq_}, std::move(event));
}

void SimToolkit::AdvanceTo(uint64_t targetUs) {
  while (!actions_.empty() && actions_.begin()->first.at <= targetUs) {
    auto it = actions_.begin();
    Key key = it->first;
    std::function<void()> action = std::move(it->second);
    actions_.erase(it);
    actionKeys_.erase(key.seq);
    nowUs_ = std::max(nowUs_, key.at);
    action();
  }
  if (targetUs > nowUs_) {
    nowUs_ = targetUs;
    idlePasses_ = 0;
  }
}

void SimToolkit::Sleep(uint64_t us) { AdvanceTo(nowUs_ + us); }

bool SimToolkit::Fireable(const TimerState& t) const {
  return t.alive && t.enabled && t.intervalMs > 0 &&
         std::find(t.running.begin(), t.running.end(), t.generation) == t.running.end();
}

bool SimToolkit::NextEventTime(uint64_t& at) const {
  bool found = false;
  for (const auto& t : timers_) {
    if (!Fireable(*t)) continue;
    if (!found || t->dueUs < at) at = t->dueUs;
    found = true;
  }
  if (!posted_.empty() && (!found || posted_.begin()->first.at < at)) {
    at = posted_.begin()->first.at;
    found = true;
  }
  return found;
}

void SimToolkit::DispatchDue() {
  // Each event due now is dispatched once in this pass, in order of due time.
  struct Due {
    Key key;
    std::shared_ptr<TimerState> timer;  // null for a posted event
  };
  std::vector<Due> due;
  for (const auto& t : timers_)
    if (Fireable(*t) && t->dueUs <= nowUs_) due.push_back({Key{t->dueUs, t->seq}, t});
  for (const auto& [key, event] : posted_)
    if (key.at <= nowUs_) due.push_back({key, nullptr});
  std::sort(due.begin(), due.end(), [](const Due& a, const Due& b) { return a.key < b.key; });

  for (const Due& d : due) {
    if (!d.timer) {
      auto it = posted_.find(d.key);
      if (it == posted_.end()) continue;
      std::function<void()> event = std::move(it->second);
      posted_.erase(it);
      ++dispatched_;
      event();
      if (afterDispatch_) afterDispatch_();
      continue;
    }
    const std::shared_ptr<TimerState> t = d.timer;
    if (!Fireable(*t) || t->dueUs > nowUs_ || t->seq != d.key.seq) continue;
    const uint64_t period = uint64_t(t->intervalMs) * 1000;
    t->dueUs += period;
    if (t->dueUs <= nowUs_) t->dueUs = nowUs_ + period;  // a late timer ticks once, no catching up
    const uint64_t generation = t->generation;
    t->running.push_back(generation);
    ++dispatched_;
    std::function<void()> fire = t->fire;  // the timer may be destroyed by its handler
    if (fire) fire();
    if (t->alive) t->running.erase(std::find(t->running.begin(), t->running.end(), generation));
    if (afterDispatch_) afterDispatch_();
  }
}

void SimToolkit::ProcessEvents() {
  // A loop that only processes events waits for ever in virtual time: the
  // clock cannot move. Say so instead of hanging the test.
  if (++idlePasses_ > 10'000'000) {
    std::fprintf(stderr, "SimToolkit: the program spins on ProcessEvents without ever waiting\n");
    std::abort();
  }
  AdvanceTo(nowUs_);
  DispatchDue();
}

void SimToolkit::WaitUntil(uint64_t targetUs) {
  uint64_t next = 0;
  uint64_t target = targetUs;
  if (NextEventTime(next) && next < target) target = std::max(next, nowUs_);
  AdvanceTo(target);
  DispatchDue();
}

void SimToolkit::WaitForEvents(uint32_t maxMs) {
  if (maxMs == 0) {
    ProcessEvents();
    return;
  }
  WaitUntil(nowUs_ + uint64_t(maxMs) * 1000);
}

void SimToolkit::ShowMessage(std::string_view caption, std::string_view message) {
  Prompt prompt{std::string(caption), std::string(message), nowUs_, 0};
  const uint64_t delayMs = operator_ ? operator_(prompt) : 0;
  const size_t index = prompts_.size();
  prompts_.push_back(prompt);
  const uint64_t pressAt = nowUs_ + delayMs * 1000;
  ++openPrompts_;
  while (nowUs_ < pressAt) WaitUntil(pressAt);
  --openPrompts_;
  prompts_[index].closedUs = std::max<uint64_t>(nowUs_, 1);
}

void SimToolkit::ShowError(std::string_view caption, std::string_view message) {
  // Answered at once: nobody plays an operator who reads error boxes.
  Prompt prompt{std::string(caption), std::string(message), nowUs_, std::max<uint64_t>(nowUs_, 1), true};
  prompts_.push_back(prompt);
}

void SimToolkit::RunFor(uint64_t ms) {
  const uint64_t end = nowUs_ + ms * 1000;
  do {
    WaitUntil(end);
  } while (nowUs_ < end);
}

bool SimToolkit::RunUntil(const std::function<bool()>& done, uint64_t maxMs) {
  const uint64_t end = nowUs_ + maxMs * 1000;
  for (;;) {
    if (done()) return true;
    if (nowUs_ >= end) return false;
    WaitUntil(end);
  }
}

}  // namespace toolkit
