// The rules every serial device keeps (serial/serial_device.h), as one suite
// run against each implementation: the simulated line, a pseudo-terminal
// through the POSIX backend, the Win32 backend under Wine, and the kernel's
// own drivers in the QEMU guest. Each test program instantiates
// SerialContract with a rig of its own; a failure names the implementation
// and the rule. Real-time rigs wait for their conditions, bounded
// generously; no rule measures the machine's speed.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "serial/serial_device.h"

namespace serial_contract {

// Byte i of the test pattern.
inline char PatternByte(size_t i) { return char(i & 0xFF); }

// The device under test and the far end of its line.
class Rig {
 public:
  virtual ~Rig() = default;
  // Why this rig cannot run here (no peer, not in the guest); empty when it can.
  virtual std::string Unavailable() { return {}; }
  // Why the system under this rig lets a second user open the device; empty
  // when it keeps it exclusive, as every real one does.
  virtual std::string NotExclusive() { return {}; }
  virtual serial::SerialPlatform& Platform() = 0;
  virtual std::string Path() = 0;
  // Time passes: the line and the far end act meanwhile.
  virtual void Pass(uint32_t ms) = 0;
  // The far end sends n bytes of the pattern.
  virtual void FarSend(serial::SerialDevice& d, size_t n) = 0;
  // The far end is to take n bytes of the pattern; then whether it took
  // exactly them, in order, none doubled.
  virtual void FarExpect(serial::SerialDevice& d, size_t n) = 0;
  virtual bool FarTook(serial::SerialDevice& d, size_t n) = 0;
  // The line as the far end sees it: "LINE <rate> <data bits> <parity> <stop bits>".
  virtual std::string FarLine(serial::SerialDevice& d) = 0;
  // Far ends that can: stop taking bytes (the program's writes back up),
  // and go away for good. False when this one cannot.
  virtual bool FarHold(serial::SerialDevice&, bool) { return false; }
  virtual bool FarGoAway() { return false; }

  // Bytes read until n have come or the far end keeps quiet too long.
  std::string ReadBytes(serial::SerialDevice& d, size_t n, uint32_t patienceMs = 20000) {
    std::string got;
    char buffer[256];
    for (uint32_t quiet = 0; got.size() < n && quiet < patienceMs;) {
      uint32_t read = 0;
      if (d.Read(buffer, uint32_t(std::min<size_t>(sizeof buffer, n - got.size())), read) != serial::IoResult::Ok)
        break;
      got.append(buffer, read);
      if (read == 0) {
        Pass(5);
        quiet += 5;
      } else {
        quiet = 0;
      }
    }
    return got;
  }
  // A line of the far end's, without its CR LF.
  std::string ReadAnswer(serial::SerialDevice& d) {
    std::string got;
    for (uint32_t quiet = 0; got.find("\r\n") == std::string::npos && quiet < 20000;) {
      const std::string b = ReadBytes(d, 1, 50);
      got += b;
      quiet = b.empty() ? quiet + 50 : 0;
    }
    return got.substr(0, got.find("\r\n"));
  }
  // All of the bytes written, waiting for room; false when the device
  // failed or stopped taking them for good.
  bool WriteAll(serial::SerialDevice& d, const std::string& bytes) {
    size_t at = 0;
    for (uint32_t stalled = 0; at < bytes.size() && stalled < 20000;) {
      uint32_t written = 0;
      if (d.Write(bytes.data() + at, uint32_t(bytes.size() - at), written) != serial::IoResult::Ok) return false;
      at += written;
      if (written == 0) {
        d.WaitWritable(10);
        Pass(1);
        stalled += 10;
      } else {
        stalled = 0;
      }
    }
    return at == bytes.size();
  }
};

struct Implementation {
  const char* name;
  std::function<std::unique_ptr<Rig>()> make;
};
inline void PrintTo(const Implementation& i, std::ostream* os) { *os << i.name; }
inline std::string NameOf(const ::testing::TestParamInfo<Implementation>& info) { return info.param.name; }

inline std::string Pattern(size_t n) {
  std::string p(n, '\0');
  for (size_t i = 0; i < n; ++i) p[i] = PatternByte(i);
  return p;
}

// The line as the window programs it: the given rate and stop bits, 8 data
// bits without parity (all a pseudo-terminal keeps), DTR and RTS on; both
// queues emptied, reads that return at once.
inline serial::DeviceControlBlock LineOf(uint32_t rate, uint8_t stopBits) {
  serial::DeviceControlBlock dcb;
  dcb.BaudRate = rate;
  dcb.fBinary = true;
  dcb.fDtrControl = serial::DTR_CONTROL_ENABLE;
  dcb.fRtsControl = serial::RTS_CONTROL_ENABLE;
  dcb.XonLim = dcb.XoffLim = 512;
  dcb.ByteSize = 8;
  dcb.StopBits = stopBits;
  dcb.XonChar = 0x11;
  dcb.XoffChar = 0x13;
  return dcb;
}

class SerialContract : public ::testing::TestWithParam<Implementation> {
 protected:
  void SetUp() override {
    rig_ = GetParam().make();
    if (const std::string why = rig_->Unavailable(); !why.empty()) GTEST_SKIP() << why;
    device_ = Open();
    ASSERT_TRUE(device_) << "the port did not open";
  }
  std::unique_ptr<serial::SerialDevice> Open() {
    serial::OpenFailure why;
    auto d = rig_->Platform().Open(rig_->Path(), why);
    if (!d) return nullptr;
    EXPECT_TRUE(bool(d->SetLineSettings(LineOf(9600, 2))));
    EXPECT_TRUE(bool(d->Purge(serial::PURGE_RXABORT | serial::PURGE_RXCLEAR | serial::PURGE_TXABORT |
                              serial::PURGE_TXCLEAR)));
    EXPECT_TRUE(bool(d->SetQueueSizes(2048, 2048)));
    d->SetTimeouts({1, 0, 1, 0, 10});
    return d;
  }
  serial::SerialDevice& d() { return *device_; }
  std::unique_ptr<Rig> rig_;
  std::unique_ptr<serial::SerialDevice> device_;
};

TEST_P(SerialContract, BytesGoEachWayInOrderNoneLostOrDoubled) {
  const size_t n = 3000;  // more than either queue holds
  rig_->FarExpect(d(), n);
  ASSERT_TRUE(rig_->WriteAll(d(), Pattern(n)));
  EXPECT_TRUE(rig_->FarTook(d(), n)) << "the far end did not get the bytes as written";
  rig_->FarSend(d(), n);
  const std::string got = rig_->ReadBytes(d(), n);
  EXPECT_EQ(got.size(), n);
  EXPECT_TRUE(got == Pattern(n)) << "the bytes read are not the bytes sent";
  EXPECT_EQ(rig_->ReadBytes(d(), 1, 200), "") << "more came than was sent";
}

TEST_P(SerialContract, ReadsReturnAtOnceWithinTheirSize) {
  char buffer[16];
  uint32_t read = 99;
  EXPECT_EQ(d().Read(buffer, sizeof buffer, read), serial::IoResult::Ok);  // nothing there: no wait
  EXPECT_EQ(read, 0u);
  rig_->FarSend(d(), 100);
  std::string got;
  for (int i = 0; i < 4000 && got.size() < 100; ++i) {
    std::fill(std::begin(buffer), std::end(buffer), '\x5A');
    ASSERT_EQ(d().Read(buffer, 10, read), serial::IoResult::Ok);
    ASSERT_LE(read, 10u);
    EXPECT_TRUE(std::all_of(buffer + 10, std::end(buffer), [](char c) { return c == '\x5A'; }))
        << "a read went past its size";
    got.append(buffer, read);
    if (read == 0) rig_->Pass(5);
  }
  EXPECT_TRUE(got == Pattern(100));
}

TEST_P(SerialContract, TheQueueStatusCountsWhatWaitsAndAPurgeDiscardsIt) {
  rig_->FarSend(d(), 50);
  serial::QueueStatus status;
  for (int i = 0; i < 4000; ++i) {
    ASSERT_EQ(d().GetQueueStatus(status), serial::IoResult::Ok);
    if (status.inQueue >= 50) break;
    rig_->Pass(5);
  }
  EXPECT_EQ(status.inQueue, 50u);
  EXPECT_TRUE(bool(d().Purge(serial::PURGE_RXABORT | serial::PURGE_RXCLEAR)));
  ASSERT_EQ(d().GetQueueStatus(status), serial::IoResult::Ok);
  EXPECT_EQ(status.inQueue, 0u);
  EXPECT_EQ(rig_->ReadBytes(d(), 1, 200), "");
}

TEST_P(SerialContract, TheLineSettingsAreSeenAtTheFarEnd) {
  EXPECT_EQ(rig_->FarLine(d()), "LINE 9600 8 N 2");
  ASSERT_TRUE(bool(d().SetLineSettings(LineOf(4800, 0))));
  EXPECT_EQ(rig_->FarLine(d()), "LINE 4800 8 N 1");
}

TEST_P(SerialContract, OnlyOneOpensItAtATime) {
  if (const std::string why = rig_->NotExclusive(); !why.empty()) GTEST_SKIP() << why;
  serial::OpenFailure why;
  EXPECT_EQ(rig_->Platform().Open(rig_->Path(), why), nullptr);
  EXPECT_EQ(why.problem, serial::OpenProblem::InUse);
  device_.reset();
  device_ = Open();
  EXPECT_NE(device_, nullptr) << "not to be opened again once closed";
}

TEST_P(SerialContract, AWriteTheLineCannotTakeIsReportedPartial) {
  if (!rig_->FarHold(d(), true)) GTEST_SKIP() << "this far end cannot stop taking bytes";
  const std::string block = Pattern(4096);
  uint32_t offered = 0, taken = 0, written = 0;
  serial::IoResult r = serial::IoResult::Ok;
  // Offered until the line backs up; each write takes what it can.
  for (int i = 0; i < 2000 && (r == serial::IoResult::Ok) && !(written < block.size() && offered > 0); ++i) {
    r = d().Write(block.data(), uint32_t(block.size()), written);
    offered += uint32_t(block.size());
    taken += written;
  }
  EXPECT_EQ(r, serial::IoResult::Ok) << "a full line is no failure";
  EXPECT_LT(written, block.size()) << "the line never backed up";
  EXPECT_LT(taken, offered);
  rig_->FarHold(d(), false);
}

TEST_P(SerialContract, AFarEndThatGoesIsReportedGone) {
  if (!rig_->FarGoAway()) GTEST_SKIP() << "this far end cannot go away (a UART cannot tell)";
  serial::IoResult r = serial::IoResult::Ok;
  for (int i = 0; i < 1000 && r != serial::IoResult::HungUp; ++i) {
    serial::QueueStatus status;
    char byte;
    uint32_t n = 0;
    r = d().GetQueueStatus(status);
    if (r != serial::IoResult::HungUp) r = d().Read(&byte, 1, n);
    if (r != serial::IoResult::HungUp) r = d().Write("x", 1, n);
    rig_->Pass(10);
  }
  EXPECT_EQ(r, serial::IoResult::HungUp);
}

// The far end as zorvik-com-peer plays it, answering in-band on the line
// itself: LINE?, SEND n, TAKE n, HOLD n (stop reading for n ms).
class PeerRig final : public Rig {
 public:
  // unavailable: why the peer is not there; notExclusive: why the system
  // lets a second user in; empty when neither holds.
  PeerRig(serial::SerialPlatform& platform, std::string path, std::string unavailable = {},
          std::string notExclusive = {})
      : platform_(platform),
        path_(std::move(path)),
        unavailable_(std::move(unavailable)),
        notExclusive_(std::move(notExclusive)) {}
  std::string Unavailable() override { return unavailable_; }
  std::string NotExclusive() override { return notExclusive_; }
  serial::SerialPlatform& Platform() override { return platform_; }
  std::string Path() override { return path_; }
  void Pass(uint32_t ms) override { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }
  void FarSend(serial::SerialDevice& d, size_t n) override { WriteAll(d, "SEND " + std::to_string(n) + "\r"); }
  void FarExpect(serial::SerialDevice& d, size_t n) override { WriteAll(d, "TAKE " + std::to_string(n) + "\r"); }
  bool FarTook(serial::SerialDevice& d, size_t n) override {
    const std::string answer = ReadAnswer(d);
    EXPECT_EQ(answer, "TOOK " + std::to_string(n));
    return answer == "TOOK " + std::to_string(n);
  }
  std::string FarLine(serial::SerialDevice& d) override {
    WriteAll(d, "LINE?\r");
    return ReadAnswer(d);
  }
  bool FarHold(serial::SerialDevice& d, bool hold) override {
    if (hold) {
      if (!WriteAll(d, "HOLD 3000\r")) return false;
      Pass(200);  // heard, and holding
      return true;
    }
    // It reads again and answers what it took for lines: ended, those
    // answers are read and dropped.
    Pass(3000);
    WriteAll(d, "\r");
    while (!ReadBytes(d, 1 << 20, 1000).empty()) {
    }
    return true;
  }

 private:
  serial::SerialPlatform& platform_;
  std::string path_;
  std::string unavailable_, notExclusive_;
};

}  // namespace serial_contract
