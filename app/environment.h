// What the window takes from the system, written once for both windows: the
// serial platform, the start-up port list, the version caption and the log
// file; and the modules started before the window and stopped after it.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "serial/serial_driver.h"
#include "toolkit/toolkit.h"

namespace modemsim {
class TrainingModems;
}

namespace app {

// Tests give their own.
struct Environment {
  toolkit::Toolkit& tk;
  serial::SerialPlatform& platform;
  std::function<std::vector<std::string>()> portList;  // the start-up port list
  std::function<std::string()> caption;                // the version caption
  std::string logFile = "отчет.txt";                   // in the working directory, UTF-8 path
};

void ModulesStartup(toolkit::Toolkit& tk);
void ModulesShutdown();

// The real serial devices, port list and version caption.
Environment SystemEnvironment(toolkit::Toolkit& tk);

// The training program's: the training modems first, then the machine's
// ports; tk is the toolkit that passes the power prompts on to the modems.
Environment DemoEnvironment(toolkit::Toolkit& tk, modemsim::TrainingModems& modems,
                            std::function<std::vector<std::string>()> machinePorts);

}  // namespace app
