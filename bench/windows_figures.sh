#!/usr/bin/env bash
# Figures of zorvik.exe under Wine, on a virtual display: its size, start to
# window shown, resident memory, and the CPU of a whole set-up run against
# zorvik-modemsim (the window rig's `whole` case), read from /proc of the
# Wine process hosting zorvik.exe; then the Linux program's figures from
# bench_startup and bench_whole_run on the same machine. Not a test.
#   bash bench/windows_figures.sh [CROSS-BUILD-DIR [NATIVE-BUILD-DIR [STARTS]]]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
if [ -z "${ZORVIK_WINDOW_DISPLAY+set}" ] && command -v xvfb-run >/dev/null; then
  exec xvfb-run -a -s '-noreset -screen 0 1024x768x24' env ZORVIK_WINDOW_DISPLAY='' bash "$0" "$@"
fi
build="$(realpath -m "${1:-$root/build-win}")"
native="$(realpath -m "${2:-$root/build}")"
starts="${3:-5}"
source "$root/scripts/wine-prefix.sh"
arch=i686
# Where Wine runs no 32-bit program, the figures are the 64-bit twin's.
if [ "$wine" = /usr/lib/wine/wine64 ]; then arch=x86_64 build="$build-x64"; fi

[ -f "$build/CMakeCache.txt" ] ||
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64.cmake" -DZORVIK_WITH_QT=OFF \
    -DCMAKE_BUILD_TYPE=Release -DZORVIK_WINDOWS_ARCH="$arch" -DZORVIK_WINE="$wine" >/dev/null
cmake --build "$build" -j2 --target zorvik window_driver >/dev/null
[ -f "$native/CMakeCache.txt" ] || cmake -S "$root" -B "$native" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$native" -j2 --target zorvik zorvik-modemsim bench_startup bench_whole_run >/dev/null

prefix="$(mktemp -d /tmp/zorvik-figures.XXXXXX)"
export ZORVIK_WINDOW_DISPLAY="${ZORVIK_WINDOW_DISPLAY:-${DISPLAY:-}}" ZORVIK_WINDOW_PREFIX="$prefix/wine"
export ZORVIK_WINDOW_PORT=COM3 ZORVIK_WINDOW_LINK="$prefix/modem" ZORVIK_MODEMSIM="$native/modemsim/zorvik-modemsim"
export WINEPREFIX="$prefix/wine" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" LANG=ru_RU.UTF-8
trap 'wineserver -k >/dev/null 2>&1 || true; rm -rf "$prefix"' EXIT
wine_prefix_boot "$WINEPREFIX"
DISPLAY="$ZORVIK_WINDOW_DISPLAY" wine_prefix_ports "$WINEPREFIX" "COM3:" "COM3=$prefix/modem" >/dev/null

program="$build/app/zorvik.exe"
tck="$(getconf CLK_TCK)"
# The Unix process hosting zorvik.exe in this prefix.
host_pid() {
  local p
  for p in /proc/[0-9]*; do
    tr '\0' '\n' <"$p/cmdline" 2>/dev/null | head -n1 | grep -q 'zorvik\.exe$' || continue
    tr '\0' '\n' <"$p/environ" 2>/dev/null | grep -qx "WINEPREFIX=$WINEPREFIX" && { echo "${p#/proc/}"; return; }
  done
}
cpu_s() {  # user + system seconds of a process
  local f
  read -r -a f <<<"$(sed 's/.*) //' "/proc/$1/stat")"
  LC_ALL=C awk -v u="${f[11]}" -v s="${f[12]}" -v t="$tck" 'BEGIN { printf "%.2f", (u + s) / t }'
}
minus() { LC_ALL=C awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a - b }'; }
build_type() { sed -n 's/^CMAKE_BUILD_TYPE:STRING=\(..*\)/\1/p' "$1/CMakeCache.txt" | grep . || echo none; }
size_kib() {  # as built, and stripped
  "$1" -o "$prefix/stripped" "$2"
  echo "$(($(stat -c %s "$2") / 1024)) KiB ($(($(stat -c %s "$prefix/stripped") / 1024)) KiB stripped)"
}
rss_kib() { awk '/^VmRSS:/ {print $2}' "/proc/$1/status"; }
server_pid() { pgrep -u "$(id -u)" -x 'wineserver(64)?' | while read -r p; do
  tr '\0' '\n' <"/proc/$p/environ" 2>/dev/null | grep -qx "WINEPREFIX=$WINEPREFIX" && echo "$p"; done | head -n1; }

# Start to window shown: the `ports` case, STARTS times.
shown=()
for _ in $(seq "$starts"); do
  out="$(bash "$root/scripts/test-windows-window.sh" ports "$build/tests/wine/window_driver.exe" "$program")" ||
    { printf '%s\n' "$out" >&2; exit 1; }
  shown+=("$(sed -n 's/^window shown after \([0-9]*\) ms$/\1/p' <<<"$out")")
done
sorted="$(printf '%s\n' "${shown[@]}" | sort -n | tr '\n' ' ')"

# The whole run, sampled when the window is shown and when the run starts and ends.
declare -A at
while IFS= read -r line; do
  case "$line" in
    "window shown after"*)
      pid="$(host_pid)" server="$(server_pid)"
      at[shown_rss]="$(rss_kib "$pid")" at[shown_cpu]="$(cpu_s "$pid")" ;;
    "run: start") at[start_cpu]="$(cpu_s "$pid")" at[start_server]="$(cpu_s "$server")" at[start_wall]="$(date +%s.%N)" ;;
    "run: end")
      at[end_cpu]="$(cpu_s "$pid")" at[end_server]="$(cpu_s "$server")" at[end_wall]="$(date +%s.%N)"
      at[end_rss]="$(rss_kib "$pid")" at[peak_rss]="$(awk '/^VmHWM:/ {print $2}' "/proc/$pid/status")" ;;
    "PASSED whole") at[passed]=1 ;;
  esac
done < <(bash "$root/scripts/test-windows-window.sh" whole "$build/tests/wine/window_driver.exe" "$program")
[ -n "${at[passed]:-}" ] || { echo "windows_figures: the whole run did not pass" >&2; exit 1; }

# 60 s with the window left alone, its port open and polled; then 60 s of a
# flood at the line's full rate after НАЧАТЬ.
export ZORVIK_FIGURE_SECONDS=60
while IFS= read -r line; do
  case "$line" in
    "window shown after"*) pid="$(host_pid)" server="$(server_pid)" ;;
    "idle: start") at[idle_cpu]="$(cpu_s "$pid")" at[idle_server]="$(cpu_s "$server")" ;;
    "idle: end") at[idle_cpu]="$(minus "$(cpu_s "$pid")" "${at[idle_cpu]}")"
      at[idle_server]="$(minus "$(cpu_s "$server")" "${at[idle_server]}")" ;;
  esac
done < <(bash "$root/scripts/test-windows-window.sh" idle "$build/tests/wine/window_driver.exe" "$program")
while IFS= read -r line; do
  case "$line" in
    "window shown after"*) pid="$(host_pid)" server="$(server_pid)" ;;
    "flood: start") at[flood_cpu]="$(cpu_s "$pid")" at[flood_server]="$(cpu_s "$server")" ;;
    "flood: end") at[flood_cpu]="$(minus "$(cpu_s "$pid")" "${at[flood_cpu]}")"
      at[flood_server]="$(minus "$(cpu_s "$server")" "${at[flood_server]}")" ;;
    "answer to a message"*) at[flood_answer]="${line#*: }" ;;
  esac
done < <(bash "$root/scripts/test-windows-window.sh" flooded "$build/tests/wine/window_driver.exe" "$program")

row() { printf '| %s | %s | %s |\n' "$1" "$2" "$3"; }
echo "| program | figure | value |"
echo "|---|---|---|"
row zorvik.exe "size ($arch mingw-w64, static C++ runtime, build type $(build_type "$build"))" "$(size_kib "$arch-w64-mingw32-strip" "$program")"
row zorvik.exe "CreateProcess to window shown, $starts starts (ms, sorted; 10 ms polls)" "$sorted"
row zorvik.exe "resident memory of its Wine process at window shown" "${at[shown_rss]} KiB (CPU so far ${at[shown_cpu]} s)"
row zorvik.exe "whole run, wall time" "$(minus "${at[end_wall]}" "${at[start_wall]}") s"
row zorvik.exe "whole run, CPU of its Wine process" "$(minus "${at[end_cpu]}" "${at[start_cpu]}") s"
row zorvik.exe "whole run, CPU of the prefix's wineserver (the driver's polls included)" "$(minus "${at[end_server]}" "${at[start_server]}") s"
row zorvik.exe "60 s idle with the port open, CPU of its Wine process (of wineserver)" "${at[idle_cpu]} s (${at[idle_server]} s)"
row zorvik.exe "60 s of a flood at 9600 bit/s after НАЧАТЬ, CPU of its Wine process (of wineserver)" "${at[flood_cpu]} s (${at[flood_server]} s)"
row zorvik.exe "answer to a message during the flood" "${at[flood_answer]:-none}"
row zorvik.exe "resident memory after the run (peak)" "${at[end_rss]} KiB (${at[peak_rss]} KiB)"
row zorvik "size (Qt shared, build type $(build_type "$native"))" "$(size_kib strip "$native/app/zorvik")"
# The Linux program, its numbers in the C locale.
export XDG_RUNTIME_DIR="${XDG_RUNTIME_DIR:-$prefix}"
LC_NUMERIC=C "$native/bench/bench_startup" 1 2>/dev/null | grep -E '^(process start|resident)' | sed 's/^\(.*\): \(.*\)$/| zorvik | \1 | \2 |/'
LC_NUMERIC=C "$native/bench/bench_whole_run" 2>/dev/null | grep -E '^(whole run, wall|CPU of the program|resident)' |
  sed 's/^\(.*\): \(.*\)$/| zorvik | \1 | \2 |/'
echo
echo "Machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | xargs), $(wine --version 2>/dev/null)," \
  "load average $(cut -d' ' -f1-3 /proc/loadavg)"
