#include "modemsim/engine.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <utility>

namespace modemsim {

namespace {

std::string Upper(std::string s) {
  for (char& c : s) c = char(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

// Spaces out, letters up, except inside quotes (a PIN or a name stays as typed).
std::string Normalise(const std::string& raw) {
  std::string out;
  bool quoted = false;
  for (char c : raw) {
    if (c == '"') quoted = !quoted;
    if (!quoted && c == ' ') continue;
    out.push_back(quoted ? c : char(std::toupper(static_cast<unsigned char>(c))));
  }
  return out;
}

std::vector<std::string> SplitArgs(const std::string& text) {
  std::vector<std::string> args;
  if (text.empty()) return args;
  std::string cur;
  bool quoted = false;
  for (char c : text) {
    if (c == '"') {
      quoted = !quoted;
      continue;
    }
    if (c == ',' && !quoted) {
      args.push_back(cur);
      cur.clear();
      continue;
    }
    cur.push_back(c);
  }
  args.push_back(cur);
  return args;
}

bool ToInt(const std::string& s, int& v) {
  if (s.empty() || s.size() > 9) return false;
  v = 0;
  for (char c : s) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + (c - '0');
  }
  return true;
}

bool IsCode(const std::string& s) {
  if (s.size() < 4 || s.size() > 8) return false;
  return std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

const char* CmeText(int code) {
  switch (code) {
    case 3: return "operation not allowed";
    case 4: return "operation not supported";
    case 10: return "SIM not inserted";
    case 11: return "SIM PIN required";
    case 12: return "SIM PUK required";
    case 13: return "SIM failure";
    case 16: return "incorrect password";
    default: return "unknown";
  }
}

constexpr uint32_t kRates[] = {0, 300, 600, 1200, 2400, 4800, 9600, 14400, 19200, 28800, 38400, 57600, 115200};
constexpr int kRegisters[] = {0, 3, 4, 5, 6, 7, 8, 10, 18};
constexpr size_t kMaxLine = 555;  // the module's command line buffer
constexpr uint64_t kDropGraceUs = 100'000;

}  // namespace

std::string Misheard(const std::string& bytes) {
  std::string out(bytes);
  for (char& c : out) c = char(0x80 | ((static_cast<unsigned char>(c) * 7 + 0x35) & 0x7F));
  return out;
}

std::string Garbage(size_t count, uint32_t& seed) {
  std::string out;
  out.reserve(count);
  for (size_t i = 0; i < count; ++i) {
    seed = seed * 1103515245u + 12345u;
    unsigned b = (seed >> 16) & 0xFF;
    if (b < 0x80) b = (b & 1) ? 0 : (b | 0x80);
    out.push_back(char(b));
  }
  return out;
}

Profile::Profile() {
  s[3] = 13;
  s[4] = 10;
  s[5] = 8;
  s[7] = 60;
  s[10] = 2;
}

// ---------------------------------------------------------------- output

OutputStage::OutputStage(Clock& clock, Line& line, const Faults& faults)
    : clock_(clock), line_(line), faults_(faults) {}

OutputStage::~OutputStage() {
  if (waking_) clock_.Cancel(wake_);
}

void OutputStage::Put(const std::string& bytes, uint32_t rate) {
  if (dropped_ || bytes.empty()) return;
  const uint64_t now = clock_.NowUs();
  queue_.push_back({now + uint64_t(faults_.answerDelayMs) * 1000, bytes, rate});
  put_ += bytes.size();
  // Not at once: what is put at one moment leaves as one reply, cut as ordered.
  WakeAt(now);
}

void OutputStage::Clear() {
  queue_.clear();
  put_ = sent_;
  inPiece_ = 0;
  holdUntilUs_ = 0;
  if (waking_) clock_.Cancel(wake_);
  waking_ = false;
}

void OutputStage::ArmDrop(size_t afterBytes) {
  dropArmed_ = true;
  dropAt_ = put_ + afterBytes;
}

void OutputStage::WakeAt(uint64_t us) {
  const uint64_t now = clock_.NowUs();
  if (waking_) {
    if (wakeAtUs_ <= us) return;
    clock_.Cancel(wake_);
  }
  waking_ = true;
  wakeAtUs_ = us;
  wake_ = clock_.CallIn(us > now ? us - now : 0, [this] {
    waking_ = false;
    Pump();
  });
}

void OutputStage::Pump() {
  const uint64_t now = clock_.NowUs();
  while (!queue_.empty() && !dropped_) {
    if (holdUntilUs_ > now) return WakeAt(holdUntilUs_);
    Chunk& ch = queue_.front();
    if (ch.readyUs > now) return WakeAt(ch.readyUs);
    size_t n = ch.bytes.size();
    if (faults_.pieceBytes) n = std::min(n, faults_.pieceBytes - inPiece_);
    if (dropArmed_) n = size_t(std::min<uint64_t>(n, dropAt_ - sent_));
    if (n) {
      line_.Send(ch.bytes.substr(0, n), ch.rate);
      sent_ += n;
      ch.bytes.erase(0, n);
    }
    if (dropArmed_ && sent_ >= dropAt_) {
      // The line goes a moment after the last byte is through, so that a
      // program polling its port has read them: a hang-up discards unread input.
      dropped_ = true;
      queue_.clear();
      if (waking_) clock_.Cancel(wake_);
      waking_ = true;
      wake_ = clock_.CallIn(n * line_.ByteTimeUs() + kDropGraceUs, [this] {
        waking_ = false;
        line_.Drop();
        if (onDrop) onDrop();
      });
      return;
    }
    if (ch.bytes.empty()) queue_.pop_front();
    if (faults_.pieceBytes) {
      inPiece_ += n;
      if (inPiece_ >= faults_.pieceBytes) {
        // The gap is silence on the line: it starts when the piece is through.
        holdUntilUs_ = now + inPiece_ * line_.ByteTimeUs() + uint64_t(faults_.pieceGapMs) * 1000;
        inPiece_ = 0;
      }
    }
  }
  // The next reply starts a piece of its own.
  if (queue_.empty()) inPiece_ = 0;
}

// ---------------------------------------------------------------- commands

struct Engine::Cmd {
  std::string name;
  char op = 0;  // 0 action, '=' set, '?' read, 't' test (=?)
  std::string arg;
  std::vector<std::string> args;
  bool hasNum = false;
  int num = 0;
  const Entry* entry = nullptr;
};

const Engine::Entry Engine::kTable[] = {
    {"E", &Engine::Numeric, &Profile::echo, 0, 1},
    {"Q", &Engine::Numeric, &Profile::quiet, 0, 1},
    {"V", &Engine::Numeric, &Profile::verbose, 0, 1},
    {"X", &Engine::Numeric, &Profile::x, 0, 4},
    {"&C", &Engine::Numeric, &Profile::dcd, 0, 1},
    {"&D", &Engine::Numeric, &Profile::dtr, 0, 2},
    {"&S", &Engine::Numeric, &Profile::dsr, 0, 1},
    {"\\Q", &Engine::Numeric, &Profile::flow, 0, 3},
    {"L", &Engine::Accept, nullptr, 0, 3},
    {"M", &Engine::Accept, nullptr, 0, 2},
    {"I", &Engine::CmdI, nullptr, 0, 0},
    {"Z", &Engine::CmdZ, nullptr, 0, 0},
    {"&F", &Engine::CmdF, nullptr, 0, 0},
    {"&W", &Engine::CmdW, nullptr, 0, 0},
    {"&V", &Engine::CmdAndV, nullptr, 0, 0},
    {"S", &Engine::CmdS, nullptr, 0, 255},
    {"D", &Engine::CmdD, nullptr, 0, 0},
    {"H", &Engine::CmdH, nullptr, 0, 0},
    {"O", &Engine::CmdO, nullptr, 0, 0},
    {"A", &Engine::CmdA, nullptr, 0, 0},
    {"+CGMI", &Engine::CmdCgmi, nullptr, 0, 0},
    {"+GMI", &Engine::CmdCgmi, nullptr, 0, 0},
    {"+CGMM", &Engine::CmdCgmm, nullptr, 0, 0},
    {"+GMM", &Engine::CmdCgmm, nullptr, 0, 0},
    {"+CGMR", &Engine::CmdCgmr, nullptr, 0, 0},
    {"+GMR", &Engine::CmdCgmr, nullptr, 0, 0},
    {"+CGSN", &Engine::CmdCgsn, nullptr, 0, 0},
    {"+GSN", &Engine::CmdCgsn, nullptr, 0, 0},
    {"+CPIN", &Engine::CmdCpin, nullptr, 0, 0},
    {"+CLCK", &Engine::CmdClck, nullptr, 0, 0},
    {"+CSNS", &Engine::CmdCsns, nullptr, 0, 0},
    {"+IPR", &Engine::CmdIpr, nullptr, 0, 0},
    {"+CBST", &Engine::CmdCbst, nullptr, 0, 0},
    {"+CSQ", &Engine::CmdCsq, nullptr, 0, 0},
    {"+CREG", &Engine::CmdCreg, nullptr, 0, 2},
    {"+CMEE", &Engine::ExtNumeric, &Profile::cmee, 0, 2},
    {"+CR", &Engine::ExtNumeric, &Profile::cr, 0, 1},
    {"+CRC", &Engine::ExtNumeric, &Profile::crc, 0, 1},
    {"^SMSO", &Engine::CmdSmso, nullptr, 0, 0},
};

const Engine::Entry* Engine::Find(const std::string& name) const {
  for (const Entry& e : kTable)
    if (name == e.name) return &e;
  return nullptr;
}

// One command off the normalised line at execPos_.
bool Engine::ParseNext(Cmd& c) {
  const std::string& s = exec_;
  size_t& p = execPos_;
  const char lead = s[p];
  auto digits = [&] {
    std::string d;
    while (p < s.size() && std::isdigit(static_cast<unsigned char>(s[p]))) d.push_back(s[p++]);
    return d;
  };
  if (lead == '+' || lead == '^') {
    c.name.push_back(s[p++]);
    while (p < s.size() && (std::isalnum(static_cast<unsigned char>(s[p])) || std::strchr("!%-./:_", s[p])))
      c.name.push_back(s[p++]);
    if (s.compare(p, 2, "=?") == 0) {
      c.op = 't';
      p += 2;
    } else if (p < s.size() && s[p] == '?') {
      c.op = '?';
      ++p;
    } else if (p < s.size() && s[p] == '=') {
      c.op = '=';
      ++p;
      bool quoted = false;
      while (p < s.size() && (quoted || s[p] != ';')) {
        if (s[p] == '"') quoted = !quoted;
        c.arg.push_back(s[p++]);
      }
      c.args = SplitArgs(c.arg);
    }
    if (p < s.size() && s[p] == ';') ++p;
    else if (p < s.size()) return false;
  } else if (lead == '&' || lead == '\\') {
    if (p + 1 >= s.size() || !std::isalpha(static_cast<unsigned char>(s[p + 1]))) return false;
    c.name = s.substr(p, 2);
    p += 2;
    const std::string d = digits();
    c.hasNum = !d.empty();
    if (c.hasNum && !ToInt(d, c.num)) return false;
  } else if (lead == 'S') {
    c.name = "S";
    ++p;
    const std::string reg = digits();
    if (!ToInt(reg, c.num)) return false;
    if (p < s.size() && s[p] == '?') {
      c.op = '?';
      ++p;
    } else if (p < s.size() && s[p] == '=') {
      c.op = '=';
      ++p;
      c.arg = digits();
    } else {
      return false;
    }
  } else if (lead == 'D') {
    c.name = "D";
    c.arg = s.substr(p + 1);
    p = s.size();
  } else if (std::isalpha(static_cast<unsigned char>(lead))) {
    c.name = std::string(1, lead);
    ++p;
    const std::string d = digits();
    c.hasNum = !d.empty();
    if (c.hasNum && !ToInt(d, c.num)) return false;
  } else {
    return false;
  }
  c.entry = Find(c.name);
  return true;
}

// ---------------------------------------------------------------- engine

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
  if (cme_ >= 0 && active_.cmee == 1) return Final("+CME ERROR: " + std::to_string(cme_), 4);
  if (cme_ >= 0 && active_.cmee == 2) return Final(std::string("+CME ERROR: ") + CmeText(cme_), 4);
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
          cme_ = -1;
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
      cme_ = -1;
      return FinalError();
    }
    cme_ = -1;
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

// ---------------------------------------------------------------- handlers

Engine::Step Engine::Numeric(Cmd& c) {
  const int v = c.hasNum ? c.num : 0;
  if (c.op || v < c.entry->min || v > c.entry->max) return Step::Fail;
  active_.*(c.entry->field) = v;
  return Step::Next;
}

Engine::Step Engine::Accept(Cmd& c) {
  const int v = c.hasNum ? c.num : 0;
  return v >= c.entry->min && v <= c.entry->max ? Step::Next : Step::Fail;
}

Engine::Step Engine::ExtNumeric(Cmd& c) {
  const std::string label = c.name + ": ";
  int& field = active_.*(c.entry->field);
  if (c.op == 't') {
    Info({label + "(" + std::to_string(c.entry->min) + "-" + std::to_string(c.entry->max) + ")"});
    return Step::Next;
  }
  if (c.op == '?') {
    Info({label + std::to_string(field)});
    return Step::Next;
  }
  int v = 0;
  if (c.op != '=' || c.args.size() != 1 || !ToInt(c.args[0], v) || v < c.entry->min || v > c.entry->max)
    return Step::Fail;
  field = v;
  return Step::Next;
}

Engine::Step Engine::CmdI(Cmd& c) {
  if (c.num != 0) return Step::Fail;
  Info({settings_.manufacturer, settings_.model, "REVISION " + settings_.revision});
  return Step::Next;
}

Engine::Step Engine::CmdZ(Cmd& c) {
  if (c.num != 0) return Step::Fail;
  active_ = stored_;
  return Step::Next;
}

Engine::Step Engine::CmdF(Cmd& c) {
  if (c.num != 0) return Step::Fail;
  active_ = factory_;  // +IPR is not part of it: the rate stays
  return Step::Next;
}

Engine::Step Engine::CmdW(Cmd& c) {
  if (c.num != 0) return Step::Fail;
  stored_ = active_;
  Note("profile stored");
  return Step::Next;
}

Engine::Step Engine::CmdAndV(Cmd& c) {
  if (c.num != 0) return Step::Fail;
  const Profile& p = active_;
  char buf[160];
  std::snprintf(buf, sizeof buf, "E%d Q%d V%d X%d &C%d &D%d &S%d \\Q%d", p.echo, p.quiet, p.verbose, p.x, p.dcd,
                p.dtr, p.dsr, p.flow);
  std::vector<std::string> lines{"ACTIVE PROFILE:", buf};
  std::string regs;
  for (int r : kRegisters) {
    std::snprintf(buf, sizeof buf, "%sS%d:%03d", regs.empty() ? "" : " ", r, p.s[r]);
    regs += buf;
  }
  lines.push_back(regs);
  auto ext = [&](const std::string& name, const std::string& value) { lines.push_back(name + ": " + value); };
  ext("+CBST", std::to_string(p.cbst[0]) + "," + std::to_string(p.cbst[1]) + "," + std::to_string(p.cbst[2]));
  ext("+CRLP", "61,61,48,6");
  ext("+CR", std::to_string(p.cr));
  ext("+CRC", std::to_string(p.crc));
  ext("+CMEE", std::to_string(p.cmee));
  ext("+CSNS", std::to_string(p.csns));
  ext("+ICF", "3");
  ext("+IFC", p.flow == 3 ? "2,2" : "0,0");
  ext("+IPR", std::to_string(ipr_));
  Info(lines);
  return Step::Next;
}

Engine::Step Engine::CmdS(Cmd& c) {
  if (std::find(std::begin(kRegisters), std::end(kRegisters), c.num) == std::end(kRegisters)) return Step::Fail;
  if (c.op == '?') {
    char buf[8];
    std::snprintf(buf, sizeof buf, "%03d", active_.s[c.num]);
    Info({buf});
    return Step::Next;
  }
  int v = 0;
  const int max = (c.num == 3 || c.num == 4 || c.num == 5) ? 127 : 255;
  if (!ToInt(c.arg, v) || v > max) return Step::Fail;
  active_.s[c.num] = v;
  return Step::Next;
}

Engine::Step Engine::NeedSim(Cmd&) {
  switch (simState_) {
    case SimState::Ready: return Step::Next;
    case SimState::Pin: cme_ = 11; break;
    case SimState::Puk: cme_ = 12; break;
    case SimState::Blocked: cme_ = 13; break;
    case SimState::Absent: cme_ = 10; break;
  }
  return Step::Fail;
}

Engine::Step Engine::CmdD(Cmd& c) {
  if (mode_ != Mode::Command) return Step::Fail;
  if (NeedSim(c) == Step::Fail) return Step::Fail;
  std::string number;
  bool voice = false;
  for (char ch : c.arg) {
    if (ch == ';') voice = true;
    else if (std::isdigit(static_cast<unsigned char>(ch)) || std::strchr("*#+ABC", ch)) number.push_back(ch);
    else if (!std::strchr("TPW,!@", ch)) return Step::Fail;  // memory dialling and the like: not here
  }
  if (number.empty()) return Step::Fail;
  Note("dialling " + number);
  if (voice) return Step::Next;
  mode_ = Mode::Dialing;
  if (settings_.dialResult == DialResult::Silent) return Step::Pending;
  dialTimer_ = After(settings_.dialMs, [this] {
    dialTimer_ = 0;
    mode_ = Mode::Command;
    switch (settings_.dialResult) {
      case DialResult::Connect: return Connect();
      case DialResult::Busy: return Final("BUSY", 7);
      case DialResult::NoCarrier: return Final("NO CARRIER", 3);
      case DialResult::NoDialtone: return Final("NO DIALTONE", 6);
      case DialResult::NoAnswer: return Final("NO ANSWER", 8);
      case DialResult::Silent: return;
    }
  });
  return Step::Pending;
}

Engine::Step Engine::CmdH(Cmd& c) {
  if (c.num != 0) return Step::Fail;
  if (InCall()) EndCall(nullptr, 0);
  if (ringing_) RemoteHangUp();
  return Step::Next;
}

Engine::Step Engine::CmdO(Cmd& c) {
  if (c.num != 0) return Step::Fail;
  if (mode_ != Mode::OnlineCommand) {
    Final("NO CARRIER", 3);
    return Step::Done;
  }
  Connect();
  return Step::Done;
}

Engine::Step Engine::CmdA(Cmd&) {
  if (!ringing_ || InCall()) {
    Final("NO CARRIER", 3);
    return Step::Done;
  }
  ringing_ = false;
  Stop(ringTimer_);
  ringTimer_ = 0;
  Connect();
  return Step::Done;
}

Engine::Step Engine::CmdCgmi(Cmd& c) {
  if (c.op == 't') return Step::Next;
  if (c.op) return Step::Fail;
  Info({settings_.manufacturer});
  return Step::Next;
}

Engine::Step Engine::CmdCgmm(Cmd& c) {
  if (c.op == 't') return Step::Next;
  if (c.op) return Step::Fail;
  Info({settings_.model});
  return Step::Next;
}

Engine::Step Engine::CmdCgmr(Cmd& c) {
  if (c.op == 't') return Step::Next;
  if (c.op) return Step::Fail;
  Info({"REVISION " + settings_.revision});
  return Step::Next;
}

Engine::Step Engine::CmdCgsn(Cmd& c) {
  if (c.op == 't') return Step::Next;
  if (c.op) return Step::Fail;
  Info({settings_.imei});
  return Step::Next;
}

Engine::Step Engine::CmdCpin(Cmd& c) {
  if (c.op == 't') return Step::Next;
  if (c.op == '?') {
    switch (simState_) {
      case SimState::Ready: Info({"+CPIN: READY"}); return Step::Next;
      case SimState::Pin: Info({"+CPIN: SIM PIN"}); return Step::Next;
      case SimState::Puk: Info({"+CPIN: SIM PUK"}); return Step::Next;
      case SimState::Blocked: cme_ = 13; return Step::Fail;
      case SimState::Absent: cme_ = 10; return Step::Fail;
    }
  }
  if (c.op != '=' || c.args.empty() || c.args.size() > 2) return Step::Fail;
  switch (simState_) {
    case SimState::Absent: cme_ = 10; return Step::Fail;
    case SimState::Blocked: cme_ = 13; return Step::Fail;
    case SimState::Ready: cme_ = 3; return Step::Fail;  // nothing asked for
    case SimState::Pin: {
      // A second code is for a PUK only; with a PIN pending it is ignored.
      const std::string code = c.args[0];
      After(settings_.pinCheckMs, [this, code] {
        SimCard& sim = settings_.sim;
        if (code == sim.pin) {
          sim.pinTries = 3;
          simState_ = SimState::Ready;
          Note("PIN accepted");
          return Resume(Step::Next);
        }
        if (--sim.pinTries <= 0) simState_ = SimState::Puk;
        Note("PIN rejected, tries left " + std::to_string(sim.pinTries));
        cme_ = 16;
        Resume(Step::Fail);
      });
      return Step::Pending;
    }
    case SimState::Puk: {
      if (c.args.size() != 2 || !IsCode(c.args[1])) {
        cme_ = 12;
        return Step::Fail;
      }
      const std::string puk = c.args[0], newPin = c.args[1];
      After(settings_.pinCheckMs, [this, puk, newPin] {
        SimCard& sim = settings_.sim;
        if (puk == sim.puk) {
          sim.pin = newPin;
          sim.pinTries = 3;
          sim.pukTries = 10;
          simState_ = SimState::Ready;
          Note("PUK accepted, new PIN " + newPin);
          return Resume(Step::Next);
        }
        if (--sim.pukTries <= 0) simState_ = SimState::Blocked;
        Note("PUK rejected, tries left " + std::to_string(sim.pukTries));
        cme_ = 16;
        Resume(Step::Fail);
      });
      return Step::Pending;
    }
  }
  return Step::Fail;
}

Engine::Step Engine::CmdClck(Cmd& c) {
  if (c.op == 't') {
    Info({"+CLCK: (\"SC\")"});
    return Step::Next;
  }
  if (c.op != '=' || c.args.size() < 2 || c.args.size() > 4) return Step::Fail;
  if (Upper(c.args[0]) != "SC") {
    cme_ = 4;
    return Step::Fail;
  }
  if (NeedSim(c) == Step::Fail) return Step::Fail;
  int mode = 0;
  if (!ToInt(c.args[1], mode) || mode > 2) return Step::Fail;
  if (mode == 2) {
    Info({std::string("+CLCK: ") + (settings_.sim.pinRequest ? "1" : "0")});
    return Step::Next;
  }
  if (c.args.size() < 3) {
    cme_ = 16;
    return Step::Fail;
  }
  const std::string code = c.args[2];
  After(settings_.clckMs, [this, code, mode] {
    SimCard& sim = settings_.sim;
    if (code == sim.pin) {
      sim.pinTries = 3;
      sim.pinRequest = mode == 1;
      Note(mode ? "PIN request on" : "PIN request off");
      return Resume(Step::Next);
    }
    // A wrong PIN here counts against the card like any other.
    if (--sim.pinTries <= 0) simState_ = SimState::Puk;
    cme_ = 16;
    Resume(Step::Fail);
  });
  return Step::Pending;
}

Engine::Step Engine::CmdCsns(Cmd& c) {
  if (c.op == 't') {
    Info({"+CSNS: (0,2,4)"});
    return Step::Next;
  }
  if (c.op == '?') {
    Info({"+CSNS: " + std::to_string(active_.csns)});
    return Step::Next;
  }
  int v = 0;
  if (c.op != '=' || c.args.size() != 1 || !ToInt(c.args[0], v) || (v != 0 && v != 2 && v != 4)) return Step::Fail;
  active_.csns = v;
  return Step::Next;
}

Engine::Step Engine::CmdIpr(Cmd& c) {
  if (c.op == 't') {
    std::string list;
    for (uint32_t r : kRates) {
      if (!list.empty()) list += ',';
      list += std::to_string(r);
    }
    Info({"+IPR: (" + list + "),()"});
    return Step::Next;
  }
  if (c.op == '?') {
    Info({"+IPR: " + std::to_string(ipr_)});
    return Step::Next;
  }
  int v = 0;
  if (c.op != '=' || c.args.size() != 1 || !ToInt(c.args[0], v)) return Step::Fail;
  if (std::find(std::begin(kRates), std::end(kRates), uint32_t(v)) == std::end(kRates)) return Step::Fail;
  // Kept in non-volatile memory at once, not through the profile.
  pendingIpr_ = uint32_t(v);
  iprPending_ = true;
  return Step::Next;
}

Engine::Step Engine::CmdCbst(Cmd& c) {
  if (c.op == 't') {
    Info({"+CBST: (0-7,12,14,65,66,68,70,71,75),(0),(1)"});
    return Step::Next;
  }
  if (c.op == '?') {
    const auto& b = active_.cbst;
    Info({"+CBST: " + std::to_string(b[0]) + "," + std::to_string(b[1]) + "," + std::to_string(b[2])});
    return Step::Next;
  }
  if (c.op != '=' || c.args.empty() || c.args.size() > 3) return Step::Fail;
  std::array<int, 3> v = active_.cbst;
  for (size_t i = 0; i < c.args.size(); ++i)
    if (!ToInt(c.args[i], v[i])) return Step::Fail;
  active_.cbst = v;
  return Step::Next;
}

Engine::Step Engine::CmdCsq(Cmd& c) {
  if (c.op == 't') return Step::Next;
  if (c.op) return Step::Fail;
  Info({"+CSQ: 19,99"});
  return Step::Next;
}

Engine::Step Engine::CmdCreg(Cmd& c) {
  if (c.op == '?') {
    Info({simState_ == SimState::Ready ? "+CREG: 0,1" : "+CREG: 0,0"});
    return Step::Next;
  }
  int v = 0;
  if (c.op == 't') return Step::Next;
  if (c.op != '=' || c.args.size() != 1 || !ToInt(c.args[0], v) || v > 2) return Step::Fail;
  return Step::Next;
}

Engine::Step Engine::CmdSmso(Cmd& c) {
  if (c.op == 't') return Step::Next;
  if (c.op) return Step::Fail;
  Info({"^SMSO: MS OFF"});
  FinalOk();
  shutting_ = true;
  Note("switching off");
  After(settings_.shutdownMs, [this] {
    Urc("^SHUTDOWN");
    FinishShutdown();
  });
  return Step::Done;
}

}  // namespace modemsim
