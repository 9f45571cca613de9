#include "serial/serial_driver.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace serial {

const uint32_t BaudRateValues[16] = {0,     110,   300,   600,   1200,  2400,   4800,   9600,
                                     14400, 19200, 38400, 56000, 57600, 115200, 128000, 256000};

namespace {
constexpr uint32_t kMinBuffer = 128;
constexpr uint32_t kMaxBuffer = 8192;
uint32_t ClampBuffer(uint32_t v) { return std::clamp(v, kMinBuffer, kMaxBuffer); }
}  // namespace

uint32_t PacketTransmitTime(uint32_t rate, uint32_t bytes) {
  if (rate < 10) return 0;  // no sensible line time; avoids a division by zero
  const double ms = double(bytes) / (double(rate) / 10.0) * 1000.0;
  return uint32_t(std::nearbyint(ms));  // default rounding mode: half to even
}

TSerialDriver::TSerialDriver(toolkit::Toolkit& tk, SerialPlatform& platform)
    : tk_(tk), platform_(platform) {
  receiveBuffer_.assign(inBufSize_, 0);
  if (tk_.OnMainThread()) pollTimer_ = tk_.CreateTimer(pollingDelay_, [this] { PollTick(); });
}

TSerialDriver::~TSerialDriver() { Disconnect(); }

void TSerialDriver::SetPort(TPortNumber v) {
  if (Connected()) return;
  port_ = v;
  if (v != pnCustom) {
    char path[32];
    std::snprintf(path, sizeof path, "\\\\.\\COM%d", int(v));
    portName_ = path;
  }
}

void TSerialDriver::SetPortName(const std::string& v) {
  if (Connected()) return;
  portName_ = v;
  port_ = pnCustom;
}

void TSerialDriver::Reapply() {
  if (Connected()) ApplyLineSettings();
}

void TSerialDriver::SetBaudRate(TBaudRate v) {
  baudRate_ = v;
  if (v != brCustom) baudRateValue_ = BaudRateValues[v];
  Reapply();
}

void TSerialDriver::SetBaudRateValue(uint32_t v) {
  baudRateValue_ = v;
  baudRate_ = brCustom;
  Reapply();
}

void TSerialDriver::SetDataBits(TDataBits v) { dataBits_ = v; Reapply(); }
void TSerialDriver::SetStopBits(TStopBits v) { stopBits_ = v; Reapply(); }
void TSerialDriver::SetParity(TParity v) { parity_ = v; Reapply(); }
void TSerialDriver::SetHwFlow(THwFlowControl v) { hwFlow_ = v; Reapply(); }
void TSerialDriver::SetSwFlow(TSwFlowControl v) { swFlow_ = v; Reapply(); }

void TSerialDriver::SetInBufSize(uint32_t v) {
  if (Connected()) return;
  inBufSize_ = ClampBuffer(v);
  receiveBuffer_.assign(inBufSize_, 0);
  SetPacketSize(packetSize_);
}

void TSerialDriver::SetOutBufSize(uint32_t v) {
  if (Connected()) return;
  outBufSize_ = ClampBuffer(v);
}

void TSerialDriver::SetPacketSize(int16_t v) {
  if (v <= 0) {
    packetSize_ = -1;
    return;
  }
  // A packet must fit the receive buffer: above the largest buffer, or above
  // the current one while open (it cannot grow then), the size is clamped.
  const uint32_t limit = Connected() ? inBufSize_ : kMaxBuffer;
  packetSize_ = int16_t(std::min<uint32_t>(uint32_t(v), limit));
  if (uint32_t(packetSize_) > inBufSize_) SetInBufSize(uint32_t(packetSize_));
}

void TSerialDriver::PacketTimeoutRule(int32_t v) {
  if (v <= 0)
    packetTimeout_ = -1;
  else if (v < pollingDelay_)
    packetTimeout_ = pollingDelay_ + (pollingDelay_ * 40) / 100;
  else
    packetTimeout_ = v;
}

void TSerialDriver::SetPacketTimeout(int32_t v) { PacketTimeoutRule(v); }

void TSerialDriver::SetPollingDelay(uint16_t v) {
  if (v < 5) v = 5;
  if (v == pollingDelay_) return;
  if (Connected() && pollTimer_) {
    pollTimer_->SetEnabled(false);
    pollingDelay_ = v;
    pollTimer_->SetInterval(v);
    pollTimer_->SetEnabled(true);
  } else {
    pollingDelay_ = v;
    if (pollTimer_) pollTimer_->SetInterval(v);
  }
  PacketTimeoutRule(packetTimeout_);
}

OpenFailure TSerialDriver::ApplyLineSettings() {
  if (!Connected()) return {OpenProblem::NoSuchPort, {}};
  DeviceControlBlock dcb;
  dcb.DCBlength = sizeof(uint32_t) * 7;  // the Win32 block's 28 bytes
  dcb.BaudRate = baudRateValue_;
  dcb.fBinary = true;
  dcb.fParity = false;
  dcb.fOutxCtsFlow = hwFlow_ == hfRTSCTS;
  dcb.fDtrControl = enableDtrOnOpen_ ? DTR_CONTROL_ENABLE : DTR_CONTROL_DISABLE;
  dcb.fOutX = dcb.fInX = swFlow_ == sfXONXOFF;
  dcb.fRtsControl = hwFlow_ == hfNONE ? RTS_CONTROL_DISABLE
                    : hwFlow_ == hfNONERTSON ? RTS_CONTROL_ENABLE
                                             : RTS_CONTROL_HANDSHAKE;
  dcb.XonLim = dcb.XoffLim = uint16_t(inBufSize_ / 4);
  dcb.ByteSize = uint8_t(dataBits_ + 5);
  dcb.Parity = uint8_t(parity_);
  dcb.StopBits = uint8_t(stopBits_);
  dcb.XonChar = 0x11;
  dcb.XoffChar = 0x13;
  // Each step that refuses says so in the system's words, for the port's
  // tooltip: cheap adapters' drivers are known to refuse some of them.
  auto refused = [](LineStep step, const SettingResult& r) {
    return OpenFailure{OpenProblem::SettingRefused, r.reason, step};
  };
  if (SettingResult r = device_->SetLineSettings(dcb); !r) return refused(LineStep::LineSettings, r);
  if (SettingResult r = Purge(true, true); !r) return refused(LineStep::Purge, r);
  if (SettingResult r = device_->SetQueueSizes(inBufSize_, outBufSize_); !r) return refused(LineStep::QueueSizes, r);
  return {};
}

bool TSerialDriver::Connect() {
  if (Connected()) return true;
  lastOpenFailure_ = OpenFailure{};
  device_ = platform_.Open(portName_, lastOpenFailure_);
  if (!device_) return false;
  if (OpenFailure refusal = ApplyLineSettings(); refusal.problem != OpenProblem::None) {
    Disconnect();
    lastOpenFailure_ = std::move(refusal);
    return false;
  }
  device_->SetTimeouts(CommTimeouts{1, 0, 1, 0, 10});
  if (pollTimer_) {
    pollTimer_->SetInterval(pollingDelay_);
    pollTimer_->SetEnabled(true);
  }
  return true;
}

void TSerialDriver::Disconnect() {
  if (!Connected()) return;
  if (pollTimer_) pollTimer_->SetEnabled(false);
  device_.reset();
}

// The far end vanished under an open handle: no further tick can read or
// write anything, so the driver closes instead of failing every 50 ms, and
// says so.
void TSerialDriver::HangUp() {
  Disconnect();
  if (onDeviceLost_) onDeviceLost_(this);
}

bool TSerialDriver::PurgeBuffers(bool input, bool output) { return Connected() && bool(Purge(input, output)); }

SettingResult TSerialDriver::Purge(bool input, bool output) {
  uint32_t flags = 0;
  if (output) flags |= PURGE_TXABORT | PURGE_TXCLEAR;
  if (input) flags |= PURGE_RXABORT | PURGE_RXCLEAR;
  SettingResult r = device_->Purge(flags);
  if (r) packetStartTick_ = kNoTick;
  return r;
}

TModemLines TSerialDriver::ModemLines() {
  uint32_t bits = 0;
  if (!Connected() || !device_->GetModemStatus(bits)) return 0;
  TModemLines lines = 0;
  if (bits & MS_CTS_ON) lines |= mlCTS;
  if (bits & MS_DSR_ON) lines |= mlDSR;
  if (bits & MS_RING_ON) lines |= mlRING;
  if (bits & MS_RLSD_ON) lines |= mlDCD;
  return lines;
}

uint16_t TSerialDriver::OutputRoom() {
  if (!Connected()) return 65535;
  // A failed query counts nothing queued: some drivers fail every query of
  // a port that works, and their sends must still go out.
  QueueStatus status;
  if (device_->GetQueueStatus(status) == IoResult::HungUp) {
    HangUp();
    return 0;
  }
  return uint16_t(outBufSize_ - status.outQueue);
}

uint32_t TSerialDriver::SendBytesWithin(const void* data, uint32_t count, uint32_t stallTimeoutMs) {
  if (!Connected()) return 0;
  const char* pos = static_cast<const char*>(data);
  uint32_t remaining = count;
  uint32_t written = 0;
  uint32_t mark = tk_.TickCount();
  while (remaining > 0 && Connected()) {
    const uint16_t room = OutputRoom();
    if (!Connected()) break;  // the device went while its queue was asked
    if (room > 0) {
      if (checkLineStatus_ && ModemLines() == 0) break;
      uint32_t taken = 0;
      const IoResult r = device_->Write(pos, std::min<uint32_t>(remaining, room), taken);
      if (r == IoResult::HungUp) {
        HangUp();
        break;
      }
      if (taken > 0) {
        written += taken;
        pos += taken;
        remaining -= taken;
        mark = tk_.TickCount();
        continue;
      }
    }
    const uint32_t idle = tk_.TickCount() - mark;
    if (idle > stallTimeoutMs) break;
    // Sleep until the queue may take more instead of spinning; no events
    // are dispatched meanwhile.
    device_->WaitWritable(std::min<uint32_t>(stallTimeoutMs - idle + 1, 10));
  }
  return written;
}

bool TSerialDriver::SendString(const std::string& text) {
  return SendBytes(text.data(), uint32_t(text.size())) == text.size();
}

void TSerialDriver::PollTick() {
  if (!Connected()) return;
  QueueStatus status;
  const IoResult qs = device_->GetQueueStatus(status);
  if (qs == IoResult::HungUp) {
    HangUp();
    return;
  }
  const uint32_t capacity = uint32_t(receiveBuffer_.size());
  // Some drivers fail every queue query of a port that works (virtual and
  // Bluetooth ports). Raw delivery then reads what is there, which returns
  // at once under the read time-outs; packets need the count and wait.
  if (qs != IoResult::Ok) {
    if (packetSize_ != -1) return;
    status.inQueue = capacity;
  }
  uint32_t queued = status.inQueue;

  if (packetSize_ == -1) {
    if (queued == 0) return;
    // Never past the buffer: an excess stays queued for the next tick.
    uint32_t n = 0;
    const IoResult r = device_->Read(receiveBuffer_.data(), std::min(queued, capacity), n);
    if (r == IoResult::HungUp) {
      HangUp();
      return;
    }
    if (r == IoResult::Ok && n > 0 && onReceiveData_) onReceiveData_(this, receiveBuffer_.data(), n);
    return;
  }

  const uint32_t size = uint32_t(packetSize_);
  if (queued < size) {
    if (packetTimeout_ > 0 && packetStartTick_ != kNoTick &&
        uint32_t(tk_.TickCount() - packetStartTick_) > uint32_t(packetTimeout_)) {
      uint32_t n = 0;
      const IoResult r = device_->Read(receiveBuffer_.data(), std::min(queued, capacity), n);
      packetStartTick_ = kNoTick;
      if (r == IoResult::HungUp) {
        HangUp();
        return;
      }
      if (r == IoResult::Ok && packetMode_ == pmPass && n > 0 && onReceivePacket_)
        onReceivePacket_(this, receiveBuffer_.data(), n);
      return;
    }
    if (queued > 0 && packetStartTick_ == kNoTick) packetStartTick_ = tk_.TickCount();
    return;
  }

  while (queued >= size && Connected()) {
    uint32_t n = 0;
    const IoResult r = device_->Read(receiveBuffer_.data(), size, n);
    if (r == IoResult::HungUp) {
      HangUp();
      return;
    }
    if (r != IoResult::Ok) return;
    if (n > 0 && onReceivePacket_) onReceivePacket_(this, receiveBuffer_.data(), n);
    // A remainder found with no packet being timed is timed from the next
    // tick (PacketStartTick stays none and is set there).
    if (packetStartTick_ != kNoTick) packetStartTick_ += PacketTransmitTime(baudRateValue_, size);
    queued -= size;
    if (queued == 0) packetStartTick_ = kNoTick;
  }
}

}  // namespace serial
