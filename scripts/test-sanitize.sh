#!/usr/bin/env bash
# Builds everything with AddressSanitizer and UndefinedBehaviorSanitizer (the
# preset "sanitizers", -O1: fast enough for the real-time tests; -g1: the
# line tables its reports need) and runs the whole test suite there. The first error
# halts the test that made it; leaks are reported at each test's exit. The
# preset's test settings let only leaks inside Qt's and the font libraries'
# own start-up through (tests/sanitize/lsan.supp).
#   bash scripts/test-sanitize.sh
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
source "$root/scripts/presets.sh"
bash "$root/scripts/build.sh" sanitizers
cd "$root"
mapfile -t junit < <(junit_args sanitizers)
# Most tests sleep in real time: more of them than cores run side by side.
ctest --preset sanitizers -j4 "${junit[@]}"
