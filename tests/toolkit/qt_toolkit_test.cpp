// The Qt toolkit in real time: the toolkit's contract, and what only Qt has.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>

#include <map>
#include <memory>

#include "toolkit/qt_toolkit.h"
#include "toolkit_contract.h"

namespace {

QApplication& App() {
  static int argc = 1;
  static char arg0[] = "test";
  static char* argv[] = {arg0, nullptr};
  static QApplication app(argc, argv);
  return app;
}

// The operator presses the button of the box on top once it has been open
// for the given time.
class QtRig final : public toolkit_contract::Rig {
 public:
  QtRig() { App(); }
  toolkit::Toolkit& Tk() override { return qt_; }
  void AnswerPromptsAfter(uint32_t ms) override {
    operator_.setInterval(20);
    QObject::connect(&operator_, &QTimer::timeout, [this, ms] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (!box || box->buttons().isEmpty()) return;
      const auto seen = opened_.emplace(box, qt_.TickCount()).first->second;
      if (uint32_t(qt_.TickCount() - seen) < ms) return;
      opened_.erase(box);  // its address may come again with another box
      box->buttons().front()->click();
    });
    operator_.start();
  }

 private:
  toolkit::QtToolkit qt_;
  QTimer operator_;
  std::map<QMessageBox*, uint32_t> opened_;
};

}  // namespace

using toolkit_contract::ToolkitContract;
INSTANTIATE_TEST_SUITE_P(Qt, ToolkitContract,
                         ::testing::Values(toolkit_contract::Implementation{
                             "QtToolkit", [] { return std::unique_ptr<toolkit_contract::Rig>(new QtRig); }}),
                         toolkit_contract::NameOf);

TEST(QtToolkit, MessageBoxTextShowsLineBreaksAndKeepsControlCharacters) {
  EXPECT_EQ(toolkit::QtToolkit::MessageBoxText("a\rb\r\nc\x01"), QString("a\nb\nc\x01"));
}
