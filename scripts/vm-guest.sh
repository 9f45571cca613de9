#!/usr/bin/env bash
# What the guest of scripts/test-vm.sh runs, as root in its chroot of the
# host's file system (read-only, under a RAM overlay): the cases of
# tests/vm on the kernel's own serial drivers, then zorvik.exe under Wine
# on the USB adapter. Each case ends with "zorvik-vm: case NAME passed" or
# "... FAILED"; a line "operator: ..." or "zorvik-vm: fresh modem" asks the
# host to act; "zorvik-vm: case NAME begins" starts the host's clock for it.
set -euo pipefail
out="$1"
source "$out/env"  # build, win, prefix, host_wine, shipped_zip, shipped_driver
root="$(cd "$(dirname "$0")/.." && pwd)"
echo "zorvik-vm: up after $(cut -d' ' -f1 /proc/uptime) s"
export QT_QPA_PLATFORM=offscreen ZORVIK_VM="$out" XDG_RUNTIME_DIR=/tmp
status=0
case_() {  # case_ NAME COMMAND...: runs it, reports it with its time
  local name="$1" t0 rc=0
  shift
  echo "zorvik-vm: case $name begins"
  t0="$(cut -d' ' -f1 /proc/uptime)"
  "$@" || rc=$?
  local took
  took="$(awk -v a="$t0" -v b="$(cut -d' ' -f1 /proc/uptime)" 'BEGIN { printf "%.1f", b - a }')"
  if [ "$rc" -eq 0 ]; then echo "zorvik-vm: case $name passed ($took s)"; else echo "zorvik-vm: case $name FAILED ($took s)"; status=1; fi
}
cases="$build/tests/vm/vm_cases_tests"
# The adapter's far end swapped for a fresh modem: it goes, and comes back.
fresh_modem() {
  echo "zorvik-vm: fresh modem"
  for _ in $(seq 300); do [ ! -e /dev/ttyUSB0 ] && break; sleep 0.1; done
  for _ in $(seq 600); do [ -e /dev/ttyUSB0 ] && return 0; sleep 0.1; done
  echo "zorvik-vm: the adapter did not come back"; return 1
}

case_ ports "$cases" --gtest_filter='VmPorts.*'
case_ driver "$cases" --gtest_filter='*/VmDriver.*:Guest/SerialContract.*'
fresh_modem || status=1
case_ whole-run "$cases" --gtest_filter='VmProgram.AWholeRun*'
case_ pulled "$cases" --gtest_filter='VmProgram.APulled*'

# zorvik.exe on the adapter, COM3 of a prefix made on the host.
windows() {
  # However long the host takes: its clock ends a wait that never ends.
  while [ ! -f "$out/prefix-ready" ] && [ ! -f "$out/prefix-failed" ]; do sleep 0.2; done
  [ -f "$out/prefix-ready" ] || { echo "zorvik-vm: the host made no Wine prefix"; return 1; }
  Xvfb :1 -noreset -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
  for _ in $(seq 100); do [ -e /tmp/.X11-unix/X1 ] && break; sleep 0.1; done
  export ZORVIK_WINDOW_PREFIX="$prefix" ZORVIK_WINDOW_PORT=COM3 ZORVIK_WINDOW_LINK=/dev/ttyUSB0
  export ZORVIK_WINDOW_DISPLAY=:1 ZORVIK_MODEM_ELSEWHERE=1
  # The prefix is the host's: the same loader runs in it, whatever this
  # kernel could run.
  export ZORVIK_WINE="$host_wine"
  # The prefix's server opens the port, and a server without a terminal of
  # its own takes the adapter as one: pulled, it hangs up, and Debian 13's
  # wineserver answers the hang-up with a dump of all its objects. Started
  # here, its output stays out of the console.
  WINEPREFIX="$prefix" wineserver -p 2>>/tmp/wineserver.log
  case_ windows-whole fresh_modem_then window_case whole
  case_ windows-gone window_case gone
  # The release's 32-bit programs, where the host's kernel runs none: this
  # one does, with Wine's 32-bit loader in the same prefix.
  if [ -n "$shipped_zip" ]; then
    mkdir -p /tmp/shipped
    bsdtar -xf "$shipped_zip" -C /tmp/shipped
    ZORVIK_SHIPPED="$(dirname "$(ls /tmp/shipped/*/zorvik.exe)")"
    export ZORVIK_SHIPPED ZORVIK_WINE=/usr/lib/wine/wine
    case_ shipped-whole fresh_modem_then shipped_case whole
    case_ shipped-gone shipped_case gone
    case_ shipped-demo shipped_case demo
  fi
  WINEPREFIX="$prefix" wineserver -k 2>/dev/null || true
}
fresh_modem_then() { fresh_modem && "$@"; }
window_case() {  # window_case MODE: the window driver's case MODE on the adapter
  bash "$root/scripts/test-windows-window.sh" "$1" "$win/tests/wine/window_driver.exe" "$win/app/zorvik.exe"
}
shipped_case() {  # shipped_case MODE: the same, with the release's program
  bash "$root/scripts/test-windows-window.sh" "$1" "$shipped_driver" shipped
}
windows || status=1
exit $status
