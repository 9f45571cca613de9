// Serial devices in virtual time, for tests and the in-process emulator.
//
// Each named port is a line with two ends: the program's end is the
// SerialDevice the driver opens; the far end (a test or the modem emulator)
// uses the peer calls. Bytes travel at the line rate of the settings the
// program last gave (1 start bit + data + parity + stop bits per byte), in
// the virtual time of a SimToolkit.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "serial/serial_device.h"
#include "testing/sim_toolkit.h"

namespace serial {

class SimSerialPlatform;

class SimPort {
 public:
  SimPort(toolkit::SimToolkit& tk, std::string path);
  ~SimPort();

  const std::string& Path() const { return path_; }

  // --- the far end ---
  // Starts sending bytes towards the program; they join the program's input
  // queue one by one as each finishes on the line.
  void PeerSend(const std::string& bytes);
  // Called with what the program sent, when it has crossed the line.
  void SetOnPeerReceive(std::function<void(const std::string&)> handler) { onPeerReceive_ = std::move(handler); }
  // Modem status bits (MS_CTS_ON…) the program reads.
  void SetModemBits(uint32_t bits) { modemBits_ = bits; }
  // The far end goes away: the open device reads and writes HungUp.
  void HangUp();
  // The device can be opened again after a hang-up.
  void Return() { hungUp_ = false; }
  // Output to the line stops (flow control held, a stuck adapter).
  void SetTransmitStalled(bool stalled);

  // --- faults of the device itself ---
  bool present = true;          // false: open fails as for a missing device
  bool heldElsewhere = false;   // another program has it open
  bool refuseLineSettings = false;
  bool refuseQueueSizes = false;
  bool refusePurge = false;
  bool failModemStatus = false;
  bool failReads = false;
  bool failQueueQueries = false;  // as some virtual and Bluetooth ports' drivers
  bool failWrites = false;
  uint32_t inputCapacity = 1u << 20;  // bytes beyond are lost (overrun)

  // --- what the program did ---
  bool IsOpen() const { return open_; }
  int OpenCount() const { return openCount_; }
  const std::vector<DeviceControlBlock>& LineSettingsHistory() const { return dcbs_; }
  DeviceControlBlock LineSettings() const { return dcb_; }
  CommTimeouts Timeouts() const { return timeouts_; }
  uint32_t RequestedIn() const { return reqIn_; }
  uint32_t RequestedOut() const { return reqOut_; }
  std::vector<uint32_t> Purges() const { return purges_; }
  const std::string& Transmitted() const { return transmitted_; }  // all bytes the far end got
  uint64_t Reads() const { return reads_; }
  uint64_t QueueQueries() const { return queueQueries_; }
  // Bytes waiting in the program's input queue now.
  uint32_t InputQueued();
  uint32_t OutputQueued();
  // Microseconds one byte takes on the line at the current settings.
  uint64_t ByteTimeUs() const;

 private:
  friend class SimDevice;
  friend class SimSerialPlatform;
  void Settle();  // moves what has arrived by now into the input queue
  void ScheduleTransmit();

  toolkit::SimToolkit& tk_;
  std::string path_;
  bool open_ = false;
  bool hungUp_ = false;
  int openCount_ = 0;
  uint32_t modemBits_ = MS_CTS_ON | MS_DSR_ON;
  DeviceControlBlock dcb_{};
  std::vector<DeviceControlBlock> dcbs_;
  CommTimeouts timeouts_{};
  uint32_t reqIn_ = 0, reqOut_ = 0;
  std::vector<uint32_t> purges_;
  uint64_t reads_ = 0, queueQueries_ = 0;

  // towards the program: bytes with the time each is complete
  std::deque<std::pair<uint64_t, char>> inFlight_;
  uint64_t inLineFreeUs_ = 0;
  std::string inQueue_;
  // from the program
  std::string outQueue_;
  bool stalled_ = false;
  bool transmitting_ = false;
  toolkit::SimToolkit::ActionId transmitAction_ = 0;
  std::string transmitted_;
  std::function<void(const std::string&)> onPeerReceive_;
  std::shared_ptr<bool> alive_;
};

class SimSerialPlatform final : public SerialPlatform {
 public:
  explicit SimSerialPlatform(toolkit::SimToolkit& tk) : tk_(tk) {}
  // The port under that path, created on first use.
  SimPort& AddPort(const std::string& path);
  SimPort* Find(const std::string& path);
  std::unique_ptr<SerialDevice> Open(const std::string& path, OpenFailure& why) override;

 private:
  toolkit::SimToolkit& tk_;
  std::map<std::string, std::unique_ptr<SimPort>> ports_;
};

}  // namespace serial
