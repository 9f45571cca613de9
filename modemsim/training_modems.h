// The training modems of zorvik-demo: the emulator engine inside the program,
// in real time, behind port names that say what each modem will do. No
// pseudo-terminal and no thread: the program's toolkit gives the time (its
// tick count) and wakes the event loop when a modem has something to do (its
// timers), so the same code runs under any toolkit, virtual time included.
// Every other port name goes on to the machine's own ports.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "modemsim/engine.h"
#include "serial/serial_device.h"
#include "toolkit/forwarding_toolkit.h"

namespace modemsim {

struct TrainingModem {
  std::string name;  // Windows-1251: as the port list shows it and the driver opens it
  Settings settings;
};

// The modems of the training program, in the order the port list offers
// them: ready, asks for the PIN, SIM wants its PUK, another make, silent.
std::vector<TrainingModem> TrainingModemSet();

class TrainingModems final : public serial::SerialPlatform {
 public:
  // others: where every other name is opened (the machine's serial ports).
  TrainingModems(toolkit::Toolkit& tk, serial::SerialPlatform& others,
                 std::vector<TrainingModem> modems = TrainingModemSet());
  ~TrainingModems() override;
  TrainingModems(const TrainingModems&) = delete;
  TrainingModems& operator=(const TrainingModems&) = delete;

  std::vector<std::string> Names() const;

  // A training modem's port gets a modem fresh from the shelf at every open,
  // switched on: choosing the port is plugging the modem in. One user at a time.
  std::unique_ptr<serial::SerialDevice> Open(const std::string& path, serial::OpenFailure& why) override;

  // The operator's hand on the supply of the modems whose ports are open.
  void SwitchOff();
  void SwitchOn();

  // The modem behind an open port; nullptr when that port is not open.
  Engine* OpenModem(const std::string& name);

  // How a send blocked on a full output queue lets time pass (it dispatches
  // nothing); the thread sleeps unless a test's clock says otherwise.
  using Sleeper = std::function<void(uint32_t ms)>;
  void SetSleeper(Sleeper sleeper);

  class Device;
  struct Desk;

 private:
  toolkit::Toolkit& tk_;
  serial::SerialPlatform& others_;
  std::vector<TrainingModem> modems_;
  std::shared_ptr<Desk> desk_;
};

// The toolkit the window of the training program gets: everything is passed
// on; when the operator answers the prompt to switch the modem off, or on,
// the training modems are switched so, as the operator's hand would.
class SupplyByPrompts final : public toolkit::ForwardingToolkit {
 public:
  SupplyByPrompts(toolkit::Toolkit& inner, TrainingModems& modems) : ForwardingToolkit(inner), modems_(modems) {}
  void ShowMessage(std::string_view caption, std::string_view message) override;

 private:
  TrainingModems& modems_;
};

}  // namespace modemsim
