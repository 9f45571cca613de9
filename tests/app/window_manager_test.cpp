// The window on a real X server under a real window manager (openbox under
// Xvfb, started by window_manager_run.sh): the frame arrives some time after
// the window is shown, and the outer size must come out as 739 × 480.
#include <gtest/gtest.h>

#include <QApplication>
#include <cstdint>
#include <cstdio>

#include "app_rig.h"
#include "toolkit/qt_toolkit.h"

using namespace testing_app;

TEST(WindowManager, TheFramedWindowMeasures739By480) {
  ASSERT_EQ(QGuiApplication::platformName(), "xcb") << "needs an X server";
  Rig r;
  toolkit::QtToolkit real;
  r.form->show();
  // The window manager frames the window when it maps it; a slow machine
  // only makes that later.
  const uint32_t t0 = real.TickCount();
  auto framed = [&] { return r.form->frameGeometry().size() != r.form->geometry().size(); };
  while (real.TickCount() - t0 < 20000 && !(framed() && r.form->frameGeometry().size() == QSize(739, 480)))
    real.WaitForEvents(50);
  const QRect outer = r.form->frameGeometry(), inner = r.form->geometry();
  std::printf("[ figures ] frame %d + %d by %d + %d px; outer %d x %d at (%d, %d); inner %d x %d\n",
              inner.x() - outer.x(), outer.right() - inner.right(), inner.y() - outer.y(),
              outer.bottom() - inner.bottom(), outer.width(), outer.height(), outer.x(), outer.y(), inner.width(),
              inner.height());
  ASSERT_TRUE(framed()) << "no window manager framed the window";
  EXPECT_EQ(outer.size(), QSize(739, 480));
  // Some more events (the manager's late configure notices) change nothing.
  toolkit::WaitMilliseconds(real, 500);
  EXPECT_EQ(r.form->frameGeometry().size(), QSize(739, 480));
}

// On a screen too small for the window at its given place (ZORVIK_SCREEN):
// moved, not resized, to where ZORVIK_EXPECT_PLACE says ("x,y").
TEST(WindowManager, OnASmallScreenTheWindowIsMovedOntoIt) {
  const QByteArray expected = qgetenv("ZORVIK_EXPECT_PLACE");
  if (expected.isEmpty()) GTEST_SKIP() << "run with ZORVIK_SCREEN and ZORVIK_EXPECT_PLACE";
  Rig r;
  toolkit::QtToolkit real;
  r.form->show();
  const QPoint want(expected.split(',').value(0).toInt(), expected.split(',').value(1).toInt());
  const uint32_t t0 = real.TickCount();
  while (real.TickCount() - t0 < 20000 && r.form->frameGeometry() != QRect(want, QSize(739, 480)))
    real.WaitForEvents(50);
  toolkit::WaitMilliseconds(real, 500);
  EXPECT_EQ(r.form->frameGeometry(), QRect(want, QSize(739, 480)));
}

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
