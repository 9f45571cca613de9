// The program's own run, as main starts it: the real port list, version
// caption and serial devices, the window shown offscreen, the loop quit at
// once, everything brought down. Its own process, so that the leak check at
// exit (under AddressSanitizer) speaks of this path alone.
#include <gtest/gtest.h>

#include <QApplication>
#include <QPushButton>
#include <QTimer>

#include "app/demo_program.h"
#include "app/program_hooks.h"
#include "meterlink/ucv.h"
#include "toolkit/qt_toolkit.h"

namespace {

TEST(Program, StartsAndShutsDownTwiceInOneProcess) {
  for (int run = 0; run < 2; ++run) {
    SCOPED_TRACE(run);
    bool shown = false;
    const int rc = app::RunProgram(*qApp, [&](app::TForm1& form) {
      shown = true;
      EXPECT_TRUE(form.isVisible());
      EXPECT_TRUE(meterlink::MeterLinkStarted());
      EXPECT_EQ(form.windowTitle().toStdString(), "ЗОРВИК версия 2008.04.04 14:48(0)");
      QTimer::singleShot(0, qApp, &QApplication::quit);
    });
    EXPECT_EQ(rc, 0);
    EXPECT_TRUE(shown);
    EXPECT_FALSE(meterlink::MeterLinkStarted());
    EXPECT_EQ(meterlink::Link(), nullptr);
    EXPECT_EQ(meterlink::Catalogue(), nullptr);
  }
}

// The training program closed with a command just sent: the loop ends and
// everything comes down before the watchdog of that exchange would have
// fired, so the close cannot have waited the exchange out.
TEST(Program, ClosedInTheMiddleOfAnExchangeEndsBeforeItsWatchdog) {
  toolkit::QtToolkit clock;
  uint32_t closedAt = 0, watchdogMs = 0;
  bool sent = false;
  const int rc = app::RunDemoProgram(*qApp, [&](app::TForm1& form) {
    form.BBB->click();
    QTimer::singleShot(100, &form, [&] {
      sent = form.Terror->Enabled() || form.Trx->Enabled();
      watchdogMs = form.Terror->Interval();
      closedAt = clock.TickCount();
      form.close();
    });
  });
  const uint32_t tookMs = clock.TickCount() - closedAt;
  EXPECT_EQ(rc, 0);
  EXPECT_TRUE(sent) << "the exchange was over before the close";
  EXPECT_LT(tookMs, watchdogMs);
  EXPECT_FALSE(meterlink::MeterLinkStarted());
}

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
