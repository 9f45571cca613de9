// The POSIX backend over real pseudo-terminals, in real time.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <sys/file.h>
#include <termios.h>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <fcntl.h>
#include <grp.h>
#include <memory>
#include <pty.h>
#include <string>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>
#include <vector>

#include <filesystem>

#include "modemsim/pty_line_settings.h"
#include "serial/serial_driver.h"
#include "serial_contract.h"
#include "tests/common/counting_toolkit.h"
#include "tests/common/scratch_dir.h"
#include "toolkit/qt_toolkit.h"

using namespace serial;

namespace {

int OpenDescriptors() {
  int n = 0;
  for (auto& e : std::filesystem::directory_iterator("/proc/self/fd")) (void)e, ++n;
  return n;
}

struct Pty {
  int master = -1;
  std::string slave;
  Pty() {
    int s = -1;
    char name[128];
    EXPECT_EQ(openpty(&master, &s, name, nullptr, nullptr), 0);
    slave = name;
    close(s);  // the driver opens its own; the master stays readable
  }
  ~Pty() {
    if (master >= 0) close(master);
  }
  std::string ReadFor(std::chrono::milliseconds limit, size_t want) {
    std::string got;
    const auto end = std::chrono::steady_clock::now() + limit;
    char buf[4096];
    while (got.size() < want && std::chrono::steady_clock::now() < end) {
      fd_set set;
      FD_ZERO(&set);
      FD_SET(master, &set);
      timeval tv{0, 20000};
      if (select(master + 1, &set, nullptr, nullptr, &tv) > 0) {
        const ssize_t n = read(master, buf, sizeof buf);
        if (n > 0) got.append(buf, size_t(n));
      }
    }
    return got;
  }
};

class PtyTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    static int argc = 1;
    static char arg0[] = "pty_test";
    static char* argv[] = {arg0, nullptr};
    if (!QCoreApplication::instance()) app_ = new QCoreApplication(argc, argv);
  }
  toolkit::QtToolkit tk;
  static QCoreApplication* app_;
};
QCoreApplication* PtyTest::app_ = nullptr;

}  // namespace

// The serial device's contract on a pseudo-terminal: this process holds
// its master as the far end.
class PtyRig final : public serial_contract::Rig {
 public:
  serial::SerialPlatform& Platform() override { return SystemSerialPlatform(); }
  std::string Path() override { return pty_.slave; }
  void Pass(uint32_t ms) override { usleep(ms * 1000); }
  void FarSend(SerialDevice&, size_t n) override {
    const std::string bytes = serial_contract::Pattern(n);
    for (size_t at = 0; at < bytes.size();) {
      const ssize_t k = write(pty_.master, bytes.data() + at, bytes.size() - at);
      if (k > 0) at += size_t(k);
      else usleep(1000);
    }
  }
  void FarExpect(SerialDevice&, size_t) override {}
  bool FarTook(SerialDevice&, size_t n) override {
    const std::string got = pty_.ReadFor(std::chrono::seconds(20), n);
    return got == serial_contract::Pattern(n) && pty_.ReadFor(std::chrono::milliseconds(100), 1).empty();
  }
  std::string FarLine(SerialDevice&) override {
    modemsim::PtyLineSettings line;
    if (!modemsim::ReadPtyLineSettings(pty_.master, line)) return "LINE ?";
    return "LINE " + std::to_string(line.rate) + " " + std::to_string(line.dataBits) + " " + line.parity + " " +
           std::to_string(line.stopBits);
  }
  // Not read, the master takes no more once its buffer is full.
  bool FarHold(SerialDevice&, bool hold) override {
    if (!hold) pty_.ReadFor(std::chrono::milliseconds(200), SIZE_MAX);
    return true;
  }
  bool FarGoAway() override {
    close(pty_.master);
    pty_.master = -1;
    return true;
  }

 private:
  Pty pty_;
};

using serial_contract::SerialContract;
INSTANTIATE_TEST_SUITE_P(Pty, SerialContract,
                         ::testing::Values(serial_contract::Implementation{
                             "PseudoTerminal", [] { return std::unique_ptr<serial_contract::Rig>(new PtyRig); }}),
                         serial_contract::NameOf);

TEST_F(PtyTest, ASecondUserOfTheSamePathIsRefused) {
  Pty pty;
  TSerialDriver first(tk), second(tk);
  first.SetPortName(pty.slave);
  second.SetPortName(pty.slave);
  ASSERT_TRUE(first.Connect());
  EXPECT_FALSE(second.Connect());
  EXPECT_FALSE(second.Connected());
  EXPECT_EQ(second.LastOpenFailure().problem, OpenProblem::InUse);

  const pid_t child = fork();
  if (child == 0) {
    OpenFailure why;
    auto dev = SystemSerialPlatform().Open(pty.slave, why);
    if (dev) _exit(1);
    // The holder is named: this test's process.
    const std::string holder = "(" + std::to_string(getppid()) + ")";
    _exit(why.problem != OpenProblem::InUse ? 2 : why.detail.find(holder) == std::string::npos ? 3 : 0);
  }
  int status = 0;
  waitpid(child, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_NE(WEXITSTATUS(status), 1) << "another process opened a held port";
  EXPECT_EQ(WEXITSTATUS(status), 0) << "2: not refused as in use; 3: the holder not named";

  first.Disconnect();
  EXPECT_TRUE(second.Connect());
}

TEST_F(PtyTest, TheFarEndClosingMidSessionEndsQuietly) {
  auto pty = std::make_unique<Pty>();
  TSerialDriver drv(tk);
  drv.SetPortName(pty->slave);
  int calls = 0;
  drv.SetOnReceiveData([&](TSerialDriver*, const char*, uint32_t) { ++calls; });
  ASSERT_TRUE(drv.Connect());
  ASSERT_EQ(write(pty->master, "half a re", 9), 9);
  toolkit::WaitMilliseconds(tk, 120);
  pty.reset();  // the master closes
  testing_support::CountingToolkit counting(tk);
  toolkit::WaitMilliseconds(counting, 500);
  EXPECT_EQ(calls, 1);
  EXPECT_FALSE(drv.Connected());
  // A hung-up device that kept waking the loop would make thousands of passes.
  EXPECT_LT(counting.passes, 100u);
  EXPECT_FALSE(drv.SendString("AT\r"));
}

TEST_F(PtyTest, BadPathsFailCleanly) {
  const testing_support::ScratchDir scratch;
  const std::string dir = scratch.path().string();
  const std::string file = dir + "/plain";
  { FILE* f = fopen(file.c_str(), "w"); fputs("x", f); fclose(f); }
  using P = OpenProblem;
  std::vector<std::pair<std::string, OpenProblem>> bad = {
      {"", P::NoSuchPort},           {std::string(4096, 'a'), P::NoSuchPort},
      {dir, P::Other},               {file, P::Other},
      {"/dev/null", P::Other},       {"\\\\.\\COM2", P::NoSuchPort},
      {"/dev/zorvik-no-such-port", P::NoSuchPort}, {"ttyzorvik-none", P::NoSuchPort}};
  Pty locked;
  chmod(locked.slave.c_str(), 0);
  if (geteuid() != 0) bad.emplace_back(locked.slave, P::NoPermission);
  const int fds = OpenDescriptors();
  for (const auto& [path, problem] : bad) {
    TSerialDriver drv(tk);
    drv.SetPortName(path);
    EXPECT_FALSE(drv.Connect()) << path.substr(0, 40);
    EXPECT_FALSE(drv.Connected());
    EXPECT_EQ(drv.LastOpenFailure().problem, problem) << path.substr(0, 40);
  }
  EXPECT_EQ(OpenDescriptors(), fds);
  // Nothing is left locked: the file can be taken by anyone now.
  const int fd = open(file.c_str(), O_RDWR);
  EXPECT_EQ(flock(fd, LOCK_EX | LOCK_NB), 0);
  close(fd);
}

// A device only its group may open: the refusal names that group, which
// the operator must join. Root may open anything, so as root the attempt
// is made by a child that has become nobody.
TEST_F(PtyTest, ADeviceOfAnotherGroupIsRefusedNamingTheGroup) {
  Pty pty;
  ASSERT_EQ(chmod(pty.slave.c_str(), 0060), 0);  // not even its owner
  struct stat st {};
  ASSERT_EQ(stat(pty.slave.c_str(), &st), 0);
  const group* owner = getgrgid(st.st_gid);
  ASSERT_NE(owner, nullptr);
  const std::string expected = owner->gr_name;
  const pid_t child = fork();
  if (child == 0) {
    if (geteuid() == 0 && (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0)) _exit(4);
    OpenFailure why;
    if (SystemSerialPlatform().Open(pty.slave, why)) _exit(1);
    _exit(why.problem != OpenProblem::NoPermission ? 2 : why.detail != expected ? 3 : 0);
  }
  int status = 0;
  waitpid(child, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "1: opened; 2: not refused for permission; 3: not naming " << expected
                                    << "; 4: could not become nobody";
}
