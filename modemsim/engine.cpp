// The engine's core: its timers, the responses it sends, power, the command
// line as it arrives, and calls. The commands themselves are in
// command_handlers.cpp.
#include "modemsim/engine.h"

#include <algorithm>
#include <utility>

namespace modemsim {

namespace {
constexpr size_t kMaxLine = 555;  // the module's command line buffer
}  // namespace

Engine::Engine(Clock& clock, Line& line, Settings settings)
    : clock_(clock),
      line_(line),
      settings_(std::move(settings)),
      out_(clock_, line_, settings_.faults),
      alive_(std::make_shared<bool>(true)) {
  ipr_ = settings_.rate;
  out_.onDrop = [this] {
    Note("line dropped");
    CancelAll();
    power_ = Power::Off;
    if (onLineDropped) onLineDropped();
  };
  // Switched on long before anyone listened: no start-up report now.
  if (settings_.startOn) BootDone(false);
  if (settings_.faults.streamMs) StreamTick();
}

Engine::~Engine() {
  alive_.reset();
  CancelAll();
}

Clock::TimerId Engine::After(uint64_t ms, std::function<void()> fn) {
  auto self = std::make_shared<Clock::TimerId>(0);
  std::weak_ptr<bool> alive = alive_;
  const Clock::TimerId id = clock_.CallIn(ms * 1000, [this, alive, self, fn = std::move(fn)] {
    if (alive.expired()) return;
    timers_.erase(*self);
    fn();
  });
  *self = id;
  timers_.insert(id);
  return id;
}

void Engine::Stop(Clock::TimerId& id) {
  if (id) {
    clock_.Cancel(id);
    timers_.erase(id);
  }
  id = 0;
}

void Engine::CancelAll() {
  for (Clock::TimerId id : timers_) clock_.Cancel(id);
  timers_.clear();
  escapeTimer_ = dialTimer_ = ringTimer_ = 0;
  flooding_ = false;
}

void Engine::Note(const std::string& text) {
  if (onEvent) onEvent(text);
}

std::string Engine::CrLf() const { return {char(active_.s[3]), char(active_.s[4])}; }

void Engine::Emit(const std::string& bytes) {
  if (settings_.faults.silent) return;
  out_.Put(bytes, ipr_);
}

void Engine::Response(const std::string& bytes) {
  if (firstResponse_) {
    firstResponse_ = false;
    if (!settings_.faults.noise.empty()) Emit(settings_.faults.noise);
  }
  Emit(bytes);
}

void Engine::Info(const std::vector<std::string>& lines) {
  std::string text;
  for (size_t i = 0; i < lines.size(); ++i) text += (i ? CrLf() : "") + lines[i];
  Response(active_.verbose ? CrLf() + text + CrLf() : text + CrLf());
}

void Engine::Final(const std::string& text, int code) {
  busy_ = false;
  if (!active_.quiet)
    Response(active_.verbose ? CrLf() + text + CrLf() : std::to_string(code) + char(active_.s[3]));
  // A new rate applies once the OK has gone out at the old one.
  if (iprPending_) {
    iprPending_ = false;
    ipr_ = pendingIpr_;
    Note("line rate " + std::to_string(ipr_));
  }
}

void Engine::FinalError() {
  iprPending_ = false;
  if (cme_ != CmeError::None && active_.cmee == 1) return Final("+CME ERROR: " + std::to_string(int(cme_)), 4);
  if (cme_ != CmeError::None && active_.cmee == 2) return Final(std::string("+CME ERROR: ") + CmeText(cme_), 4);
  Final("ERROR", 4);
}

void Engine::Urc(const std::string& text) {
  Emit(active_.verbose ? CrLf() + text + CrLf() : text + CrLf());
}

void Engine::UpdateStatus() {
  uint32_t lines = 0;
  if (power_ == Power::On && !shutting_) {
    lines = kCts | kDsr;
    if (active_.dcd == 0 || InCall()) lines |= kDcd;
    if (ri_) lines |= kRing;
  }
  line_.SetStatusLines(lines);
}

// ---------------------------------------------------------------- power

void Engine::PowerOn() {
  if (power_ != Power::Off || out_.Dropped()) return;
  power_ = Power::Booting;
  ++powerOns_;
  Note("power on");
  After(settings_.bootMs, [this] { BootDone(true); });
}

void Engine::BootDone(bool announce) {
  power_ = Power::On;
  shutting_ = false;
  mode_ = Mode::Command;
  scan_ = Scan::Idle;
  busy_ = false;
  ringing_ = ri_ = false;
  active_ = stored_;
  const SimCard& sim = settings_.sim;
  if (!sim.inserted) simState_ = SimState::Absent;
  else if (sim.pukTries <= 0) simState_ = SimState::Blocked;
  else if (sim.pinTries <= 0) simState_ = SimState::Puk;
  else if (sim.pinRequest) simState_ = SimState::Pin;
  else simState_ = SimState::Ready;
  // In autobaud the modem does not know the rate yet, so it says nothing.
  if (announce && ipr_ != 0) Emit("^SYSSTART" + CrLf());
  Note("started");
  UpdateStatus();
}

void Engine::PowerOff() {
  if (power_ == Power::Off) return;
  CancelAll();
  out_.Clear();
  power_ = Power::Off;
  shutting_ = false;
  mode_ = Mode::Command;
  Note("power cut");
  UpdateStatus();
}

void Engine::FinishShutdown() {
  CancelAll();
  power_ = Power::Off;
  shutting_ = false;
  mode_ = Mode::Command;
  Note("switched off");
  UpdateStatus();
  if (settings_.autoPowerOnMs) After(settings_.autoPowerOnMs, [this] { PowerOn(); });
}

// ---------------------------------------------------------------- input

void Engine::Receive(std::string_view bytes) {
  if (settings_.faults.silent || settings_.faults.streamMs || out_.Dropped()) return;
  std::string data;
  const uint64_t now = clock_.NowUs();
  for (char c : bytes) {
    if (power_ != Power::On || shutting_) break;
    switch (mode_) {
      case Mode::Online:
        OnlineChar(c, now);
        data.push_back(c);
        break;
      case Mode::Dialing:
        // Any character ends a call being set up.
        Stop(dialTimer_);
        dialTimer_ = 0;
        mode_ = Mode::Command;
        Final("NO CARRIER", 3);
        break;
      default:
        CommandChar(c);
    }
  }
  if (!data.empty() && onRemoteData_) onRemoteData_(data);
}

void Engine::CommandChar(char c) {
  if (busy_) return;  // a command still runs: the module drops what comes meanwhile
  if (active_.echo) Emit(std::string(1, c));
  const char cr = char(active_.s[3]), bs = char(active_.s[5]);
  switch (scan_) {
    case Scan::Idle:
      if (c == 'A' || c == 'a') scan_ = Scan::GotA;
      break;
    case Scan::GotA:
      if (c == 'T' || c == 't') {
        scan_ = Scan::InLine;
        lineBuf_.clear();
        overflow_ = false;
      } else if (c == '/') {
        scan_ = Scan::Idle;
        StartLine(lastLine_);
      } else if (c != 'A' && c != 'a') {
        scan_ = Scan::Idle;
      }
      break;
    case Scan::InLine:
      if (c == cr) {
        scan_ = Scan::Idle;
        if (overflow_) {
          commands_.push_back("AT" + lineBuf_);
          firstResponse_ = true;
          cme_ = CmeError::None;
          FinalError();
        } else {
          StartLine(lineBuf_);
        }
      } else if (c == bs) {
        if (!lineBuf_.empty()) lineBuf_.pop_back();
      } else if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
        // other control characters are not part of a command
      } else if (lineBuf_.size() + 2 >= kMaxLine) {
        overflow_ = true;
      } else {
        lineBuf_.push_back(c);
      }
      break;
  }
}

void Engine::StartLine(const std::string& raw) {
  commands_.push_back("AT" + raw);
  lastLine_ = raw;
  Note("command AT" + raw);
  exec_ = Normalise(raw);
  execPos_ = 0;
  busy_ = true;
  firstResponse_ = true;
  const Faults& f = settings_.faults;
  if (!f.dropOn.empty() && Upper("AT" + raw).find(Upper(f.dropOn)) != std::string::npos)
    out_.ArmDrop(f.dropAfterBytes);
  if (f.flood && !flooding_) {
    flooding_ = true;
    FloodTick();
  }
  if (f.resultDelayMs) After(f.resultDelayMs, [this] { RunLine(); });
  else RunLine();
}

void Engine::RunLine() {
  while (execPos_ < exec_.size()) {
    Cmd c;
    if (!ParseNext(c) || !c.entry) {
      cme_ = CmeError::None;
      return FinalError();
    }
    cme_ = CmeError::None;
    const Step step = (this->*c.entry->handler)(c);
    if (step == Step::Fail) return FinalError();
    if (step == Step::Pending) return;
    if (step == Step::Done) return;
    if (power_ != Power::On) return;
  }
  FinalOk();
}

void Engine::Resume(Step outcome) {
  if (outcome == Step::Fail) return FinalError();
  if (outcome == Step::Next) RunLine();
}

void Engine::OnlineChar(char c, uint64_t nowUs) {
  const uint64_t guardUs = uint64_t(settings_.guardMs) * 1000;
  const bool quietBefore = nowUs - lastDataUs_ >= guardUs;
  if (c == '+' && plusCount_ > 0 && plusCount_ < 3 && nowUs - lastPlusUs_ < guardUs) {
    ++plusCount_;
  } else {
    Stop(escapeTimer_);
    escapeTimer_ = 0;
    plusCount_ = (c == '+' && quietBefore) ? 1 : 0;
  }
  lastPlusUs_ = nowUs;
  lastDataUs_ = nowUs;
  if (plusCount_ == 3) {
    // The escape counts only if a guard time of silence follows it too.
    escapeTimer_ = After(settings_.guardMs, [this] {
      escapeTimer_ = 0;
      plusCount_ = 0;
      mode_ = Mode::OnlineCommand;
      scan_ = Scan::Idle;
      firstResponse_ = true;
      Note("escaped to command mode");
      FinalOk();
    });
  }
}

void Engine::FloodTick() {
  if (!flooding_) return;
  constexpr size_t kChunk = 64;
  Emit(Garbage(kChunk, noiseSeed_));
  // Paced to the line so that the queue does not grow without bound.
  uint64_t byteUs = line_.ByteTimeUs();
  if (byteUs == 0) byteUs = 11'000'000 / (ipr_ ? ipr_ : 9600);
  After(std::max<uint64_t>(1, kChunk * byteUs / 1000), [this] { FloodTick(); });
}

// Outside the modem's own timers: no power switch or hang-up of the modem
// stops a device that is not one.
void Engine::StreamTick() {
  static const std::string kLine = "$GPGGA,092750.000,5321.6802,N,00630.3372,W,1,8,1.03,61.7,M,55.2,M,,*76\r\n";
  out_.Put(kLine, ipr_);
  uint64_t ms = settings_.faults.streamMs;
  if (ms == 1) {
    uint64_t byteUs = line_.ByteTimeUs();
    if (byteUs == 0) byteUs = 11'000'000 / (ipr_ ? ipr_ : 9600);
    ms = std::max<uint64_t>(1, kLine.size() * byteUs / 1000);
  }
  std::weak_ptr<bool> alive = alive_;
  clock_.CallIn(ms * 1000, [this, alive] {
    if (!alive.expired()) StreamTick();
  });
}

// ---------------------------------------------------------------- calls

void Engine::Connect() {
  mode_ = Mode::Online;
  plusCount_ = 0;
  lastDataUs_ = clock_.NowUs();
  Note("connected");
  Final(settings_.connectText, 1);
  UpdateStatus();
}

void Engine::EndCall(const char* result, int code) {
  Stop(escapeTimer_);
  escapeTimer_ = 0;
  plusCount_ = 0;
  mode_ = Mode::Command;
  Note("call ended");
  if (result) {
    firstResponse_ = true;
    Final(result, code);
  }
  UpdateStatus();
}

void Engine::RemoteHangUp() {
  if (power_ != Power::On) return;
  if (ringing_) {
    ringing_ = false;
    Stop(ringTimer_);
    ringTimer_ = 0;
    return;
  }
  if (InCall()) EndCall("NO CARRIER", 3);
}

void Engine::SendFromRemote(std::string_view data) {
  if (power_ == Power::On && mode_ == Mode::Online) Emit(std::string(data));
}

void Engine::IncomingCall() {
  if (power_ != Power::On || InCall() || ringing_) return;
  ringing_ = true;
  rings_ = 0;
  Ring();
}

void Engine::Ring() {
  ringTimer_ = 0;
  if (!ringing_) return;
  ++rings_;
  Urc("RING");
  ri_ = true;
  UpdateStatus();
  After(1000, [this] {
    ri_ = false;
    UpdateStatus();
  });
  const int answerAfter = active_.s[0];
  if (answerAfter > 0 && rings_ >= answerAfter && !busy_) {
    ringing_ = false;
    firstResponse_ = true;
    Connect();
    return;
  }
  ringTimer_ = After(settings_.ringPeriodMs, [this] { Ring(); });
}

}  // namespace modemsim
