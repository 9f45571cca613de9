// The Qt toolkit in real time: only what virtual time cannot show.
#include <gtest/gtest.h>

#include <QApplication>
#include <chrono>
#include <ctime>

#include "toolkit/qt_toolkit.h"

namespace {
double CpuSeconds() { return double(std::clock()) / CLOCKS_PER_SEC; }
}  // namespace

TEST(QtToolkit, WaitSleepsOnTheQueueAndTimersTickInside) {
  int argc = 1;
  char arg0[] = "test";
  char* argv[] = {arg0, nullptr};
  QApplication app(argc, argv);
  toolkit::QtToolkit tk;
  EXPECT_TRUE(tk.OnMainThread());
  int ticks = 0;
  auto t = tk.CreateTimer(50, [&] { ++ticks; });
  t->SetEnabled(true);
  const auto wall0 = std::chrono::steady_clock::now();
  const double cpu0 = CpuSeconds();
  toolkit::WaitMilliseconds(tk, 500);
  const double wallMs = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - wall0).count();
  EXPECT_GE(wallMs, 499);
  EXPECT_LT(wallMs, 1500);
  EXPECT_GE(ticks, 7);
  // Half a second of waiting must not burn the core.
  EXPECT_LT(CpuSeconds() - cpu0, 0.1);

  EXPECT_EQ(toolkit::QtToolkit::MessageBoxText("a\rb\r\nc\x01"), QString("a\nb\nc\x01"));
}
