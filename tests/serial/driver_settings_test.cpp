// Property rules and connecting, on the simulated line.
#include <cstdint>
#include <memory>
#include <vector>

#include <gtest/gtest.h>

#include "serial/serial_driver.h"
#include "testing/sim_serial.h"

using namespace serial;

namespace {
struct Rig {
  toolkit::SimToolkit tk;
  SimSerialPlatform platform{tk};
  SimPort& line = platform.AddPort("\\\\.\\COM2");
  TSerialDriver drv{tk, platform};
};
}  // namespace

TEST(DriverSettings, DefaultsAndTheMainWindowsLine) {
  Rig r;
  EXPECT_EQ(r.drv.Port(), pnCOM2);
  EXPECT_EQ(r.drv.PortName(), "\\\\.\\COM2");
  EXPECT_EQ(r.drv.BaudRateValue(), 9600u);
  EXPECT_EQ(r.drv.InBufSize(), 2048u);
  EXPECT_EQ(r.drv.PacketSize(), -1);
  EXPECT_EQ(r.drv.PacketTimeout(), -1);
  EXPECT_EQ(r.drv.PollingDelay(), 50);
  EXPECT_EQ(r.drv.OutputTimeout(), 500);
  EXPECT_FALSE(r.drv.Connected());

  r.drv.SetPort(pnCustom);
  r.drv.SetStopBits(sb2BITS);
  ASSERT_TRUE(r.drv.Connect());
  const DeviceControlBlock d = r.line.LineSettings();
  DeviceControlBlock want;
  want.DCBlength = 28;
  want.BaudRate = 9600;
  want.fBinary = true;
  want.fDtrControl = DTR_CONTROL_ENABLE;
  want.fRtsControl = RTS_CONTROL_ENABLE;
  want.XonLim = want.XoffLim = 512;
  want.ByteSize = 8;
  want.StopBits = 2;
  want.XonChar = 0x11;
  want.XoffChar = 0x13;
  EXPECT_EQ(d, want);
  EXPECT_EQ(r.line.RequestedIn(), 2048u);
  EXPECT_EQ(r.line.Timeouts().WriteTotalTimeoutConstant, 10u);
  EXPECT_EQ(r.line.Timeouts().ReadIntervalTimeout, 1u);
  EXPECT_EQ(r.line.Purges(), std::vector<uint32_t>{0xF});
}

TEST(DriverSettings, PortAndPortNameHoldWhileOpen) {
  Rig r;
  ASSERT_TRUE(r.drv.Connect());
  r.drv.SetPortName("elsewhere");
  r.drv.SetPort(pnCOM5);
  EXPECT_EQ(r.drv.PortName(), "\\\\.\\COM2");
  EXPECT_EQ(r.drv.Port(), pnCOM2);
  EXPECT_TRUE(r.drv.Connect());  // already open: nothing reopened or re-programmed
  EXPECT_EQ(r.line.OpenCount(), 1);
  EXPECT_EQ(r.line.LineSettingsHistory().size(), 1u);
  r.drv.Disconnect();
  r.drv.SetPortName("elsewhere");
  EXPECT_EQ(r.drv.PortName(), "elsewhere");
  EXPECT_EQ(r.drv.Port(), pnCustom);
  r.drv.SetPort(pnCOM12);
  EXPECT_EQ(r.drv.PortName(), "\\\\.\\COM12");
  EXPECT_EQ(r.drv.Port(), pnCOM12);
}

TEST(DriverSettings, RatesBuffersAndPacketRules) {
  Rig r;
  r.drv.SetBaudRateValue(9600);
  EXPECT_EQ(r.drv.BaudRate(), brCustom);
  r.drv.SetBaudRateValue(1234);
  r.drv.SetBaudRate(brCustom);
  EXPECT_EQ(r.drv.BaudRateValue(), 1234u);
  r.drv.SetBaudRate(br115200);
  EXPECT_EQ(r.drv.BaudRateValue(), 115200u);

  r.drv.SetInBufSize(100);
  EXPECT_EQ(r.drv.InBufSize(), 128u);
  r.drv.SetInBufSize(9000);
  EXPECT_EQ(r.drv.InBufSize(), 8192u);
  r.drv.SetOutBufSize(100);
  EXPECT_EQ(r.drv.OutBufSize(), 128u);
  r.drv.SetOutBufSize(9000);
  EXPECT_EQ(r.drv.OutBufSize(), 8192u);

  r.drv.SetInBufSize(2048);
  r.drv.SetPacketSize(3000);
  EXPECT_EQ(r.drv.PacketSize(), 3000);
  EXPECT_EQ(r.drv.InBufSize(), 3000u);
  r.drv.SetPacketSize(9000);  // above the largest buffer: clamped
  EXPECT_EQ(r.drv.PacketSize(), 8192);
  EXPECT_EQ(r.drv.InBufSize(), 8192u);
  r.drv.SetPacketSize(0);
  EXPECT_EQ(r.drv.PacketSize(), -1);
  r.drv.SetInBufSize(256);
  ASSERT_TRUE(r.drv.Connect());
  r.drv.SetPacketSize(1000);  // the buffer cannot grow while open
  EXPECT_EQ(r.drv.PacketSize(), 256);
  r.drv.SetInBufSize(4000);
  EXPECT_EQ(r.drv.InBufSize(), 256u);
}

TEST(DriverSettings, PollingDelayAndPacketTimeout) {
  Rig r;
  r.drv.SetPollingDelay(0);
  EXPECT_EQ(r.drv.PollingDelay(), 5);
  r.drv.SetPollingDelay(50);
  r.drv.SetPacketTimeout(20);
  EXPECT_EQ(r.drv.PacketTimeout(), 70);
  r.drv.SetPacketTimeout(0);
  EXPECT_EQ(r.drv.PacketTimeout(), -1);
  r.drv.SetPacketTimeout(70);
  r.drv.SetPollingDelay(100);
  EXPECT_EQ(r.drv.PacketTimeout(), 140);
  r.drv.SetPacketTimeout(-5);
  EXPECT_EQ(r.drv.PacketTimeout(), -1);
}

TEST(DriverSettings, PollingRunsExactlyWhileOpenAtItsPeriod) {
  Rig r;
  r.tk.RunFor(500);
  EXPECT_EQ(r.line.QueueQueries(), 0u);
  ASSERT_TRUE(r.drv.Connect());
  r.tk.RunFor(500);
  EXPECT_EQ(r.line.QueueQueries(), 10u);
  r.drv.SetPollingDelay(100);  // restarted at the new period while open
  r.tk.RunFor(500);
  EXPECT_EQ(r.line.QueueQueries(), 15u);
  r.drv.Disconnect();
  r.tk.RunFor(500);
  EXPECT_EQ(r.line.QueueQueries(), 15u);
}

TEST(DriverSettings, ReapplyingWhileOpenReprogramsAndDiscardsBothQueues) {
  Rig r;
  ASSERT_TRUE(r.drv.Connect());
  r.line.SetTransmitStalled(true);
  r.drv.SendString("queued out");
  r.line.PeerSend("queued in");
  r.tk.Sleep(20'000);
  ASSERT_GT(r.line.InputQueued(), 0u);
  for (int i = 0; i < 7; ++i) {
    switch (i) {
      case 0: r.drv.SetBaudRate(br19200); break;
      case 1: r.drv.SetBaudRateValue(4800); break;
      case 2: r.drv.SetDataBits(db7BITS); break;
      case 3: r.drv.SetStopBits(sb1HALFBITS); break;
      case 4: r.drv.SetParity(ptEVEN); break;
      case 5: r.drv.SetHwFlow(hfRTSCTS); break;
      case 6: r.drv.SetSwFlow(sfXONXOFF); break;
    }
    EXPECT_EQ(r.line.LineSettingsHistory().size(), size_t(i + 2));
  }
  EXPECT_EQ(r.line.InputQueued(), 0u);
  EXPECT_EQ(r.line.OutputQueued(), 0u);
  const DeviceControlBlock d = r.line.LineSettings();
  EXPECT_EQ(d.BaudRate, 4800u);
  EXPECT_EQ(d.ByteSize, 7);
  EXPECT_EQ(d.Parity, 2);
  EXPECT_EQ(d.StopBits, 1);
  EXPECT_TRUE(d.fOutxCtsFlow);
  EXPECT_EQ(d.fRtsControl, RTS_CONTROL_HANDSHAKE);
  EXPECT_TRUE(d.fOutX && d.fInX);
  // A refusal while open is not reported; the value stays.
  r.line.refuseLineSettings = true;
  r.drv.SetBaudRate(br1200);
  EXPECT_EQ(r.drv.BaudRateValue(), 1200u);
  EXPECT_TRUE(r.drv.Connected());
}

TEST(DriverSettings, RefusalsWhileConnectingCloseAgain) {
  for (int fault = 0; fault < 5; ++fault) {
    Rig r;
    switch (fault) {
      case 0: r.line.refuseLineSettings = true; break;
      case 1: r.line.refusePurge = true; break;
      case 2: r.line.refuseQueueSizes = true; break;
      case 3: r.line.heldElsewhere = true; break;
      case 4: r.line.present = false; break;
    }
    EXPECT_FALSE(r.drv.Connect()) << fault;
    EXPECT_FALSE(r.drv.Connected());
    EXPECT_FALSE(r.line.IsOpen());
    if (fault < 3) {  // the step that refused, for the port's tooltip
      EXPECT_EQ(r.drv.LastOpenFailure().problem, OpenProblem::SettingRefused);
      EXPECT_EQ(r.drv.LastOpenFailure().refusedStep, LineStep(fault));
    }
    r.tk.RunFor(200);
    EXPECT_EQ(r.line.QueueQueries(), 0u);  // no timer runs
  }
}

TEST(DriverSettings, OnlyOneDriverHoldsALineAndDestructionCloses) {
  Rig r;
  ASSERT_TRUE(r.drv.Connect());
  {
    TSerialDriver second(r.tk, r.platform);
    EXPECT_FALSE(second.Connect());
  }
  {
    auto third = std::make_unique<TSerialDriver>(r.tk, r.platform);
    r.drv.Disconnect();
    ASSERT_TRUE(third->Connect());
    EXPECT_TRUE(r.line.IsOpen());
  }
  EXPECT_FALSE(r.line.IsOpen());
}

TEST(DriverSettings, ADriverBuiltOffTheMainThreadNeverPolls) {
  Rig r;
  r.tk.SetOnMainThread(false);
  TSerialDriver other(r.tk, r.platform);
  r.tk.SetOnMainThread(true);
  r.drv.SetPortName("x");
  other.SetPortName("\\\\.\\COM2");
  ASSERT_TRUE(other.Connect());
  EXPECT_FALSE(other.Polls());
  r.tk.RunFor(500);
  EXPECT_EQ(r.line.QueueQueries(), 0u);
}

TEST(DriverSettings, PacketTransmitTimeRoundsHalfToEven) {
  EXPECT_EQ(PacketTransmitTime(9600, 10), 10u);
  EXPECT_EQ(PacketTransmitTime(9600, 64), 67u);
  EXPECT_EQ(PacketTransmitTime(2000, 1), 5u);   // exactly 5
  EXPECT_EQ(PacketTransmitTime(4000, 1), 2u);   // 2.5 -> 2
  EXPECT_EQ(PacketTransmitTime(4000, 3), 8u);   // 7.5 -> 8
  EXPECT_EQ(PacketTransmitTime(0, 10), 0u);
}
