// The modem attached to a simulated serial port: line time both ways, the
// rate it understands, and the line dropping in the middle of a reply.
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "testing/sim_modem.h"

using namespace modemsim;

namespace {

struct Rig {
  explicit Rig(Settings s = {}, uint32_t rate = 9600)
      : platform(tk), port(platform.AddPort("COM2")), modem(tk, port, std::move(s)) {
    serial::OpenFailure why;
    device = platform.Open("COM2", why);
    serial::DeviceControlBlock dcb;
    dcb.BaudRate = rate;
    dcb.ByteSize = 8;
    dcb.StopBits = 2;  // 11 bits a byte, as the set-up programs it
    EXPECT_TRUE(device->SetLineSettings(dcb));
  }
  void Write(const std::string& s) {
    uint32_t written = 0;
    ASSERT_EQ(device->Write(s.data(), uint32_t(s.size()), written), serial::IoResult::Ok);
    ASSERT_EQ(written, s.size());
  }
  std::string Read() {
    char buf[4096];
    uint32_t n = 0;
    last = device->Read(buf, sizeof buf, n);
    return std::string(buf, n);
  }
  toolkit::SimToolkit tk;
  serial::SimSerialPlatform platform;
  serial::SimPort& port;
  SimModem modem;
  std::unique_ptr<serial::SerialDevice> device;
  serial::IoResult last = serial::IoResult::Ok;
};

const std::string kAti = "ATI\r\r\nSIEMENS\r\nC35i\r\nREVISION 01.05\r\n\r\nOK\r\n";

}  // namespace

TEST(SimModem, BytesTakeTheirLineTimeBothWays) {
  Rig r;
  const uint64_t byteUs = r.port.ByteTimeUs();
  ASSERT_EQ(byteUs, 1145u);  // 11 bits at 9600 bit/s
  r.Write("ATI\r");
  // Each command byte is echoed once it has crossed; the reply follows at
  // once, so its last byte is in one byte time after all of it was sent.
  const uint64_t lastUs = (kAti.size() + 1) * byteUs;
  r.tk.Sleep(lastUs - 1);
  EXPECT_EQ(r.Read(), kAti.substr(0, kAti.size() - 1));
  EXPECT_TRUE(r.modem.engine().Commands() == std::vector<std::string>{"ATI"});
  r.tk.Sleep(1);
  EXPECT_EQ(r.Read(), "\n");
}

TEST(SimModem, AnotherRateIsMisheardUnlessInAutobaud) {
  Rig fast({}, 19200);
  fast.Write("ATI\r");
  fast.tk.Sleep(200'000);
  const std::string heard = fast.Read();
  EXPECT_EQ(heard.size(), 4u);  // the echo of garbage, nothing of a reply
  EXPECT_EQ(heard.find_first_of("ATIOK\r\n"), std::string::npos);
  EXPECT_TRUE(fast.modem.engine().Commands().empty());

  Settings autobaud;
  autobaud.rate = 0;
  Rig any(autobaud, 19200);
  any.Write("ATI\r");
  any.tk.Sleep(200'000);
  EXPECT_EQ(any.Read(), kAti);
  // Once fixed at 9600, a program at 19200 gets the OK (sent at the old
  // rate) and then no more sense.
  any.Write("AT+IPR=9600\r");
  any.tk.Sleep(200'000);
  EXPECT_EQ(any.Read(), "AT+IPR=9600\r\r\nOK\r\n");
  any.Write("ATI\r");
  any.tk.Sleep(200'000);
  EXPECT_EQ(any.Read().find("OK"), std::string::npos);
}

TEST(SimModem, LineDropsMidReplyAfterTheOrderedBytes) {
  Settings s;
  s.faults.dropOn = "AT&V";
  s.faults.dropAfterBytes = 20;
  Rig r(s);
  r.Write("ATI\r");
  r.tk.Sleep(200'000);
  EXPECT_EQ(r.Read(), kAti);  // another command: untouched
  r.Write("AT&V\r");
  // The bytes before the drop arrive, a polling program has time to read
  // them; then the device is gone and nothing more comes.
  r.tk.Sleep(60'000);
  EXPECT_EQ(r.Read(), "AT&V\r\r\nACTIVE PROFILE:\r\nE");
  EXPECT_EQ(r.last, serial::IoResult::Ok);
  r.tk.Sleep(200'000);
  EXPECT_EQ(r.Read(), "");
  EXPECT_EQ(r.last, serial::IoResult::HungUp);
  EXPECT_TRUE(r.modem.engine().LineDropped());
}

TEST(SimModem, CarrierLineFollowsTheCall) {
  Settings s;
  s.sim.pinRequest = false;
  s.dialMs = 1000;
  Rig r(s);
  uint32_t bits = 0;
  ASSERT_TRUE(r.device->GetModemStatus(bits));
  EXPECT_EQ(bits & (serial::MS_CTS_ON | serial::MS_DSR_ON | serial::MS_RLSD_ON), serial::MS_CTS_ON | serial::MS_DSR_ON);
  r.Write("ATD123\r");
  r.tk.Sleep(1'200'000);
  EXPECT_EQ(r.Read(), "ATD123\r\r\nCONNECT 9600/RLP\r\n");
  ASSERT_TRUE(r.device->GetModemStatus(bits));
  EXPECT_TRUE(bits & serial::MS_RLSD_ON);
  r.modem.engine().RemoteHangUp();
  r.tk.Sleep(100'000);
  EXPECT_EQ(r.Read(), "\r\nNO CARRIER\r\n");
  ASSERT_TRUE(r.device->GetModemStatus(bits));
  EXPECT_FALSE(bits & serial::MS_RLSD_ON);
}
