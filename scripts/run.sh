#!/usr/bin/env bash
# Sets up the machine, builds the program and starts it.
#   bash scripts/run.sh            the training program zorvik-demo: training
#                                  modems built in, the first one chosen
#   bash scripts/run.sh --modem    zorvik with a real modem: choose its port in the window
# It builds the preset "run" (build-run/): only the two programs, without the
# tests, so it needs no test packages and leaves the test command's builds
# alone.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
program=zorvik-demo
case "${1:-}" in
  "") ;;
  --modem) program=zorvik ;;
  *) echo "unknown option $1 (bash scripts/run.sh [--modem])" >&2; exit 2 ;;
esac
bash "$root/scripts/setup.sh" --program
bash "$root/scripts/build.sh" run
source "$root/scripts/presets.sh"

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No graphical display found (DISPLAY is empty): start this from a desktop session." >&2
  exit 1
fi
exec "$(preset_dir run)/app/$program"
