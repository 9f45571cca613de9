// One seed's world: the real window in virtual time, the far ends behind its
// ports (the modem emulator with faults drawn from the seed, or a responder
// of random bytes), a line that fails and comes back, and an operator; and
// what the checks keep of it between events.
#pragma once

#include <QString>
#include <QWidget>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "app/umset.h"
#include "testing/sim_modem.h"
#include "testing/sim_serial.h"
#include "tests/simulation/wire.h"
#include "testing/sim_toolkit.h"

namespace simulation {

struct Options {
  uint64_t first = 1;
  uint64_t seeds = 100;
  bool verbose = false;
};

class World {
 public:
  World(uint64_t seed, const std::filesystem::path& dir, bool verbose);
  ~World();
  void Run();
  uint64_t Events() const { return tk_.Dispatched(); }
  uint64_t VirtualMs() const { return tk_.NowMs(); }
  size_t Lines() const { return linesSeen_; }
  // How far the runs got: successes, watchdog ends, prompts shown.
  uint64_t successes = 0, watchdogs = 0, prompts = 0;

 private:
  // drawing
  uint64_t U(uint64_t lo, uint64_t hi) { return std::uniform_int_distribution<uint64_t>(lo, hi)(rng_); }
  bool P(double p) { return std::bernoulli_distribution(p)(rng_); }
  template <class T>
  const T& Pick(const std::vector<T>& v) {
    return v[size_t(U(0, v.size() - 1))];
  }
  std::string RandomBytes(size_t n);
  void Note(const std::string& what);

  // far ends
  struct FarEnd {
    std::string name;
    serial::SimPort* port = nullptr;
    std::unique_ptr<modemsim::SimModem> modem;
    modemsim::Settings settings;
    bool chaos = false;
    std::string pending;  // chaos: the command being received
    bool hungUp = false;
  };
  void DrawFarEnd(FarEnd& end);
  modemsim::Settings DrawModem();
  void ChaosAnswer(FarEnd& end, const std::string& command);
  void SendInPieces(FarEnd& end, const std::string& bytes, uint64_t startUs);
  void ScheduleLineEvents(FarEnd& end, uint64_t untilUs);
  void ComeBack(FarEnd& end);
  uint64_t AnswerPrompt(const toolkit::SimToolkit::Prompt& p);

  // the operator
  void ScheduleOperator(uint64_t untilUs);
  void Act();
  void TypeInto(QWidget* w, const QString& text);
  void SaveAndCompare();

  // the log pane watched
  void OnContentsChange(int from, int removed, int added);
  void OnLine(const std::string& line);
  void ResolveCommand(const std::string* nextLine);
  std::vector<std::string> Tail(size_t n) const;

  // the checks, after every event
  void AfterEvent();
  void CheckCommandOnTheWire();
  void CheckStartButtonAfterAnEnd();
  void CheckNoGaugeWithoutAWait();
  void CheckPromptsAreTheOperators();
  void CheckRunEndsOrWaits();
  void CheckEndlessReplyEnds();
  void CheckTimeMovesOn();
  bool WaitsVisibly() const;

  uint64_t seed_;
  std::mt19937_64 rng_;
  bool verbose_;
  bool calm_ = false;   // an operator who mostly starts and waits
  bool clean_ = false;  // a line and a modem without faults
  std::filesystem::path logFile_;
  toolkit::SimToolkit tk_;
  serial::SimSerialPlatform sim_{tk_};
  Wire wire_;
  RecordingPlatform platform_{sim_, wire_};
  std::vector<std::string> portList_;
  std::vector<std::unique_ptr<FarEnd>> ends_;
  std::unique_ptr<app::TForm1> form_;

  // mirror of the log pane, kept from its change notifications
  std::vector<std::string> lines_;
  size_t linesSeen_ = 0;
  int docChars_ = 1;
  bool clearing_ = false;
  // a command line waiting for its bytes on the device
  bool commandPending_ = false;
  std::string command_;
  size_t commandMark_ = 0;
  uint64_t commandShort_ = 0;
  // an end of a run seen: the start button must be enabled at the next event
  bool expectStart_ = false;
  std::string expectWhy_;
  long expectAfterPrompt_ = -1;  // ... or once this prompt has closed
  // a loop that stops advancing
  uint64_t lastNowUs_ = 0;
  uint64_t sameTime_ = 0;
  size_t promptsChecked_ = 0;
  // liveness: the last command line sent, and whether the port refused it
  std::string lastSent_;
  bool sendFailed_ = false;
  bool stuck_ = false;
  uint64_t stuckSinceUs_ = 0;
  uint64_t lastLogUs_ = 0;    // the log pane last changed
  uint64_t lastQuietUs_ = 0;  // last seen not collecting, or waiting on the operator or the gauge
  uint64_t offPrompts_ = 0, onPrompts_ = 0;
  bool offPromptSinceSend_ = false;
  // how this operator goes about the power-on: when told, early (with the
  // power-off box or the wait still running), or never; drawn at the first
  // power-off prompt
  enum class PowerHabit { Undrawn, WhenTold, Early, Never } powerHabit_ = PowerHabit::Undrawn;
};

}  // namespace simulation
