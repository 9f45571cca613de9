#!/usr/bin/env bash
# What the guest of scripts/test-vm.sh runs, as root in its chroot of the
# host's file system (read-only, under a RAM overlay): the cases of
# tests/vm on the kernel's own serial drivers, then zorvik.exe under Wine
# on the USB adapter. Each case ends with "zorvik-vm: case NAME passed" or
# "... FAILED"; a line "operator: ..." or "zorvik-vm: fresh modem" asks the
# host to act.
out="$1"
source "$out/env"  # build, win, prefix, host_wine
root="$(cd "$(dirname "$0")/.." && pwd)"
echo "zorvik-vm: up after $(cut -d' ' -f1 /proc/uptime) s"
export QT_QPA_PLATFORM=offscreen ZORVIK_VM="$out" XDG_RUNTIME_DIR=/tmp
status=0
case_() {  # case_ NAME COMMAND...: runs it, reports it with its time
  local name="$1" t0 rc=0
  shift
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
  for _ in $(seq 100); do [ ! -e /dev/ttyUSB0 ] && break; sleep 0.1; done
  for _ in $(seq 200); do [ -e /dev/ttyUSB0 ] && return 0; sleep 0.1; done
  echo "zorvik-vm: the adapter did not come back"; return 1
}

case_ ports "$cases" --gtest_filter='VmPorts.*'
case_ driver "$cases" --gtest_filter='*/VmDriver.*'
fresh_modem
case_ whole-run "$cases" --gtest_filter='VmProgram.AWholeRun*'
case_ pulled "$cases" --gtest_filter='VmProgram.APulled*'

# zorvik.exe on the adapter, COM3 of a prefix made on the host.
windows() {
  for _ in $(seq 600); do [ -f "$out/prefix-ready" ] && break; sleep 0.1; done
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
  local rc=0
  fresh_modem && bash "$root/scripts/test-windows-window.sh" whole "$win/tests/wine/window_driver.exe" \
    "$win/app/zorvik.exe" || rc=1
  [ "$rc" -eq 0 ] && echo "zorvik-vm: case windows-whole passed" || echo "zorvik-vm: case windows-whole FAILED"
  bash "$root/scripts/test-windows-window.sh" gone "$win/tests/wine/window_driver.exe" "$win/app/zorvik.exe" || rc=1
  [ "$rc" -eq 0 ] && echo "zorvik-vm: case windows-gone passed" || echo "zorvik-vm: case windows-gone FAILED"
  WINEPREFIX="$prefix" wineserver -k 2>/dev/null
  return $rc
}
windows || status=1
exit $status
