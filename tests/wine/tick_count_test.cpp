// The toolkit's tick count on Windows is the system's GetTickCount.
#include "toolkit/tick_count.h"

#include <cstdint>

#include <gtest/gtest.h>
#include <windows.h>

namespace {

TEST(Win32TickCount, MovesWithTheSystemsMilliseconds) {
  const uint32_t before = GetTickCount();
  const uint32_t start = toolkit::SystemTickCount();
  Sleep(60);
  const uint32_t passed = toolkit::SystemTickCount() - start;
  const uint32_t after = GetTickCount();
  // GetTickCount moves in steps of the system timer (up to about 16 ms).
  EXPECT_GE(passed, 40u);
  EXPECT_LE(passed, after - before);
  EXPECT_LE(start - before, after - before);  // read between the two
}

}  // namespace
