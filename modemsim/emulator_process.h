// zorvik-modemsim as a child process, for the programs and tests that run a
// real-time session against it: started with its options, its terminal's
// path read from its first output line, powered on by signal, stopped at the
// end. POSIX only.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

namespace modemsim {

class EmulatorProcess {
 public:
  // program: the path of zorvik-modemsim. Path() is empty when it failed.
  EmulatorProcess(const std::string& program, const std::vector<std::string>& args);
  ~EmulatorProcess();  // SIGKILL if still running
  EmulatorProcess(const EmulatorProcess&) = delete;
  EmulatorProcess& operator=(const EmulatorProcess&) = delete;

  const std::string& Path() const { return path_; }
  pid_t Pid() const { return pid_; }
  bool Signal(int signo) const;
  void PowerOn() const;  // the operator switches the supply on
  // Exit status (128 + signal when killed), or -1 when it has not ended in time.
  int WaitExit(std::chrono::milliseconds limit);
  // User plus system CPU seconds the process has used so far.
  double CpuSeconds() const;

 private:
  pid_t pid_ = -1;
  int out_ = -1;
  std::string path_;
};

}  // namespace modemsim
