#!/usr/bin/env bash
# Builds everything with AddressSanitizer and UndefinedBehaviorSanitizer in a
# build directory of its own and runs the whole test suite there. The first
# error halts the test that made it; leaks are reported at each test's exit.
#   bash scripts/test-sanitize.sh [build-dir]     (default: build-asan)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
dir="$(realpath -m "${1:-$root/build-asan}")"

generator=()
command -v ninja >/dev/null && generator=(-G Ninja)
[ -f "$dir/CMakeCache.txt" ] && generator=()  # keep the generator it was made with
# -O1: fast enough for the real-time tests, still faithful stack traces.
cmake -S "$root" -B "$dir" "${generator[@]}" \
  -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-g -O1" \
  -DZORVIK_SANITIZE=ON -DZORVIK_WITH_QT=ON -DZORVIK_TESTS=ON
cmake --build "$dir" -j2

export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0:halt_on_error=1:strict_string_checks=1:detect_stack_use_after_return=1:check_initialization_order=1:strict_init_order=1:detect_invalid_pointer_pairs=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
# Only leaks inside Qt's and the font libraries' own start-up are let through.
export LSAN_OPTIONS="suppressions=$root/tests/sanitize/lsan.supp:print_suppressions=0"
cd "$dir"
ctest --output-on-failure -j2 --timeout 600
