#include "testing/sim_serial.h"

#include "serial/line_time.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace serial {

SimPort::SimPort(toolkit::SimToolkit& tk, std::string path)
    : tk_(tk), path_(std::move(path)), alive_(std::make_shared<bool>(true)) {}

SimPort::~SimPort() {
  *alive_ = false;
  if (transmitting_) tk_.Cancel(transmitAction_);
}

uint64_t SimPort::ByteTimeUs() const {
  const uint32_t data = dcb_.ByteSize ? dcb_.ByteSize : 8;
  const uint32_t stopHalfBits = dcb_.StopBits == 0 ? 2 : dcb_.StopBits == 1 ? 3 : 4;
  return CharacterTimeUs(dcb_.BaudRate, data, dcb_.Parity != 0, stopHalfBits);
}

void SimPort::PeerSend(const std::string& bytes) {
  if (hungUp_) return;
  const uint64_t byteUs = ByteTimeUs();
  uint64_t at = std::max(inLineFreeUs_, tk_.NowUs());
  for (char c : bytes) {
    at += byteUs;
    inFlight_.emplace_back(at, c);
  }
  inLineFreeUs_ = at;
}

void SimPort::Settle() {
  const uint64_t now = tk_.NowUs();
  while (!inFlight_.empty() && inFlight_.front().first <= now) {
    if (open_ && inQueue_.size() < inputCapacity) inQueue_.push_back(inFlight_.front().second);
    inFlight_.pop_front();
  }
}

uint32_t SimPort::InputQueued() {
  Settle();
  return uint32_t(inQueue_.size());
}

uint32_t SimPort::OutputQueued() { return uint32_t(outQueue_.size()); }

void SimPort::HangUp() {
  hungUp_ = true;
  inFlight_.clear();
  inQueue_.clear();
  outQueue_.clear();
}

void SimPort::SetTransmitStalled(bool stalled) {
  stalled_ = stalled;
  ScheduleTransmit();
}

// The output queue drains one byte per byte time; each byte reaches the far
// end as it completes.
void SimPort::ScheduleTransmit() {
  if (transmitting_ || stalled_ || outQueue_.empty()) return;
  transmitting_ = true;
  std::weak_ptr<bool> alive = alive_;
  transmitAction_ = tk_.ScheduleIn(ByteTimeUs(), [this, alive] {
    if (alive.expired() || !*alive.lock()) return;
    transmitting_ = false;
    if (outQueue_.empty()) return;
    if (stalled_) return;
    // Everything that would have finished by now goes in one piece.
    std::string piece(1, outQueue_.front());
    outQueue_.erase(0, 1);
    transmitted_ += piece;
    ScheduleTransmit();
    if (onPeerReceive_) onPeerReceive_(piece);
  });
}

class SimDevice final : public SerialDevice {
 public:
  explicit SimDevice(SimPort& port) : port_(port), alive_(port.alive_) {
    port_.open_ = true;
    port_.openCount_++;
  }
  ~SimDevice() override {
    if (Gone()) return;
    port_.open_ = false;
    port_.inQueue_.clear();
    port_.outQueue_.clear();
  }
  SettingResult SetLineSettings(const DeviceControlBlock& dcb) override {
    if (Gone() || port_.refuseLineSettings) return false;
    port_.dcb_ = dcb;
    port_.dcbs_.push_back(dcb);
    return true;
  }
  SettingResult SetQueueSizes(uint32_t in, uint32_t out) override {
    if (Gone() || port_.refuseQueueSizes) return false;
    port_.reqIn_ = in;
    port_.reqOut_ = out;
    return true;
  }
  bool SetTimeouts(const CommTimeouts& t) override {
    if (Gone()) return false;
    port_.timeouts_ = t;
    return true;
  }
  SettingResult Purge(uint32_t flags) override {
    if (Gone() || port_.refusePurge) return false;
    port_.purges_.push_back(flags);
    if (flags & PURGE_RXCLEAR) {
      port_.Settle();
      port_.inQueue_.clear();
    }
    if (flags & PURGE_TXCLEAR) port_.outQueue_.clear();
    return true;
  }
  IoResult GetQueueStatus(QueueStatus& status) override {
    if (Gone()) return IoResult::Failed;
    port_.queueQueries_++;
    if (port_.hungUp_) return IoResult::HungUp;
    if (port_.failQueueQueries) return IoResult::Failed;
    status.inQueue = port_.InputQueued();
    status.outQueue = port_.OutputQueued();
    return IoResult::Ok;
  }
  IoResult Read(void* buffer, uint32_t size, uint32_t& read) override {
    read = 0;
    if (Gone()) return IoResult::Failed;
    port_.reads_++;
    if (port_.hungUp_) return IoResult::HungUp;
    if (port_.failReads) return IoResult::Failed;
    port_.Settle();
    read = uint32_t(std::min<size_t>(size, port_.inQueue_.size()));
    std::memcpy(buffer, port_.inQueue_.data(), read);
    port_.inQueue_.erase(0, read);
    return IoResult::Ok;
  }
  IoResult Write(const void* data, uint32_t size, uint32_t& written) override {
    written = 0;
    if (Gone()) return IoResult::Failed;
    if (port_.hungUp_) return IoResult::HungUp;
    if (port_.failWrites) return IoResult::Failed;
    const uint32_t capacity = port_.reqOut_ ? port_.reqOut_ : 2048;
    const uint32_t queued = uint32_t(port_.outQueue_.size());
    written = queued >= capacity ? 0 : std::min(size, capacity - queued);
    port_.outQueue_.append(static_cast<const char*>(data), written);
    port_.ScheduleTransmit();
    return IoResult::Ok;
  }
  bool GetModemStatus(uint32_t& bits) override {
    if (Gone() || port_.failModemStatus || port_.hungUp_) return false;
    bits = port_.modemBits_;
    return true;
  }
  void WaitWritable(uint32_t maxMs) override {
    // Time passes as it would in a poll for writability; nothing is dispatched.
    if (Gone()) return;
    uint64_t us = uint64_t(maxMs) * 1000;
    if (!port_.stalled_ && !port_.outQueue_.empty()) us = std::min(us, port_.ByteTimeUs());
    port_.tk_.Sleep(std::max<uint64_t>(us, 1));
  }

 private:
  bool Gone() const { return alive_.expired() || !*alive_.lock(); }
  SimPort& port_;
  std::weak_ptr<bool> alive_;
};

SimPort& SimSerialPlatform::AddPort(const std::string& path) {
  auto& slot = ports_[path];
  if (!slot) slot = std::make_unique<SimPort>(tk_, path);
  return *slot;
}

SimPort* SimSerialPlatform::Find(const std::string& path) {
  auto it = ports_.find(path);
  return it == ports_.end() ? nullptr : it->second.get();
}

std::unique_ptr<SerialDevice> SimSerialPlatform::Open(const std::string& path, OpenFailure& why) {
  SimPort* port = Find(path);
  if (!port || !port->present || port->hungUp_) {
    why = {OpenProblem::NoSuchPort, {}};
    return nullptr;
  }
  if (port->heldElsewhere || port->open_) {
    why = {OpenProblem::InUse, {}};
    return nullptr;
  }
  return std::make_unique<SimDevice>(*port);
}

}  // namespace serial
