// zorvik-modemsim: the modem emulator on a pseudo-terminal, in real time.
// The program under test opens the slave side like a serial port; the
// engine runs on the master side in a poll() loop.
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <sys/stat.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "modemsim/due_actions.h"
#include "modemsim/engine.h"
#include "modemsim/options.h"
#include "modemsim/pty_line_settings.h"
#include "serial/line_time.h"

namespace {

using modemsim::Clock;

uint64_t MonotonicUs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return uint64_t(ts.tv_sec) * 1'000'000 + uint64_t(ts.tv_nsec) / 1000;
}

class RealClock final : public Clock {
 public:
  uint64_t NowUs() const override { return MonotonicUs() - start_; }
  TimerId CallIn(uint64_t us, std::function<void()> action) override { return due_.Add(NowUs() + us, std::move(action)); }
  void Cancel(TimerId id) override { due_.Cancel(id); }
  void RunDue() {
    due_.RunDue([this] { return NowUs(); });
  }
  // Microseconds until the next action, or -1 when none is waiting.
  int64_t UntilNext() const {
    const std::optional<uint64_t> at = due_.Next();
    if (!at) return -1;
    const uint64_t now = NowUs();
    return *at > now ? int64_t(*at - now) : 0;
  }

 private:
  uint64_t start_ = MonotonicUs();
  modemsim::DueActions due_;
};

std::string Printable(const std::string& bytes) {
  std::string out;
  for (unsigned char c : bytes) {
    if (c == '\r') out += "\\r";
    else if (c == '\n') out += "\\n";
    else if (c < 0x20 || c >= 0x7F) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\x%02X", c);
      out += buf;
    } else {
      out.push_back(char(c));
    }
  }
  return out;
}

// The master side of the pty as the modem's line. Bytes leave at the line
// rate the program set on its side, so that replies take their real time.
class PtyLine final : public modemsim::Line {
 public:
  PtyLine(int master, const RealClock& clock, bool log) : master_(master), clock_(clock), log_(log) {}

  void Send(const std::string& bytes, uint32_t rate) override {
    if (master_ < 0 || !peer_) return;  // nobody on the line: the bytes are lost
    Refresh();
    const std::string& wire = Heard(rate) ? bytes : modemsim::Misheard(bytes);
    const uint64_t byteUs = ByteTimeUs();
    uint64_t at = std::max(lineFreeUs_, clock_.NowUs());
    for (char c : wire) {
      at += byteUs;
      out_.emplace_back(at, c);
    }
    lineFreeUs_ = at;
    // A reader that is not reading must not make us hoard without end.
    while (out_.size() > kMaxQueued) out_.pop_front();
  }
  // Whether the two ends agree on rate and framing (8 bits, no parity; a
  // second stop bit is only a longer pause). Rate 0: autobaud, any rate.
  bool Heard(uint32_t modemRate) const { return bits_ == 8 && !parity_ && (modemRate == 0 || modemRate == speed_); }
  uint64_t ByteTimeUs() const override {
    return serial::CharacterTimeUs(speed_, bits_, parity_, 2 * stopBits_);
  }
  // The line goes once what was sent before has crossed it.
  void Drop() override { dropPending_ = true; }

  // The program's side of the line settings, as it set them on the slave.
  void Refresh() {
    modemsim::PtyLineSettings line;
    if (master_ < 0 || !modemsim::ReadPtyLineSettings(master_, line)) return;
    speed_ = line.rate;
    bits_ = line.dataBits;
    parity_ = line.parity != 'N';
    stopBits_ = line.stopBits;
  }

  // Writes what is due; returns whether bytes wait for room in the pty.
  // A line ordered to drop goes when its last byte is out.
  bool Flush() {
    const bool waiting = Write();
    if (dropPending_ && (out_.empty() || !peer_)) {
      if (master_ >= 0) close(master_);
      master_ = -1;
      out_.clear();
      dropped_ = true;
    }
    return waiting;
  }
  bool Write() {
    if (master_ < 0 || !peer_) {
      out_.clear();
      return false;
    }
    const uint64_t now = clock_.NowUs();
    std::string chunk;
    for (const auto& [at, c] : out_) {
      if (at > now) break;
      chunk.push_back(c);
    }
    if (chunk.empty()) return false;
    const ssize_t n = write(master_, chunk.data(), chunk.size());
    if (n > 0) {
      out_.erase(out_.begin(), out_.begin() + n);
      if (log_) logged_ += chunk.substr(0, size_t(n));
    }
    return n < ssize_t(chunk.size());
  }
  // What went out since the last call, as one log line.
  void LogSent() {
    if (logged_.empty()) return;
    std::fprintf(stderr, "modem> %s\n", Printable(logged_).c_str());
    logged_.clear();
  }
  int64_t UntilNextByte() const {
    if (out_.empty() || !peer_) return -1;
    const uint64_t now = clock_.NowUs(), at = out_.front().first;
    return at > now ? int64_t(at - now) : 0;
  }

  void SetPeer(bool present) {
    peer_ = present;
    if (!present) out_.clear();
  }
  bool Peer() const { return peer_; }
  bool Dropped() const { return dropped_; }
  int Fd() const { return master_; }

 private:
  static constexpr size_t kMaxQueued = 64 * 1024;
  int master_;
  const RealClock& clock_;
  bool log_;
  bool peer_ = false, dropped_ = false, dropPending_ = false;
  uint32_t speed_ = 9600, bits_ = 8, stopBits_ = 1;
  bool parity_ = false;
  uint64_t lineFreeUs_ = 0;
  std::deque<std::pair<uint64_t, char>> out_;
  std::string logged_;
};

// Whether a program has the slave open now (the master reports a hang-up
// for as long as nobody does).
bool PeerPresent(int master) {
  pollfd p{master, POLLIN, 0};
  if (poll(&p, 1, 0) < 0) return false;
  return !(p.revents & POLLHUP);
}

}  // namespace

int main(int argc, char** argv) {
  modemsim::ProgramOptions opt;
  std::string error;
  if (!modemsim::ParseOptions(std::vector<std::string>(argv + 1, argv + argc), opt, error)) {
    std::fprintf(stderr, "zorvik-modemsim: %s\n", error.c_str());
    return 2;
  }
  if (opt.help) {
    std::fputs(modemsim::HelpText().c_str(), stdout);
    return 0;
  }

  int master = -1, slave = -1;
  char name[256] = {};
  if (openpty(&master, &slave, name, nullptr, nullptr) != 0) {
    std::fprintf(stderr, "zorvik-modemsim: openpty: %s\n", std::strerror(errno));
    return 1;
  }
  termios t{};
  tcgetattr(slave, &t);
  cfmakeraw(&t);
  t.c_cflag |= CLOCAL | CREAD;
  cfsetispeed(&t, B9600);
  cfsetospeed(&t, B9600);
  tcsetattr(slave, TCSANOW, &t);
  // The settings stay with the pty; the slave itself is the program's to open.
  close(slave);
  fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
  fcntl(master, F_SETFD, FD_CLOEXEC);

  if (!opt.link.empty()) {
    struct stat st{};
    if (lstat(opt.link.c_str(), &st) == 0) {
      if (!S_ISLNK(st.st_mode)) {
        std::fprintf(stderr, "zorvik-modemsim: %s exists and is not a symlink\n", opt.link.c_str());
        return 1;
      }
      unlink(opt.link.c_str());
    }
    if (symlink(name, opt.link.c_str()) != 0) {
      std::fprintf(stderr, "zorvik-modemsim: symlink %s: %s\n", opt.link.c_str(), std::strerror(errno));
      return 1;
    }
  }
  std::printf("%s\n", name);
  std::fflush(stdout);

  sigset_t mask;
  sigemptyset(&mask);
  for (int s : {SIGINT, SIGTERM, SIGHUP, SIGUSR1, SIGUSR2}) sigaddset(&mask, s);
  sigprocmask(SIG_BLOCK, &mask, nullptr);
  signal(SIGPIPE, SIG_IGN);
  // Started in the background of a terminal: reading the console gives EIO
  // instead of stopping the emulator.
  signal(SIGTTIN, SIG_IGN);
  const int sigfd = signalfd(-1, &mask, SFD_CLOEXEC | SFD_NONBLOCK);

  RealClock clock;
  PtyLine line(master, clock, opt.log);
  modemsim::Engine engine(clock, line, opt.settings);
  auto note = [&](const std::string& text) {
    if (opt.log) std::fprintf(stderr, "[%8.3f] %s\n", double(clock.NowUs()) / 1e6, text.c_str());
  };
  engine.onEvent = note;
  if (opt.loopback) engine.SetOnRemoteData([&](const std::string& d) { engine.SendFromRemote(d); });

  bool stdinOpen = true, running = true;
  std::string stdinLine;
  bool waitingRoom = false;
  while (running && !line.Dropped()) {
    clock.RunDue();
    if (line.Dropped()) break;
    if (!line.Peer() && PeerPresent(master)) {
      line.SetPeer(true);
      line.Refresh();
      note("port opened");
    }
    waitingRoom = line.Flush();
    if (line.Dropped()) break;

    int64_t waitUs = clock.UntilNext();
    auto sooner = [&](int64_t us) {
      if (us >= 0 && (waitUs < 0 || us < waitUs)) waitUs = us;
    };
    if (!waitingRoom) sooner(line.UntilNextByte());
    // The master reports a hang-up all along while the slave is closed, so
    // it is left out of the poll then and looked at again every 100 ms.
    if (!line.Peer()) sooner(100'000);
    const int timeoutMs = waitUs < 0 ? -1 : int((waitUs + 999) / 1000);
    if (timeoutMs < 0 || timeoutMs > 20) line.LogSent();

    std::vector<pollfd> fds;
    fds.push_back({sigfd, POLLIN, 0});
    if (stdinOpen) fds.push_back({STDIN_FILENO, POLLIN, 0});
    const size_t masterAt = fds.size();
    if (line.Peer()) fds.push_back({master, short(POLLIN | (waitingRoom ? POLLOUT : 0)), 0});
    if (poll(fds.data(), nfds_t(fds.size()), timeoutMs) < 0) {
      if (errno == EINTR) continue;
      std::fprintf(stderr, "zorvik-modemsim: poll: %s\n", std::strerror(errno));
      break;
    }

    if (fds[0].revents & POLLIN) {
      signalfd_siginfo si{};
      while (read(sigfd, &si, sizeof si) == ssize_t(sizeof si)) {
        if (si.ssi_signo == SIGUSR1) engine.PowerOn();
        else if (si.ssi_signo == SIGUSR2) engine.PowerOff();
        else running = false;
      }
    }
    if (stdinOpen && (fds[1].revents & (POLLIN | POLLHUP))) {
      char buf[256];
      const ssize_t n = read(STDIN_FILENO, buf, sizeof buf);
      if (n <= 0) {
        stdinOpen = false;  // no console: signals only
      } else {
        stdinLine.append(buf, size_t(n));
        size_t nl;
        while ((nl = stdinLine.find('\n')) != std::string::npos) {
          std::string cmd = stdinLine.substr(0, nl);
          stdinLine.erase(0, nl + 1);
          while (!cmd.empty() && (cmd.back() == '\r' || cmd.back() == ' ')) cmd.pop_back();
          if (cmd == "on") engine.PowerOn();
          else if (cmd == "off") engine.PowerOff();
          else if (cmd == "ring") engine.IncomingCall();
          else if (cmd == "hangup") engine.RemoteHangUp();
          else if (cmd == "quit") running = false;
          else if (!cmd.empty()) std::fprintf(stderr, "commands: on, off, ring, hangup, quit\n");
        }
      }
    }
    if (masterAt < fds.size() && !line.Dropped()) {
      const short ev = fds[masterAt].revents;
      if (ev & POLLIN) {
        char buf[4096];
        const ssize_t n = read(master, buf, sizeof buf);
        if (n > 0) {
          const std::string bytes(buf, size_t(n));
          line.LogSent();
          if (opt.log) std::fprintf(stderr, "prog > %s\n", Printable(bytes).c_str());
          line.Refresh();
          engine.Receive(line.Heard(engine.Rate()) ? bytes : modemsim::Misheard(bytes));
        } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
          line.SetPeer(false);  // EIO: the program closed the port
          note("port closed");
        }
      } else if (ev & POLLHUP) {
        line.SetPeer(false);
        note("port closed");
      }
    }
  }

  const bool dropped = line.Dropped();
  if (!opt.link.empty()) unlink(opt.link.c_str());
  if (line.Fd() >= 0) close(line.Fd());
  if (sigfd >= 0) close(sigfd);
  if (dropped) std::fprintf(stderr, "zorvik-modemsim: line dropped\n");
  return 0;
}
