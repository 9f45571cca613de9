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

#include "modemsim/emulator_process.h"

namespace {

using Clock = std::chrono::steady_clock;

const std::string kAti = "ATI\r\r\nSIEMENS\r\nC35i\r\nREVISION 01.05\r\n\r\nOK\r\n";

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
  modemsim::EmulatorProcess p(MODEMSIM_PROGRAM, {"--link=" + link, "--pin-delay=0.3"});
  ASSERT_EQ(p.Path().rfind("/dev/pts/", 0), 0u) << p.Path();
  ASSERT_EQ(std::filesystem::read_symlink(link).string(), p.Path());

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
  const double before = p.CpuSeconds();
  usleep(1'000'000);
  EXPECT_LE(p.CpuSeconds() - before, 0.05);  // 50 ms of 1 s at most

  // The port opened again: the same modem, its SIM still unlocked.
  fd = OpenPort(p.Path());
  ASSERT_GE(fd, 0);
  EXPECT_EQ(Exchange(fd, "AT+CPIN?\r", 31), "AT+CPIN?\r\r\n+CPIN: READY\r\n\r\nOK\r\n");
  p.Signal(SIGTERM);
  EXPECT_EQ(p.WaitExit(std::chrono::milliseconds(2000)), 0);
  EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(link)));
  close(fd);
  std::filesystem::remove_all(dir);
}

TEST(ModemsimProgram, DropsTheLineMidReply) {
  modemsim::EmulatorProcess p(MODEMSIM_PROGRAM, {"--drop-on=AT&V:12"});
  int fd = OpenPort(p.Path());
  ASSERT_GE(fd, 0);
  ASSERT_EQ(write(fd, "AT&V\r", 5), 5);
  bool ended = false;
  const std::string got = ReadFor(fd, 1000, std::chrono::milliseconds(2000), &ended);
  EXPECT_EQ(got, "AT&V\r\r\nACTIVE PRO");
  EXPECT_TRUE(ended);
  EXPECT_EQ(p.WaitExit(std::chrono::milliseconds(2000)), 0);
  close(fd);
}
