// The world drawn from the seed: the far ends, the line's faults, the answers
// at the prompts, and a run of it.
#include "tests/simulation/world.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>

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

#include "tests/common/choose_item.h"
#include "toolkit/codepage.h"

namespace simulation {

World::World(uint64_t seed, const std::filesystem::path& dir, bool verbose)
    : seed_(seed), rng_(seed * 0x9E3779B97F4A7C15ull + 1), verbose_(verbose), logFile_(dir / "отчет.txt") {
  std::filesystem::remove(logFile_);
  calm_ = P(0.4);
  clean_ = P(0.3);
  // The ports the system reports, and what stands behind each name.
  const std::vector<std::vector<std::string>> lists = {
      {"COM1"}, {"COM1", "COM3"}, {"COM3", "COM1"}, {}, {"COM1", "COM3", "COM7"}};
  portList_ = Pick(lists);
  for (const char* name : {"COM1", "COM3"}) {
    auto end = std::make_unique<FarEnd>();
    end->name = name;
    ends_.push_back(std::move(end));
  }
  DrawFarEnd(*ends_[0]);
  if (P(0.7)) DrawFarEnd(*ends_[1]);

  tk_.SetOperator([this](const toolkit::SimToolkit::Prompt& p) { return AnswerPrompt(p); });
  app::Environment env{tk_, platform_, [this] { return portList_; }, [] { return W("ЗОРВИК версия sim"); },
                       logFile_.string()};
  form_ = std::make_unique<app::TForm1>(env);
  QTextDocument* doc = form_->MEset->document();
  docChars_ = doc->characterCount();
  QObject::connect(doc, &QTextDocument::contentsChange, [this](int from, int removed, int added) {
    OnContentsChange(from, removed, added);
  });
  if (!lines_.empty() || !form_->LogLines().empty()) Violation("the log pane is not empty at start");
  tk_.SetAfterDispatch([this] { AfterEvent(); });
}

World::~World() {
  tk_.SetAfterDispatch(nullptr);
  form_.reset();
  ends_.clear();
}

void World::Note(const std::string& what) {
  if (verbose_) std::fprintf(stderr, "[%9.3f] %s\n", double(tk_.NowUs()) / 1e6, what.c_str());
}

std::string World::RandomBytes(size_t n) {
  std::string out;
  for (size_t i = 0; i < n; ++i) {
    // NUL and the upper half more often than their share
    const uint64_t kind = U(0, 9);
    if (kind == 0) out.push_back('\0');
    else if (kind < 4) out.push_back(char(U(0x80, 0xFF)));
    else out.push_back(char(U(0, 0xFF)));
  }
  return out;
}

modemsim::Settings World::DrawModem() {
  modemsim::Settings s;
  if (P(0.15)) s.manufacturer = Pick<std::string>({"siemens", "NOKIA", "", "SIEMENS AG"});
  if (P(0.15)) s.model = Pick<std::string>({"c35i", "S45", "C35", "C35i\xC0"});
  s.sim.inserted = !P(0.04);
  s.sim.pin = P(0.85) ? "4739" : "1111";
  s.sim.pinRequest = P(0.6);
  s.sim.pinTries = P(0.08) ? 0 : int(U(1, 3));
  s.sim.pukTries = P(0.03) ? 0 : 10;
  s.pinCheckMs = uint32_t(P(0.6) ? U(0, 1500) : P(0.5) ? U(1500, 8000) : U(15000, 26000));
  s.clckMs = uint32_t(U(0, 1200));
  s.rate = P(0.92) ? 9600 : Pick<uint32_t>({19200, 0, 4800});
  s.bootMs = uint32_t(U(100, 4000));
  s.shutdownMs = uint32_t(U(50, 4000));
  s.autoPowerOnMs = P(0.4) ? uint32_t(U(500, 25000)) : 0;
  s.startOn = P(0.92);
  if (clean_) return s;
  modemsim::Faults& f = s.faults;
  f.silent = P(0.03);
  if (P(0.15)) f.answerDelayMs = uint32_t(U(0, 4500));
  if (P(0.15)) f.resultDelayMs = uint32_t(U(0, 4500));
  if (P(0.2)) {
    f.pieceBytes = size_t(U(1, 24));
    f.pieceGapMs = uint32_t(P(0.5) ? U(0, 180) : U(180, 900));
  }
  if (P(0.2)) {
    uint32_t noiseSeed = uint32_t(U(1, 1u << 30));
    f.noise = P(0.5) ? modemsim::Garbage(size_t(U(1, 40)), noiseSeed) : std::string(size_t(U(1, 8)), '\0');
  }
  f.flood = P(0.03);
  if (P(0.03)) f.streamMs = uint32_t(U(1, 190));  // the wrong device on the line
  if (P(0.12)) {
    f.dropOn = Pick<std::string>({"AT", "ATI", "AT+CPIN", "AT&F", "AT&D", "AT^SMSO", "AT+CSNS?", "AT&V"});
    f.dropAfterBytes = size_t(U(0, 40));
  }
  return s;
}

void World::DrawFarEnd(FarEnd& end) {
  end.port = &sim_.AddPort(end.name);
  if (!clean_) {
    end.port->heldElsewhere = P(0.04);
    end.port->refuseLineSettings = P(0.02);
    end.port->refusePurge = P(0.01);
    end.port->failModemStatus = P(0.05);
    if (P(0.1)) end.port->inputCapacity = uint32_t(U(16, 4096));  // overrun of a small queue
  }
  end.chaos = !clean_ && P(0.25);
  if (end.chaos) {
    FarEnd* e = &end;
    end.port->SetOnPeerReceive([this, e](const std::string& bytes) {
      for (char c : bytes) {
        if (c != '\r') {
          if (e->pending.size() < 600) e->pending.push_back(c);
          continue;
        }
        const std::string command = e->pending;
        e->pending.clear();
        ChaosAnswer(*e, command);
      }
    });
    return;
  }
  end.settings = DrawModem();
  end.modem = std::make_unique<modemsim::SimModem>(tk_, *end.port, end.settings);
  if (!end.settings.startOn && P(0.7)) {
    FarEnd* e = &end;
    tk_.ScheduleIn(U(0, 20000) * 1000, [e] {
      if (e->modem) e->modem->PowerOn();
    });
  }
}

// Sends the bytes cut at random places, with gaps of every kind between them:
// shorter than a quiet tick, between one and two, and longer.
void World::SendInPieces(FarEnd& end, const std::string& bytes, uint64_t startUs) {
  serial::SimPort* port = end.port;
  uint64_t at = startUs;
  size_t pos = 0;
  while (pos < bytes.size()) {
    const size_t n = P(0.6) ? bytes.size() - pos : size_t(U(1, bytes.size() - pos));
    const std::string piece = bytes.substr(pos, n);
    pos += n;
    tk_.ScheduleAt(at, [port, piece] { port->PeerSend(piece); });
    const uint64_t kind = U(0, 9);
    at += (kind < 5 ? U(0, 150) : kind < 8 ? U(150, 450) : U(450, 1500)) * 1000;
  }
}

void World::ChaosAnswer(FarEnd& end, const std::string& command) {
  if (P(0.12)) return;  // silence
  static const std::vector<std::string> fragments = {
      "\r\nOK\r\n", "\r\nERROR\r\n", "\r\nSIEMENS\r\nC35i\r\nREVISION 01.05\r\n", "\r\n+CPIN: SIM PIN\r\n",
      "\r\n+CPIN: READY\r\n", "\r\n+CPIN: SIM PUK\r\n", "\r\n^SMSO: MS OFF\r\n", "\r\n^SHUTDOWN\r\n",
      "\r\n^SYSSTART\r\n", "\r\n+CSNS: 4\r\n", "\r\n+CSNS:4\r\n",
      "\r\nACTIVE PROFILE:\r\nE1 Q0 V1 X4 &C1 &D1 &S0 \\Q0\r\nS0:001 S3:013\r\n+IPR: 9600\r\n",
      "\r\nACTIVE PROFILE:\r\nE1 &D2\r\nS0:000\r\n+IPR: 19200\r\n", "OFF", "SHUTDOWN", "\r\n+CME ERROR: 16\r\n"};
  std::string reply;
  if (P(0.7)) reply = command + "\r";  // echo
  const uint64_t parts = U(0, 3);
  for (uint64_t i = 0; i < parts; ++i) reply += P(0.8) ? Pick(fragments) : RandomBytes(size_t(U(0, 64)));
  if (P(0.4)) reply += "\r\nOK\r\n";
  const uint64_t kind = U(0, 9);
  const uint64_t delayMs = kind < 7 ? U(0, 300) : kind < 9 ? U(300, 2900) : U(2900, 6000);
  SendInPieces(end, reply, tk_.NowUs() + delayMs * 1000);
}

void World::ComeBack(FarEnd& end) {
  if (end.hungUp) {
    end.hungUp = false;
    end.port->Return();
    Note(end.name + ": line back");
  }
  if (end.modem && end.modem->engine().LineDropped()) {
    // The modem cut its line: a fresh one is plugged in, its faults as drawn
    // but without the drop, or the run could never get past it.
    end.modem.reset();
    end.port->Return();
    end.settings.faults.dropOn.clear();
    end.modem = std::make_unique<modemsim::SimModem>(tk_, *end.port, end.settings);
    Note(end.name + ": modem replaced after its line dropped");
  }
}

void World::ScheduleLineEvents(FarEnd& end, uint64_t untilUs) {
  FarEnd* e = &end;
  const uint64_t count = U(0, 4);
  for (uint64_t i = 0; i < count; ++i) {
    const uint64_t at = U(0, untilUs);
    switch (U(0, 7)) {
      case 0:  // the supply goes, and perhaps comes back
        tk_.ScheduleAt(at, [this, e] {
          if (!e->modem) return;
          Note(e->name + ": power cut");
          e->modem->PowerOff();
          if (P(0.6)) tk_.ScheduleIn(U(100, 15000) * 1000, [e] {
            if (e->modem) e->modem->PowerOn();
          });
        });
        break;
      case 1:  // the cable is pulled and put back
        tk_.ScheduleAt(at, [this, e] {
          if (e->hungUp) return;
          Note(e->name + ": line gone");
          e->hungUp = true;
          e->port->HangUp();
          tk_.ScheduleIn(U(20, 12000) * 1000, [this, e] { ComeBack(*e); });
        });
        break;
      case 2:  // reads fail for a while
        tk_.ScheduleAt(at, [this, e] {
          e->port->failReads = true;
          tk_.ScheduleIn(U(20, 2000) * 1000, [e] { e->port->failReads = false; });
        });
        break;
      case 3:  // output held
        tk_.ScheduleAt(at, [this, e] {
          e->port->SetTransmitStalled(true);
          tk_.ScheduleIn(U(20, 3000) * 1000, [e] { e->port->SetTransmitStalled(false); });
        });
        break;
      case 4:  // a burst of line noise, or a report nobody asked for
        tk_.ScheduleAt(at, [this, e] {
          static const std::vector<std::string> unasked = {"\r\n^SYSSTART\r\n", "\r\nRING\r\n", "\r\nOK\r\n",
                                                           "\r\n^SHUTDOWN\r\n", "\r\nSIM PIN\r\n"};
          SendInPieces(*e, P(0.5) ? RandomBytes(size_t(U(1, 200))) : Pick(unasked), tk_.NowUs());
        });
        break;
      case 5:  // another program takes the port (matters at the next open)
        tk_.ScheduleAt(at, [this, e] {
          e->port->heldElsewhere = !e->port->heldElsewhere;
          Note(e->name + (e->port->heldElsewhere ? ": held elsewhere" : ": released elsewhere"));
        });
        break;
      case 6:  // writes fail for a while
        tk_.ScheduleAt(at, [this, e] {
          e->port->failWrites = true;
          tk_.ScheduleIn(U(20, 2000) * 1000, [e] { e->port->failWrites = false; });
        });
        break;
      default:  // a dropped modem line is replaced at some point
        tk_.ScheduleAt(at, [this, e] { ComeBack(*e); });
    }
  }
}

uint64_t World::AnswerPrompt(const toolkit::SimToolkit::Prompt& p) {
  const bool off = p.message.find(W("ОТКЛЮЧИТЕ")) != std::string::npos;
  const bool on = !off && p.message.find(W("ВКЛЮЧИТЕ")) != std::string::npos;
  // A power prompt comes again only for a new cause: each power-off prompt
  // for a shutdown report of its own, each power-on prompt after a power-off
  // one and only while the run still waits on AT^SMSO.
  if (off) offPromptSinceSend_ = true;
  if (off && ++offPrompts_ > wire_.shutdownsRead)
    Violation("the operator is asked again to switch the modem off without a new shutdown report", Tail(8));
  if (on && ++onPrompts_ > offPrompts_) Violation("more power-on prompts than power-off prompts", Tail(8));
  if (on && app::FromDisplay(form_->LEHT->text()) != "AT^SMSO")
    Violation("the operator is asked to switch the modem on after the run has moved on", Tail(8));

  const uint64_t kind = U(0, 9);
  const uint64_t delayMs = kind < 3 ? 0 : kind < 7 ? U(1, 3000) : U(3000, 40000);
  Note("prompt: " + toolkit::Utf8(p.message.substr(0, 40)) + " answered after " + std::to_string(delayMs) + " ms");
  FarEnd& end = *ends_[0];
  if (!end.modem) return delayMs;
  FarEnd* e = &end;
  if (off) {
    if (powerHabit_ == PowerHabit::Undrawn)
      powerHabit_ = P(0.6) ? PowerHabit::WhenTold : P(0.75) ? PowerHabit::Early : PowerHabit::Never;
    const bool switchesOff = P(0.85);
    const uint64_t offMs = switchesOff ? U(0, delayMs + 500) : 0;
    if (switchesOff) tk_.ScheduleIn(offMs * 1000, [e] {
      if (e->modem) e->modem->PowerOff();
    });
    if (powerHabit_ == PowerHabit::Early) {
      // on again before the box is closed, during the wait, or just after it
      const uint64_t waitEndMs = delayMs + uint64_t(form_->SEw->value()) * 1000;
      tk_.ScheduleIn(U(offMs + 100, waitEndMs + 1000) * 1000, [this, e] {
        Note("operator: switches the modem on early");
        if (e->modem) e->modem->PowerOn();
      });
    }
  }
  if (on && powerHabit_ == PowerHabit::WhenTold && P(0.85)) {
    // switched on before the button is pressed, or well after
    tk_.ScheduleIn(U(0, delayMs + 10000) * 1000, [e] {
      if (e->modem) e->modem->PowerOn();
    });
  }
  return delayMs;
}

void World::Run() {
  const uint64_t durationUs = U(15, calm_ ? 200 : 150) * 1'000'000;
  ScheduleOperator(durationUs);
  for (auto& end : ends_)
    if (end->port && !clean_) ScheduleLineEvents(*end, durationUs);
  tk_.RunFor(durationUs / 1000);
  // Settle: the longest wait (20 s gauge, 30 s power-off, late prompts) ends.
  tk_.RunFor(80'000);
  app::TForm1& f = *form_;
  if (f.GaugeWaitsRunning() != 0) Violation("a wait still runs long after the operator left");
  if (tk_.OpenPrompts() != 0) Violation("a prompt is still open long after the operator left");
  AfterEvent();
  SaveAndCompare();
  prompts = tk_.Prompts().size();
  if (verbose_)
    for (const std::string& l : lines_) std::fprintf(stderr, "  | %s\n", ShownLine(l).c_str());
}

}  // namespace simulation
