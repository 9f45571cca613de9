// The engine's pending actions, in order of due time and, for equal times,
// of scheduling: what every clock of the engine shares. Each clock only says
// what time it is and how it wakes up for the next action.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <utility>

#include "modemsim/engine.h"

namespace modemsim {

class DueActions {
 public:
  Clock::TimerId Add(uint64_t atUs, std::function<void()> action) {
    const Clock::TimerId id = ++seq_;
    due_.emplace(Key{atUs, id}, std::move(action));
    keys_.emplace(id, Key{atUs, id});
    return id;
  }

  void Cancel(Clock::TimerId id) {
    const auto it = keys_.find(id);
    if (it == keys_.end()) return;
    due_.erase(it->second);
    keys_.erase(it);
  }

  // When the earliest action is due; nothing when none waits.
  std::optional<uint64_t> Next() const {
    if (due_.empty()) return std::nullopt;
    return due_.begin()->first.first;
  }

  // Runs what is due by now(), asked again after each action: an action may
  // schedule another that is due already.
  void RunDue(const std::function<uint64_t()>& now) {
    while (!due_.empty() && due_.begin()->first.first <= now()) {
      const auto it = due_.begin();
      auto action = std::move(it->second);
      keys_.erase(it->first.second);
      due_.erase(it);
      action();
    }
  }

 private:
  using Key = std::pair<uint64_t, Clock::TimerId>;
  Clock::TimerId seq_ = 0;
  std::map<Key, std::function<void()>> due_;
  std::map<Clock::TimerId, Key> keys_;
};

}  // namespace modemsim
