// The Win32 toolkit's rules on the system's own message queue (under Wine
// when cross-built): a wait that sleeps, and the timer rule that Windows
// itself does not keep (it queues WM_TIMER again while a handler waits).
#include "toolkit/win32_toolkit.h"

#include <algorithm>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "tests/common/wait_check.h"

namespace {

TEST(Win32Toolkit, WaitSleepsOnTheQueueAndTimersTickInside) {
  toolkit::Win32Toolkit win;
  testing_support::ExpectWaitSleepsAndTimersTickInside(win);
}

// Waits, dispatching, until done() holds; gives up after a long while, so
// that a timer that never ticks fails instead of hanging.
template <typename Done>
bool WaitUntil(toolkit::Toolkit& tk, Done done) {
  const uint32_t t0 = tk.TickCount();
  while (!done() && tk.TickCount() - t0 < 20000) tk.WaitForEvents(50);
  return done();
}

TEST(Win32Toolkit, AHandlerThatWaitsIsNotReenteredButARestartedTimerTicksAnew) {
  toolkit::Win32Toolkit tk;
  int depth = 0, deepest = 0, calls = 0, deepestInFirst = 0;
  std::unique_ptr<toolkit::Timer> t;
  t = tk.CreateTimer(20, [&] {
    ++calls;
    deepest = std::max(deepest, ++depth);
    if (calls == 1) {
      toolkit::WaitMilliseconds(tk, 200);  // ten periods inside the handler, however slow
      deepestInFirst = deepest;
    }
    if (calls == 2) {
      // Stopped and started again inside: the new enabling ticks even
      // though this handler still runs.
      t->SetEnabled(false);
      t->SetEnabled(true);
      WaitUntil(tk, [&] { return deepest >= 2; });
    }
    --depth;
  });
  t->SetEnabled(true);
  ASSERT_TRUE(WaitUntil(tk, [&] { return calls >= 2; })) << "the timer did not tick twice";
  EXPECT_EQ(deepestInFirst, 1) << "the first handler was entered again by its own timer";
  EXPECT_GE(deepest, 2) << "the restarted timer did not tick while the old handler waited";
  t->SetEnabled(false);
  const int stopped = calls;
  toolkit::WaitMilliseconds(tk, 100);  // a WM_TIMER already queued is dropped
  EXPECT_EQ(calls, stopped);
}

TEST(Win32Toolkit, QuitSeenInANestedWaitEndsTheOuterLoop) {
  toolkit::Win32Toolkit tk;
  bool nestedReturned = false;
  auto t = tk.CreateTimer(10, [&] {
    PostQuitMessage(3);
    toolkit::WaitMilliseconds(tk, 50);  // sees the quit, goes on waiting
    nestedReturned = true;
  });
  t->SetEnabled(true);
  EXPECT_EQ(tk.Run(), 3);
  EXPECT_TRUE(nestedReturned);
}

TEST(Win32Toolkit, Windows1251RoundTrip) {
  const std::string text = "\xC7\xCE\xD0\xC2\xC8\xCA \x01\r";  // ЗОРВИК, a control character, CR
  EXPECT_EQ(toolkit::WideFrom1251(text), std::wstring(L"ЗОРВИК \x01\r"));
  EXPECT_EQ(toolkit::Cp1251FromWide(toolkit::WideFrom1251(text)), text);
  EXPECT_EQ(toolkit::Cp1251FromWide(L"\u4E2D"), "?");
}

}  // namespace
