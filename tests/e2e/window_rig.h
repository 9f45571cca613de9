// The real window on one serial device, in real time: the rig of the
// end-to-end cases over pseudo-terminals and on the guest's real drivers.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "app/umset.h"
#include "serial/serial_device.h"
#include "tests/common/counting_toolkit.h"
#include "toolkit/codepage.h"
#include "toolkit/qt_toolkit.h"

namespace testing_e2e {

// The window on the given port, in real time.
struct Window {
  toolkit::QtToolkit qt;
  testing_support::CountingToolkit tk{qt};  // the window's passes of the event loop
  std::string portName;
  app::TForm1 form;
  explicit Window(const std::string& port)
      : portName(port), form(app::Environment{tk, serial::SystemSerialPlatform(), [this] {
                                                 return std::vector<std::string>{portName};
                                               },
                                               nullptr}) {}

  bool Has(const std::string& line) const {
    for (const std::string& l : form.LogLines())
      if (l == line) return true;
    return false;
  }
  // Runs the event loop until the condition holds or ms have passed.
  bool RunUntil(const std::function<bool()>& done, uint32_t ms) {
    const uint32_t t0 = tk.TickCount();
    while (!done()) {
      if (tk.TickCount() - t0 >= ms) return false;
      tk.WaitForEvents(20);
    }
    return true;
  }
  void RunFor(uint32_t ms) {
    RunUntil([] { return false; }, ms);
  }
  std::string Tail() const {
    std::string out;
    for (const std::string& l : form.LogLines()) out += "  " + toolkit::Utf8(l) + "\n";
    return out;
  }
};

}  // namespace testing_e2e
