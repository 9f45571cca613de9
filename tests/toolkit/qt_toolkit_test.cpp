// The Qt toolkit in real time: only what virtual time cannot show.
#include <gtest/gtest.h>

#include <QApplication>

#include "tests/common/wait_check.h"
#include "toolkit/qt_toolkit.h"

TEST(QtToolkit, WaitSleepsOnTheQueueAndTimersTickInside) {
  int argc = 1;
  char arg0[] = "test";
  char* argv[] = {arg0, nullptr};
  QApplication app(argc, argv);
  toolkit::QtToolkit qt;
  testing_support::ExpectWaitSleepsAndTimersTickInside(qt);

  EXPECT_EQ(toolkit::QtToolkit::MessageBoxText("a\rb\r\nc\x01"), QString("a\nb\nc\x01"));
}
