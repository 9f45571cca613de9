// The modem's bytes on their way to the line, with the timing faults
// applied (a late answer, replies in pieces, the line dropping mid-reply);
// and what garbles bytes on a line.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <string>

#include "modemsim/attachment.h"
#include "modemsim/settings.h"

namespace modemsim {

// Output towards the line, with the timing faults applied.
class OutputStage {
 public:
  OutputStage(Clock& clock, Line& line, const Faults& faults);
  ~OutputStage();
  void Put(const std::string& bytes, uint32_t rate);
  void Clear();
  // The line drops when this many more bytes than are queued now have left.
  void ArmDrop(size_t afterBytes);
  bool Dropped() const { return dropped_; }
  bool Idle() const { return queue_.empty(); }
  std::function<void()> onDrop;

 private:
  struct Chunk {
    uint64_t readyUs;
    std::string bytes;
    uint32_t rate;
  };
  void Pump();
  void WakeAt(uint64_t us);

  Clock& clock_;
  Line& line_;
  const Faults& faults_;
  std::deque<Chunk> queue_;
  uint64_t put_ = 0, sent_ = 0;
  bool dropArmed_ = false, dropped_ = false;
  uint64_t dropAt_ = 0;
  size_t inPiece_ = 0;
  uint64_t holdUntilUs_ = 0;
  Clock::TimerId wake_ = 0;
  uint64_t wakeAtUs_ = 0;
  bool waking_ = false;
};

// What a receiver set to another rate or framing makes of the bytes: no
// byte survives as itself, nothing reads as text.
std::string Misheard(const std::string& bytes);

// Pseudo-random line garbage: NUL and bytes above 127, never a letter, so
// that no reply text can appear in it by chance.
std::string Garbage(size_t count, uint32_t& seed);

}  // namespace modemsim
