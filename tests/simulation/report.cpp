#include "tests/simulation/report.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <system_error>

#include "toolkit/codepage.h"

namespace simulation {

std::string W(const char* utf8) { return toolkit::Cp1251(utf8); }
bool StartsWith(const std::string& s, const std::string& p) { return s.compare(0, p.size(), p) == 0; }
bool EndsWith(const std::string& s, const std::string& t) {
  return s.size() >= t.size() && s.compare(s.size() - t.size(), t.size(), t) == 0;
}
std::string WithoutCrLf(const std::string& s) {
  std::string out;
  out.reserve(s.size());
  for (char c : s)
    if (c != '\r' && c != '\n') out.push_back(c);
  return out;
}

// Printable form of bytes for a failure report.
std::string Shown(const std::string& bytes, size_t max) {
  std::string out;
  for (unsigned char c : bytes.substr(0, max)) {
    if (c >= 0x20 && c < 0x7F) {
      out.push_back(char(c));
    } else {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\x%02X", c);
      out += buf;
    }
  }
  if (bytes.size() > max) out += "...";
  return out;
}

// A log line (Windows-1251) readable: UTF-8, control characters escaped.
std::string ShownLine(const std::string& cp1251) {
  std::string out;
  for (unsigned char c : cp1251.substr(0, 200)) {
    if (c < 0x20 || c == 0x7F) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\x%02X", c);
      out += buf;
    } else {
      out += toolkit::Utf8(std::string(1, char(c)));
    }
  }
  return out;
}

uint64_t gSeed = 0;
std::filesystem::path gDir;  // the run's files, removed on every way out

void ReportSeedOnDeath() {
  char msg[160];
  const int n = std::snprintf(msg, sizeof msg,
                              "\nzorvik-simulate: died in seed %llu; replay: zorvik-simulate --first=%llu --seeds=1\n",
                              (unsigned long long)gSeed, (unsigned long long)gSeed);
  if (n > 0) (void)!write(STDERR_FILENO, msg, size_t(n));
}

void OnFatalSignal(int sig) {
  ReportSeedOnDeath();
  std::signal(sig, SIG_DFL);
  std::raise(sig);
}

void Violation(const std::string& what, const std::vector<std::string>& context) {
  std::fprintf(stderr, "\nzorvik-simulate: seed %llu: %s\n", (unsigned long long)gSeed, what.c_str());
  for (const std::string& c : context) std::fprintf(stderr, "  %s\n", c.c_str());
  std::fprintf(stderr, "replay: zorvik-simulate --first=%llu --seeds=1 --verbose\n", (unsigned long long)gSeed);
  std::fflush(stderr);
  std::error_code ignored;
  std::filesystem::remove_all(gDir, ignored);
  std::_Exit(1);
}

}  // namespace simulation
