// The toolkit of the real program: Qt's event loop, timers and message box.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string_view>
#include <utility>

#include <QObject>
#include <QString>

#include "toolkit/toolkit.h"

namespace toolkit {

class QtToolkit final : public Toolkit {
 public:
  // Needs a QApplication (the message box is a widget).
  QtToolkit();

  uint32_t TickCount() override;
  std::unique_ptr<Timer> CreateTimer(uint32_t intervalMs, std::function<void()> onTimer) override;
  void ProcessEvents() override;
  void WaitForEvents(uint32_t maxMs) override;
  void ShowMessage(std::string_view caption, std::string_view message) override;
  void ShowError(std::string_view caption, std::string_view message) override;
  bool OnMainThread() const override;

  // The text the message box shows for a Windows-1251 message. The message
  // is passed unchanged except that a CR, which Windows' box breaks the line
  // at and Qt's does not, is shown as a line break.
  static QString MessageBoxText(std::string_view message);

  // Plays the operator instead of showing the box (end-to-end tests, the
  // scripted demo): given caption and message, the milliseconds until the
  // button is pressed; events are dispatched meanwhile as under the box.
  using Operator = std::function<uint32_t(std::string_view caption, std::string_view message)>;
  void SetOperator(Operator op) { operator_ = std::move(op); }

 private:
  QObject wake_;
  Operator operator_;  // owns the wake-up timers of WaitForEvents
};

}  // namespace toolkit
