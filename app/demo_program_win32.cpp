#include "app/program_win32.h"
#include "modemsim/training_modems.h"
#include "serial/serial_device.h"

namespace app {

int RunDemoProgram() {
  toolkit::Win32Toolkit loop;
  modemsim::TrainingModems modems(loop, serial::SystemSerialPlatform());
  modemsim::SupplyByPrompts tk(loop, modems);
  return RunWindowProgram(loop, tk, [&] {
    const Environment system = SystemEnvironment(tk);
    Environment env = DemoEnvironment(tk, modems, system.portList);
    env.caption = system.caption;
    return env;
  });
}

}  // namespace app
