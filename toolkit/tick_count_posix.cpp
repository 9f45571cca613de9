#include <time.h>

#include "toolkit/tick_count.h"

namespace toolkit {

// Milliseconds of the monotonic clock, cut to 32 bits like GetTickCount.
uint32_t SystemTickCount() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return uint32_t(uint64_t(ts.tv_sec) * 1000u + uint64_t(ts.tv_nsec) / 1'000'000u);
}

}  // namespace toolkit
