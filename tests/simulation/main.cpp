// zorvik-simulate: seeded runs of the real window, offscreen and in virtual
// time, against a far end whose behaviour is drawn from the seed (the modem
// emulator with any of its faults, or a responder that answers with random
// bytes), a line that fails and comes back, and an operator who presses,
// types and answers the prompts at random moments, and switches the modem on
// when told, early or never. What must hold between any two events is
// checked after every one of them (among it: a started run ends or visibly
// waits, and no power prompt comes without a cause); the first violation
// ends the program with the seed, which replays exactly with
// --first=SEED --seeds=1.
#include <QApplication>

#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "tests/simulation/report.h"
#include "tests/simulation/world.h"

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/common_interface_defs.h>
#endif

using namespace simulation;

namespace {

bool ParseArgs(int argc, char** argv, Options& o) {
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    auto value = [&](const char* name, uint64_t& v) {
      const std::string p = std::string(name) + "=";
      if (a.compare(0, p.size(), p) != 0) return false;
      v = std::strtoull(a.c_str() + p.size(), nullptr, 10);
      return true;
    };
    if (value("--seeds", o.seeds) || value("--first", o.first)) continue;
    if (a == "--verbose") {
      o.verbose = true;
      continue;
    }
    std::fprintf(stderr,
                 "usage: zorvik-simulate [--seeds=N] [--first=S] [--verbose]\n"
                 "  runs seeds S, S+1, ... S+N-1; a failing seed is printed with its replay command\n");
    return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  Options opt;
  if (!ParseArgs(argc, argv, opt)) return 2;
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  for (int sig : {SIGSEGV, SIGABRT, SIGFPE, SIGBUS, SIGILL}) std::signal(sig, OnFatalSignal);
#if defined(__SANITIZE_ADDRESS__)
  __sanitizer_set_death_callback(ReportSeedOnDeath);
#endif
  char dirTemplate[] = "/tmp/zorvik-simulate-XXXXXX";
  if (!mkdtemp(dirTemplate)) {
    std::perror("mkdtemp");
    return 1;
  }
  const std::filesystem::path dir = gDir = dirTemplate;

  const auto t0 = std::chrono::steady_clock::now();
  uint64_t events = 0, virtualMs = 0, lines = 0, successes = 0, watchdogs = 0, prompts = 0;
  for (uint64_t s = opt.first; s < opt.first + opt.seeds; ++s) {
    gSeed = s;
    World world(s, dir, opt.verbose);
    world.Run();
    events += world.Events();
    virtualMs += world.VirtualMs();
    lines += world.Lines();
    successes += world.successes;
    watchdogs += world.watchdogs;
    prompts += world.prompts;
  }
  const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  std::filesystem::remove_all(dir);
  std::printf("zorvik-simulate: %llu seeds (%llu..%llu) clean: %llu events, %.0f events/s, %.1f h virtual, "
              "%llu log lines (%llu set-ups to the end, %llu watchdog ends, %llu prompts), %.2f s\n",
              (unsigned long long)opt.seeds, (unsigned long long)opt.first,
              (unsigned long long)(opt.first + opt.seeds - 1), (unsigned long long)events, double(events) / wall,
              double(virtualMs) / 3.6e6, (unsigned long long)lines, (unsigned long long)successes,
              (unsigned long long)watchdogs, (unsigned long long)prompts, wall);
  return 0;
}
