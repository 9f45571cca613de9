#include "modemsim/options.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>

namespace modemsim {

ProgramOptions::ProgramOptions() {
  // Nobody presses a power button on a pseudo-terminal: come back by itself,
  // late enough for the set-up's power-off wait and prompts to pass first.
  settings.autoPowerOnMs = 15000;
}

namespace {

bool Seconds(const std::string& text, uint32_t& ms) {
  char* end = nullptr;
  const double s = std::strtod(text.c_str(), &end);
  if (text.empty() || *end || !(s >= 0) || s > 86400) return false;
  ms = uint32_t(std::lround(s * 1000));
  return true;
}

bool Count(const std::string& text, uint64_t& n) {
  if (text.empty() || text.size() > 9) return false;
  n = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    n = n * 10 + uint64_t(c - '0');
  }
  return true;
}

}  // namespace

bool ParseOptions(const std::vector<std::string>& args, ProgramOptions& o, std::string& error) {
  Settings& s = o.settings;
  Faults& f = s.faults;
  for (size_t i = 0; i < args.size(); ++i) {
    std::string name = args[i], value;
    bool hasValue = false;
    const size_t eq = name.find('=');
    if (eq != std::string::npos) {
      value = name.substr(eq + 1);
      name.resize(eq);
      hasValue = true;
    }
    auto need = [&]() -> bool {
      if (hasValue) return true;
      if (i + 1 >= args.size()) {
        error = name + " needs a value";
        return false;
      }
      value = args[++i];
      hasValue = true;
      return true;
    };
    auto bad = [&] {
      error = "bad value for " + name + ": " + value;
      return false;
    };
    uint64_t n = 0;
    if (name == "-h" || name == "--help") {
      o.help = true;
    } else if (name == "--log") {
      o.log = true;
    } else if (name == "--loopback") {
      o.loopback = true;
    } else if (name == "--off") {
      s.startOn = false;
    } else if (name == "--silent") {
      f.silent = true;
    } else if (name == "--flood") {
      f.flood = true;
    } else if (name == "--stream") {
      if (value.empty()) {
        f.streamMs = 100;
      } else if (value == "full") {
        f.streamMs = 1;
      } else {
        if (!Count(value, n) || n == 0 || n > 3'600'000) return bad();
        f.streamMs = uint32_t(n);
      }
    } else if (name == "--link") {
      if (!need()) return false;
      o.link = value;
    } else if (name == "--maker") {
      if (!need()) return false;
      s.manufacturer = value;
    } else if (name == "--model") {
      if (!need()) return false;
      s.model = value;
    } else if (name == "--revision") {
      if (!need()) return false;
      s.revision = value;
    } else if (name == "--pin") {
      if (!need()) return false;
      s.sim.pin = value;
    } else if (name == "--puk") {
      if (!need()) return false;
      s.sim.puk = value;
    } else if (name == "--sim") {
      if (!need()) return false;
      if (value == "pin") {
        s.sim.pinRequest = true;
      } else if (value == "ready") {
        s.sim.pinRequest = false;
      } else if (value == "puk") {
        s.sim.pinTries = 0;
      } else if (value == "blocked") {
        s.sim.pinTries = 0;
        s.sim.pukTries = 0;
      } else if (value == "absent") {
        s.sim.inserted = false;
      } else {
        return bad();
      }
    } else if (name == "--pin-tries") {
      if (!need()) return false;
      if (!Count(value, n) || n > 3) return bad();
      s.sim.pinTries = int(n);
    } else if (name == "--pin-delay") {
      if (!need()) return false;
      if (!Seconds(value, s.pinCheckMs)) return bad();
    } else if (name == "--rate") {
      if (!need()) return false;
      if (!Count(value, n) || n > 115200) return bad();
      s.rate = uint32_t(n);
    } else if (name == "--dial") {
      if (!need()) return false;
      if (value == "connect") s.dialResult = DialResult::Connect;
      else if (value == "busy") s.dialResult = DialResult::Busy;
      else if (value == "no-carrier") s.dialResult = DialResult::NoCarrier;
      else if (value == "no-dialtone") s.dialResult = DialResult::NoDialtone;
      else if (value == "no-answer") s.dialResult = DialResult::NoAnswer;
      else if (value == "silent") s.dialResult = DialResult::Silent;
      else return bad();
    } else if (name == "--connect-text") {
      if (!need()) return false;
      s.connectText = value;
    } else if (name == "--dial-delay") {
      if (!need()) return false;
      if (!Seconds(value, s.dialMs)) return bad();
    } else if (name == "--power-on-after") {
      if (!need()) return false;
      if (!Seconds(value, s.autoPowerOnMs)) return bad();
    } else if (name == "--boot-time") {
      if (!need()) return false;
      if (!Seconds(value, s.bootMs)) return bad();
    } else if (name == "--shutdown-delay") {
      if (!need()) return false;
      if (!Seconds(value, s.shutdownMs)) return bad();
    } else if (name == "--answer-delay") {
      if (!need()) return false;
      if (!Seconds(value, f.answerDelayMs)) return bad();
    } else if (name == "--result-delay") {
      if (!need()) return false;
      if (!Seconds(value, f.resultDelayMs)) return bad();
    } else if (name == "--pieces") {
      if (!need()) return false;
      const size_t colon = value.find(':');
      if (!Count(value.substr(0, colon), n) || n == 0) return bad();
      f.pieceBytes = size_t(n);
      f.pieceGapMs = 300;
      if (colon != std::string::npos) {
        if (!Count(value.substr(colon + 1), n)) return bad();
        f.pieceGapMs = uint32_t(n);
      }
    } else if (name == "--garbage") {
      if (!need()) return false;
      if (!Count(value, n) || n > 4096) return bad();
      uint32_t seed = 1;
      f.noise += Garbage(size_t(n), seed);
    } else if (name == "--nul") {
      if (!need()) return false;
      if (!Count(value, n) || n > 4096) return bad();
      f.noise += std::string(size_t(n), '\0');
    } else if (name == "--drop-on") {
      if (!need()) return false;
      const size_t colon = value.rfind(':');
      f.dropOn = value.substr(0, colon);
      f.dropAfterBytes = 0;
      if (colon != std::string::npos) {
        if (!Count(value.substr(colon + 1), n)) return bad();
        f.dropAfterBytes = size_t(n);
      }
      if (f.dropOn.empty()) return bad();
    } else {
      error = "unknown option " + name + " (see --help)";
      return false;
    }
  }
  return true;
}

std::string HelpText() {
  return R"(Usage: zorvik-modemsim [options]

A GSM data modem (SIEMENS C35i) on a pseudo-terminal. Prints the path of the
terminal on the first line of its output; open that path as the serial port.
Type on its standard input: "on" and "off" (power), "ring" (an incoming
call), "hangup" (the far end of a call hangs up), "quit".
SIGUSR1 powers the modem on, SIGUSR2 cuts its power; SIGINT and SIGTERM end it.

  --link=PATH            also make PATH a symlink to the terminal (removed at exit)
  --log                  show commands and events on standard error
  --off                  start switched off ("on" or SIGUSR1 switches it on)

The modem:
  --maker=TEXT           first line of ATI (default SIEMENS)
  --model=TEXT           second line of ATI (default C35i)
  --revision=TEXT        ATI's "REVISION" (default 01.05)
  --rate=N               fixed line rate (+IPR) at the start, 0 for autobaud
                         (default 9600); at another rate the modem mishears
  --power-on-after=SEC   after ^SHUTDOWN power on by itself (default 15, 0 never)
  --boot-time=SEC        power-on to ^SYSSTART (default 1)
  --shutdown-delay=SEC   AT^SMSO's OK to ^SHUTDOWN (default 1.5)

The SIM card:
  --pin=CODE             its PIN (default 4739)
  --puk=CODE             its PUK (default 31570946)
  --sim=STATE            at power-up: pin (asks for the PIN, default), ready,
                         puk (asks for the PUK), blocked, absent
  --pin-tries=N          PIN tries left, 0 to 3 (default 3)
  --pin-delay=SEC        time the card takes to check a code (default 2)

Data calls (ATD):
  --dial=RESULT          connect (default), busy, no-carrier, no-dialtone,
                         no-answer, silent (no result at all)
  --connect-text=TEXT    default "CONNECT 9600/RLP"
  --dial-delay=SEC       ATD to its result (default 6)
  --loopback             the far end sends back the data it gets

Faults:
  --silent               answer nothing at all, no echo either
  --answer-delay=SEC     everything the modem sends leaves this much later
  --result-delay=SEC     the echo comes at once, the response this much later
  --pieces=N[:MS]        responses in pieces of N bytes with MS ms of silence
                         between them (default 300)
  --garbage=N            N garbage bytes (NUL and bytes above 127) in front of
                         every response
  --nul=N                N NUL bytes in front of every response
  --flood                from the first command on, garbage without end
  --stream[=MS|full]     not a modem: a GPS receiver sending an NMEA line every
                         MS ms (default 100; full: back to back at the line's
                         rate) and answering nothing
  --drop-on=TEXT[:N]     close the terminal after N bytes (default 0) of the
                         response to the first command containing TEXT; the
                         program then ends
)";
}

}  // namespace modemsim
