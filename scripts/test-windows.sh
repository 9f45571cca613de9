#!/usr/bin/env bash
# Cross-builds the Windows programs (32-bit, mingw-w64, optimised) and runs their
# tests under Wine in a fresh prefix. The prefix's only serial ports are
# COM5 and COM12, pseudo-terminals served by zorvik-com-peer (built natively);
# Wine's own mapping of the machine's ports (/dev/ttyS0 is the console) is
# switched off, so no test can open a real port. The window's end-to-end
# cases (scripts/test-windows-window.sh) get a second prefix, whose one port
# leads to zorvik-modemsim. Everything runs on a virtual display (xvfb-run).
# The programs as they ship, the 32-bit zorvik.exe and zorvik-demo.exe of
# the release's zip (ZORVIK_RELEASE_ZIP), are what the window's cases run
# here where Wine runs 32-bit programs; elsewhere those cases run the 64-bit
# twin, and the guest of scripts/test-vm.sh runs the shipped ones through
# the cases whole, gone and demo (shipped-runs in the windows preset's
# folder says "here" or "guest").
# Usage: scripts/test-windows.sh       (the presets windows, windows-x64 and native)
# Exits with ctest's status; writes the build whose programs Wine ran into
# wine-runs in the windows preset's folder. ZORVIK_ASSUME_NO_32BIT=1 acts as
# on a kernel that runs no 32-bit program, to try that way here.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
# The window's tests need a display: the whole run gets a virtual one, which
# does not reset when its last client leaves (it would refuse the next one
# meanwhile).
if [ -z "${ZORVIK_WINDOW_DISPLAY+set}" ] && command -v xvfb-run >/dev/null; then
  exec xvfb-run -a -s '-noreset -screen 0 1024x768x24' env ZORVIK_WINDOW_DISPLAY='' bash "$0" "$@"
fi
export ZORVIK_WINDOW_DISPLAY="${ZORVIK_WINDOW_DISPLAY:-${DISPLAY:-}}"
source "$root/scripts/presets.sh"
build="$(preset_dir windows)"
native="$(preset_dir native)"

source "$root/scripts/wine-prefix.sh"
[ -x "$wine" ] || { echo "test-windows: wine is missing" >&2; exit 1; }
grep -qix 'ru_RU\.utf-\?8' <<<"$(locale -a)" || {
  echo "test-windows: the locale ru_RU.UTF-8 is missing (localedef -i ru_RU -f UTF-8 ru_RU.UTF-8)" >&2
  exit 1
}

# cross_build PRESET: configures and builds it; ctest's Wine is the loader
# that runs here.
cross_build() { bash "$root/scripts/build.sh" "$1" -DZORVIK_WINE="$wine"; }
rm -f "$build/wine-runs" "$build/shipped-runs"  # written again once Wine has run a build
cross_build windows
bash "$root/scripts/build.sh" native -- --target zorvik-com-peer zorvik-modemsim

prefix="$(mktemp -d /tmp/zorvik-wine.XXXXXX)"
window="$prefix/window"
export WINEPREFIX="$prefix/wine" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" LANG=ru_RU.UTF-8
export DISPLAY="$ZORVIK_WINDOW_DISPLAY"  # a prefix's desktop is made on the display its services start on
unset WAYLAND_DISPLAY LC_ALL
peer_pid=""
cleanup() {
  exec 3>&- 2>/dev/null || true  # the peer ends when its input closes
  [ -z "$peer_pid" ] || kill "$peer_pid" 2>/dev/null || true
  wineserver -k >/dev/null 2>&1 || true
  WINEPREFIX="$window" wineserver -k >/dev/null 2>&1 || true
  rm -rf "$prefix"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

wine_prefix_boot "$WINEPREFIX"
# runs_here BUILD: Wine starts BUILD's programs. It ends with 0 also when it
# cannot start one at all (a 32-bit program without Wine's 32-bit half).
runs_here() {
  [ -z "${ZORVIK_ASSUME_NO_32BIT:-}" ] || [ "$1" != "$build" ] || return 1
  local said
  said="$("$wine" "$1/tests/toolkit/toolkit_tests.exe" --gtest_filter=None 2>&1 || true)"
  grep -q 'PASSED  \] 0 tests' <<<"$said"
}
# Without the 32-bit half (wine32:i386 not installable, as when the mirror's
# i386 index is out of step, or a kernel that runs no 32-bit program), the
# tests under Wine run the 64-bit twin of the same code, and the 32-bit build
# gets the checks that need no Wine.
tests="$build" preset=windows
status=0
if ! runs_here "$build"; then
  twin="$(preset_dir windows-x64)"
  echo "note: Wine runs no 32-bit program here (no wine32:i386, or a kernel without 32-bit support): the tests under Wine ran the 64-bit twin"
  mapfile -t junit < <(junit_args windows-deliverable)
  ctest --preset windows -R '^windows_deliverable$' "${junit[@]}" || status=$?
  cross_build windows-x64
  runs_here "$twin" || { echo "test-windows: Wine runs neither 32- nor 64-bit programs here" >&2; exit 1; }
  tests="$twin" preset=windows-x64
fi
echo "$tests" >"$build/wine-runs"  # the guest's Windows cases take the same programs
cp -a "$WINEPREFIX" "$window"
# Each of the window's end-to-end cases makes a prefix of its own from this.
cp -a "$WINEPREFIX" "$prefix/template"

mkfifo "$prefix/peer.in"
"$native/tests/wine/zorvik-com-peer" COM5 COM12 <"$prefix/peer.in" >"$prefix/peer.txt" &
peer_pid=$!
exec 3>"$prefix/peer.in"
for _ in $(seq 100); do
  [ "$(wc -l <"$prefix/peer.txt")" -ge 2 ] && break
  sleep 0.05
done
declare -A slave
while read -r name path; do slave[$name]=$path; done <"$prefix/peer.txt"
[ -n "${slave[COM5]:-}" ] && [ -n "${slave[COM12]:-}" ] || { echo "test-windows: the peer did not start" >&2; exit 1; }

wine_prefix_ports "$WINEPREFIX" "COM5: COM12: com7: COM300:" "COM5=${slave[COM5]}" "COM12=${slave[COM12]}"
# The window's end-to-end cases: a prefix of their own, whose one port COM3
# leads to the link each case's zorvik-modemsim makes to its pseudo-terminal.
wine_prefix_ports "$window" "COM3:" "COM3=$prefix/modem"
export ZORVIK_WINDOW_PREFIX="$window" ZORVIK_WINDOW_PORT=COM3 ZORVIK_WINDOW_LINK="$prefix/modem"
export ZORVIK_WINDOW_TEMPLATE="$prefix/template"
export ZORVIK_MODEMSIM="$native/modemsim/zorvik-modemsim" ZORVIK_COM_PEER="COM5 COM12"

# The release's programs, unpacked as an engineer unpacks them.
if [ -z "${ZORVIK_RELEASE_ZIP+set}" ]; then
  echo "note: no release zip given: the shipped programs did not run"
elif [ ! -f "$ZORVIK_RELEASE_ZIP" ]; then
  echo "note: the release's zip is missing (${ZORVIK_RELEASE_ZIP:-none was made}): the shipped programs did not run"
  status=1
elif [ "$tests" = "$build" ]; then
  mkdir "$prefix/shipped"
  bsdtar -xf "$ZORVIK_RELEASE_ZIP" -C "$prefix/shipped"
  ZORVIK_SHIPPED="$(dirname "$(ls "$prefix"/shipped/*/zorvik.exe)")"
  export ZORVIK_SHIPPED
  echo here >"$build/shipped-runs"
  echo "note: the window's cases ran the release's 32-bit zorvik.exe and zorvik-demo.exe here under 32-bit Wine"
else
  echo guest >"$build/shipped-runs"
  echo "note: the release's 32-bit zorvik.exe and zorvik-demo.exe run in the guest, whose kernel runs 32-bit programs"
fi

mapfile -t junit < <(junit_args windows)
# Most of these sleep on Wine and the window; each window case has a
# prefix and a display of its own, so all run side by side.
ctest --preset "$preset" -j4 "${junit[@]}" || status=$?
exit $status
