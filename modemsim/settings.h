// The modem as ordered: its identity, its SIM card, its timings and the
// faults it is to show; and the settings a profile holds.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace modemsim {

struct SimCard {
  bool inserted = true;
  std::string pin = "4739";
  std::string puk = "31570946";
  bool pinRequest = true;  // asks for the PIN at power-up (AT+CLCK="SC")
  int pinTries = 3;        // left; 0: the card wants its PUK
  int pukTries = 10;       // left; 0: the card is blocked for good
};

enum class DialResult { Connect, Busy, NoCarrier, NoDialtone, NoAnswer, Silent };

// Faults to order. All off by default.
struct Faults {
  bool silent = false;         // answers nothing at all, echo included
  uint32_t answerDelayMs = 0;  // everything the modem sends leaves this much later
  uint32_t resultDelayMs = 0;  // the echo is prompt, the response comes this much later
  size_t pieceBytes = 0;       // responses leave in pieces of this many bytes…
  uint32_t pieceGapMs = 0;     // …with this much silence on the line between them
  std::string noise;           // sent in front of every response (garbage, NUL bytes)
  bool flood = false;          // from the first command on, bytes that never stop
  // Not a modem at all but a GPS receiver: an NMEA line every this many ms
  // (1: back to back at the line's rate), whatever is sent to it.
  uint32_t streamMs = 0;
  std::string dropOn;          // the line drops in the response to a command containing this…
  size_t dropAfterBytes = 0;   // …after this many bytes of the response
};

struct Settings {
  std::string manufacturer = "SIEMENS";
  std::string model = "C35i";
  std::string revision = "01.05";
  std::string imei = "350123456789012";
  SimCard sim;
  uint32_t pinCheckMs = 2000;  // SIM time to check a PIN or PUK
  uint32_t clckMs = 300;       // SIM time to switch the PIN request
  DialResult dialResult = DialResult::Connect;
  std::string connectText = "CONNECT 9600/RLP";
  uint32_t dialMs = 6000;       // ATD to its result
  uint32_t guardMs = 1000;      // silence around "+++"
  uint32_t rate = 9600;         // +IPR when the modem was shipped: 0 autobaud
  uint32_t bootMs = 1000;       // power-on to ^SYSSTART; input is ignored meanwhile
  uint32_t shutdownMs = 1500;   // AT^SMSO's OK to ^SHUTDOWN
  uint32_t autoPowerOnMs = 0;   // after ^SHUTDOWN it powers itself on; 0: only PowerOn()
  uint32_t ringPeriodMs = 3000;
  bool startOn = true;          // on and settled when the engine is made (no ^SYSSTART)
  Faults faults;
};

// The settings a profile holds (AT&F, AT&W, ATZ, AT&V).
struct Profile {
  int echo = 1, quiet = 0, verbose = 1, x = 4;
  int dcd = 1, dtr = 2, dsr = 0, flow = 0;  // &C &D &S \Q
  int cmee = 0, csns = 0, cr = 0, crc = 0;
  std::array<int, 3> cbst{7, 0, 1};
  std::array<int, 19> s{};  // S registers 0..18
  Profile() {
    s[3] = 13;  // CR
    s[4] = 10;  // LF
    s[5] = 8;   // BS
    s[7] = 60;
    s[10] = 2;
  }
};

}  // namespace modemsim
