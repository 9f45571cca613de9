// Command-line settings of zorvik-modemsim.
#pragma once

#include <string>
#include <vector>

#include "modemsim/engine.h"

namespace modemsim {

struct ProgramOptions {
  Settings settings;
  std::string link;       // symlink to the slave, made at start and removed at the end
  bool log = false;       // traffic and events on stderr
  bool loopback = false;  // the far end of a data call sends back what it gets
  bool help = false;
  ProgramOptions();
};

// false with a message when an option is unknown or its value is not valid.
bool ParseOptions(const std::vector<std::string>& args, ProgramOptions& options, std::string& error);
std::string HelpText();

}  // namespace modemsim
