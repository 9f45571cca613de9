// What must hold between any two events: one checker per invariant, each run
// after every event, in this order.
#include "tests/simulation/world.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>

#include <algorithm>
#include <string>
#include <vector>

#include "toolkit/codepage.h"

namespace simulation {

void World::AfterEvent() {
  CheckCommandOnTheWire();
  CheckStartButtonAfterAnEnd();
  CheckNoGaugeWithoutAWait();
  CheckPromptsAreTheOperators();
  CheckRunEndsOrWaits();
  CheckEndlessReplyEnds();
  CheckTimeMovesOn();
}

// A command line logged is what went out on the device.
void World::CheckCommandOnTheWire() { ResolveCommand(nullptr); }

// The start button is back once a run has ended, or once the box that
// follows the PUK demand has closed.
void World::CheckStartButtonAfterAnEnd() {
  app::TForm1& f = *form_;
  if (expectStart_) {
    expectStart_ = false;
    if (!f.BBB->isEnabled()) {
      std::vector<std::string> ctx = Tail(8);
      Violation("the start button stays disabled at the end of a run (" + toolkit::Utf8(expectWhy_) + ")", ctx);
    }
  }
  if (expectAfterPrompt_ >= 0 && long(tk_.Prompts().size()) > expectAfterPrompt_ &&
      tk_.Prompts()[size_t(expectAfterPrompt_)].closedUs != 0) {
    expectAfterPrompt_ = -1;
    if (!f.BBB->isEnabled()) Violation("the start button stays disabled after the PUK demand", Tail(8));
  }
}

// No gauge, wait label or gauge timer without a wait running.
void World::CheckNoGaugeWithoutAWait() {
  app::TForm1& f = *form_;
  if (f.GaugeWaitsRunning() != 0) return;
  if (f.Tw->Enabled()) Violation("the gauge timer runs with no wait running", Tail(8));
  if (!f.Gw->isHidden()) Violation("the gauge is shown with no wait running", Tail(8));
  if (!f.Lw->isHidden()) Violation("the wait label is shown with no wait running", Tail(8));
}

// Every box is an operator prompt with the application's title; no error box.
void World::CheckPromptsAreTheOperators() {
  for (; promptsChecked_ < tk_.Prompts().size(); ++promptsChecked_) {
    const auto& p = tk_.Prompts()[promptsChecked_];
    if (p.error) Violation("an error box: " + toolkit::Utf8(p.message));
    if (p.caption != W("ЗОРВИК")) Violation("a prompt without the application title");
  }
}

// Liveness: a run started with the start button ends (which enables the
// button again), or visibly waits, within a bounded time.
void World::CheckRunEndsOrWaits() {
  app::TForm1& f = *form_;
  if (f.BBB->isEnabled() || WaitsVisibly()) {
    stuck_ = false;
    return;
  }
  if (!stuck_) {
    stuck_ = true;
    stuckSinceUs_ = tk_.NowUs();
  } else if (tk_.NowUs() - stuckSinceUs_ > 10'000'000) {
    std::vector<std::string> ctx = Tail(8);
    ctx.push_back("command line: " + ShownLine(app::FromDisplay(f.LEHT->text())));
    Violation("a run neither ends nor waits on anything for 10 s", ctx);
  }
}

// A reply that keeps coming is no excuse for ever: a device that never goes
// quiet must not hold a run silent.
void World::CheckEndlessReplyEnds() {
  app::TForm1& f = *form_;
  const bool collecting = f.Trx->Enabled() || f.Tgo->Enabled();
  if (!f.BBB->isEnabled() && collecting && tk_.OpenPrompts() == 0 && f.GaugeWaitsRunning() == 0 &&
      tk_.NowUs() - std::max(lastLogUs_, lastQuietUs_) > 20'000'000)
    Violation("a run neither ends nor logs anything for 20 s while a reply keeps coming", Tail(8));
  if (f.BBB->isEnabled() || !collecting || tk_.OpenPrompts() > 0 || f.GaugeWaitsRunning() > 0)
    lastQuietUs_ = tk_.NowUs();
}

// The loop does not keep dispatching without time passing.
void World::CheckTimeMovesOn() {
  if (tk_.NowUs() == lastNowUs_) {
    if (++sameTime_ > 200000) Violation("the event loop stopped advancing: 200000 events without time passing");
  } else {
    lastNowUs_ = tk_.NowUs();
    sameTime_ = 0;
  }
}

// What a run may wait on without end: the operator (a prompt, a port that
// cannot be opened, a command line the operator has edited), a wait on the
// gauge, a reply still coming, or a step that gives no verdict of its own:
// the PIN reply, the modem's reports after AT^SMSO (until its shutdown is
// reported), a command not in the table. Every other command's reply ends
// the run or moves it on.
bool World::WaitsVisibly() const {
  const app::TForm1& f = *form_;
  if (tk_.OpenPrompts() > 0 || f.GaugeWaitsRunning() > 0) return true;
  if (f.Trx->Enabled() || f.Tgo->Enabled() || f.Terror->Enabled()) return true;
  if (sendFailed_) return true;
  const std::string command = app::FromDisplay(f.LEHT->text());
  if (command != lastSent_) return true;
  // The shutdown report is in and judged, yet the operator was never asked
  // to cycle the power: the modem stays off and the run waits for nothing.
  if (command == "AT^SMSO" && !offPromptSinceSend_ && wire_.readSinceSend.find("SHUTDOWN") != std::string::npos)
    return false;
  static const std::vector<std::string> judged = {"ATI",    "AT+CPIN?",    "AT&F", "ATS0=1",  "AT+CSNS=4",
                                                  "AT+IPR=9600", "AT&W", "AT+CSNS?", "AT&V"};
  const bool verdict = std::find(judged.begin(), judged.end(), command) != judged.end() ||
                       command.find("AT&D") != std::string::npos ||
                       command == "AT+CLCK=SC,0," + app::FromDisplay(f.LEpin->text());
  return !verdict;
}

}  // namespace simulation
