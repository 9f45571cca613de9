#!/usr/bin/env bash
# Sets up the machine, builds and runs every test.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
bash "$root/scripts/setup.sh"
bash "$root/scripts/build.sh" "$root/build"
cd "$root/build"
QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j2
