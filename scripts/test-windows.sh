#!/usr/bin/env bash
# Cross-builds the portable core for 64-bit Windows (mingw-w64) and runs its
# tests under Wine in a fresh prefix. The prefix's only serial ports are
# COM5 and COM12, pseudo-terminals served by zorvik-com-peer (built natively);
# Wine's own mapping of the machine's ports (/dev/ttyS0 is the console) is
# switched off, so no test can open a real port.
# Usage: scripts/test-windows.sh [CROSS-BUILD-DIR [NATIVE-BUILD-DIR]]
# Exits with ctest's status.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$(realpath -m "${1:-$root/build-win}")"
native="$(realpath -m "${2:-$root/build-native}")"

wine="$(command -v wine64 || echo /usr/lib/wine/wine64)"
[ -x "$wine" ] || { echo "test-windows: wine64 is missing" >&2; exit 1; }
locale -a | grep -qix 'ru_RU\.utf-\?8' || {
  echo "test-windows: the locale ru_RU.UTF-8 is missing (localedef -i ru_RU -f UTF-8 ru_RU.UTF-8)" >&2
  exit 1
}

[ -f "$build/CMakeCache.txt" ] ||
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64.cmake" -DZORVIK_WITH_QT=OFF >/dev/null
cmake --build "$build" -j2
[ -f "$native/CMakeCache.txt" ] || cmake -S "$root" -B "$native" -G Ninja >/dev/null
cmake --build "$native" -j2 --target zorvik-com-peer

prefix="$(mktemp -d /tmp/zorvik-wine.XXXXXX)"
export WINEPREFIX="$prefix/wine" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" LANG=ru_RU.UTF-8
unset DISPLAY WAYLAND_DISPLAY LC_ALL
peer_pid=""
cleanup() {
  exec 3>&- 2>/dev/null || true  # the peer ends when its input closes
  [ -z "$peer_pid" ] || kill "$peer_pid" 2>/dev/null || true
  wineserver -k >/dev/null 2>&1 || true
  rm -rf "$prefix"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

wineboot -i >/dev/null 2>&1
wineserver -k 2>/dev/null || true

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

# Wine maps the machine's serial devices to the lowest COM numbers not named
# in its Ports key, and to COM256 when every number below is named. A number
# named empty gets a device name but no device behind it. The printing
# subsystem is told of COM5:, COM12:, com7: and COM300: (no device of that
# name) instead of COM1: to COM4:.
{
  printf 'REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Wine\\Ports]\r\n'
  for n in $(seq 1 255); do
    case $n in
      5) printf '"COM5"="%s"\r\n' "${slave[COM5]}" ;;
      12) printf '"COM12"="%s"\r\n' "${slave[COM12]}" ;;
      *) printf '"COM%s"=""\r\n' "$n" ;;
    esac
  done
  printf '\r\n[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows NT\\CurrentVersion\\Ports]\r\n'
  printf '"COM1:"=-\r\n"COM2:"=-\r\n"COM3:"=-\r\n"COM4:"=-\r\n'
  printf '"COM5:"=""\r\n"COM12:"=""\r\n"com7:"=""\r\n"COM300:"=""\r\n'
} >"$prefix/ports.reg"
"$wine" reg import "Z:${prefix//\//\\}\\ports.reg" >/dev/null
wineserver -k 2>/dev/null || true

# The mapping is made when Wine's services start: once, on this server.
# The machine's own devices come first, then the Ports key's; once COM5 and
# COM12 are there, every other link (a real port at COM256) is removed. A
# device name without its link cannot be opened.
rm -f "$WINEPREFIX"/dosdevices/com*
wineserver -p 2>>"$prefix/wineserver.log"
"$wine" reg query 'HKLM\Software\Wine\Ports' /v COM5 >/dev/null 2>&1
mapped() { [ -L "$WINEPREFIX/dosdevices/com5" ] && [ -L "$WINEPREFIX/dosdevices/com12" ]; }
for _ in $(seq 100); do mapped && break; sleep 0.05; done
for link in "$WINEPREFIX"/dosdevices/com*; do
  case "$(basename "$link"):$(readlink "$link")" in
    "com5:${slave[COM5]}" | "com12:${slave[COM12]}") ;;
    *) rm -f "$link" ;;
  esac
done
mapped || { echo "test-windows: COM5 and COM12 are not mapped to the peer" >&2; exit 1; }
echo "test-windows: Wine's serial ports:$(for l in "$WINEPREFIX"/dosdevices/com*; do printf ' %s=%s' "${l##*/}" "$(readlink "$l")"; done)"

status=0
ZORVIK_COM_PEER="COM5 COM12" ctest --test-dir "$build" --output-on-failure -j2 || status=$?
exit $status
