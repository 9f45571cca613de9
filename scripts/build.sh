#!/usr/bin/env bash
# Configures (once) and builds a preset of CMakePresets.json, or a folder of
# your own with the native build's settings.
#   bash scripts/build.sh PRESET [CMAKE-OPTION...] [-- BUILD-OPTION...]
#   bash scripts/build.sh DIR [CMAKE-OPTION...] [-- BUILD-OPTION...]
# Presets: cmake --list-presets.
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
  cmake --build --preset "$target" "$@"
else
  cmake -S "$root" -B "$target" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${configure[@]}" >/dev/null
  cmake --build "$target" "$@"
fi
