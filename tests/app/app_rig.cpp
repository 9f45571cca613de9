#include "app_rig.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <QLineEdit>
#include <QTest>

namespace testing_app {

Rig::Rig(std::vector<std::string> portNames, std::string file) : ports(std::move(portNames)), logFile(std::move(file)) {
  for (const std::string& p : ports) Line(p).SetOnPeerReceive([this](const std::string& b) { sentToModem += b; });
  app::Environment env{tk, platform, [this] { return ports; }, [] { return W("ЗОРВИК версия test"); }};
  if (!logFile.empty()) env.logFile = logFile;
  form = std::make_unique<app::TForm1>(env);
}

std::vector<std::string> Rig::Log() const {
  std::vector<std::string> out;
  for (const std::string& l : form->LogLines()) out.push_back(toolkit::Utf8(l));
  return out;
}

bool Rig::LogHas(const char* utf8) const {
  for (const std::string& l : Log())
    if (l == utf8) return true;
  return false;
}

void Rig::Respond(std::function<std::string(const std::string&)> answer, uint64_t delayMs, const std::string& name) {
  auto pending = std::make_shared<std::string>();
  serial::SimPort& line = Line(name);
  line.SetOnPeerReceive([this, pending, answer, delayMs, &line](const std::string& bytes) {
    sentToModem += bytes;
    for (char c : bytes) {
      if (c == '\r' && pending->empty()) continue;  // an empty command line is ignored
      if (c != '\r') {
        *pending += c;
        continue;
      }
      const std::string reply = answer(*pending);
      pending->clear();
      if (!reply.empty()) tk.ScheduleIn(delayMs * 1000, [&line, reply] { line.PeerSend(reply); });
    }
  });
}

std::shared_ptr<Rig::Watch> Rig::When(std::function<bool()> condition, std::function<void()> then) {
  auto watch = std::make_shared<Watch>();
  watches.emplace_back(std::move(condition), std::move(then), watch);
  if (!probe) {
    probe = tk.CreateTimer(1, [this] {
      for (auto& [cond, act, w] : watches) {
        if (w->seen || !cond()) continue;
        w->seen = true;
        w->atMs = tk.NowMs();
        if (act) act();
      }
    });
    probe->SetEnabled(true);
  }
  return watch;
}

void Rig::Type(QWidget* w, const QString& text) { QTest::keyClicks(w, text); }
void Rig::Enter(QWidget* w) { QTest::keyClick(w, Qt::Key_Return); }

}  // namespace testing_app
