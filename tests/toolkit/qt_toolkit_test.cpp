// The Qt toolkit in real time: only what virtual time cannot show.
#include <gtest/gtest.h>

#include <QApplication>

#include "tests/common/counting_toolkit.h"
#include "toolkit/qt_toolkit.h"

TEST(QtToolkit, WaitSleepsOnTheQueueAndTimersTickInside) {
  int argc = 1;
  char arg0[] = "test";
  char* argv[] = {arg0, nullptr};
  QApplication app(argc, argv);
  toolkit::QtToolkit qt;
  testing_support::CountingToolkit tk(qt);
  EXPECT_TRUE(tk.OnMainThread());
  int ticks = 0;
  auto t = tk.CreateTimer(50, [&] { ++ticks; });
  t->SetEnabled(true);
  const uint32_t t0 = tk.TickCount();
  toolkit::WaitMilliseconds(tk, 500);
  const uint32_t waited = tk.TickCount() - t0;
  EXPECT_GE(waited, 500u);
  EXPECT_GE(ticks, 1);
  EXPECT_LE(ticks, int(waited / 50) + 1);
  // A sleeping wait makes about one pass per tick (ten here); a spinning one
  // would make thousands, however slow the machine.
  EXPECT_LT(tk.passes, 100u) << "the wait spins instead of sleeping";

  EXPECT_EQ(toolkit::QtToolkit::MessageBoxText("a\rb\r\nc\x01"), QString("a\nb\nc\x01"));
}
