// The GSM data modem on the far end of the line: a Siemens C35i-like modem
// that speaks AT commands. One engine, two ways to run it: attached to a
// simulated serial port in virtual time (sim_modem.h) and on a pseudo-terminal
// in real time (the zorvik-modemsim program). The engine knows neither: it
// takes the program's bytes through Receive, hands its own bytes to a Line and
// asks a Clock for every delay.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace modemsim {

// Status lines the modem drives towards the program.
enum StatusLine : uint32_t { kCts = 1, kDsr = 2, kDcd = 4, kRing = 8 };

// The line towards the program.
class Line {
 public:
  virtual ~Line() = default;
  // Bytes for the program. rate: the modem's line rate when it sent them,
  // 0 in autobaud (it talks at whatever rate the program uses).
  virtual void Send(const std::string& bytes, uint32_t rate) = 0;
  // Time one byte takes on the line now; 0 when unknown.
  virtual uint64_t ByteTimeUs() const = 0;
  // The line goes away for good (cable pulled, pty master closed); called
  // a moment after the last byte, what was sent before arrives.
  virtual void Drop() = 0;
  virtual void SetStatusLines(uint32_t /*lines*/) {}
};

// Time and delays. Actions run later, never from inside CallIn.
class Clock {
 public:
  using TimerId = uint64_t;
  virtual ~Clock() = default;
  virtual uint64_t NowUs() const = 0;
  virtual TimerId CallIn(uint64_t us, std::function<void()> action) = 0;
  virtual void Cancel(TimerId id) = 0;
};

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
  Profile();
};

// Output towards the line, with the timing faults applied.
class OutputStage {
 public:
  OutputStage(Clock& clock, Line& line, const Faults& faults);
  ~OutputStage();
  void Put(const std::string& bytes, uint32_t rate);
  void Clear();
  // The line drops when this many more bytes than are queued now have left.
  void ArmDrop(size_t afterBytes);
  bool Dropped() const { return dropped_; }
  bool Idle() const { return queue_.empty(); }
  std::function<void()> onDrop;

 private:
  struct Chunk {
    uint64_t readyUs;
    std::string bytes;
    uint32_t rate;
  };
  void Pump();
  void WakeAt(uint64_t us);

  Clock& clock_;
  Line& line_;
  const Faults& faults_;
  std::deque<Chunk> queue_;
  uint64_t put_ = 0, sent_ = 0;
  bool dropArmed_ = false, dropped_ = false;
  uint64_t dropAt_ = 0;
  size_t inPiece_ = 0;
  uint64_t holdUntilUs_ = 0;
  Clock::TimerId wake_ = 0;
  uint64_t wakeAtUs_ = 0;
  bool waking_ = false;
};

class Engine {
 public:
  Engine(Clock& clock, Line& line, Settings settings = {});
  ~Engine();
  Engine(const Engine&) = delete;
  Engine& operator=(const Engine&) = delete;

  // Bytes from the program, as they arrive.
  void Receive(std::string_view bytes);

  // The supply: PowerOn boots (restores the stored profile, asks the SIM
  // afresh) and reports ^SYSSTART when the rate is fixed; PowerOff cuts it.
  void PowerOn();
  void PowerOff();
  bool PoweredOn() const { return power_ != Power::Off; }
  bool Booted() const { return power_ == Power::On; }
  int PowerOns() const { return powerOns_; }

  // The modem's line rate now; 0 in autobaud.
  uint32_t Rate() const { return ipr_; }

  // The far end of a call.
  void IncomingCall();      // rings every ringPeriodMs; answers after S0 rings
  void RemoteHangUp();      // the caller or callee goes away: NO CARRIER
  void SendFromRemote(std::string_view data);  // data during a call
  void SetOnRemoteData(std::function<void(const std::string&)> fn) { onRemoteData_ = std::move(fn); }
  bool InCall() const { return mode_ == Mode::Online || mode_ == Mode::OnlineCommand; }
  bool InDataMode() const { return mode_ == Mode::Online; }

  // Live settings: a test may change them between commands.
  Settings& settings() { return settings_; }
  const SimCard& Sim() const { return settings_.sim; }
  enum class SimState { Ready, Pin, Puk, Blocked, Absent };
  SimState CardState() const { return simState_; }
  const Profile& Active() const { return active_; }
  const Profile& Stored() const { return stored_; }
  // Every command line the modem executed, "AT" included, as typed.
  const std::vector<std::string>& Commands() const { return commands_; }
  bool LineDropped() const { return out_.Dropped(); }

  // Called when the line has dropped (the pty program ends then).
  std::function<void()> onLineDropped;
  // Traffic notes for a log: what happens to the modem, one line each.
  std::function<void(const std::string&)> onEvent;

  struct Cmd;

 private:
  enum class Power { Off, Booting, On };
  enum class Mode { Command, Dialing, Online, OnlineCommand };
  enum class Step { Next, Fail, Pending, Done };
  using Handler = Step (Engine::*)(Cmd&);
  struct Entry {
    const char* name;
    Handler handler;
    int Profile::*field;  // for plain numeric settings
    int min, max;
  };
  static const Entry kTable[];

  // timers of the engine (all cancelled on power loss)
  Clock::TimerId After(uint64_t ms, std::function<void()> fn);
  void Stop(Clock::TimerId& id);
  void CancelAll();
  void Note(const std::string& text);

  void CommandChar(char c);
  void OnlineChar(char c, uint64_t nowUs);
  void StartLine(const std::string& line);
  void RunLine();
  void Resume(Step outcome);
  bool ParseNext(Cmd& c);
  const Entry* Find(const std::string& name) const;

  // output
  void Emit(const std::string& bytes);
  void Response(const std::string& bytes);  // noise in front, the first of a line
  void Info(const std::vector<std::string>& lines);
  void Final(const std::string& text, int code);
  void FinalOk() { Final("OK", 0); }
  void FinalError();
  void Urc(const std::string& text);
  std::string CrLf() const;
  void UpdateStatus();
  void FloodTick();
  void StreamTick();

  void Connect();
  void EndCall(const char* result, int code);
  void Ring();
  void FinishShutdown();
  void BootDone(bool announce);

  // handlers
  Step Numeric(Cmd& c);
  Step CmdI(Cmd& c);
  Step CmdZ(Cmd& c);
  Step CmdF(Cmd& c);
  Step CmdW(Cmd& c);
  Step CmdAndV(Cmd& c);
  Step Accept(Cmd& c);
  Step CmdS(Cmd& c);
  Step CmdD(Cmd& c);
  Step CmdH(Cmd& c);
  Step CmdO(Cmd& c);
  Step CmdA(Cmd& c);
  Step CmdCgmi(Cmd& c);
  Step CmdCgmm(Cmd& c);
  Step CmdCgmr(Cmd& c);
  Step CmdCgsn(Cmd& c);
  Step CmdCpin(Cmd& c);
  Step CmdClck(Cmd& c);
  Step CmdCsns(Cmd& c);
  Step CmdIpr(Cmd& c);
  Step CmdCbst(Cmd& c);
  Step CmdCsq(Cmd& c);
  Step CmdCreg(Cmd& c);
  Step CmdSmso(Cmd& c);
  Step ExtNumeric(Cmd& c);
  Step NeedSim(Cmd& c);

  Clock& clock_;
  Line& line_;
  Settings settings_;
  OutputStage out_;

  Power power_ = Power::Off;
  Mode mode_ = Mode::Command;
  SimState simState_ = SimState::Ready;
  Profile factory_, active_, stored_;
  uint32_t ipr_ = 9600;
  uint32_t pendingIpr_ = 0;
  bool iprPending_ = false;
  bool shutting_ = false;
  int powerOns_ = 0;

  // command line assembly
  enum class Scan { Idle, GotA, InLine } scan_ = Scan::Idle;
  std::string lineBuf_;
  bool overflow_ = false;
  std::string lastLine_;
  std::vector<std::string> commands_;

  // the line being executed
  std::string exec_;
  size_t execPos_ = 0;
  bool busy_ = false;
  bool firstResponse_ = true;
  int cme_ = -1;
  std::string finalText_;
  int finalCode_ = 0;

  // data call
  uint64_t lastDataUs_ = 0, lastPlusUs_ = 0;
  int plusCount_ = 0;
  Clock::TimerId escapeTimer_ = 0, dialTimer_ = 0, ringTimer_ = 0;
  bool ringing_ = false, ri_ = false;
  int rings_ = 0;
  bool flooding_ = false;
  uint32_t noiseSeed_ = 12345;

  std::set<Clock::TimerId> timers_;
  std::shared_ptr<bool> alive_;
  std::function<void(const std::string&)> onRemoteData_;
};

// What a receiver set to another rate or framing makes of the bytes: no
// byte survives as itself, nothing reads as text.
std::string Misheard(const std::string& bytes);

// Pseudo-random line garbage: NUL and bytes above 127, never a letter, so
// that no reply text can appear in it by chance.
std::string Garbage(size_t count, uint32_t& seed);

}  // namespace modemsim
