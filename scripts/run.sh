#!/usr/bin/env bash
# Sets up the machine, builds the program and starts it.
#   bash scripts/run.sh            the training program zorvik-demo: training
#                                  modems built in, the first one chosen
#   bash scripts/run.sh --modem    zorvik with a real modem: choose its port in the window
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
bash "$root/scripts/setup.sh" --program
bash "$root/scripts/build.sh" "$root/build"

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No graphical display found (DISPLAY is empty): start this from a desktop session." >&2
  exit 1
fi

if [ "${1:-}" = "--modem" ]; then
  exec "$root/build/app/zorvik"
fi
exec "$root/build/app/zorvik-demo"
