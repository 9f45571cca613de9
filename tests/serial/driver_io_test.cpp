// Delivery and sending, on the simulated line in virtual time.
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "serial/serial_driver.h"
#include "testing/sim_serial.h"

using namespace serial;

namespace {
struct IoRig {
  toolkit::SimToolkit tk;
  SimSerialPlatform platform{tk};
  SimPort& line = platform.AddPort("/dev/ttyX");
  TSerialDriver drv{tk, platform};
  std::vector<std::pair<uint64_t, std::string>> got;  // time, bytes
  IoRig() {
    drv.SetPortName("/dev/ttyX");
    drv.SetOnReceiveData([this](TSerialDriver* s, const char* p, uint32_t n) {
      EXPECT_EQ(s, &drv);
      got.push_back({tk.NowMs(), std::string(p, n)});
    });
    drv.SetOnReceivePacket([this](TSerialDriver*, const char* p, uint32_t n) {
      got.push_back({tk.NowMs(), std::string(p, n)});
    });
  }
};
}  // namespace

TEST(DriverReceive, RawDeliveryHandsEverythingQueuedAtATick) {
  IoRig r;
  ASSERT_TRUE(r.drv.Connect());
  r.tk.RunFor(55);
  r.line.PeerSend(std::string("\0ab\xff" "c", 5));  // 5.7 ms on the line
  r.tk.RunFor(100);
  ASSERT_EQ(r.got.size(), 1u);
  EXPECT_EQ(r.got[0].first, 100u);
  EXPECT_EQ(r.got[0].second, std::string("\0ab\xff" "c", 5));
}

TEST(DriverReceive, MoreThanTheBufferHoldsArrivesOverTicksInOrder) {
  IoRig r;
  r.drv.SetInBufSize(128);
  ASSERT_TRUE(r.drv.Connect());
  std::string data;
  for (int i = 0; i < 1000; ++i) data.push_back(char(i * 7));
  r.line.PeerSend(data);
  r.tk.Sleep(2'000'000);  // all of it queued before the first look
  r.tk.RunFor(1000);
  std::string joined;
  for (auto& [t, s] : r.got) {
    EXPECT_LE(s.size(), 128u);
    joined += s;
  }
  EXPECT_EQ(joined, data);
  EXPECT_EQ(r.got.size(), 8u);
}

// Some drivers fail every queue query of a port that works: what arrives is
// still delivered, at most a buffer a tick, and sends still go out.
TEST(DriverReceive, APortWhoseQueueCannotBeAskedStillDeliversAndSends) {
  IoRig r;
  r.drv.SetInBufSize(128);
  ASSERT_TRUE(r.drv.Connect());
  r.line.failQueueQueries = true;
  const std::string data(300, 'x');
  r.line.PeerSend(data);
  r.tk.Sleep(1'000'000);
  r.tk.RunFor(200);
  std::string joined;
  for (auto& [t, s] : r.got) joined += s;
  EXPECT_EQ(joined, data);
  EXPECT_EQ(r.got.size(), 3u);
  EXPECT_TRUE(r.drv.SendString("AT\r"));
  EXPECT_TRUE(r.drv.Connected());
}

TEST(DriverReceive, WithoutAHandlerBytesAreReadAndDropped) {
  IoRig r;
  r.drv.SetOnReceiveData(nullptr);
  ASSERT_TRUE(r.drv.Connect());
  r.line.PeerSend("lost");
  r.tk.RunFor(100);
  EXPECT_EQ(r.line.InputQueued(), 0u);
  EXPECT_TRUE(r.got.empty());
}

TEST(DriverReceive, SeveralPacketsInOneTickAndTheRemainderWaits) {
  IoRig r;
  r.drv.SetPacketSize(10);
  ASSERT_TRUE(r.drv.Connect());
  r.line.PeerSend(std::string(25, 'p'));
  r.tk.Sleep(40'000);
  r.tk.RunFor(50);
  ASSERT_EQ(r.got.size(), 2u);
  EXPECT_EQ(r.got[0].second.size(), 10u);
  EXPECT_EQ(r.got[1].first, 50u);
  r.tk.RunFor(1000);  // no time-out: the 5 wait for ever
  EXPECT_EQ(r.got.size(), 2u);
  EXPECT_EQ(r.line.InputQueued(), 5u);
  r.line.PeerSend("12345");
  r.tk.RunFor(60);
  ASSERT_EQ(r.got.size(), 3u);
  EXPECT_EQ(r.got[2].second, "pppp" "p12345");
}

TEST(DriverReceive, AnIncompletePacketTimesOutByMode) {
  for (TPacketMode mode : {pmDiscard, pmPass}) {
    IoRig r;
    r.drv.SetPacketSize(10);
    r.drv.SetPacketTimeout(100);
    r.drv.SetPacketMode(mode);
    ASSERT_TRUE(r.drv.Connect());
    r.line.PeerSend("abc");
    r.tk.RunFor(50);   // first seen at 50
    r.tk.RunFor(100);  // 150: 100 passed, not more
    EXPECT_EQ(r.line.InputQueued(), 3u);
    r.tk.RunFor(50);  // 200: timed out
    EXPECT_EQ(r.line.InputQueued(), 0u);
    if (mode == pmPass) {
      ASSERT_EQ(r.got.size(), 1u);
      EXPECT_EQ(r.got[0], (std::pair<uint64_t, std::string>{200, "abc"}));
    } else {
      EXPECT_TRUE(r.got.empty());
    }
  }
}

TEST(DriverReceive, TheFarEndGoingAwayClosesTheDriverQuietly) {
  IoRig r;
  ASSERT_TRUE(r.drv.Connect());
  r.line.PeerSend("partial");
  r.tk.RunFor(60);
  r.line.HangUp();
  r.tk.RunFor(1000);
  EXPECT_FALSE(r.drv.Connected());
  EXPECT_LE(r.line.QueueQueries(), 3u);  // no poll storm after the hang-up
  EXPECT_FALSE(r.drv.Connect());          // gone until it returns
  r.line.Return();
  EXPECT_TRUE(r.drv.Connect());
}

// A pulled adapter found by a send, before any poll: the send gives up at
// once instead of waiting out its stall time, and the driver closes and
// says so once, as when a poll finds it.
TEST(DriverSend, ADeviceGoneUnderASendClosesThePortAtOnceAndSaysSo) {
  IoRig r;
  int lost = 0;
  r.drv.SetOnDeviceLost([&](TSerialDriver* s) {
    EXPECT_EQ(s, &r.drv);
    EXPECT_FALSE(r.drv.Connected());
    ++lost;
  });
  ASSERT_TRUE(r.drv.Connect());
  r.line.HangUp();
  const uint64_t t0 = r.tk.NowUs();
  EXPECT_FALSE(r.drv.SendString("ATI\r"));
  EXPECT_EQ(r.tk.NowUs(), t0);
  EXPECT_FALSE(r.drv.Connected());
  EXPECT_EQ(lost, 1);
  r.tk.RunFor(500);
  EXPECT_EQ(lost, 1);
  r.line.Return();
  ASSERT_TRUE(r.drv.Connect());
  r.line.HangUp();
  r.tk.RunFor(100);  // found by the poll this time
  EXPECT_EQ(lost, 2);
}

TEST(DriverSend, SendStringOnOpenAndClosedLines) {
  IoRig r;
  EXPECT_TRUE(r.drv.SendString(""));
  EXPECT_FALSE(r.drv.SendString("ATI\r"));
  EXPECT_EQ(r.drv.OutputRoom(), 65535);
  EXPECT_EQ(r.drv.ModemLines(), 0);
  ASSERT_TRUE(r.drv.Connect());
  EXPECT_TRUE(r.drv.SendString(""));
  EXPECT_TRUE(r.drv.SendString("ATI\r"));
  EXPECT_EQ(r.drv.OutputRoom(), 2048 - 4);
  r.tk.RunFor(10);
  EXPECT_EQ(r.line.Transmitted(), "ATI\r");
  r.line.SetModemBits(MS_CTS_ON | MS_RLSD_ON);
  EXPECT_EQ(r.drv.ModemLines(), mlCTS | mlDCD);
}

TEST(DriverSend, CheckLineStatusWithNoLinesStopsAtOnce) {
  IoRig r;
  r.drv.SetCheckLineStatus(true);
  ASSERT_TRUE(r.drv.Connect());
  r.line.SetModemBits(0);
  const uint64_t t0 = r.tk.NowUs();
  EXPECT_EQ(r.drv.SendBytes("data", 4), 0u);
  EXPECT_EQ(r.tk.NowUs(), t0);
  r.line.failModemStatus = true;  // a failed query is the empty set too
  r.line.SetModemBits(MS_DSR_ON);
  EXPECT_EQ(r.drv.SendBytes("data", 4), 0u);
  r.line.failModemStatus = false;
  EXPECT_EQ(r.drv.SendBytes("data", 4), 4u);
}

TEST(DriverSend, AStalledQueueTimesOutFromTheLastProgress) {
  IoRig r;
  r.drv.SetOutBufSize(128);
  ASSERT_TRUE(r.drv.Connect());
  r.line.SetTransmitStalled(true);
  const std::string big(300, 'x');
  const uint64_t t0 = r.tk.NowMs();
  EXPECT_EQ(r.drv.SendBytes(big.data(), uint32_t(big.size())), 128u);
  const uint64_t took = r.tk.NowMs() - t0;
  EXPECT_GT(took, 500u);
  EXPECT_LE(took, 512u);
  EXPECT_FALSE(r.drv.SendString("more"));
}

TEST(DriverSend, ASlowButMovingLineIsNeverCutOff) {
  IoRig r;
  r.drv.SetOutBufSize(128);
  r.drv.SetBaudRateValue(1200);  // 120 bytes/s
  ASSERT_TRUE(r.drv.Connect());
  const std::string big(600, 'y');
  // 600 bytes at 1200 bit/s take about 4.5 s, far more than the 500 ms time-out.
  EXPECT_EQ(r.drv.SendBytesWithin(big.data(), 600, 100), 600u);
  EXPECT_GT(r.tk.NowMs(), 3000u);
  r.tk.RunFor(2000);
  EXPECT_EQ(r.line.Transmitted(), big);
  EXPECT_EQ(r.got.size(), 0u);  // nothing dispatched while sending
}

TEST(DriverSend, AFailingWriteIsNoProgress) {
  IoRig r;
  ASSERT_TRUE(r.drv.Connect());
  r.line.failWrites = true;
  EXPECT_FALSE(r.drv.SendString("AT\r"));
  EXPECT_GE(r.tk.NowMs(), 500u);
}
