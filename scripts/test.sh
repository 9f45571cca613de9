#!/usr/bin/env bash
# Sets up the machine, builds and runs every test: the native build, the
# same tests under AddressSanitizer and UndefinedBehaviorSanitizer, then the
# Windows cross-build under Wine.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
bash "$root/scripts/setup.sh"
bash "$root/scripts/build.sh" "$root/build"
(cd "$root/build" && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j2)
bash "$root/scripts/test-sanitize.sh" "$root/build-asan"
bash "$root/scripts/test-windows.sh" "$root/build-win" "$root/build"
