// zorvik-modemsim as the program sees it: a path to open like a serial
// port, that keeps working when the port is closed and opened again, costs
// nothing while idle, and ends cleanly.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

const std::string kAti = "ATI\r\r\nSIEMENS\r\nC35i\r\nREVISION 01.05\r\n\r\nOK\r\n";

struct Program {
  pid_t pid = -1;
  FILE* out = nullptr;
  std::string path;

  explicit Program(std::vector<std::string> args) {
    int fds[2];
    EXPECT_EQ(pipe(fds), 0);
    pid = fork();
    if (pid == 0) {
      dup2(fds[1], STDOUT_FILENO);
      close(fds[0]);
      close(fds[1]);
      const int devnull = open("/dev/null", O_RDWR);
      dup2(devnull, STDIN_FILENO);
      std::vector<char*> argv{const_cast<char*>(MODEMSIM_PROGRAM)};
      for (auto& a : args) argv.push_back(a.data());
      argv.push_back(nullptr);
      execv(argv[0], argv.data());
      _exit(127);
    }
    close(fds[1]);
    out = fdopen(fds[0], "r");
    char line[256] = {};
    if (fgets(line, sizeof line, out)) path = line;
    if (!path.empty() && path.back() == '\n') path.pop_back();
  }
  ~Program() {
    if (pid > 0) {
      kill(pid, SIGKILL);
      waitpid(pid, nullptr, 0);
    }
    if (out) fclose(out);
  }
  // Exit status, or -1 when it has not ended within the time.
  int WaitExit(std::chrono::milliseconds limit) {
    const auto end = Clock::now() + limit;
    while (Clock::now() < end) {
      int status = 0;
      if (waitpid(pid, &status, WNOHANG) == pid) {
        pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      }
      usleep(10'000);
    }
    return -1;
  }
  // User and system time the process has used, in clock ticks.
  long CpuTicks() const {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), {});
    std::istringstream rest(text.substr(text.rfind(')') + 2));
    std::string field;
    long utime = 0, stime = 0;
    for (int i = 3; i <= 15 && rest >> field; ++i) {
      if (i == 14) utime = std::stol(field);
      if (i == 15) stime = std::stol(field);
    }
    return utime + stime;
  }
};

int OpenPort(const std::string& path) {
  const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) return fd;
  termios t{};
  tcgetattr(fd, &t);
  cfmakeraw(&t);
  t.c_cflag |= CLOCAL | CREAD | CSTOPB;
  cfsetispeed(&t, B9600);
  cfsetospeed(&t, B9600);
  tcsetattr(fd, TCSANOW, &t);
  return fd;
}

// Reads until want bytes came, the line ended, or the time is up.
std::string ReadFor(int fd, size_t want, std::chrono::milliseconds limit, bool* ended = nullptr) {
  std::string got;
  const auto end = Clock::now() + limit;
  while (got.size() < want && Clock::now() < end) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, 20) <= 0) continue;
    char buf[1024];
    const ssize_t n = read(fd, buf, sizeof buf);
    if (n > 0) {
      got.append(buf, size_t(n));
    } else if (n == 0 || errno == EIO) {
      if (ended) *ended = true;
      break;
    }
  }
  return got;
}

std::string Exchange(int fd, const std::string& cmd, size_t want) {
  EXPECT_EQ(write(fd, cmd.data(), cmd.size()), ssize_t(cmd.size()));
  return ReadFor(fd, want, std::chrono::milliseconds(2000));
}

}  // namespace

TEST(ModemsimProgram, SurvivesReopenIdlesQuietlyAndEndsOnSigterm) {
  const auto dir = std::filesystem::temp_directory_path() / ("modemsim-" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  const std::string link = (dir / "COM2").string();
  Program p({"--link=" + link, "--pin-delay=0.3"});
  ASSERT_EQ(p.path.rfind("/dev/pts/", 0), 0u) << p.path;
  ASSERT_EQ(std::filesystem::read_symlink(link).string(), p.path);

  int fd = OpenPort(link);
  ASSERT_GE(fd, 0);
  const auto t0 = Clock::now();
  EXPECT_EQ(Exchange(fd, "ATI\r", kAti.size()), kAti);
  // Paced at the line rate: 43 bytes of 11 bits at 9600 bit/s take 49 ms.
  EXPECT_GE(Clock::now() - t0, std::chrono::milliseconds(45));
  EXPECT_EQ(Exchange(fd, "AT+CPIN=4739\r", 19), "AT+CPIN=4739\r\r\nOK\r\n");
  close(fd);

  // Nobody on the port: the program waits without spinning.
  usleep(200'000);
  const long before = p.CpuTicks();
  usleep(1'000'000);
  EXPECT_LE(p.CpuTicks() - before, 5);  // 50 ms of 1 s at most

  // The port opened again: the same modem, its SIM still unlocked.
  fd = OpenPort(p.path);
  ASSERT_GE(fd, 0);
  EXPECT_EQ(Exchange(fd, "AT+CPIN?\r", 31), "AT+CPIN?\r\r\n+CPIN: READY\r\n\r\nOK\r\n");
  kill(p.pid, SIGTERM);
  EXPECT_EQ(p.WaitExit(std::chrono::milliseconds(2000)), 0);
  EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(link)));
  close(fd);
  std::filesystem::remove_all(dir);
}

TEST(ModemsimProgram, DropsTheLineMidReply) {
  Program p({"--drop-on=AT&V:12"});
  int fd = OpenPort(p.path);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(write(fd, "AT&V\r", 5), 5);
  bool ended = false;
  const std::string got = ReadFor(fd, 1000, std::chrono::milliseconds(2000), &ended);
  EXPECT_EQ(got, "AT&V\r\r\nACTIVE PRO");
  EXPECT_TRUE(ended);
  EXPECT_EQ(p.WaitExit(std::chrono::milliseconds(2000)), 0);
  close(fd);
}
