// One whole set-up run of the real window against the modem emulator, played
// the same way in real time (zorvik-modemsim on a pseudo-terminal, the Qt
// toolkit) and in virtual time (the same engine on a simulated line). The
// virtual run takes exactly the sum of the program's timer periods, the
// operator's answers and the modem's reply times, with no cost of its own;
// the real run's wall time against it tells what the program adds.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace bench {

struct WholeRun {
  bool success = false;        // ended with the success line and the start button enabled
  double seconds = 0;          // start press to the end of the run (wall or virtual)
  double cpuSeconds = 0;       // this process, during the run (real time only)
  double modemCpuSeconds = 0;  // the emulator process (real time only)
  long residentKiB = 0;        // this process after the run (real time only)
  uint64_t loopPasses = 0;     // passes of the event loop made through the toolkit (real time only)
  std::vector<std::string> log;  // the pane's lines, Windows-1251
};

// The emulator's options for the run: a SIM that asks for its PIN, the
// supply switched on only by the operator.
std::vector<std::string> WholeRunModemOptions();

// Needs a QApplication. show: the window is shown (a screenshot can follow).
WholeRun RunInRealTime(const std::string& modemProgram, bool show);
// The same run on a port whose modem runs elsewhere (with the options
// above): powerOn is called when the operator switches it on. The pane is
// saved to logFile at the end when one is given.
WholeRun RunOnPort(const std::string& port, const std::function<void()>& powerOn, const std::string& logFile = {});
WholeRun RunInVirtualTime();

}  // namespace bench
