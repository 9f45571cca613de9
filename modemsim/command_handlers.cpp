// The commands the modem knows, each with its handler: identification,
// profiles, S registers, the SIM (PIN, PUK, lock), the line rate, calls and
// switching off.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <string>
#include <vector>

#include "modemsim/engine.h"

namespace modemsim {

namespace {
constexpr uint32_t kRates[] = {0, 300, 600, 1200, 2400, 4800, 9600, 14400, 19200, 28800, 38400, 57600, 115200};
constexpr int kRegisters[] = {0, 3, 4, 5, 6, 7, 8, 10, 18};
}  // namespace

const Engine::Entry Engine::kTable[] = {
    {"E", &Engine::Numeric, &Profile::echo, 0, 1},
    {"Q", &Engine::Numeric, &Profile::quiet, 0, 1},
    {"V", &Engine::Numeric, &Profile::verbose, 0, 1},
    {"X", &Engine::Numeric, &Profile::x, 0, 4},
    {"&C", &Engine::Numeric, &Profile::dcd, 0, 1},
    {"&D", &Engine::Numeric, &Profile::dtr, 0, 2},
    {"&S", &Engine::Numeric, &Profile::dsr, 0, 1},
    {"\\Q", &Engine::Numeric, &Profile::flow, 0, 3},
    {"L", &Engine::Accept, nullptr, 0, 3},
    {"M", &Engine::Accept, nullptr, 0, 2},
    {"I", &Engine::CmdI, nullptr, 0, 0},
    {"Z", &Engine::CmdZ, nullptr, 0, 0},
    {"&F", &Engine::CmdF, nullptr, 0, 0},
    {"&W", &Engine::CmdW, nullptr, 0, 0},
    {"&V", &Engine::CmdAndV, nullptr, 0, 0},
    {"S", &Engine::CmdS, nullptr, 0, 255},
    {"D", &Engine::CmdD, nullptr, 0, 0},
    {"H", &Engine::CmdH, nullptr, 0, 0},
    {"O", &Engine::CmdO, nullptr, 0, 0},
    {"A", &Engine::CmdA, nullptr, 0, 0},
    {"+CGMI", &Engine::CmdCgmi, nullptr, 0, 0},
    {"+GMI", &Engine::CmdCgmi, nullptr, 0, 0},
    {"+CGMM", &Engine::CmdCgmm, nullptr, 0, 0},
    {"+GMM", &Engine::CmdCgmm, nullptr, 0, 0},
    {"+CGMR", &Engine::CmdCgmr, nullptr, 0, 0},
    {"+GMR", &Engine::CmdCgmr, nullptr, 0, 0},
    {"+CGSN", &Engine::CmdCgsn, nullptr, 0, 0},
    {"+GSN", &Engine::CmdCgsn, nullptr, 0, 0},
    {"+CPIN", &Engine::CmdCpin, nullptr, 0, 0},
    {"+CLCK", &Engine::CmdClck, nullptr, 0, 0},
    {"+CSNS", &Engine::CmdCsns, nullptr, 0, 0},
    {"+IPR", &Engine::CmdIpr, nullptr, 0, 0},
    {"+CBST", &Engine::CmdCbst, nullptr, 0, 0},
    {"+CSQ", &Engine::CmdCsq, nullptr, 0, 0},
    {"+CREG", &Engine::CmdCreg, nullptr, 0, 2},
    {"+CMEE", &Engine::ExtNumeric, &Profile::cmee, 0, 2},
    {"+CR", &Engine::ExtNumeric, &Profile::cr, 0, 1},
    {"+CRC", &Engine::ExtNumeric, &Profile::crc, 0, 1},
    {"^SMSO", &Engine::CmdSmso, nullptr, 0, 0},
};

const Engine::Entry* Engine::Find(const std::string& name) const {
  for (const Entry& e : kTable)
    if (name == e.name) return &e;
  return nullptr;
}

// One command off the normalised line at execPos_.
bool Engine::ParseNext(Cmd& c) {
  if (!ParseCommand(exec_, execPos_, c)) return false;
  c.entry = Find(c.name);
  return true;
}

Engine::Step Engine::Numeric(Cmd& c) {
  const int v = c.hasNum ? c.num : 0;
  if (c.op || v < c.entry->min || v > c.entry->max) return Step::Fail;
  active_.*(c.entry->field) = v;
  return Step::Next;
}

Engine::Step Engine::Accept(Cmd& c) {
  const int v = c.hasNum ? c.num : 0;
  return v >= c.entry->min && v <= c.entry->max ? Step::Next : Step::Fail;
}

Engine::Step Engine::ExtNumeric(Cmd& c) {
  const std::string label = c.name + ": ";
  int& field = active_.*(c.entry->field);
  if (c.op == 't') {
    Info({label + "(" + std::to_string(c.entry->min) + "-" + std::to_string(c.entry->max) + ")"});
    return Step::Next;
  }
  if (c.op == '?') {
    Info({label + std::to_string(field)});
    return Step::Next;
  }
  int v = 0;
  if (c.op != '=' || c.args.size() != 1 || !ToInt(c.args[0], v) || v < c.entry->min || v > c.entry->max)
    return Step::Fail;
  field = v;
  return Step::Next;
}

Engine::Step Engine::CmdI(Cmd& c) {
  if (c.num != 0) return Step::Fail;
  Info({settings_.manufacturer, settings_.model, "REVISION " + settings_.revision});
  return Step::Next;
}

Engine::Step Engine::CmdZ(Cmd& c) {
  if (c.num != 0) return Step::Fail;
  active_ = stored_;
  return Step::Next;
}

Engine::Step Engine::CmdF(Cmd& c) {
  if (c.num != 0) return Step::Fail;
  active_ = factory_;  // +IPR is not part of it: the rate stays
  return Step::Next;
}

Engine::Step Engine::CmdW(Cmd& c) {
  if (c.num != 0) return Step::Fail;
  stored_ = active_;
  Note("profile stored");
  return Step::Next;
}

Engine::Step Engine::CmdAndV(Cmd& c) {
  if (c.num != 0) return Step::Fail;
  const Profile& p = active_;
  char buf[160];
  std::snprintf(buf, sizeof buf, "E%d Q%d V%d X%d &C%d &D%d &S%d \\Q%d", p.echo, p.quiet, p.verbose, p.x, p.dcd,
                p.dtr, p.dsr, p.flow);
  std::vector<std::string> lines{"ACTIVE PROFILE:", buf};
  std::string regs;
  for (int r : kRegisters) {
    std::snprintf(buf, sizeof buf, "%sS%d:%03d", regs.empty() ? "" : " ", r, p.s[r]);
    regs += buf;
  }
  lines.push_back(regs);
  auto ext = [&](const std::string& name, const std::string& value) { lines.push_back(name + ": " + value); };
  ext("+CBST", std::to_string(p.cbst[0]) + "," + std::to_string(p.cbst[1]) + "," + std::to_string(p.cbst[2]));
  ext("+CRLP", "61,61,48,6");
  ext("+CR", std::to_string(p.cr));
  ext("+CRC", std::to_string(p.crc));
  ext("+CMEE", std::to_string(p.cmee));
  ext("+CSNS", std::to_string(p.csns));
  ext("+ICF", "3");
  ext("+IFC", p.flow == 3 ? "2,2" : "0,0");
  ext("+IPR", std::to_string(ipr_));
  Info(lines);
  return Step::Next;
}

Engine::Step Engine::CmdS(Cmd& c) {
  if (std::find(std::begin(kRegisters), std::end(kRegisters), c.num) == std::end(kRegisters)) return Step::Fail;
  if (c.op == '?') {
    char buf[8];
    std::snprintf(buf, sizeof buf, "%03d", active_.s[c.num]);
    Info({buf});
    return Step::Next;
  }
  int v = 0;
  const int max = (c.num == 3 || c.num == 4 || c.num == 5) ? 127 : 255;
  if (!ToInt(c.arg, v) || v > max) return Step::Fail;
  active_.s[c.num] = v;
  return Step::Next;
}

Engine::Step Engine::NeedSim(Cmd&) {
  switch (simState_) {
    case SimState::Ready: return Step::Next;
    case SimState::Pin: cme_ = CmeError::SimPinRequired; break;
    case SimState::Puk: cme_ = CmeError::SimPukRequired; break;
    case SimState::Blocked: cme_ = CmeError::SimFailure; break;
    case SimState::Absent: cme_ = CmeError::SimNotInserted; break;
  }
  return Step::Fail;
}

Engine::Step Engine::CmdD(Cmd& c) {
  if (mode_ != Mode::Command) return Step::Fail;
  if (NeedSim(c) == Step::Fail) return Step::Fail;
  std::string number;
  bool voice = false;
  for (char ch : c.arg) {
    if (ch == ';') voice = true;
    else if (std::isdigit(static_cast<unsigned char>(ch)) || std::strchr("*#+ABC", ch)) number.push_back(ch);
    else if (!std::strchr("TPW,!@", ch)) return Step::Fail;  // memory dialling and the like: not here
  }
  if (number.empty()) return Step::Fail;
  Note("dialling " + number);
  if (voice) return Step::Next;
  mode_ = Mode::Dialing;
  if (settings_.dialResult == DialResult::Silent) return Step::Pending;
  dialTimer_ = After(settings_.dialMs, [this] {
    dialTimer_ = 0;
    mode_ = Mode::Command;
    switch (settings_.dialResult) {
      case DialResult::Connect: return Connect();
      case DialResult::Busy: return Final("BUSY", 7);
      case DialResult::NoCarrier: return Final("NO CARRIER", 3);
      case DialResult::NoDialtone: return Final("NO DIALTONE", 6);
      case DialResult::NoAnswer: return Final("NO ANSWER", 8);
      case DialResult::Silent: return;
    }
  });
  return Step::Pending;
}

Engine::Step Engine::CmdH(Cmd& c) {
  if (c.num != 0) return Step::Fail;
  if (InCall()) EndCall(nullptr, 0);
  if (ringing_) RemoteHangUp();
  return Step::Next;
}

Engine::Step Engine::CmdO(Cmd& c) {
  if (c.num != 0) return Step::Fail;
  if (mode_ != Mode::OnlineCommand) {
    Final("NO CARRIER", 3);
    return Step::Done;
  }
  Connect();
  return Step::Done;
}

Engine::Step Engine::CmdA(Cmd&) {
  if (!ringing_ || InCall()) {
    Final("NO CARRIER", 3);
    return Step::Done;
  }
  ringing_ = false;
  Stop(ringTimer_);
  ringTimer_ = 0;
  Connect();
  return Step::Done;
}

Engine::Step Engine::CmdCgmi(Cmd& c) {
  if (c.op == 't') return Step::Next;
  if (c.op) return Step::Fail;
  Info({settings_.manufacturer});
  return Step::Next;
}

Engine::Step Engine::CmdCgmm(Cmd& c) {
  if (c.op == 't') return Step::Next;
  if (c.op) return Step::Fail;
  Info({settings_.model});
  return Step::Next;
}

Engine::Step Engine::CmdCgmr(Cmd& c) {
  if (c.op == 't') return Step::Next;
  if (c.op) return Step::Fail;
  Info({"REVISION " + settings_.revision});
  return Step::Next;
}

Engine::Step Engine::CmdCgsn(Cmd& c) {
  if (c.op == 't') return Step::Next;
  if (c.op) return Step::Fail;
  Info({settings_.imei});
  return Step::Next;
}

Engine::Step Engine::CmdCpin(Cmd& c) {
  if (c.op == 't') return Step::Next;
  if (c.op == '?') {
    switch (simState_) {
      case SimState::Ready: Info({"+CPIN: READY"}); return Step::Next;
      case SimState::Pin: Info({"+CPIN: SIM PIN"}); return Step::Next;
      case SimState::Puk: Info({"+CPIN: SIM PUK"}); return Step::Next;
      case SimState::Blocked: cme_ = CmeError::SimFailure; return Step::Fail;
      case SimState::Absent: cme_ = CmeError::SimNotInserted; return Step::Fail;
    }
  }
  if (c.op != '=' || c.args.empty() || c.args.size() > 2) return Step::Fail;
  switch (simState_) {
    case SimState::Absent: cme_ = CmeError::SimNotInserted; return Step::Fail;
    case SimState::Blocked: cme_ = CmeError::SimFailure; return Step::Fail;
    case SimState::Ready: cme_ = CmeError::OperationNotAllowed; return Step::Fail;  // nothing asked for
    case SimState::Pin: {
      // A second code is for a PUK only; with a PIN pending it is ignored.
      const std::string code = c.args[0];
      After(settings_.pinCheckMs, [this, code] {
        SimCard& sim = settings_.sim;
        if (code == sim.pin) {
          sim.pinTries = 3;
          simState_ = SimState::Ready;
          Note("PIN accepted");
          return Resume(Step::Next);
        }
        if (--sim.pinTries <= 0) simState_ = SimState::Puk;
        Note("PIN rejected, tries left " + std::to_string(sim.pinTries));
        cme_ = CmeError::IncorrectPassword;
        Resume(Step::Fail);
      });
      return Step::Pending;
    }
    case SimState::Puk: {
      if (c.args.size() != 2 || !IsCode(c.args[1])) {
        cme_ = CmeError::SimPukRequired;
        return Step::Fail;
      }
      const std::string puk = c.args[0], newPin = c.args[1];
      After(settings_.pinCheckMs, [this, puk, newPin] {
        SimCard& sim = settings_.sim;
        if (puk == sim.puk) {
          sim.pin = newPin;
          sim.pinTries = 3;
          sim.pukTries = 10;
          simState_ = SimState::Ready;
          Note("PUK accepted, new PIN " + newPin);
          return Resume(Step::Next);
        }
        if (--sim.pukTries <= 0) simState_ = SimState::Blocked;
        Note("PUK rejected, tries left " + std::to_string(sim.pukTries));
        cme_ = CmeError::IncorrectPassword;
        Resume(Step::Fail);
      });
      return Step::Pending;
    }
  }
  return Step::Fail;
}

Engine::Step Engine::CmdClck(Cmd& c) {
  if (c.op == 't') {
    Info({"+CLCK: (\"SC\")"});
    return Step::Next;
  }
  if (c.op != '=' || c.args.size() < 2 || c.args.size() > 4) return Step::Fail;
  if (Upper(c.args[0]) != "SC") {
    cme_ = CmeError::OperationNotSupported;
    return Step::Fail;
  }
  if (NeedSim(c) == Step::Fail) return Step::Fail;
  int mode = 0;
  if (!ToInt(c.args[1], mode) || mode > 2) return Step::Fail;
  if (mode == 2) {
    Info({std::string("+CLCK: ") + (settings_.sim.pinRequest ? "1" : "0")});
    return Step::Next;
  }
  if (c.args.size() < 3) {
    cme_ = CmeError::IncorrectPassword;
    return Step::Fail;
  }
  const std::string code = c.args[2];
  After(settings_.clckMs, [this, code, mode] {
    SimCard& sim = settings_.sim;
    if (code == sim.pin) {
      sim.pinTries = 3;
      sim.pinRequest = mode == 1;
      Note(mode ? "PIN request on" : "PIN request off");
      return Resume(Step::Next);
    }
    // A wrong PIN here counts against the card like any other.
    if (--sim.pinTries <= 0) simState_ = SimState::Puk;
    cme_ = CmeError::IncorrectPassword;
    Resume(Step::Fail);
  });
  return Step::Pending;
}

Engine::Step Engine::CmdCsns(Cmd& c) {
  if (c.op == 't') {
    Info({"+CSNS: (0,2,4)"});
    return Step::Next;
  }
  if (c.op == '?') {
    Info({"+CSNS: " + std::to_string(active_.csns)});
    return Step::Next;
  }
  int v = 0;
  if (c.op != '=' || c.args.size() != 1 || !ToInt(c.args[0], v) || (v != 0 && v != 2 && v != 4)) return Step::Fail;
  active_.csns = v;
  return Step::Next;
}

Engine::Step Engine::CmdIpr(Cmd& c) {
  if (c.op == 't') {
    std::string list;
    for (uint32_t r : kRates) {
      if (!list.empty()) list += ',';
      list += std::to_string(r);
    }
    Info({"+IPR: (" + list + "),()"});
    return Step::Next;
  }
  if (c.op == '?') {
    Info({"+IPR: " + std::to_string(ipr_)});
    return Step::Next;
  }
  int v = 0;
  if (c.op != '=' || c.args.size() != 1 || !ToInt(c.args[0], v)) return Step::Fail;
  if (std::find(std::begin(kRates), std::end(kRates), uint32_t(v)) == std::end(kRates)) return Step::Fail;
  // Kept in non-volatile memory at once, not through the profile.
  pendingIpr_ = uint32_t(v);
  iprPending_ = true;
  return Step::Next;
}

Engine::Step Engine::CmdCbst(Cmd& c) {
  if (c.op == 't') {
    Info({"+CBST: (0-7,12,14,65,66,68,70,71,75),(0),(1)"});
    return Step::Next;
  }
  if (c.op == '?') {
    const auto& b = active_.cbst;
    Info({"+CBST: " + std::to_string(b[0]) + "," + std::to_string(b[1]) + "," + std::to_string(b[2])});
    return Step::Next;
  }
  if (c.op != '=' || c.args.empty() || c.args.size() > 3) return Step::Fail;
  std::array<int, 3> v = active_.cbst;
  for (size_t i = 0; i < c.args.size(); ++i)
    if (!ToInt(c.args[i], v[i])) return Step::Fail;
  active_.cbst = v;
  return Step::Next;
}

Engine::Step Engine::CmdCsq(Cmd& c) {
  if (c.op == 't') return Step::Next;
  if (c.op) return Step::Fail;
  Info({"+CSQ: 19,99"});
  return Step::Next;
}

Engine::Step Engine::CmdCreg(Cmd& c) {
  if (c.op == '?') {
    Info({simState_ == SimState::Ready ? "+CREG: 0,1" : "+CREG: 0,0"});
    return Step::Next;
  }
  int v = 0;
  if (c.op == 't') return Step::Next;
  if (c.op != '=' || c.args.size() != 1 || !ToInt(c.args[0], v) || v > 2) return Step::Fail;
  return Step::Next;
}

Engine::Step Engine::CmdSmso(Cmd& c) {
  if (c.op == 't') return Step::Next;
  if (c.op) return Step::Fail;
  Info({"^SMSO: MS OFF"});
  FinalOk();
  shutting_ = true;
  Note("switching off");
  After(settings_.shutdownMs, [this] {
    Urc("^SHUTDOWN");
    FinishShutdown();
  });
  return Step::Done;
}

}  // namespace modemsim
