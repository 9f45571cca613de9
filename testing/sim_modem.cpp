#include "testing/sim_modem.h"

#include <algorithm>
#include <cstdint>
#include <functional>
#include <utility>

namespace modemsim {

class SimModem::ToolkitClock final : public Clock {
 public:
  explicit ToolkitClock(toolkit::SimToolkit& tk) : tk_(tk) {}
  uint64_t NowUs() const override { return tk_.NowUs(); }
  TimerId CallIn(uint64_t us, std::function<void()> action) override { return tk_.ScheduleIn(us, std::move(action)); }
  void Cancel(TimerId id) override { tk_.Cancel(id); }

 private:
  toolkit::SimToolkit& tk_;
};

class SimModem::PortLine final : public Line {
 public:
  PortLine(toolkit::SimToolkit& tk, serial::SimPort& port) : tk_(tk), port_(port) {}
  ~PortLine() override {
    if (dropping_) tk_.Cancel(dropAction_);
  }
  void Send(const std::string& bytes, uint32_t rate) override {
    port_.PeerSend(LineUnderstood(port_.LineSettings(), rate) ? bytes : Misheard(bytes));
    lineFreeUs_ = std::max(lineFreeUs_, tk_.NowUs()) + bytes.size() * port_.ByteTimeUs();
  }
  uint64_t ByteTimeUs() const override { return port_.ByteTimeUs(); }
  // The line goes once what was sent before has crossed it.
  void Drop() override {
    dropping_ = true;
    dropAction_ = tk_.ScheduleAt(lineFreeUs_, [this] {
      dropping_ = false;
      port_.HangUp();
    });
  }
  void SetStatusLines(uint32_t lines) override {
    uint32_t bits = 0;
    if (lines & kCts) bits |= serial::MS_CTS_ON;
    if (lines & kDsr) bits |= serial::MS_DSR_ON;
    if (lines & kDcd) bits |= serial::MS_RLSD_ON;
    if (lines & kRing) bits |= serial::MS_RING_ON;
    port_.SetModemBits(bits);
  }

 private:
  toolkit::SimToolkit& tk_;
  serial::SimPort& port_;
  uint64_t lineFreeUs_ = 0;
  bool dropping_ = false;
  toolkit::SimToolkit::ActionId dropAction_ = 0;
};

SimModem::SimModem(toolkit::SimToolkit& tk, serial::SimPort& port, Settings settings)
    : tk_(tk), port_(port), clock_(std::make_unique<ToolkitClock>(tk)), line_(std::make_unique<PortLine>(tk, port)) {
  engine_ = std::make_unique<Engine>(*clock_, *line_, std::move(settings));
  line_->SetStatusLines(engine_->Booted() ? (kCts | kDsr) : 0);
  port_.SetOnPeerReceive(
      [this](const std::string& bytes) { engine_->Receive(Understood() ? bytes : Misheard(bytes)); });
}

SimModem::~SimModem() {
  port_.SetOnPeerReceive(nullptr);
  engine_.reset();
}

bool SimModem::Understood() const { return LineUnderstood(port_.LineSettings(), engine_->Rate()); }

}  // namespace modemsim
