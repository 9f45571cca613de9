#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "app/environment.h"
#include "modemsim/training_modems.h"

namespace app {

Environment DemoEnvironment(toolkit::Toolkit& tk, modemsim::TrainingModems& modems,
                            std::function<std::vector<std::string>()> machinePorts) {
  Environment env{tk, modems, nullptr, nullptr};
  env.portList = [&modems, machinePorts = std::move(machinePorts)] {
    std::vector<std::string> list = modems.Names();
    if (machinePorts)
      for (std::string& port : machinePorts()) list.push_back(std::move(port));
    return list;
  };
  return env;
}

}  // namespace app
