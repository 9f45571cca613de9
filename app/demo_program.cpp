#include "app/demo_program.h"

#include "app/program_hooks.h"
#include "serial/serial_device.h"
#include "toolkit/qt_toolkit.h"

namespace app {

int RunDemoProgram(QApplication& application, const std::function<void(TForm1&)>& shown) {
  toolkit::QtToolkit qt;
  modemsim::TrainingModems modems(qt, serial::SystemSerialPlatform());
  modemsim::SupplyByPrompts tk(qt, modems);
  return RunWindowProgram(
      application, tk,
      [&] {
        const Environment system = SystemEnvironment(tk);
        Environment env = DemoEnvironment(tk, modems, system.portList);
        env.caption = system.caption;
        return env;
      },
      shown);
}

}  // namespace app
