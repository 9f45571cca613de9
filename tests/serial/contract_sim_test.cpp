// The serial device's contract on the simulated line, in virtual time.
#include <cstdio>
#include <memory>
#include <string>

#include "serial_contract.h"
#include "testing/sim_serial.h"
#include "testing/sim_toolkit.h"

namespace {

class SimRig final : public serial_contract::Rig {
 public:
  SimRig() {
    port_.SetOnPeerReceive([this](const std::string& bytes) { received_ += bytes; });
  }
  serial::SerialPlatform& Platform() override { return platform_; }
  std::string Path() override { return "COM3"; }
  void Pass(uint32_t ms) override { tk_.Sleep(uint64_t(ms) * 1000); }
  void FarSend(serial::SerialDevice&, size_t n) override { port_.PeerSend(serial_contract::Pattern(n)); }
  void FarExpect(serial::SerialDevice&, size_t) override { received_.clear(); }
  bool FarTook(serial::SerialDevice&, size_t n) override {
    for (int i = 0; i < 1000 && received_.size() < n; ++i) Pass(10);
    Pass(100);  // nothing more comes
    return received_ == serial_contract::Pattern(n);
  }
  std::string FarLine(serial::SerialDevice&) override {
    const serial::DeviceControlBlock d = port_.LineSettings();
    char line[64];
    std::snprintf(line, sizeof line, "LINE %u %u %c %d", unsigned(d.BaudRate), unsigned(d.ByteSize),
                  "NOEMS"[d.Parity % 5], d.StopBits == 2 ? 2 : 1);
    return line;
  }
  bool FarHold(serial::SerialDevice&, bool hold) override {
    port_.SetTransmitStalled(hold);
    return true;
  }
  bool FarGoAway() override {
    port_.HangUp();
    return true;
  }

 private:
  toolkit::SimToolkit tk_;
  serial::SimSerialPlatform platform_{tk_};
  serial::SimPort& port_ = platform_.AddPort("COM3");
  std::string received_;
};

}  // namespace

using serial_contract::SerialContract;
INSTANTIATE_TEST_SUITE_P(Sim, SerialContract,
                         ::testing::Values(serial_contract::Implementation{
                             "SimulatedLine", [] { return std::unique_ptr<serial_contract::Rig>(new SimRig); }}),
                         serial_contract::NameOf);
