// The configuration sequence's judgement of the modem's replies, on any
// bytes: the set-up runs in virtual time behind controls held in memory,
// over a simulated line whose far end answers each command line it hears
// with the next reply of the input. Nested evaluations (the PIN check, the
// power cycle) run as they do in the window.
//   byte 0: where the run starts (the start button, or one command of the
//           sequence issued directly);
//   byte 1: bits 0-1 the DTR item, bit 2 the manual terminal box, bits 3-5
//           the power-off seconds, bit 6 the operator is slow at prompts;
//   a chunk: the PIN;
//   then replies: a delay byte (20 ms units; bit 7: sent in two halves,
//   3.5 s apart) and a chunk; one to each command line, and one unasked
//   when the operator is told to switch the modem on.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "fuzz_check.h"
#include "fuzz_input.h"
#include "testing/sim_serial.h"
#include "../setup/recording_form.h"
#include "setup/setup_form.h"
#include "toolkit/codepage.h"
#include "testing/sim_toolkit.h"

namespace {

using Form = testing_setup::RecordingForm;

// What the far end has heard, as command lines.
struct FarEnd {
  FarEnd(toolkit::SimToolkit& tk, serial::SimPort& port, FuzzInput& in) : tk(tk), port(port), in(in) {
    port.SetOnPeerReceive([this](const std::string& bytes) { Heard(bytes); });
  }
  void Heard(const std::string& bytes) {
    lastUs = std::max(lastUs, tk.NowUs());
    for (char c : bytes) {
      line += c;
      if (c != '\r') continue;
      commands.push_back(line);
      line.clear();
      Answer();
    }
  }
  void Answer() {
    if (in.Empty()) return;
    const uint8_t delay = in.Byte();
    const std::string reply = in.Chunk();
    uint64_t atUs = uint64_t(delay & 0x7F) * 20'000;
    if (delay & 0x80) {
      // Two parts with a gap longer than the quiet time: each judged.
      const size_t half = reply.size() / 2;
      tk.ScheduleIn(atUs, [this, r = reply.substr(0, half)] { port.PeerSend(r); });
      atUs += 3'500'000;
      tk.ScheduleIn(atUs, [this, r = reply.substr(half)] { port.PeerSend(r); });
    } else {
      tk.ScheduleIn(atUs, [this, reply] { port.PeerSend(reply); });
    }
    // Never earlier than a reply still to come (a PIN with a CR in it makes
    // one command line two).
    lastUs = std::max(lastUs, tk.NowUs() + atUs + uint64_t(reply.size()) * port.ByteTimeUs());
  }
  toolkit::SimToolkit& tk;
  serial::SimPort& port;
  FuzzInput& in;
  std::string line;
  std::vector<std::string> commands;
  uint64_t lastUs = 0;  // when the line was last busy, or will be
};

const char* const kStarts[] = {"ATI",    "AT+CPIN?",    "AT&F", "AT&D1", "ATS0=1",  "AT+CSNS=4",
                               "AT+IPR=9600", "AT&W", "AT^SMSO", "AT+CSNS?", "AT&V"};
constexpr size_t kStartCount = sizeof kStarts / sizeof kStarts[0];

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzInput in(data, size);
  const uint8_t start = in.Byte();
  const uint8_t flags = in.Byte();
  const std::string pin = in.Chunk();

  toolkit::SimToolkit tk;
  serial::SimSerialPlatform platform(tk);
  serial::SimPort& port = platform.AddPort("\\\\.\\COM2");
  FarEnd far(tk, port, in);
  // The modem switched on again reports its start-up unasked: the next reply.
  const uint64_t promptMs = flags & 0x40 ? 6000 : 50;
  const std::string powerOn = toolkit::Cp1251("ВКЛЮЧИТЕ");
  tk.SetOperator([&](const toolkit::SimToolkit::Prompt& p) -> uint64_t {
    if (p.message.find(powerOn) != std::string::npos) far.Answer();
    return promptMs;
  });
  {
    Form form(tk, platform);
    form.pin = pin;
    form.dtr = (flags & 3) % 3;
    form.manual = flags & 4;
    form.powerOff = (flags >> 3) & 7;

    tk.PostIn(0, [&] {
      const size_t k = start % (kStartCount + 2);
      if (k == 0) {
        form.BBBClick();
      } else if (k == kStartCount + 1) {
        form.startEnabled = false;
        form.IssueCommand("AT+CPIN=" + pin);
      } else {
        form.startEnabled = false;
        form.IssueCommand(kStarts[k - 1]);
      }
    });
    // Every command gets one reply at most; with silence the watchdog ends
    // the last exchange. The run is over when the start button is back and
    // the line has been quiet for longer than any exchange waits.
    tk.RunUntil([&] { return form.startEnabled && tk.NowUs() > far.lastUs + 5'000'000; }, 120'000);
    tk.RunFor(1000);

    if (std::getenv("FUZZ_SHOW_LOG"))
      for (const std::string& line : form.log) std::fprintf(stderr, "%s\n", toolkit::Utf8(line).c_str());

    // Each command logged went to the line, in that order, whole (a PIN may
    // hold a CR, so the lines are compared joined).
    const std::string sent = toolkit::Cp1251("Команда= ");
    std::string logged, heard;
    for (const std::string& line : form.log)
      if (line.rfind(sent, 0) == 0) logged += line.substr(sent.size());
    for (const std::string& line : far.commands) heard += line;
    if (std::getenv("FUZZ_SHOW_LOG"))
      std::fprintf(stderr, "logged [%s]\nheard  [%s][%s] at %llu ms\n", toolkit::Utf8(logged).c_str(),
                   toolkit::Utf8(heard).c_str(), toolkit::Utf8(far.line).c_str(), (unsigned long long)tk.NowMs());
    FUZZ_CHECK(logged == heard + far.line);
    // No gauge without a wait running: nothing waits once the loop is back here.
    FUZZ_CHECK(!form.Tw->Enabled() && !form.gaugeVisible && !form.labelVisible);
    FUZZ_CHECK(tk.OpenPrompts() == 0);
    port.SetOnPeerReceive(nullptr);
  }
  return 0;
}
