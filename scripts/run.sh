#!/usr/bin/env bash
# Sets up the machine, builds the program and starts it.
#   bash scripts/run.sh            with the built-in modem emulator on a pseudo-terminal
#   bash scripts/run.sh --modem    with a real modem: choose its port in the window
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
bash "$root/scripts/setup.sh"
bash "$root/scripts/build.sh" "$root/build"

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No graphical display found (DISPLAY is empty): start this from a desktop session." >&2
  exit 1
fi

if [ "${1:-}" = "--modem" ]; then
  exec "$root/build/app/zorvik"
fi

link="${XDG_RUNTIME_DIR:-/tmp}/zorvik-modem"
"$root/build/modemsim/zorvik-modemsim" --link "$link" >/dev/null &
sim=$!
trap 'kill $sim 2>/dev/null || true' EXIT
for _ in $(seq 50); do [ -e "$link" ] && break; sleep 0.1; done
echo "Modem emulator ready: type $link into the port box (ПОРТ) of the window, then press НАЧАТЬ."
"$root/build/app/zorvik"
