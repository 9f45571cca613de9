#!/usr/bin/env bash
# Builds and runs every benchmark and prints one Markdown table of figures.
#   bash bench/run_all.sh [build-dir]     (about five minutes)
# The idle and wait figures run for 20 s each; a 1 MiB reply for the log;
# 60 s idle and 60 s of a flood.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build}"
bash "$root/scripts/build.sh" "$build" >/dev/null
export QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR="${XDG_RUNTIME_DIR:-$(mktemp -d)}"

row() {  # bench name, then its output lines "figure: value"
  local name="$1"
  while IFS= read -r line; do
    case "$line" in
      *": "*) printf '| %s | %s | %s |\n' "$name" "${line%%: *}" "${line#*: }" ;;
    esac
  done
}

echo "| benchmark | figure | value |"
echo "|---|---|---|"
"$build/bench/bench_startup" 20 | row startup
"$build/bench/bench_whole_run" | row "whole run"
"$build/bench/bench_demo" 20 | row "zorvik-demo"
"$build/bench/bench_serial" 20 | row "serial driver"
"$build/bench/bench_large_reply" 1024 | row "large reply"
"$build/bench/bench_flood" 60 | row "flood"
echo
echo "Machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | xargs)," \
  "$(awk '/MemTotal/ {printf "%.0f GiB", $2 / 1048576}' /proc/meminfo), $(. /etc/os-release && echo "$PRETTY_NAME")," \
  "build type $(sed -n 's/^CMAKE_BUILD_TYPE:STRING=//p' "$build/CMakeCache.txt")"
