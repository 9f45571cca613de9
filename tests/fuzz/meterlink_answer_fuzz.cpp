// The dial-up link's interpretation of the modem's answer, on any bytes: the
// link dials in virtual time over a simulated line whose far end answers
// each command it hears with the next reply of the input.
//   byte 0: the target (a number, "+++", "ATH", a plain command, or a
//           chunk of the input);
//   byte 1: bit 0 the far end echoes, bits 1-2 the attempts, bit 3 a log view;
//   byte 2: the response time-out in quarter seconds;
//   then replies: a delay byte (20 ms units; bit 7: sent in two halves) and
//   a chunk.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "fuzz_check.h"
#include "fuzz_input.h"
#include "meterlink/ucv.h"
#include "testing/sim_serial.h"
#include "toolkit/codepage.h"
#include "testing/sim_toolkit.h"

namespace {

// A memo control as the link sees one: lines end with CR LF.
class MemoView final : public meterlink::TLogView {
 public:
  void AppendLine(const std::string& line) override {
    if (!text.empty() && (text.size() < 2 || text.compare(text.size() - 2, 2, "\r\n") != 0)) text += "\r\n";
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

struct FarEnd {
  FarEnd(toolkit::SimToolkit& tk, serial::SimPort& port, FuzzInput& in, bool echo)
      : tk(tk), port(port), in(in), echo(echo) {
    port.SetOnPeerReceive([this](const std::string& bytes) { Heard(bytes); });
  }
  void Heard(const std::string& bytes) {
    if (echo) port.PeerSend(bytes);
    for (char c : bytes) {
      line += c;
      if (c != '\r' && line != "+++") continue;
      line.clear();
      if (in.Empty()) continue;
      const uint8_t delay = in.Byte();
      const std::string reply = in.Chunk();
      const uint64_t atUs = uint64_t(delay & 0x7F) * 20'000;
      if (delay & 0x80) {
        const size_t half = reply.size() / 2;
        tk.ScheduleIn(atUs, [this, r = reply.substr(0, half)] { port.PeerSend(r); });
        tk.ScheduleIn(atUs + 400'000, [this, r = reply.substr(half)] { port.PeerSend(r); });
      } else {
        tk.ScheduleIn(atUs, [this, reply] { port.PeerSend(reply); });
      }
    }
  }
  toolkit::SimToolkit& tk;
  serial::SimPort& port;
  FuzzInput& in;
  bool echo;
  std::string line;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzInput in(data, size);
  const uint8_t kind = in.Byte();
  const uint8_t flags = in.Byte();
  const uint8_t timeout = in.Byte();

  toolkit::SimToolkit tk;
  serial::SimSerialPlatform platform(tk);
  serial::SimPort& port = platform.AddPort("\\\\.\\COM2");
  meterlink::MeterLinkStartup(tk, platform);
  meterlink::TLink* L = meterlink::Link();
  MemoView view;
  {
    FarEnd far(tk, port, in, flags & 1);
    L->AttemptCount = uint8_t(((flags >> 1) & 3) % 3 + 1);
    if (flags & 8) L->LogView = &view;
    L->ResponseTimeout = (timeout % 40 + 1) * 250;
    L->LogCallback = [](const std::string&, toolkit::TColor) {};
    switch (kind % 5) {
      case 0: L->DialTarget = "5551234"; break;
      case 1: L->DialTarget = "+++"; break;
      case 2: L->DialTarget = "ATH"; break;
      case 3: L->DialTarget = "AT\r"; break;
      default: L->DialTarget = in.Chunk(); break;
    }
    meterlink::Dial();

    if (std::getenv("FUZZ_SHOW_LOG")) std::fprintf(stderr, "%s\n", toolkit::Utf8(L->LinkLogText).c_str());

    // Every wait has ended with an outcome.
    FUZZ_CHECK(L->LinkState == 0 || L->LinkState == 1);
    FUZZ_CHECK(!L->ResponseTimer->Enabled());
    FUZZ_CHECK(!L->LinkLogText.empty() && L->LinkLogText.back() == L->LogSeparator);
    // Late bytes are not collected into an answer already judged.
    tk.RunFor(2000);
    FUZZ_CHECK(!L->RxCollecting || L->LinkState == 2);
    port.SetOnPeerReceive(nullptr);
  }
  meterlink::MeterLinkShutdown();
  return 0;
}
