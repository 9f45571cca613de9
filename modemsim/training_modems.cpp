#include "modemsim/training_modems.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <string_view>
#include <thread>
#include <utility>

#include "modemsim/due_actions.h"
#include "modemsim/line_match.h"
#include "serial/line_time.h"
#include "toolkit/codepage.h"

namespace modemsim {

namespace {

// Power-on to ^SYSSTART: a C35i reports within about two seconds.
constexpr uint32_t kBootMs = 2000;
// What a device holds for a program that does not read; more is overrun.
constexpr size_t kInputCapacity = 64 * 1024;

Settings Base() {
  Settings s;
  s.bootMs = kBootMs;
  s.autoPowerOnMs = 0;  // the supply follows the operator's prompts
  s.sim.pinRequest = false;
  return s;
}

// The engine's time from the toolkit: its tick count, and one toolkit timer
// set to the engine's next due action, so that the event loop sleeps until
// then and nothing runs while nothing is due.
class ToolkitClock final : public Clock {
 public:
  explicit ToolkitClock(toolkit::Toolkit& tk) : tk_(tk), lastTick_(tk.TickCount()) {
    timer_ = tk_.CreateTimer(1, [this] { RunDue(); });
  }

  uint64_t NowUs() const override {
    const uint32_t tick = tk_.TickCount();
    ms_ += uint32_t(tick - lastTick_);  // modulo 2^32: a wrap is harmless
    lastTick_ = tick;
    return ms_ * 1000;
  }

  TimerId CallIn(uint64_t us, std::function<void()> action) override {
    const TimerId id = due_.Add(NowUs() + us, std::move(action));
    Arm();
    return id;
  }

  void Cancel(TimerId id) override {
    due_.Cancel(id);
    Arm();
  }

 private:
  void Arm() {
    if (running_) return;  // RunDue arms once it is through
    const std::optional<uint64_t> next = due_.Next();
    if (!next) {
      timer_->SetEnabled(false);
      return;
    }
    const uint64_t at = *next;
    if (timer_->Enabled() && at == armedAt_) return;
    const uint64_t now = NowUs();
    const uint64_t ms = at > now ? (at - now + 999) / 1000 : 1;
    armedAt_ = at;
    timer_->SetEnabled(false);
    timer_->SetInterval(uint32_t(std::clamp<uint64_t>(ms, 1, 0x7FFFFFFF)));
    timer_->SetEnabled(true);
  }

  void RunDue() {
    timer_->SetEnabled(false);
    running_ = true;
    due_.RunDue([this] { return NowUs(); });
    running_ = false;
    Arm();
  }

  toolkit::Toolkit& tk_;
  mutable uint32_t lastTick_;
  mutable uint64_t ms_ = 0;
  std::unique_ptr<toolkit::Timer> timer_;
  DueActions due_;
  uint64_t armedAt_ = 0;
  bool running_ = false;
};

bool Contains(std::string_view text, const std::string& part) { return text.find(part) != std::string_view::npos; }

}  // namespace

std::vector<TrainingModem> TrainingModemSet() {
  std::vector<TrainingModem> set;
  auto add = [&](const char* utf8Name, const std::function<void(Settings&)>& make) {
    Settings s = Base();
    make(s);
    set.push_back({toolkit::Cp1251(utf8Name), std::move(s)});
  };
  add("ГОТОВ", [](Settings&) {});
  add("ПИН-КОД", [](Settings& s) { s.sim.pinRequest = true; });
  // Three wrong PINs behind it: the card wants its PUK.
  add("ЗАБЛОКИРОВАН", [](Settings& s) {
    s.sim.pinRequest = true;
    s.sim.pinTries = 0;
  });
  add("ЧУЖОЙ", [](Settings& s) {
    s.manufacturer = "WAVECOM";
    s.model = "FASTRACK M1306B";
    s.revision = "6.57";
  });
  add("МОЛЧИТ", [](Settings& s) { s.faults.silent = true; });
  return set;
}

struct TrainingModems::Desk {
  std::vector<Device*> open;
  Sleeper sleeper = [](uint32_t ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); };
};

// One open training port: the program's end of the line and, on its far
// end, the modem. Bytes cross the line at its rate in both directions: the
// program reads a byte once it has arrived, the modem hears what the
// program wrote once it has crossed.
class TrainingModems::Device final : public serial::SerialDevice, private Line {
 public:
  Device(toolkit::Toolkit& tk, std::shared_ptr<Desk> desk, const TrainingModem& modem)
      : desk_(std::move(desk)), name_(modem.name), clock_(tk) {
    engine_ = std::make_unique<Engine>(clock_, static_cast<Line&>(*this), modem.settings);
    desk_->open.push_back(this);
  }

  ~Device() override {
    desk_->open.erase(std::find(desk_->open.begin(), desk_->open.end(), this));
    if (delivering_) clock_.Cancel(delivery_);
    engine_.reset();
  }

  const std::string& Name() const { return name_; }
  Engine& Modem() { return *engine_; }

  // --- the program's end ---
  serial::SettingResult SetLineSettings(const serial::DeviceControlBlock& dcb) override {
    dcb_ = dcb;
    return true;
  }
  serial::SettingResult SetQueueSizes(uint32_t, uint32_t out) override {
    outCapacity_ = out ? out : 2048;
    return true;
  }
  bool SetTimeouts(const serial::CommTimeouts&) override { return true; }
  serial::SettingResult Purge(uint32_t flags) override {
    if (flags & serial::PURGE_RXCLEAR) {
      Settle();
      input_.clear();
    }
    if (flags & serial::PURGE_TXCLEAR) {
      const uint64_t now = clock_.NowUs();
      while (!output_.empty() && output_.back().first > now) output_.pop_back();
      outLineFreeUs_ = std::min(outLineFreeUs_, now);
    }
    return true;
  }
  serial::IoResult GetQueueStatus(serial::QueueStatus& status) override {
    if (hungUp_) return serial::IoResult::HungUp;
    Settle();
    status.inQueue = uint32_t(input_.size());
    status.outQueue = OutputQueued();
    return serial::IoResult::Ok;
  }
  serial::IoResult Read(void* buffer, uint32_t size, uint32_t& read) override {
    read = 0;
    if (hungUp_) return serial::IoResult::HungUp;
    Settle();
    read = uint32_t(std::min<size_t>(size, input_.size()));
    std::copy_n(input_.begin(), read, static_cast<char*>(buffer));
    input_.erase(input_.begin(), input_.begin() + read);
    return serial::IoResult::Ok;
  }
  serial::IoResult Write(const void* data, uint32_t size, uint32_t& written) override {
    written = 0;
    if (hungUp_) return serial::IoResult::HungUp;
    const uint32_t queued = OutputQueued();
    written = queued >= outCapacity_ ? 0 : std::min(size, outCapacity_ - queued);
    const uint64_t byteUs = ByteTimeUs();
    uint64_t at = std::max(outLineFreeUs_, clock_.NowUs());
    for (uint32_t i = 0; i < written; ++i) {
      at += byteUs;
      output_.emplace_back(at, static_cast<const char*>(data)[i]);
    }
    outLineFreeUs_ = at;
    ScheduleDelivery();
    return serial::IoResult::Ok;
  }
  bool GetModemStatus(uint32_t& bits) override {
    if (hungUp_) return false;
    bits = modemBits_;
    return true;
  }
  void WaitWritable(uint32_t maxMs) override {
    const uint64_t now = clock_.NowUs();
    auto firstQueued = std::find_if(output_.begin(), output_.end(), [&](const auto& b) { return b.first > now; });
    if (firstQueued == output_.end()) return;
    const uint64_t ms = (firstQueued->first - now + 999) / 1000;
    desk_->sleeper(uint32_t(std::clamp<uint64_t>(ms, 1, std::max<uint32_t>(maxMs, 1))));
  }

 private:
  // --- the modem's end (Line) ---
  void Send(const std::string& bytes, uint32_t rate) override {
    if (hungUp_) return;
    const std::string wire = LineUnderstood(dcb_, rate) ? bytes : Misheard(bytes);
    const uint64_t byteUs = ByteTimeUs();
    uint64_t at = std::max(inLineFreeUs_, clock_.NowUs());
    for (char c : wire) {
      at += byteUs;
      inFlight_.emplace_back(at, c);
    }
    inLineFreeUs_ = at;
  }
  uint64_t ByteTimeUs() const override {
    const uint32_t stopHalfBits = dcb_.StopBits == 0 ? 2 : dcb_.StopBits == 1 ? 3 : 4;
    return serial::CharacterTimeUs(dcb_.BaudRate, dcb_.ByteSize ? dcb_.ByteSize : 8, dcb_.Parity != 0, stopHalfBits);
  }
  void Drop() override {
    hungUp_ = true;
    inFlight_.clear();
    input_.clear();
  }
  void SetStatusLines(uint32_t lines) override {
    modemBits_ = 0;
    if (lines & kCts) modemBits_ |= serial::MS_CTS_ON;
    if (lines & kDsr) modemBits_ |= serial::MS_DSR_ON;
    if (lines & kDcd) modemBits_ |= serial::MS_RLSD_ON;
    if (lines & kRing) modemBits_ |= serial::MS_RING_ON;
  }

  // What has arrived by now joins the input queue.
  void Settle() {
    const uint64_t now = clock_.NowUs();
    while (!inFlight_.empty() && inFlight_.front().first <= now) {
      if (input_.size() < kInputCapacity) input_.push_back(inFlight_.front().second);
      inFlight_.pop_front();
    }
  }

  uint32_t OutputQueued() const {
    const uint64_t now = clock_.NowUs();
    uint32_t n = 0;
    for (auto it = output_.rbegin(); it != output_.rend() && it->first > now; ++it) ++n;
    return n;
  }

  // One wake-up when the last byte written so far has crossed: the modem
  // hears the whole piece then, as a poll would pass it on.
  void ScheduleDelivery() {
    if (delivering_ || output_.empty()) return;
    const uint64_t now = clock_.NowUs(), at = output_.back().first;
    delivering_ = true;
    delivery_ = clock_.CallIn(at > now ? at - now : 0, [this] {
      delivering_ = false;
      Deliver();
    });
  }
  void Deliver() {
    const uint64_t now = clock_.NowUs();
    std::string piece;
    while (!output_.empty() && output_.front().first <= now) {
      piece.push_back(output_.front().second);
      output_.pop_front();
    }
    ScheduleDelivery();
    if (!piece.empty()) engine_->Receive(LineUnderstood(dcb_, engine_->Rate()) ? piece : Misheard(piece));
  }

  std::shared_ptr<Desk> desk_;
  std::string name_;
  ToolkitClock clock_;
  std::unique_ptr<Engine> engine_;
  serial::DeviceControlBlock dcb_{};
  uint32_t outCapacity_ = 2048;
  uint32_t modemBits_ = 0;
  bool hungUp_ = false;
  // towards the program: bytes with the time each has arrived
  std::deque<std::pair<uint64_t, char>> inFlight_;
  uint64_t inLineFreeUs_ = 0;
  std::string input_;
  // towards the modem: bytes with the time each has crossed
  std::deque<std::pair<uint64_t, char>> output_;
  uint64_t outLineFreeUs_ = 0;
  bool delivering_ = false;
  Clock::TimerId delivery_ = 0;
};

TrainingModems::TrainingModems(toolkit::Toolkit& tk, serial::SerialPlatform& others, std::vector<TrainingModem> modems)
    : tk_(tk), others_(others), modems_(std::move(modems)), desk_(std::make_shared<Desk>()) {}

TrainingModems::~TrainingModems() = default;

std::vector<std::string> TrainingModems::Names() const {
  std::vector<std::string> names;
  for (const TrainingModem& m : modems_) names.push_back(m.name);
  return names;
}

std::unique_ptr<serial::SerialDevice> TrainingModems::Open(const std::string& path, serial::OpenFailure& why) {
  auto modem = std::find_if(modems_.begin(), modems_.end(), [&](const TrainingModem& m) { return m.name == path; });
  if (modem == modems_.end()) return others_.Open(path, why);
  if (OpenModem(path)) {
    why = {serial::OpenProblem::InUse, {}};
    return nullptr;
  }
  return std::make_unique<Device>(tk_, desk_, *modem);
}

Engine* TrainingModems::OpenModem(const std::string& name) {
  for (Device* d : desk_->open)
    if (d->Name() == name) return &d->Modem();
  return nullptr;
}

void TrainingModems::SwitchOff() {
  for (Device* d : desk_->open) d->Modem().PowerOff();
}

void TrainingModems::SwitchOn() {
  for (Device* d : desk_->open) d->Modem().PowerOn();
}

void TrainingModems::SetSleeper(Sleeper sleeper) { desk_->sleeper = std::move(sleeper); }

void SupplyByPrompts::ShowMessage(std::string_view caption, std::string_view message) {
  static const std::string off = toolkit::Cp1251("ОТКЛЮЧИТЕ МОДЕМ ОТ ПИТАНИЯ");
  static const std::string on = toolkit::Cp1251("ВКЛЮЧИТЕ ПИТАНИЕ МОДЕМА");
  inner_.ShowMessage(caption, message);
  // By the time the button is pressed the operator has done as the prompt said.
  if (Contains(message, off))
    modems_.SwitchOff();
  else if (Contains(message, on))
    modems_.SwitchOn();
}

}  // namespace modemsim
