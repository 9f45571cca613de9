#include "toolkit/tick_count.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <time.h>
#endif

namespace toolkit {

uint32_t SystemTickCount() {
#ifdef _WIN32
  return GetTickCount();
#else
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return uint32_t(uint64_t(ts.tv_sec) * 1000u + uint64_t(ts.tv_nsec) / 1'000'000u);
#endif
}

}  // namespace toolkit
