#!/usr/bin/env bash
# One case of zorvik.exe end to end under Wine, as ctest runs it in the
# Windows build: zorvik-modemsim on a pseudo-terminal behind the window
# prefix's port, window_driver.exe driving the window on the virtual display.
# The driver's line "operator: power on" is passed on to the emulator;
# "operator: unplug" ends the emulator, as a pulled cable ends the line;
# "operator: plug back" starts a new one under the same name.
# Usage: scripts/test-windows-window.sh CASE WINDOW_DRIVER.exe ZORVIK.exe|shipped
# With the release's zip unpacked in ZORVIK_SHIPPED, the program is the one
# as it ships, its zorvik.exe (zorvik-demo.exe for the case demo), whatever
# the build's; "shipped" asks for it.
# Needs what scripts/test-windows.sh sets up (ZORVIK_WINDOW_PREFIX, _PORT,
# _LINK, _DISPLAY, ZORVIK_MODEMSIM); without it the case is skipped (77).
# With ZORVIK_WINDOW_TEMPLATE, a booted prefix, the case gets a prefix and a
# virtual display of its own, made from it, so that cases run side by side.
# With ZORVIK_MODEM_ELSEWHERE=1 the port's far end is not this script's.
# Exits with the driver's status.
set -euo pipefail
kase="$1" driver="$2" program="$3"
root="$(cd "$(dirname "$0")/.." && pwd)"
elsewhere="${ZORVIK_MODEM_ELSEWHERE:-}"
own="${ZORVIK_WINDOW_TEMPLATE:-}"
[ -z "$elsewhere" ] || own=""
if [ -n "$own" ] && [ -z "${ZORVIK_CASE_DISPLAY:-}" ]; then
  # A display of its own, numbered apart from the other cases'.
  first=$((300 + $(cksum <<<"$kase" | cut -d' ' -f1) % 400))
  exec xvfb-run -a -n "$first" -s '-noreset -screen 0 1024x768x24' env ZORVIK_CASE_DISPLAY=1 bash "$0" "$@"
fi
source "$root/scripts/wine-prefix.sh"

if [ "$program" = shipped ] || [ -n "${ZORVIK_SHIPPED:-}" ]; then
  [ -n "${ZORVIK_SHIPPED:-}" ] || { echo "no release zip unpacked (ZORVIK_SHIPPED)"; exit 1; }
  program="$ZORVIK_SHIPPED/zorvik.exe"
  [ "$kase" != demo ] || program="$ZORVIK_SHIPPED/zorvik-demo.exe"
fi
[ -f "$program" ] || { echo "$(basename "$program") not built ($program)"; exit 1; }
[ -n "${ZORVIK_WINDOW_PREFIX:-}" ] || { echo "no window prefix: run scripts/test-windows.sh"; exit 77; }
[ -n "${ZORVIK_WINDOW_DISPLAY:-}" ] || { echo "no display for the window (xvfb-run)"; exit 1; }
prefix="$ZORVIK_WINDOW_PREFIX" link="$ZORVIK_WINDOW_LINK" display="$ZORVIK_WINDOW_DISPLAY"
case "$kase" in
  whole) options=(--sim=pin --power-on-after=0) ;;  # switched on by the operator only
  puk) options=(--sim=puk) ;;
  closing) options=(--sim=pin --power-on-after=0) ;;
  silent) options=(--silent) ;;
  stream) options=(--stream=100) ;;  # a GPS receiver on the port
  flood | flooded) options=(--stream=full) ;;
  ports | idle) options=() ;;
  demo) options=() ;;  # the training program: its own modems, the emulator's port after them
  gone) options=(--sim=ready) ;;  # ended when the driver says "operator: unplug"
  *) echo "unknown case $kase"; exit 2 ;;
esac

work="$(mktemp -d /tmp/zorvik-window.XXXXXX)"
cleanup() {
  exec 3>&- 2>/dev/null || true
  [ ! -f "$work/modem.pid" ] || kill "$(cat "$work/modem.pid")" 2>/dev/null || true
  [ -z "$own" ] || WINEPREFIX="$work/wine" wineserver -k >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT
if [ -n "$own" ]; then
  # The template's files linked, not copied (a prefix is over a gigabyte);
  # the registry, which Wine rewrites, copied.
  cp -al "$own" "$work/wine"
  for f in "$own"/*.reg; do cp --remove-destination "$f" "$work/wine/"; done
  prefix="$work/wine" link="$work/modem" display="$DISPLAY"
  wine_prefix_ports "$prefix" "COM3:" "COM3=$link" >/dev/null
fi
mkfifo "$work/modem.in"
# The emulator behind the port, its pid kept for the clean-up (it is also
# started again, by the loop below, when the adapter is put back).
start_modem() {
  rm -f "$link"
  "$ZORVIK_MODEMSIM" --log --link="$link" "${options[@]}" <"$work/modem.in" >/dev/null 2>>"$work/modem.log" &
  echo $! >"$work/modem.pid"
  for _ in $(seq 200); do [ -L "$link" ] && return 0; sleep 0.05; done
  echo "zorvik-modemsim did not start"; cat "$work/modem.log"; return 1
}
# ZORVIK_MODEM_ELSEWHERE=1: the modem is beyond a real port (the guest of
# scripts/test-vm.sh), whose host reads the operator's lines.
if [ -z "$elsewhere" ]; then
  start_modem &
  exec 3>"$work/modem.in"
  wait $! || exit 1
fi

# The driver ends with 75, before it starts the program, when Wine's desktop
# was not up in time; the desktop goes on starting, and the case begins again.
for try in 1 2 3 4 5 6; do
  status=0
  DISPLAY="$display" WINEPREFIX="$prefix" WINEDEBUG=-all LANG=ru_RU.UTF-8 \
    timeout 280 "$wine" "$driver" "$kase" "Z:${program//\//\\}" "Z:${work//\//\\}" "$ZORVIK_WINDOW_PORT" |
    while IFS= read -r line; do
      printf '%s\n' "$line"
      [ "$line" != "PASSED $kase" ] || touch "$work/passed"
      [ -z "$elsewhere" ] || continue
      [ "$line" != "operator: power on" ] || echo on >&3
      [ "$line" != "operator: unplug" ] || kill "$(cat "$work/modem.pid")"  # the far end of the line closes
      [ "$line" != "operator: plug back" ] || start_modem
    done || status=$?
  [ "$status" -eq 75 ] || break
  sleep 2
done
# Wine ends with 0 also when it could not start the driver at all.
if [ "$status" -eq 0 ] && [ ! -f "$work/passed" ]; then
  echo "the driver never reported its case: Wine did not run it"
  status=1
fi
if [ "$status" -ne 0 ] && [ -z "$elsewhere" ]; then
  echo "--- the modem's side (zorvik-modemsim --log), last lines:"
  tail -n 40 "$work/modem.log"
fi
exit "$status"
