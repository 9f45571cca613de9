// The real main window on the offscreen platform, in virtual time, with
// simulated serial lines.
#pragma once

#include <QApplication>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "app/umset.h"
#include "testing/sim_serial.h"
#include "toolkit/codepage.h"
#include "testing/sim_toolkit.h"

namespace testing_app {

inline std::string W(const char* utf8) { return toolkit::Cp1251(utf8); }

// The last line of a set-up that went through, with the window's DTR item.
inline const char* const kSuccess = "УСТАНОВКА ПАРАМЕТРОВ МОДЕМА (универсальный, но  медлительный) - ЗАКОНЧИЛАСЬ УСПЕШНО";

struct Rig {
  toolkit::SimToolkit tk;
  serial::SimSerialPlatform platform{tk};
  std::vector<std::string> ports;
  std::string logFile;
  std::unique_ptr<app::TForm1> form;
  std::string sentToModem;  // everything the program wrote, as the far end saw it

  explicit Rig(std::vector<std::string> portNames = {"COM1"}, std::string file = "");
  ~Rig() {
    probe.reset();
    form.reset();
  }

  serial::SimPort& Line(const std::string& name = "COM1") { return platform.AddPort(name); }
  // Every line of the log pane in UTF-8, for readable failures.
  std::vector<std::string> Log() const;
  bool LogHas(const char* utf8) const;
  // A modem that answers each command (up to its CR) after a delay.
  void Respond(std::function<std::string(const std::string& command)> answer, uint64_t delayMs = 20,
               const std::string& name = "COM1");
  // Waits run nested inside handlers, where a test's own loop cannot look:
  // a probe ticking every millisecond notes when a condition first holds
  // (and may act then), wherever the program happens to be waiting.
  struct Watch {
    bool seen = false;
    uint64_t atMs = 0;
  };
  std::shared_ptr<Watch> When(std::function<bool()> condition, std::function<void()> then = {});
  std::unique_ptr<toolkit::Timer> probe;
  std::vector<std::tuple<std::function<bool()>, std::function<void()>, std::shared_ptr<Watch>>> watches;

  void Type(QWidget* w, const QString& text);
  void Enter(QWidget* w);
};

}  // namespace testing_app
