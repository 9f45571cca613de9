// zorvik-simulate: seeded runs of the real window, offscreen and in virtual
// time, against a far end whose behaviour is drawn from the seed (the modem
// emulator with any of its faults, or a responder that answers with random
// bytes), a line that fails and comes back, and an operator who presses,
// types and answers the prompts at random moments, and switches the modem on
// when told, early or never. What must hold between any two events is
// checked after every one of them (among it: a started run ends or visibly
// waits, and no power prompt comes without a cause); the first violation
// ends the program with the seed, which replays exactly with
// --first=SEED --seeds=1.
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
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <system_error>
#include <unistd.h>
#include <utility>
#include <vector>

#include "app/umset.h"
#include "modemsim/sim_modem.h"
#include "serial/sim_serial.h"
#include "tests/common/choose_item.h"
#include "toolkit/codepage.h"
#include "toolkit/sim_toolkit.h"

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/common_interface_defs.h>
#endif

namespace {

std::string W(const char* utf8) { return toolkit::Cp1251(utf8); }
bool StartsWith(const std::string& s, const std::string& p) { return s.compare(0, p.size(), p) == 0; }
bool EndsWith(const std::string& s, const std::string& t) {
  return s.size() >= t.size() && s.compare(s.size() - t.size(), t.size(), t) == 0;
}
std::string WithoutCrLf(const std::string& s) {
  std::string out;
  out.reserve(s.size());
  for (char c : s)
    if (c != '\r' && c != '\n') out.push_back(c);
  return out;
}

// Printable form of bytes for a failure report.
std::string Shown(const std::string& bytes, size_t max = 160) {
  std::string out;
  for (unsigned char c : bytes.substr(0, max)) {
    if (c >= 0x20 && c < 0x7F) {
      out.push_back(char(c));
    } else {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\x%02X", c);
      out += buf;
    }
  }
  if (bytes.size() > max) out += "...";
  return out;
}

// A log line (Windows-1251) readable: UTF-8, control characters escaped.
std::string ShownLine(const std::string& cp1251) {
  std::string out;
  for (unsigned char c : cp1251.substr(0, 200)) {
    if (c < 0x20 || c == 0x7F) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\x%02X", c);
      out += buf;
    } else {
      out += toolkit::Utf8(std::string(1, char(c)));
    }
  }
  return out;
}

volatile std::sig_atomic_t gSeedForReport = 0;
uint64_t gSeed = 0;
std::filesystem::path gDir;  // the run's files, removed on every way out

void ReportSeedOnDeath() {
  char msg[160];
  const int n = std::snprintf(msg, sizeof msg,
                              "\nzorvik-simulate: died in seed %llu; replay: zorvik-simulate --first=%llu --seeds=1\n",
                              (unsigned long long)gSeed, (unsigned long long)gSeed);
  if (n > 0) (void)!write(STDERR_FILENO, msg, size_t(n));
}

void OnFatalSignal(int sig) {
  ReportSeedOnDeath();
  std::signal(sig, SIG_DFL);
  std::raise(sig);
}

[[noreturn]] void Violation(const std::string& what, const std::vector<std::string>& context = {}) {
  std::fprintf(stderr, "\nzorvik-simulate: seed %llu: %s\n", (unsigned long long)gSeed, what.c_str());
  for (const std::string& c : context) std::fprintf(stderr, "  %s\n", c.c_str());
  std::fprintf(stderr, "replay: zorvik-simulate --first=%llu --seeds=1 --verbose\n", (unsigned long long)gSeed);
  std::fflush(stderr);
  std::error_code ignored;
  std::filesystem::remove_all(gDir, ignored);
  std::_Exit(1);
}

// ------------------------------------------------------------ the wire

// What the program's devices took and gave, to hold the log against.
struct Wire {
  std::string written;        // every byte a device took from the program
  uint64_t shortWrites = 0;   // writes that took less than offered, or failed, or found the device gone
  std::string readSinceSend;  // bytes read since the last command line
  uint64_t shutdownsRead = 0;  // shutdown reports among all bytes read
  std::string readTail;        // the last bytes read, for a report cut between two reads

  void Read(const char* bytes, uint32_t n) {
    readSinceSend.append(bytes, n);
    static const std::string kShutdown = "SHUTDOWN";
    std::string s = readTail + std::string(bytes, n);
    for (size_t at = s.find(kShutdown); at != std::string::npos; at = s.find(kShutdown, at + 1)) ++shutdownsRead;
    readTail = s.substr(s.size() > kShutdown.size() - 1 ? s.size() - (kShutdown.size() - 1) : 0);
  }
};

class RecordingDevice final : public serial::SerialDevice {
 public:
  RecordingDevice(std::unique_ptr<serial::SerialDevice> inner, Wire& wire) : inner_(std::move(inner)), wire_(wire) {}
  serial::SettingResult SetLineSettings(const serial::DeviceControlBlock& dcb) override { return inner_->SetLineSettings(dcb); }
  serial::SettingResult SetQueueSizes(uint32_t in, uint32_t out) override { return inner_->SetQueueSizes(in, out); }
  bool SetTimeouts(const serial::CommTimeouts& t) override { return inner_->SetTimeouts(t); }
  serial::SettingResult Purge(uint32_t flags) override { return inner_->Purge(flags); }
  serial::IoResult GetQueueStatus(serial::QueueStatus& s) override {
    const serial::IoResult r = inner_->GetQueueStatus(s);
    // Gone before a send could offer its bytes: the send takes none of them.
    if (r == serial::IoResult::HungUp) wire_.shortWrites++;
    return r;
  }
  serial::IoResult Read(void* buffer, uint32_t size, uint32_t& read) override {
    const serial::IoResult r = inner_->Read(buffer, size, read);
    if (read > size) Violation("a device read more than asked for");
    wire_.Read(static_cast<const char*>(buffer), read);
    return r;
  }
  serial::IoResult Write(const void* data, uint32_t size, uint32_t& written) override {
    const serial::IoResult r = inner_->Write(data, size, written);
    wire_.written.append(static_cast<const char*>(data), written);
    if (r != serial::IoResult::Ok || written < size) wire_.shortWrites++;
    return r;
  }
  bool GetModemStatus(uint32_t& bits) override { return inner_->GetModemStatus(bits); }
  void WaitWritable(uint32_t maxMs) override { inner_->WaitWritable(maxMs); }

 private:
  std::unique_ptr<serial::SerialDevice> inner_;
  Wire& wire_;
};

class RecordingPlatform final : public serial::SerialPlatform {
 public:
  RecordingPlatform(serial::SerialPlatform& inner, Wire& wire) : inner_(inner), wire_(wire) {}
  std::unique_ptr<serial::SerialDevice> Open(const std::string& path, serial::OpenFailure& why) override {
    auto device = inner_.Open(path, why);
    if (!device) return nullptr;
    return std::make_unique<RecordingDevice>(std::move(device), wire_);
  }

 private:
  serial::SerialPlatform& inner_;
  Wire& wire_;
};

// ------------------------------------------------------------ the world

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

  // the checks
  void OnContentsChange(int from, int removed, int added);
  void OnLine(const std::string& line);
  void ResolveCommand(const std::string* nextLine);
  void AfterEvent();
  bool WaitsVisibly() const;
  std::vector<std::string> Tail(size_t n) const;

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

// ------------------------------------------------------------ the operator

void World::ScheduleOperator(uint64_t untilUs) {
  uint64_t at = U(0, 2000) * 1000;
  while (at < untilUs) {
    tk_.PostAt(at, [this] { Act(); });
    if (calm_)
      at += U(3000, 45000) * 1000;
    else
      at += (P(0.8) ? U(50, 2500) : U(2500, 15000)) * 1000;
  }
}

void World::TypeInto(QWidget* w, const QString& text) {
  for (QChar c : text) {
    if (c == QChar('\b'))
      QTest::keyClick(w, Qt::Key_Backspace);
    else if (c == QChar('\r'))
      QTest::keyClick(w, Qt::Key_Return);
    else if (c.unicode() < 0x80)
      QTest::keyClicks(w, QString(c));
    else {
      // QTest knows keys of the ASCII range only; a Cyrillic letter as a keyboard sends it
      QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(c));
      QKeyEvent release(QEvent::KeyRelease, Qt::Key_unknown, Qt::NoModifier, QString(c));
      QApplication::sendEvent(w, &press);
      QApplication::sendEvent(w, &release);
    }
  }
}

void World::SaveAndCompare() {
  const size_t errors = tk_.Prompts().size();
  QTest::mouseClick(form_->MEset->viewport(), P(0.5) ? Qt::LeftButton : Qt::RightButton, Qt::ControlModifier);
  if (tk_.Prompts().size() != errors) Violation("saving the log failed: " + toolkit::Utf8(tk_.Prompts().back().message));
  std::ifstream in(logFile_, std::ios::binary);
  const std::string file((std::istreambuf_iterator<char>(in)), {});
  std::string want;
  for (const std::string& l : lines_) want += l + "\r\n";
  if (file != want)
    Violation("the saved file is not the pane's text", {"file: " + Shown(file.substr(file.size() > 300 ? file.size() - 300 : 0)),
                                                         "pane: " + Shown(want.substr(want.size() > 300 ? want.size() - 300 : 0))});
}

void World::Act() {
  app::TForm1& f = *form_;
  static const std::vector<QString> commands = {
      "AT", "ATI", "AT+CPIN?", "AT&F", "AT&D1", "AT^SMSO", "AT+CSNS?", "AT&V", "AT+CPIN=4739", "ATE0", "at&w",
      "AT+IPR=9600", "ATS0=1", "ЖЖЖ", "ATЖ", "A", ""};
  uint64_t what = U(0, 99);
  if (calm_ && what < 85) what = what < 70 ? 0 : 80;  // start, or just look on
  if (verbose_) Note("operator acts: " + std::to_string(what) + ", port " + (f.port.Connected() ? "open" : "closed"));
  if (what < 20 || what >= 92) {
    Note("operator: start");
    f.BBB->click();
  } else if (what < 27) {
    Note("operator: stop");
    f.BBE->click();
    if (!f.BBB->isEnabled()) Violation("the start button is disabled after a stop");
  } else if (what < 31) {
    if (f.CBcom->count() == 0) return;
    const int index = int(U(0, uint64_t(f.CBcom->count() - 1)));
    Note("operator: port item " + std::to_string(index));
    testing_support::ChooseItem(f.CBcom, index);
    if (!f.BBB->isEnabled()) Violation("the start button is disabled after a port choice");
  } else if (what < 35) {
    static const std::vector<QString> keys = {"\b", "\b\b\b\b", "COM1", "COM3", "1", "3", "x", "COM"};
    const QString k = Pick(keys);
    Note("operator: types into the port box: " + k.toStdString());
    const QString before = f.CBcom->currentText();
    TypeInto(f.CBcom->lineEdit(), k);
    if (f.CBcom->currentText() != before && !f.BBB->isEnabled()) Violation("the start button is disabled after typing a port name");
  } else if (what < 38) {
    Note("operator: PUK box ticked/unticked");
    f.CBpuk->click();
    if (f.LEPUK->isEnabled() != f.CBpuk->isChecked()) Violation("the PUK box does not follow its check box");
  } else if (what < 43) {
    Note("operator: manual terminal ticked/unticked");
    f.CBht->click();
    if (f.LEHT->isEnabled() != f.CBht->isChecked()) Violation("the command line does not follow its check box");
  } else if (what < 46) {
    Note("operator: sending modem ticked/unticked");
    f.CBsend->click();
    if (f.RGDTR->isEnabled() == f.CBsend->isChecked()) Violation("the DTR group does not follow the check box");
    if (f.CBsend->isChecked() && !f.RGDTRItems[2]->isChecked()) Violation("ticking the sending modem left item 2 unchosen");
  } else if (what < 49) {
    const int item = int(U(0, 2));
    Note("operator: DTR item " + std::to_string(item));
    f.RGDTRItems[item]->click();
  } else if (what < 56) {
    static const std::vector<QString> pins = {"\b\b\b\b4739", "\b\b\b\b1111", "\r", "\r", "12a b-3.4", "\b", "."};
    const QString k = Pick(pins);
    Note("operator: types into the PIN box: " + k.toStdString());
    TypeInto(f.LEpin, k);
  } else if (what < 59) {
    if (!f.LEPUK->isEnabled()) return;
    static const std::vector<QString> puks = {"\b\b\b\b\b\b\b\b31570946", "\r", "\b", "99"};
    const QString k = Pick(puks);
    Note("operator: types into the PUK box: " + k.toStdString());
    TypeInto(f.LEPUK, k);
  } else if (what < 72) {
    if (!f.LEHT->isEnabled()) return;
    QString text = QString(int(f.LEHT->text().size()), QChar('\b')) + Pick(commands);
    if (P(0.85)) text += QChar('\r');
    Note("operator: types a command: " + text.toStdString());
    TypeInto(f.LEHT, text);
  } else if (what < 76) {
    Note("operator: clears the log");
    clearing_ = true;
    QTest::mouseDClick(f.MEset->viewport(), Qt::LeftButton);
    clearing_ = false;
    if (!f.LogLines().empty() || !lines_.empty()) Violation("a double click left lines in the pane");
    if (f.LogColour() != toolkit::clWindow) Violation("a double click left the pane coloured");
  } else if (what < 80) {
    Note("operator: saves the log");
    SaveAndCompare();
  }
  // otherwise the operator looks on
}

// ------------------------------------------------------------ the checks

std::vector<std::string> World::Tail(size_t n) const {
  std::vector<std::string> out;
  for (size_t i = lines_.size() > n ? lines_.size() - n : 0; i < lines_.size(); ++i)
    out.push_back("log: " + ShownLine(lines_[i]));
  return out;
}

void World::OnContentsChange(int from, int removed, int added) {
  QTextDocument* doc = form_->MEset->document();
  const int chars = doc->characterCount();
  if (clearing_) {
    docChars_ = chars;
    lines_.clear();
    return;
  }
  // Lines are only ever added at the end.
  if (removed != 0 || from < docChars_ - 1)
    Violation("the log pane changed other than at its end", {"from " + std::to_string(from) + " removed " +
                                                                 std::to_string(removed) + " added " +
                                                                 std::to_string(added)});
  docChars_ = chars;
  lastLogUs_ = tk_.NowUs();
  const int complete = doc->blockCount() - 1;  // the last block is the empty end
  if (doc->lastBlock().length() != 1) Violation("a log line does not end with its line break");
  for (int i = int(lines_.size()); i < complete; ++i) {
    const std::string line = app::FromDisplay(doc->findBlockByNumber(i).text());
    lines_.push_back(line);
    ++linesSeen_;
    OnLine(line);
  }
}

void World::ResolveCommand(const std::string* nextLine) {
  if (!commandPending_) return;
  commandPending_ = false;
  const std::string sent = wire_.written.substr(commandMark_);
  if (nextLine && *nextLine == W("нет соединения с портом")) {
    sendFailed_ = true;
    if (!sent.empty()) Violation("bytes went out although the port was reported missing", {Shown(sent)});
    return;
  }
  if (sent == command_) return;
  // A device that refused bytes or vanished may have taken only the start.
  if (wire_.shortWrites != commandShort_ && StartsWith(command_, sent)) return;
  std::vector<std::string> ctx = Tail(6);
  ctx.push_back("logged: " + Shown(command_));
  ctx.push_back("on the device: " + Shown(sent));
  Violation("a command line does not match the bytes on the device", ctx);
}

void World::OnLine(const std::string& line) {
  Note("log: " + ShownLine(line));
  ResolveCommand(&line);
  // A cross line followed by more lines at once is a step's verdict (a model
  // mismatch, a failure), not the end of a manual exchange.
  if (expectStart_ && expectWhy_ == "the cross line after a reply") expectStart_ = false;
  const std::string kCommand = W("Команда= ");
  const std::string kReply = W("ответ(без CR и LF)=");
  if (StartsWith(line, kCommand)) {
    commandPending_ = true;
    command_ = line.substr(kCommand.size());
    commandMark_ = wire_.written.size();
    commandShort_ = wire_.shortWrites;
    wire_.readSinceSend.clear();
    if (!EndsWith(command_, "\r")) Violation("a command line lost its CR", Tail(3));
    lastSent_ = command_.substr(0, command_.size() - 1);
    sendFailed_ = false;
    offPromptSinceSend_ = false;
    return;
  }
  if (StartsWith(line, kReply)) {
    const std::string shown = line.substr(kReply.size());
    const std::string held = WithoutCrLf(form_->ReplyText);
    if (shown != held) Violation("the logged reply is not the reply buffer", {"logged: " + Shown(shown), "held: " + Shown(held)});
    if (!EndsWith(WithoutCrLf(wire_.readSinceSend), held))
      Violation("the reply buffer holds bytes the device never gave", {"held: " + Shown(held),
                                                                        "read: " + Shown(wire_.readSinceSend)});
    return;
  }
  // The ends of a run: the start button is enabled once the step is through.
  static const std::vector<std::string> ends = {
      W("НЕТ СВЯЗИ c модемом"), W("НЕТ ОТВЕТА (0 байт)"), W("процесс прерван"), W("можно начинать"),
      W("ответ не понятен"),
      W("не удалось снять запрос PIN-кода или ответ модема непонятен"),
      W("не удалось установить заводские установки или ответ модема непонятен"),
      W("не удалось установить режим автоматически снимать трубку или ответ модема непонятен"),
      W("не удалось установить автоматический переход в режим передачи данных или ответ модема непонятен"),
      W("не удалось задать скорость обмена 9600 или ответ модема непонятен"),
      W("не удалось сохранить основные установки или ответ модема непонятен"),
      W("не удалось сохранить дополнительные установки или ответ модема непонятен"),
      W("PIN-код не принят. Проверьте правильность PIN-кода и нажмите кнопку \"НАЧАТЬ\" ")};
  if (line == W("НЕТ СВЯЗИ c модемом")) ++watchdogs;
  for (const std::string& e : ends) {
    if (line == e) {
      expectStart_ = true;
      expectWhy_ = line;
      return;
    }
  }
  if (StartsWith(line, W("УСТАНОВКА ПАРАМЕТРОВ МОДЕМА ("))) {
    ++successes;
    expectStart_ = true;
    expectWhy_ = line;
    return;
  }
  if (line == W("требуется ввод PUK-кода")) {
    expectAfterPrompt_ = long(tk_.Prompts().size());  // the box that follows
    return;
  }
  // In the manual terminal (or after a stop) a reply ends with the cross line.
  if (line == setup::CrossLine() && lines_.size() >= 2 && StartsWith(lines_[lines_.size() - 2], kReply)) {
    expectStart_ = true;
    expectWhy_ = "the cross line after a reply";
  }
}

void World::AfterEvent() {
  app::TForm1& f = *form_;
  ResolveCommand(nullptr);
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
  if (f.GaugeWaitsRunning() == 0) {
    if (f.Tw->Enabled()) Violation("the gauge timer runs with no wait running", Tail(8));
    if (!f.Gw->isHidden()) Violation("the gauge is shown with no wait running", Tail(8));
    if (!f.Lw->isHidden()) Violation("the wait label is shown with no wait running", Tail(8));
  }
  for (; promptsChecked_ < tk_.Prompts().size(); ++promptsChecked_) {
    const auto& p = tk_.Prompts()[promptsChecked_];
    if (p.error) Violation("an error box: " + toolkit::Utf8(p.message));
    if (p.caption != W("ЗОРВИК")) Violation("a prompt without the application title");
  }
  // Liveness: a run started with the start button ends (which enables the
  // button again), or visibly waits, within a bounded time.
  if (!f.BBB->isEnabled() && !WaitsVisibly()) {
    if (!stuck_) {
      stuck_ = true;
      stuckSinceUs_ = tk_.NowUs();
    } else if (tk_.NowUs() - stuckSinceUs_ > 10'000'000) {
      std::vector<std::string> ctx = Tail(8);
      ctx.push_back("command line: " + ShownLine(app::FromDisplay(f.LEHT->text())));
      Violation("a run neither ends nor waits on anything for 10 s", ctx);
    }
  } else {
    stuck_ = false;
  }
  // A reply that keeps coming is no excuse for ever: a device that never
  // goes quiet must not hold a run silent.
  const bool collecting = f.Trx->Enabled() || f.Tgo->Enabled();
  if (!f.BBB->isEnabled() && collecting && tk_.OpenPrompts() == 0 && f.GaugeWaitsRunning() == 0 &&
      tk_.NowUs() - std::max(lastLogUs_, lastQuietUs_) > 20'000'000)
    Violation("a run neither ends nor logs anything for 20 s while a reply keeps coming", Tail(8));
  if (f.BBB->isEnabled() || !collecting || tk_.OpenPrompts() > 0 || f.GaugeWaitsRunning() > 0)
    lastQuietUs_ = tk_.NowUs();
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

bool ParseArgs(int argc, char** argv, Options& o) {
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    auto value = [&](const char* name, uint64_t& v) {
      const std::string p = std::string(name) + "=";
      if (a.compare(0, p.size(), p) != 0) return false;
      v = std::strtoull(a.c_str() + p.size(), nullptr, 10);
      return true;
    };
    if (value("--seeds", o.seeds) || value("--first", o.first)) continue;
    if (a == "--verbose") {
      o.verbose = true;
      continue;
    }
    std::fprintf(stderr,
                 "usage: zorvik-simulate [--seeds=N] [--first=S] [--verbose]\n"
                 "  runs seeds S, S+1, ... S+N-1; a failing seed is printed with its replay command\n");
    return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  Options opt;
  if (!ParseArgs(argc, argv, opt)) return 2;
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  for (int sig : {SIGSEGV, SIGABRT, SIGFPE, SIGBUS, SIGILL}) std::signal(sig, OnFatalSignal);
#if defined(__SANITIZE_ADDRESS__)
  __sanitizer_set_death_callback(ReportSeedOnDeath);
#endif
  char dirTemplate[] = "/tmp/zorvik-simulate-XXXXXX";
  if (!mkdtemp(dirTemplate)) {
    std::perror("mkdtemp");
    return 1;
  }
  const std::filesystem::path dir = gDir = dirTemplate;

  const auto t0 = std::chrono::steady_clock::now();
  uint64_t events = 0, virtualMs = 0, lines = 0, successes = 0, watchdogs = 0, prompts = 0;
  for (uint64_t s = opt.first; s < opt.first + opt.seeds; ++s) {
    gSeed = s;
    World world(s, dir, opt.verbose);
    world.Run();
    events += world.Events();
    virtualMs += world.VirtualMs();
    lines += world.Lines();
    successes += world.successes;
    watchdogs += world.watchdogs;
    prompts += world.prompts;
  }
  const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  std::filesystem::remove_all(dir);
  std::printf("zorvik-simulate: %llu seeds (%llu..%llu) clean: %llu events, %.0f events/s, %.1f h virtual, "
              "%llu log lines (%llu set-ups to the end, %llu watchdog ends, %llu prompts), %.2f s\n",
              (unsigned long long)opt.seeds, (unsigned long long)opt.first,
              (unsigned long long)(opt.first + opt.seeds - 1), (unsigned long long)events, double(events) / wall,
              double(virtualMs) / 3.6e6, (unsigned long long)lines, (unsigned long long)successes,
              (unsigned long long)watchdogs, (unsigned long long)prompts, wall);
  return 0;
}
