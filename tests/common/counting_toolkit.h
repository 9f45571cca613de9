// A toolkit that counts the passes of the event loop made through it: a wait
// that sleeps makes a pass per event it dispatches, one that spins makes
// thousands a second whatever the speed of the machine. Everything else goes
// to the real toolkit underneath.
#pragma once

#include <cstdint>

#include "toolkit/forwarding_toolkit.h"

namespace testing_support {

class CountingToolkit final : public toolkit::ForwardingToolkit {
 public:
  explicit CountingToolkit(toolkit::Toolkit& inner) : ForwardingToolkit(inner) {}

  uint64_t passes = 0;  // calls of ProcessEvents and WaitForEvents

  void ProcessEvents() override {
    ++passes;
    inner_.ProcessEvents();
  }
  void WaitForEvents(uint32_t maxMs) override {
    ++passes;
    inner_.WaitForEvents(maxMs);
  }
};

}  // namespace testing_support
