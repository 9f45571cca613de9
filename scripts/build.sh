#!/usr/bin/env bash
# Configures and builds into build/ (or the directory given).
#   bash scripts/build.sh [DIR [CMAKE-OPTION...] [-- BUILD-OPTION...]]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
dir="${1:-$root/build}"
shift || true
configure=()
while (($#)) && [ "$1" != "--" ]; do configure+=("$1"); shift; done
shift || true
cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${configure[@]}" >/dev/null
cmake --build "$dir" "$@"
