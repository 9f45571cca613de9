// The GSM data modem on the far end of the line: a Siemens C35i-like modem
// that speaks AT commands. One engine, two ways to run it: attached to a
// simulated serial port in virtual time (sim_modem.h) and on a pseudo-terminal
// in real time (the zorvik-modemsim program). The engine knows neither: it
// takes the program's bytes through Receive, hands its own bytes to a Line and
// asks a Clock for every delay.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "modemsim/attachment.h"
#include "modemsim/cme_error.h"
#include "modemsim/command_parser.h"
#include "modemsim/output_stage.h"
#include "modemsim/settings.h"

namespace modemsim {

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


 private:
  enum class Power { Off, Booting, On };
  enum class Mode { Command, Dialing, Online, OnlineCommand };
  enum class Step { Next, Fail, Pending, Done };
  struct Cmd;
  using Handler = Step (Engine::*)(Cmd&);
  struct Entry {
    const char* name;
    Handler handler;
    int Profile::*field;  // for plain numeric settings
    int min, max;
  };
  static const Entry kTable[];
  struct Cmd : Command {
    const Entry* entry = nullptr;
  };

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
  CmeError cme_ = CmeError::None;
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

}  // namespace modemsim
