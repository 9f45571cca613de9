// zorvik-com-peer: the far end of the COM ports that the Windows tests open
// under Wine. For each name given it makes a pseudo-terminal, prints
// "NAME SLAVE-PATH" and serves the master side until stdin closes or a
// signal ends it. What the tests send is answered line by line (CR ends a
// line):
//   LINE?     "LINE <rate> <data bits> <N|O|E|M|S> <stop bits>": the line
//             settings as the program set them on its side, from tcgetattr
//   SEND n    n bytes 0, 1, ... 255, 0, 1 ... in one go
//   TAKE n    the next n bytes are taken as such a run and checked:
//             "TOOK n" when they were, "TOOK BAD AT k" at the first that was not
//   HOLD n    nothing is read for n ms (the program's writes back up); no answer
//   anything  "ECHO " and the line (its first 200 bytes)
// Every answer ends in CR LF.
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <utility>
#include <vector>

#include "modemsim/pty_line_settings.h"

namespace {

volatile sig_atomic_t stop = 0;

int64_t NowMs() {
  timespec t{};
  clock_gettime(CLOCK_MONOTONIC, &t);
  return int64_t(t.tv_sec) * 1000 + t.tv_nsec / 1'000'000;
}

std::string LineSettings(int fd) {
  modemsim::PtyLineSettings line;
  if (!modemsim::ReadPtyLineSettings(fd, line)) return "LINE ?";
  return "LINE " + std::to_string(line.rate) + " " + std::to_string(line.dataBits) + " " + line.parity + " " +
         std::to_string(line.stopBits);
}

struct Port {
  std::string name;
  int master = -1, slave = -1;
  std::string line, out;
  long taking = 0, taken = 0, bad = -1;  // a TAKE in progress
  int64_t holdUntilMs = 0;               // a HOLD in progress
};

void Answer(Port& p, const std::string& line) {
  if (line == "LINE?") {
    p.out += LineSettings(p.master) + "\r\n";
  } else if (line.rfind("TAKE ", 0) == 0) {
    p.taking = std::strtol(line.c_str() + 5, nullptr, 10);
    p.taken = 0;
    p.bad = -1;
  } else if (line.rfind("HOLD ", 0) == 0) {
    p.holdUntilMs = NowMs() + std::strtol(line.c_str() + 5, nullptr, 10);
  } else if (line.rfind("SEND ", 0) == 0) {
    const long n = std::strtol(line.c_str() + 5, nullptr, 10);
    for (long i = 0; i < n && i < 1'000'000; ++i) p.out.push_back(char(i & 0xFF));
  } else {
    p.out += "ECHO " + line.substr(0, 200) + "\r\n";
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s NAME...\n", argv[0]);
    return 2;
  }
  std::vector<Port> ports;
  for (int i = 1; i < argc; ++i) {
    Port p;
    p.name = argv[i];
    char path[256] = {};
    if (openpty(&p.master, &p.slave, path, nullptr, nullptr) != 0) {
      std::fprintf(stderr, "zorvik-com-peer: openpty: %s\n", std::strerror(errno));
      return 1;
    }
    // Start far from what the tests set, so that their settings show.
    termios t{};
    tcgetattr(p.slave, &t);
    cfmakeraw(&t);
    t.c_cflag |= CLOCAL | CREAD;
    cfsetispeed(&t, B115200);
    cfsetospeed(&t, B115200);
    tcsetattr(p.slave, TCSANOW, &t);
    // The slave stays open here as well: the master then never reports a
    // hang-up while the program under test has its port closed.
    fcntl(p.master, F_SETFL, fcntl(p.master, F_GETFL) | O_NONBLOCK);
    std::printf("%s %s\n", p.name.c_str(), path);
    ports.push_back(std::move(p));
  }
  std::fflush(stdout);

  struct sigaction sa{};
  sa.sa_handler = [](int) { stop = 1; };
  sigaction(SIGTERM, &sa, nullptr);
  sigaction(SIGINT, &sa, nullptr);
  signal(SIGPIPE, SIG_IGN);

  while (!stop) {
    std::vector<pollfd> fds{{STDIN_FILENO, POLLIN, 0}};
    int timeout = 1000;
    for (const Port& p : ports) {
      const bool holding = NowMs() < p.holdUntilMs;
      if (holding) timeout = 20;
      fds.push_back({p.master, short((holding ? 0 : POLLIN) | (p.out.empty() ? 0 : POLLOUT)), 0});
    }
    if (poll(fds.data(), fds.size(), timeout) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    if (fds[0].revents & (POLLIN | POLLHUP)) {
      char buf[64];
      if (read(STDIN_FILENO, buf, sizeof buf) <= 0) break;  // the harness is gone
    }
    for (size_t i = 0; i < ports.size(); ++i) {
      Port& p = ports[i];
      if (fds[i + 1].revents & POLLIN) {
        char buf[4096];
        const ssize_t n = read(p.master, buf, sizeof buf);
        for (ssize_t k = 0; k < n; ++k) {
          if (p.taken < p.taking) {
            if (p.bad < 0 && static_cast<unsigned char>(buf[k]) != (p.taken & 0xFF)) p.bad = p.taken;
            if (++p.taken == p.taking)
              p.out += (p.bad < 0 ? "TOOK " + std::to_string(p.taken) : "TOOK BAD AT " + std::to_string(p.bad)) + "\r\n";
            continue;
          }
          if (buf[k] == '\r') {
            Answer(p, p.line);
            p.line.clear();
          } else if (buf[k] != '\n' && p.line.size() < 4096) {
            p.line.push_back(buf[k]);
          }
        }
      }
      if (!p.out.empty()) {
        const ssize_t n = write(p.master, p.out.data(), p.out.size());
        if (n > 0) p.out.erase(0, size_t(n));
      }
    }
  }
  for (Port& p : ports) {
    close(p.master);
    close(p.slave);
  }
  return 0;
}
