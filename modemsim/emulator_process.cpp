#include "modemsim/emulator_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <sstream>
#include <thread>

namespace modemsim {

EmulatorProcess::EmulatorProcess(const std::string& program, const std::vector<std::string>& args) {
  int fds[2];
  if (pipe(fds) != 0) return;
  pid_ = fork();
  if (pid_ == 0) {
    dup2(fds[1], STDOUT_FILENO);
    close(fds[0]);
    close(fds[1]);
    const int devnull = open("/dev/null", O_RDWR);
    if (devnull >= 0) dup2(devnull, STDIN_FILENO);
    std::vector<std::string> own(args);
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (auto& a : own) argv.push_back(a.data());
    argv.push_back(nullptr);
    execv(argv[0], argv.data());
    _exit(127);
  }
  close(fds[1]);
  out_ = fds[0];
  if (pid_ < 0) return;
  // The first line is the terminal; give up after 5 s rather than hang.
  std::string line;
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (std::chrono::steady_clock::now() < end) {
    pollfd p{out_, POLLIN, 0};
    if (poll(&p, 1, 100) <= 0) continue;
    char c = 0;
    if (read(out_, &c, 1) != 1) break;
    if (c == '\n') {
      path_ = line;
      break;
    }
    line += c;
  }
}

EmulatorProcess::~EmulatorProcess() {
  if (pid_ > 0) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
  if (out_ >= 0) close(out_);
}

bool EmulatorProcess::Signal(int signo) const { return pid_ > 0 && kill(pid_, signo) == 0; }

void EmulatorProcess::PowerOn() const { Signal(SIGUSR1); }

int EmulatorProcess::WaitExit(std::chrono::milliseconds limit) {
  if (pid_ <= 0) return -1;
  const auto end = std::chrono::steady_clock::now() + limit;
  do {
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  } while (std::chrono::steady_clock::now() < end);
  return -1;
}

double EmulatorProcess::CpuSeconds() const {
  std::ifstream stat("/proc/" + std::to_string(pid_) + "/stat");
  std::string text((std::istreambuf_iterator<char>(stat)), {});
  const size_t close = text.rfind(')');
  if (close == std::string::npos) return 0;
  std::istringstream rest(text.substr(close + 2));
  std::string field;
  long utime = 0, stime = 0;
  for (int i = 3; i <= 15 && rest >> field; ++i) {
    if (i == 14) utime = std::stol(field);
    if (i == 15) stime = std::stol(field);
  }
  return double(utime + stime) / double(sysconf(_SC_CLK_TCK));
}

}  // namespace modemsim
