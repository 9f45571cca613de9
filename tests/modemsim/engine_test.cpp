// The emulated modem on its own, in virtual time: the behaviour the set-up
// and the dialler rely on. A fault here would hide a fault in the program.
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "modemsim/engine.h"
#include "testing/sim_toolkit.h"

using namespace modemsim;

namespace {

class TkClock final : public Clock {
 public:
  explicit TkClock(toolkit::SimToolkit& tk) : tk_(tk) {}
  uint64_t NowUs() const override { return tk_.NowUs(); }
  TimerId CallIn(uint64_t us, std::function<void()> a) override { return tk_.ScheduleIn(us, std::move(a)); }
  void Cancel(TimerId id) override { tk_.Cancel(id); }

 private:
  toolkit::SimToolkit& tk_;
};

// What the modem put on the line, with the time each piece left.
class Recorder final : public Line {
 public:
  explicit Recorder(toolkit::SimToolkit& tk) : tk_(tk) {}
  void Send(const std::string& bytes, uint32_t) override {
    all += bytes;
    pieces.push_back({tk_.NowUs(), bytes});
  }
  uint64_t ByteTimeUs() const override { return 1146; }  // 9600 bit/s, 11 bits
  void Drop() override { dropped = true; }
  std::string Take() {
    std::string s;
    s.swap(all);
    return s;
  }
  std::string all;
  std::vector<std::pair<uint64_t, std::string>> pieces;
  bool dropped = false;

 private:
  toolkit::SimToolkit& tk_;
};

struct Bench {
  explicit Bench(Settings s = {}) : clock(tk), line(tk), modem(clock, line, std::move(s)) {}
  // Types a line and lets ms pass; returns everything the modem sent meanwhile.
  std::string Say(const std::string& text, uint64_t ms = 50) {
    modem.Receive(text);
    tk.Sleep(ms * 1000);
    return line.Take();
  }
  void Wait(uint64_t ms) { tk.Sleep(ms * 1000); }
  toolkit::SimToolkit tk;
  TkClock clock;
  Recorder line;
  Engine modem;
};

}  // namespace

TEST(ModemEngine, EchoesTheCommandAndFramesVerboseResults) {
  Bench b;
  EXPECT_EQ(b.Say("ATI\r"), "ATI\r\r\nSIEMENS\r\nC35i\r\nREVISION 01.05\r\n\r\nOK\r\n");
  // Input is case-insensitive; the echo gives back what was typed.
  EXPECT_EQ(b.Say("ati\r"), "ati\r\r\nSIEMENS\r\nC35i\r\nREVISION 01.05\r\n\r\nOK\r\n");
  // A command arriving byte by byte, with noise before the AT, is one command.
  for (char c : std::string("\n\0xAt+cSnS?", 11)) b.modem.Receive(std::string(1, c));
  EXPECT_EQ(b.Say("\r"), std::string("\n\0xAt+cSnS?\r\r\n+CSNS: 0\r\n\r\nOK\r\n", 30));
  EXPECT_EQ(b.Say("AT+FOO\r"), "AT+FOO\r\r\nERROR\r\n");
  EXPECT_EQ(b.Say("ATS0=1Q\r"), "ATS0=1Q\r\r\nOK\r\n");
  EXPECT_EQ(b.Say("ATS0=256\r"), "ATS0=256\r\r\nERROR\r\n");
  EXPECT_EQ(b.Say("ATE0\r"), "ATE0\r\r\nOK\r\n");  // its own line is still echoed
  EXPECT_EQ(b.Say("AT\r"), "\r\nOK\r\n");
  // Another model is presented as ordered.
  Settings other;
  other.model = "TC35";
  Bench m(other);
  EXPECT_EQ(m.Say("ATI\r"), "ATI\r\r\nSIEMENS\r\nTC35\r\nREVISION 01.05\r\n\r\nOK\r\n");
}

TEST(ModemEngine, PinPukStateMachine) {
  Settings s;
  s.pinCheckMs = 3000;
  Bench b(s);
  EXPECT_EQ(b.Say("AT+CPIN?\r"), "AT+CPIN?\r\r\n+CPIN: SIM PIN\r\n\r\nOK\r\n");
  // The card takes its time: only the echo at first, the verdict 3 s later.
  EXPECT_EQ(b.Say("AT+CPIN=1111\r", 2900), "AT+CPIN=1111\r");
  EXPECT_EQ(b.Say("", 200), "\r\nERROR\r\n");
  EXPECT_EQ(b.Say("AT+CPIN?\r"), "AT+CPIN?\r\r\n+CPIN: SIM PIN\r\n\r\nOK\r\n");
  EXPECT_EQ(b.Say("AT+CPIN=2222\r", 3100), "AT+CPIN=2222\r\r\nERROR\r\n");
  EXPECT_EQ(b.Say("AT+CPIN=\"3333\"\r", 3100), "AT+CPIN=\"3333\"\r\r\nERROR\r\n");
  // Three wrong PINs: the card wants its PUK, and the right PIN no longer helps.
  EXPECT_EQ(b.Say("AT+CPIN?\r"), "AT+CPIN?\r\r\n+CPIN: SIM PUK\r\n\r\nOK\r\n");
  EXPECT_EQ(b.Say("AT+CPIN=4739\r", 3100), "AT+CPIN=4739\r\r\nERROR\r\n");
  EXPECT_EQ(b.Say("AT+CPIN=12345678,1234\r", 3100), "AT+CPIN=12345678,1234\r\r\nERROR\r\n");
  EXPECT_EQ(b.Say("AT+CPIN?\r"), "AT+CPIN?\r\r\n+CPIN: SIM PUK\r\n\r\nOK\r\n");
  // The PUK with a new PIN unlocks it; the new PIN is the card's PIN from now on.
  EXPECT_EQ(b.Say("AT+CPIN=31570946,1234\r", 3100), "AT+CPIN=31570946,1234\r\r\nOK\r\n");
  EXPECT_EQ(b.Say("AT+CPIN?\r"), "AT+CPIN?\r\r\n+CPIN: READY\r\n\r\nOK\r\n");
  EXPECT_EQ(b.modem.Sim().pin, "1234");
  // Nothing is asked for now: a PIN is refused at once.
  EXPECT_EQ(b.Say("AT+CPIN=1234\r"), "AT+CPIN=1234\r\r\nERROR\r\n");

  // The PIN request switched off (quoted or not) holds at the next power-up.
  EXPECT_EQ(b.Say("AT+CLCK=SC,0,4739\r", 1000), "AT+CLCK=SC,0,4739\r\r\nERROR\r\n");
  EXPECT_EQ(b.Say("AT+CLCK=\"SC\",0,\"1234\"\r", 1000), "AT+CLCK=\"SC\",0,\"1234\"\r\r\nOK\r\n");
  b.modem.PowerOff();
  b.modem.PowerOn();
  b.Wait(2000);
  b.line.Take();
  EXPECT_EQ(b.Say("AT+CPIN?\r"), "AT+CPIN?\r\r\n+CPIN: READY\r\n\r\nOK\r\n");

  // While the PIN is asked for, the card refuses to switch its request.
  Bench p;
  EXPECT_EQ(p.Say("AT+CLCK=SC,0,4739\r", 1000), "AT+CLCK=SC,0,4739\r\r\nERROR\r\n");
  EXPECT_EQ(p.Say("AT+CPIN=4739\r", 2100), "AT+CPIN=4739\r\r\nOK\r\n");
  p.modem.PowerOff();
  p.modem.PowerOn();
  p.Wait(2000);
  p.line.Take();
  // Unlocked once, asked again at the next power-up: the request was left on.
  EXPECT_EQ(p.Say("AT+CPIN?\r"), "AT+CPIN?\r\r\n+CPIN: SIM PIN\r\n\r\nOK\r\n");
}

TEST(ModemEngine, SwitchesOffOnSmsoAndReportsSysstartOnPowerOn) {
  Settings s;
  s.shutdownMs = 1500;
  s.bootMs = 1000;
  Bench b(s);
  EXPECT_EQ(b.Say("AT^SMSO\r", 1400), "AT^SMSO\r\r\n^SMSO: MS OFF\r\n\r\nOK\r\n");
  EXPECT_TRUE(b.modem.PoweredOn());
  EXPECT_EQ(b.Say("", 200), "\r\n^SHUTDOWN\r\n");
  EXPECT_FALSE(b.modem.PoweredOn());
  // Off: silence, whatever comes.
  EXPECT_EQ(b.Say("ATI\r", 60'000), "");
  b.modem.PowerOn();
  EXPECT_EQ(b.Say("ATI\r", 900), "");  // still booting
  EXPECT_EQ(b.Say("", 200), "^SYSSTART\r\n");
  EXPECT_EQ(b.Say("ATI\r"), "ATI\r\r\nSIEMENS\r\nC35i\r\nREVISION 01.05\r\n\r\nOK\r\n");

  // A modem in autobaud does not know the rate at power-up and says nothing.
  Settings a;
  a.rate = 0;
  Bench ab(a);
  ab.modem.PowerOff();
  ab.modem.PowerOn();
  EXPECT_EQ(ab.Say("", 5000), "");
  EXPECT_EQ(ab.Say("AT\r"), "AT\r\r\nOK\r\n");
  // Fixing the rate makes the next power-up report again.
  EXPECT_EQ(ab.Say("AT+IPR=9600\r"), "AT+IPR=9600\r\r\nOK\r\n");
  EXPECT_EQ(ab.Say("AT^SMSO\r", 3000), "AT^SMSO\r\r\n^SMSO: MS OFF\r\n\r\nOK\r\n\r\n^SHUTDOWN\r\n");
  ab.modem.PowerOn();
  EXPECT_EQ(ab.Say("", 2000), "^SYSSTART\r\n");

  // Ordered to come back by itself, it does, after the given time.
  Settings t;
  t.autoPowerOnMs = 10'000;
  Bench at(t);
  at.Say("AT^SMSO\r", 2000);
  EXPECT_EQ(at.Say("", 9900), "");
  EXPECT_EQ(at.Say("", 1000), "^SYSSTART\r\n");
  EXPECT_EQ(at.modem.PowerOns(), 1);
}

TEST(ModemEngine, StoredProfileSurvivesPowerCycleAndShowsInAndV) {
  Bench b;
  for (const char* cmd : {"AT&F\r", "AT&D0\r", "ATS0=1\r", "AT+CSNS=4\r", "AT+IPR=9600\r", "AT&W\r"})
    ASSERT_EQ(b.Say(cmd), std::string(cmd) + "\r\nOK\r\n");
  // Changed after AT&W: active now, lost at power-up.
  ASSERT_EQ(b.Say("AT&D1S0=3\r"), "AT&D1S0=3\r\r\nOK\r\n");
  b.modem.PowerOff();
  b.modem.PowerOn();
  b.Wait(2000);
  EXPECT_EQ(b.line.Take(), "^SYSSTART\r\n");
  EXPECT_EQ(b.Say("AT+CSNS?\r"), "AT+CSNS?\r\r\n+CSNS: 4\r\n\r\nOK\r\n");
  const std::string v = b.Say("AT&V\r");
  EXPECT_EQ(v.substr(0, 26), "AT&V\r\r\nACTIVE PROFILE:\r\nE1");
  EXPECT_NE(v.find("\r\nE1 Q0 V1 X4 &C1 &D0 &S0 \\Q0\r\nS0:001 S3:013 S4:010 S5:008 "), std::string::npos) << v;
  EXPECT_NE(v.find("\r\n+CSNS: 4\r\n"), std::string::npos) << v;
  EXPECT_NE(v.find("\r\n+IPR: 9600\r\n\r\nOK\r\n"), std::string::npos) << v;
  EXPECT_EQ(v.substr(v.size() - 6), "\r\nOK\r\n");

  // AT&F brings back the factory profile, but not the rate; ATZ the stored one.
  b.Say("AT&F\r");
  std::string f = b.Say("AT&V\r");
  EXPECT_NE(f.find("&D2 "), std::string::npos) << f;
  EXPECT_NE(f.find("S0:000 "), std::string::npos) << f;
  EXPECT_NE(f.find("+CSNS: 0\r\n"), std::string::npos) << f;
  EXPECT_NE(f.find("+IPR: 9600\r\n"), std::string::npos) << f;
  b.Say("ATZ\r");
  EXPECT_NE(b.Say("AT&V\r").find("&D0 "), std::string::npos);

  // Without AT&W nothing of it survives.
  Bench n;
  n.Say("ATS0=1&D0\r");
  n.modem.PowerOff();
  n.modem.PowerOn();
  n.Wait(2000);
  n.line.Take();
  const std::string nv = n.Say("AT&V\r");
  EXPECT_NE(nv.find("&D2 "), std::string::npos) << nv;
  EXPECT_NE(nv.find("S0:000 "), std::string::npos) << nv;
}

TEST(ModemEngine, DialResultsAfterTheirDelay) {
  const std::pair<DialResult, std::string> cases[] = {
      {DialResult::Connect, "CONNECT 9600/RLP"},
      {DialResult::Busy, "BUSY"},
      {DialResult::NoCarrier, "NO CARRIER"},
      {DialResult::NoDialtone, "NO DIALTONE"},
  };
  for (const auto& [result, text] : cases) {
    Settings s;
    s.sim.pinRequest = false;
    s.dialResult = result;
    s.dialMs = 8000;
    Bench b(s);
    EXPECT_EQ(b.Say("ATDT0123456\r", 7900), "ATDT0123456\r") << text;
    EXPECT_EQ(b.Say("", 200), "\r\n" + text + "\r\n");
    EXPECT_EQ(b.modem.InDataMode(), result == DialResult::Connect) << text;
  }
  // With the SIM still locked there is no call.
  Bench locked;
  EXPECT_EQ(locked.Say("ATD123\r", 10'000), "ATD123\r\r\nERROR\r\n");
}

TEST(ModemEngine, EscapeNeedsAGuardSecondOfSilenceOnBothSides) {
  Settings s;
  s.sim.pinRequest = false;
  s.dialMs = 100;
  Bench b(s);
  std::string remote;
  b.modem.SetOnRemoteData([&](const std::string& d) { remote += d; });
  ASSERT_EQ(b.Say("ATD5\r", 200), "ATD5\r\r\nCONNECT 9600/RLP\r\n");

  // Data right before the "+++": no guard in front, so it is all data.
  b.Wait(300);
  EXPECT_EQ(b.Say("xy+++", 3000), "");
  // Data within a second after it: no escape either.
  b.Wait(1100);
  b.modem.Receive("+++");
  b.Wait(900);
  EXPECT_EQ(b.Say("z", 3000), "");
  EXPECT_TRUE(b.modem.InDataMode());
  EXPECT_EQ(remote, "xy++++++z");  // data mode: passed on, nothing echoed

  // Silence, "+++", silence: OK one guard time after the last "+".
  b.Wait(1100);
  EXPECT_EQ(b.Say("+++", 990), "");
  EXPECT_EQ(b.Say("", 20), "\r\nOK\r\n");
  EXPECT_FALSE(b.modem.InDataMode());
  EXPECT_TRUE(b.modem.InCall());
  EXPECT_EQ(b.Say("ATH\r"), "ATH\r\r\nOK\r\n");
  EXPECT_FALSE(b.modem.InCall());
}

TEST(ModemEngine, FaultsShapeTheReplyAsOrdered) {
  const std::string ati = "ATI\r\r\nSIEMENS\r\nC35i\r\nREVISION 01.05\r\n\r\nOK\r\n";
  {  // pieces of 10 bytes, 300 ms of silence on the line between them
    Settings s;
    s.faults.pieceBytes = 10;
    s.faults.pieceGapMs = 300;
    Bench b(s);
    EXPECT_EQ(b.Say("ATI\r", 3000), ati);
    // What leaves at one moment is one piece.
    std::vector<std::pair<uint64_t, std::string>> pieces;
    for (const auto& [at, bytes] : b.line.pieces) {
      if (pieces.empty() || pieces.back().first != at) pieces.push_back({at, ""});
      pieces.back().second += bytes;
    }
    ASSERT_EQ(pieces.size(), 5u);
    for (size_t i = 0; i < 5; ++i) {
      EXPECT_EQ(pieces[i].second, ati.substr(i * 10, 10));
      if (i > 0) {
        EXPECT_EQ(pieces[i].first - pieces[i - 1].first, 10 * 1146 + 300'000u);
      }
    }
    // The next reply starts a piece of its own.
    b.line.pieces.clear();
    EXPECT_EQ(b.Say("ATI\r", 3000), ati);
    std::string first;
    for (const auto& [at, bytes] : b.line.pieces)
      if (at == b.line.pieces.front().first) first += bytes;
    EXPECT_EQ(first, ati.substr(0, 10));
  }
  {  // everything late, the echo too
    Settings s;
    s.faults.answerDelayMs = 4000;
    Bench b(s);
    EXPECT_EQ(b.Say("ATI\r", 3990), "");
    EXPECT_EQ(b.Say("", 20), ati);
  }
  {  // the echo at once, the response late
    Settings s;
    s.faults.resultDelayMs = 1500;
    Bench b(s);
    EXPECT_EQ(b.Say("ATI\r", 1490), "ATI\r");
    EXPECT_EQ(b.Say("", 20), ati.substr(4));
  }
  {  // bytes in front of the response
    Settings s;
    s.faults.noise = std::string("\0\0\xFF", 3);
    Bench b(s);
    EXPECT_EQ(b.Say("ATI\r"), "ATI\r" + std::string("\0\0\xFF", 3) + ati.substr(4));
  }
  {  // no answer at all
    Settings s;
    s.faults.silent = true;
    Bench b(s);
    EXPECT_EQ(b.Say("ATI\r", 10'000), "");
    EXPECT_TRUE(b.modem.Commands().empty());
  }
  {  // a flood at the line rate that does not stop, with no text in it
    Settings s;
    s.faults.flood = true;
    Bench b(s);
    b.Say("AT\r");
    const std::string tenSeconds = b.Say("", 10'000);
    EXPECT_GT(tenSeconds.size(), 8000u);  // 8726 bytes fit in 10 s
    EXPECT_LE(tenSeconds.size(), 8800u);
    EXPECT_EQ(tenSeconds.find_first_of("OKERSYT\r\n"), std::string::npos);
    b.Wait(60'000);
    b.line.Take();
    EXPECT_GT(b.Say("", 1000).size(), 800u);
  }
}
