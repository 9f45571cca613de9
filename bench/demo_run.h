// zorvik-demo as its user runs it: the program started the way its main
// starts it, the first training modem (chosen at start) set up with one
// press of НАЧАТЬ, and each power prompt, a real message box, read for a
// while and its button pressed. The loop is quit when the run is over.
#pragma once

#include <QApplication>
#include <cstdint>
#include <string>
#include <vector>

namespace bench {

struct DemoRun {
  std::string port, status;      // CBcom and LAcom at start, UTF-8
  int prompts = 0;               // message boxes answered
  bool ended = false;            // start enabled again, no box open
  double seconds = 0;            // start press to the end (wall)
  double cpuSeconds = 0;         // this process over the same span
  std::vector<std::string> log;  // the pane's lines, UTF-8
};

DemoRun RunDemoAsOperator(QApplication& application, uint32_t readMs = 1000, uint32_t limitMs = 120'000);

}  // namespace bench
