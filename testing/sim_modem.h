// The modem on a simulated serial port, in virtual time: what the program
// writes reaches the engine byte by byte after its line time, the modem's
// bytes travel back the same way. A line set to another rate or framing than
// the modem's is misheard in both directions, as it would be on a cable.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "modemsim/engine.h"
#include "modemsim/line_match.h"
#include "testing/sim_serial.h"
#include "testing/sim_toolkit.h"

namespace modemsim {

class SimModem {
 public:
  SimModem(toolkit::SimToolkit& tk, serial::SimPort& port, Settings settings = {});
  ~SimModem();
  SimModem(const SimModem&) = delete;
  SimModem& operator=(const SimModem&) = delete;

  Engine& engine() { return *engine_; }
  Settings& settings() { return engine_->settings(); }
  void PowerOn() { engine_->PowerOn(); }
  void PowerOff() { engine_->PowerOff(); }

  // Whether the program's line settings let the modem understand it now.
  bool Understood() const;

 private:
  class ToolkitClock;
  class PortLine;
  toolkit::SimToolkit& tk_;
  serial::SimPort& port_;
  std::unique_ptr<ToolkitClock> clock_;
  std::unique_ptr<PortLine> line_;
  std::unique_ptr<Engine> engine_;
};

}  // namespace modemsim
