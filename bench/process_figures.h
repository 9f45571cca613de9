// What a benchmark reads off its own process.
#pragma once

#include <sys/resource.h>

#include <cstdlib>
#include <fstream>
#include <string>

namespace bench {

// User plus system CPU seconds of this process so far.
inline double CpuSeconds() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// Resident memory of this process now, -1 when unknown.
inline long ResidentKiB() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);)
    if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6);
  return -1;
}

}  // namespace bench
