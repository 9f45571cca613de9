#!/usr/bin/env bash
# Configures (once) and builds a preset of CMakePresets.json, or a folder of
# your own with the native build's settings.
#   bash scripts/build.sh PRESET [CMAKE-OPTION...] [-- BUILD-OPTION...]
#   bash scripts/build.sh DIR [CMAKE-OPTION...] [-- BUILD-OPTION...]
# Presets: cmake --list-presets. The compiling is niced: beside it, what
# waits in real time (the tests over pseudo-terminals, under Wine, the
# emulated guest) gets the processor when it asks, and is not slowed.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
target="${1:-native}"
shift || true
configure=()
while (($#)) && [ "$1" != "--" ]; do configure+=("$1"); shift; done
shift || true
cd "$root"
if cmake --list-presets 2>/dev/null | grep -q "^  \"$target\""; then
  cmake --preset "$target" "${configure[@]}" >/dev/null
  nice -n 10 cmake --build --preset "$target" "$@"
else
  cmake -S "$root" -B "$target" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${configure[@]}" >/dev/null
  nice -n 10 cmake --build "$target" "$@"
fi
