// The link in real time: the Qt toolkit, the system's serial devices and the
// modem emulator program on a pseudo-terminal.
#include <gtest/gtest.h>

#include <QApplication>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "meterlink/ucv.h"
#include "modemsim/emulator_process.h"
#include "toolkit/codepage.h"
#include "toolkit/qt_toolkit.h"

namespace {

std::string Utf8Log() { return toolkit::Utf8(meterlink::Link()->LinkLogText); }

}  // namespace

TEST(LinkOverPty, CallConnectsAndHangsUp) {
  modemsim::EmulatorProcess modem(MODEMSIM_PROGRAM, {"--sim=ready", "--dial-delay=1"});
  ASSERT_FALSE(modem.Path().empty());
  toolkit::QtToolkit tk;
  meterlink::MeterLinkStartup(tk);
  meterlink::TLink& L = *meterlink::Link();
  L.LinkPort->SetPortName(modem.Path());

  using Clock = std::chrono::steady_clock;
  auto t0 = Clock::now();
  L.DialTarget = "5551234";
  meterlink::Dial();
  const auto callMs = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t0).count();
  EXPECT_EQ(L.LinkState, 0) << Utf8Log();
  EXPECT_TRUE(L.LinkPort->Connected());
  EXPECT_EQ(toolkit::Utf8(L.LinkErrorText), "");
  const std::string connected = "|5551234 на связи|";
  const std::string log = Utf8Log();
  EXPECT_EQ(log.substr(log.size() - std::min(log.size(), connected.size())), connected) << log;
  EXPECT_GE(callMs, 1000);  // the dial delay, then 200 ms of quiet; longer on a slow machine

  meterlink::LinkWait(1500);  // silence before the escape
  t0 = Clock::now();
  L.DialTarget = "+++";
  meterlink::Dial();
  const auto hangUpMs = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t0).count();
  EXPECT_EQ(L.LinkState, 1) << Utf8Log();
  EXPECT_FALSE(L.LinkPort->Connected());
  EXPECT_EQ(L.DialTarget, "ATH");
  EXPECT_EQ(Utf8Log().rfind("попытка № 1|Посылаю ATH\r|", 0), 0u) << Utf8Log();
  EXPECT_NE(Utf8Log().find("| отключился |"), std::string::npos);
  std::printf("call %lld ms, hang-up %lld ms\n", static_cast<long long>(callMs), static_cast<long long>(hangUpMs));
  meterlink::MeterLinkShutdown();
}

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
