#include "toolkit/qt_toolkit.h"

#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <string_view>
#include <utility>

#include <QAbstractButton>
#include <QCoreApplication>
#include <QMessageBox>
#include <QThread>
#include <QTimer>

#include "toolkit/codepage.h"
#include "toolkit/tick_count.h"

namespace toolkit {
namespace {

// Qt itself does not deliver a timer's tick again while that timer's handler
// runs, and a stop and start gives the timer a new registration that ticks
// anew: exactly the rule of toolkit::Timer.
class QtTimer final : public Timer {
 public:
  explicit QtTimer(uint32_t intervalMs) : intervalMs_(intervalMs) {
    timer_.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer_, &QTimer::timeout, [this] { Fire(); });
  }
  void SetInterval(uint32_t ms) override {
    intervalMs_ = ms;
    if (enabled_) Start();
  }
  uint32_t Interval() const override { return intervalMs_; }
  void SetEnabled(bool enabled) override {
    if (enabled == enabled_) return;
    enabled_ = enabled;
    if (enabled)
      Start();
    else
      timer_.stop();
  }
  bool Enabled() const override { return enabled_; }

 private:
  void Start() {
    // An interval of 0 never ticks, as with the system timers this stands for.
    if (intervalMs_ == 0)
      timer_.stop();
    else
      timer_.start(int(std::min<uint32_t>(intervalMs_, INT32_MAX)));
  }
  QTimer timer_;
  uint32_t intervalMs_;
  bool enabled_ = false;
};

}  // namespace

QtToolkit::QtToolkit() = default;

uint32_t QtToolkit::TickCount() { return SystemTickCount(); }

std::unique_ptr<Timer> QtToolkit::CreateTimer(uint32_t intervalMs, std::function<void()> onTimer) {
  auto timer = std::make_unique<QtTimer>(intervalMs);
  timer->SetOnTimer(std::move(onTimer));
  return timer;
}

void QtToolkit::ProcessEvents() { QCoreApplication::processEvents(QEventLoop::AllEvents); }

void QtToolkit::WaitForEvents(uint32_t maxMs) {
  if (maxMs == 0) {
    ProcessEvents();
    return;
  }
  // One pass of the loop that may block, bounded by a wake-up timer of our own.
  const int wake = wake_.startTimer(int(std::min<uint32_t>(maxMs, INT32_MAX)), Qt::PreciseTimer);
  QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
  wake_.killTimer(wake);
}

QString QtToolkit::MessageBoxText(std::string_view message) {
  QString text = QString::fromStdString(Utf8(message));
  text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
  text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
  return text;
}

void QtToolkit::ShowMessage(std::string_view caption, std::string_view message) {
  if (operator_) {
    WaitMilliseconds(*this, operator_(caption, message));
    return;
  }
  QMessageBox box(QMessageBox::NoIcon, QString::fromStdString(Utf8(caption)), MessageBoxText(message),
                  QMessageBox::Ok);
  box.setTextFormat(Qt::PlainText);
  box.button(QMessageBox::Ok)->setText(QStringLiteral("ЛАДНО"));
  box.exec();
}

void QtToolkit::ShowError(std::string_view caption, std::string_view message) {
  QMessageBox box(QMessageBox::Critical, QString::fromStdString(Utf8(caption)), MessageBoxText(message),
                  QMessageBox::Ok);
  box.setTextFormat(Qt::PlainText);
  box.exec();
}

bool QtToolkit::OnMainThread() const {
  return QCoreApplication::instance() && QThread::currentThread() == QCoreApplication::instance()->thread();
}

}  // namespace toolkit
