// The link under test in virtual time: the library started on a SimToolkit,
// its port on a simulated line, and on the far end either the modem
// emulator or a modem scripted by the test.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "meterlink/ucv.h"
#include "testing/sim_modem.h"
#include "testing/sim_serial.h"
#include "toolkit/codepage.h"
#include "testing/sim_toolkit.h"

namespace linktest {

using meterlink::TLink;
using toolkit::TColor;

// A modem played by the test: echoes what it hears if asked to, and answers
// a command line (at its CR, or a "+++") with what the script returns.
struct ScriptedModem {
  ScriptedModem(toolkit::SimToolkit& tk, serial::SimPort& port) : tk(tk), port(port) {
    port.SetOnPeerReceive([this](const std::string& bytes) { Heard(bytes); });
  }
  void Heard(const std::string& bytes) {
    if (echo) port.PeerSend(bytes);
    for (char c : bytes) {
      line += c;
      if (c != '\r' && line != "+++") continue;
      std::string command = line;
      if (command.back() == '\r') command.pop_back();
      line.clear();
      commands.push_back(command);
      if (!script) continue;
      if (std::optional<std::string> reply = script(command))
        tk.ScheduleIn(replyDelayMs * 1000, [this, r = *reply] { port.PeerSend(r); });
    }
  }
  toolkit::SimToolkit& tk;
  serial::SimPort& port;
  bool echo = true;
  uint64_t replyDelayMs = 300;
  std::function<std::optional<std::string>(const std::string&)> script;
  std::string line;
  std::vector<std::string> commands;
};

struct Hooked {
  std::string text;  // UTF-8
  TColor colour;
  uint8_t state;  // LinkState as the hook saw it
  uint64_t atMs;
};

class Rig : public ::testing::Test {
 protected:
  Rig() : platform(tk), port(platform.AddPort("\\\\.\\COM2")) {
    meterlink::MeterLinkStartup(tk, platform);
    L = meterlink::Link();
    L->LogCallback = [this](const std::string& text, TColor colour) {
      hooked.push_back({toolkit::Utf8(text), colour, L->LinkState, tk.NowMs()});
    };
  }
  ~Rig() override {
    modem.reset();
    scripted.reset();
    meterlink::MeterLinkShutdown();
  }

  // A modem whose SIM card is unlocked already: it takes ATD at once.
  static modemsim::Settings Ready() {
    modemsim::Settings s;
    s.sim.pinRequest = false;
    return s;
  }
  modemsim::SimModem& Emulator(modemsim::Settings s = Ready()) {
    modem = std::make_unique<modemsim::SimModem>(tk, port, std::move(s));
    return *modem;
  }
  ScriptedModem& Scripted() {
    scripted = std::make_unique<ScriptedModem>(tk, port);
    return *scripted;
  }

  // Dials the target (UTF-8) and says how long it took in virtual time.
  uint64_t DialTo(const std::string& target) {
    L->DialTarget = toolkit::Cp1251(target);
    const uint64_t t0 = tk.NowMs();
    meterlink::Dial();
    return tk.NowMs() - t0;
  }

  std::string Log() const { return toolkit::Utf8(L->LinkLogText); }
  std::string Errors() const { return toolkit::Utf8(L->LinkErrorText); }
  // The hook's lines without the countdown.
  std::vector<std::string> HookedLines() const {
    std::vector<std::string> out;
    for (const Hooked& h : hooked)
      if (h.text.rfind("Соединение с № ", 0) != 0) out.push_back(h.text);
    return out;
  }
  std::vector<std::string> Countdown() const {
    std::vector<std::string> out;
    for (const Hooked& h : hooked)
      if (h.text.rfind("Соединение с № ", 0) == 0) out.push_back(h.text);
    return out;
  }
  size_t Count(const std::string& hay, const std::string& needle) const {
    size_t n = 0;
    for (size_t p = hay.find(needle); p != std::string::npos; p = hay.find(needle, p + needle.size())) ++n;
    return n;
  }

  toolkit::SimToolkit tk;
  serial::SimSerialPlatform platform;
  serial::SimPort& port;
  std::unique_ptr<modemsim::SimModem> modem;
  std::unique_ptr<ScriptedModem> scripted;
  TLink* L = nullptr;
  std::vector<Hooked> hooked;
};

}  // namespace linktest
