// The link's log view, the copy of another driver's settings, and input the
// link must survive: huge and binary targets, a reply flood.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "link_rig.h"

using namespace linktest;
using toolkit::Cp1251;
using toolkit::Utf8;

namespace {

// A memo as Windows has it: every line ends with CR LF; a line added after
// text that does not end in a line break starts on a new line.
class MemoView final : public meterlink::TLogView {
 public:
  void AppendLine(const std::string& line) override {
    if (!text.empty() && text.compare(text.size() - std::min<size_t>(2, text.size()), 2, "\r\n") != 0) text += "\r\n";
    text += line + "\r\n";
  }
  int32_t TextLength() const override { return int32_t(text.size()); }
  int32_t SelStart() const override { return start; }
  void SetSelStart(int32_t pos) override {
    start = std::clamp<int32_t>(pos, 0, TextLength());
    length = 0;
  }
  void SetSelLength(int32_t n) override { length = std::clamp<int32_t>(n, 0, TextLength() - start); }
  std::string SelText() const override { return text.substr(size_t(start), size_t(length)); }
  void SetSelText(const std::string& s) override {
    text.replace(size_t(start), size_t(length), s);
    start += int32_t(s.size());
    length = 0;
  }
  std::string text;
  int32_t start = 0, length = 0;
};

std::vector<std::string> Lines(const std::string& log, char separator = '|') {
  std::vector<std::string> out;
  std::string cur;
  for (char c : log) {
    if (c == separator) {
      out.push_back(cur);
      cur.clear();
    } else {
      cur += c;
    }
  }
  return out;
}

class LinkInput : public Rig {};

}  // namespace

TEST_F(LinkInput, LogViewGetsEveryLineIntactWithTheCountdownAtTheEnd) {
  MemoView view;
  L->LogView = &view;
  Emulator();
  DialTo("5551234");
  ASSERT_EQ(L->LinkState, 0);

  const std::string shown = Utf8(view.text);
  // Nothing logged was overwritten: each line is there in order, the first
  // one from the very first character.
  EXPECT_EQ(shown.rfind("попытка № 1\r\nВызываю ATDT5551234\r", 0), 0u);
  size_t pos = 0;
  for (const std::string& line : Lines(L->LinkLogText)) {
    const size_t at = view.text.find(line, pos);
    ASSERT_NE(at, std::string::npos) << Utf8(line);
    pos = at + line.size();
  }
  // The countdown overwrote the break after the line before the answer, and
  // stands there with the last value shown.
  const std::string countdown = "Принял  0 байт=";
  const size_t at = shown.find(countdown);
  ASSERT_NE(at, std::string::npos);
  EXPECT_EQ(shown.substr(at + countdown.size(), 4), "28\r\n");
  EXPECT_NE(shown.find("ATDT5551234\r34\r\n"), std::string::npos);
  const std::string last = "\r\n5551234 на связи\r\n";
  EXPECT_EQ(shown.substr(shown.size() - last.size()), last);
  // The view is not the hook: it shows the raw lines too.
  EXPECT_NE(shown.find("Принял 20 байт=\r\nCONNECT 9600/RLP"), std::string::npos);
}

TEST_F(LinkInput, UnitePortCopiesEverySettingThroughTheSetters) {
  serial::TSerialDriver source(tk, platform);
  source.SetPort(serial::pnCOM5);
  source.SetBaudRate(serial::br19200);
  source.SetStopBits(serial::sb1HALFBITS);
  source.SetHwFlow(serial::hfRTSCTS);
  source.SetInBufSize(4096);
  source.SetPacketSize(64);
  source.SetPollingDelay(20);
  source.SetPacketTimeout(300);
  source.SetEnableDTROnOpen(false);
  source.SetInputTimeout(1234);
  source.SetCheckLineStatus(true);
  bool foreignCalled = false;
  source.SetOnReceiveData([&](serial::TSerialDriver*, const char*, uint32_t) { foreignCalled = true; });

  meterlink::TNoVisibleDriver& link = *L->LinkPort;
  link.UnitePort(source);
  EXPECT_EQ(link.PortName(), "\\\\.\\COM5");
  // The name and the rate value are written after the port and the named
  // rate, so those two read as custom while meaning the same.
  EXPECT_EQ(link.Port(), serial::pnCustom);
  EXPECT_EQ(link.BaudRateValue(), 19200u);
  EXPECT_EQ(link.BaudRate(), serial::brCustom);
  EXPECT_EQ(link.StopBits(), serial::sb1HALFBITS);
  EXPECT_EQ(link.HwFlow(), serial::hfRTSCTS);
  EXPECT_EQ(link.InBufSize(), 4096u);
  EXPECT_EQ(link.PacketTimeout(), 300);
  EXPECT_EQ(link.PollingDelay(), 20);
  EXPECT_FALSE(link.EnableDTROnOpen());
  EXPECT_EQ(link.InputTimeout(), 1234u);
  EXPECT_TRUE(link.CheckLineStatus());

  // Its own receive handler stays: bytes go to the link, not to the source's handler.
  serial::SimPort& com5 = platform.AddPort("\\\\.\\COM5");
  ASSERT_TRUE(link.Connect());
  L->RxCollecting = true;
  link.SetPacketSize(-1);
  com5.PeerSend("xyz");
  tk.RunFor(200);
  EXPECT_EQ(L->RxText, "xyz");
  EXPECT_FALSE(foreignCalled);
  link.Disconnect();
}

TEST_F(LinkInput, HugeTargetIsSentWholeAndLogged) {
  // 4 KiB of digits is a dial string: twice the output queue, sent in pieces.
  Emulator();
  const std::string target(4096, '7');
  const uint64_t took = DialTo(target);
  EXPECT_EQ(port.Transmitted().size(), 3 * (4 + 4096 + 1u));
  EXPECT_EQ(Lines(L->LinkLogText)[1], Cp1251("Вызываю ATDT") + target + "\r");
  EXPECT_EQ(L->LinkState, 1);
  EXPECT_EQ(Count(Log(), "попытка №"), 3u);
  // Each attempt ends with an answer or the time-out at the latest.
  EXPECT_LE(took, 3 * (5000 + 35000 + 4500u));
  EXPECT_FALSE(L->ResponseTimer->Enabled());
}

TEST_F(LinkInput, ControlAndHighBytesInTheTargetArePassedThrough) {
  ScriptedModem& m = Scripted();
  m.echo = false;
  m.script = [](const std::string&) { return std::string("\r\n\xff\x01 %s %d\r\n"); };
  L->AttemptCount = 2;
  const std::string target = std::string("\x01\x1b[2J\xff\xe0%s%n|\x7f", 12) + std::string(1, '\0') + "\r";
  DialTo(Utf8(target));
  ASSERT_EQ(L->DialTarget, target);
  EXPECT_EQ(port.Transmitted(), target + target);
  // Logged as they are; '%' is never taken for a format.
  EXPECT_EQ(Count(L->LinkLogText, Cp1251("Посылаю ") + target), 2u);
  EXPECT_EQ(Count(L->LinkLogText, "\xff\x01%s%d" + Cp1251(" (ответ непонятен)")), 2u);
  EXPECT_EQ(L->LinkState, 1);
}

TEST_F(LinkInput, ReplyFloodEndsByTheTimeOutAndKeepsEveryLine) {
  modemsim::Settings s = Ready();
  s.faults.flood = true;
  Emulator(s);
  std::vector<std::string> all;
  L->LogCallback = [&](const std::string& text, toolkit::TColor) {
    if (Utf8(text).rfind("Соединение", 0) != 0) all.push_back(text);
  };
  const uint64_t took = DialTo("5551234");

  EXPECT_EQ(L->LinkState, 1);
  EXPECT_EQ(Errors(), "превышено время ожидания ответа 35 сек|");
  EXPECT_EQ(Count(Log(), "превышено время ожидания ответа 35 сек|"), 3u);
  EXPECT_EQ(Lines(L->LinkLogText), all);  // every line the hook saw is in the log, in order
  EXPECT_EQ(all.size(), 9u);
  EXPECT_GE(took, 3 * 39000u);
  EXPECT_LE(took, 3 * 39600u);
  EXPECT_FALSE(L->RxTimer->Enabled());
  EXPECT_FALSE(L->RxCollecting);
  // What streamed in was kept only while collecting: one attempt's worth.
  EXPECT_LE(L->RxText.size(), 35u * 9600 / 11 + 100);
  EXPECT_GT(L->RxText.size(), 10'000u);
}
