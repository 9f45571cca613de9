#!/usr/bin/env bash
# Sets up the machine, builds the program and starts it.
#   bash scripts/run.sh            the training program zorvik-demo: training
#                                  modems built in, the first one chosen
#   bash scripts/run.sh --modem    zorvik with a real modem: choose its port in the window
# It builds into build-run/ without the tests, and only the two programs, so
# it needs no test packages and leaves the test command's build/ alone.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
program=zorvik-demo
case "${1:-}" in
  "") ;;
  --modem) program=zorvik ;;
  *) echo "unknown option $1 (bash scripts/run.sh [--modem])" >&2; exit 2 ;;
esac
bash "$root/scripts/setup.sh" --program
bash "$root/scripts/build.sh" "$root/build-run" -DZORVIK_TESTS=OFF -- --target zorvik zorvik-demo

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No graphical display found (DISPLAY is empty): start this from a desktop session." >&2
  exit 1
fi
exec "$root/build-run/app/$program"
