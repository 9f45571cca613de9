#!/usr/bin/env bash
# The README's pictures: the training program under Xvfb, a whole run against
# its ready modem driven with xdotool (start pressed, the two power prompts
# answered), then a screenshot of the window.
#   bash scripts/screenshot.sh [build-dir] [out.png]            the Linux window
#   bash scripts/screenshot.sh --windows [--dpi=N] [build-dir] [out.png]
#                                                    zorvik-demo.exe under Wine, at N DPI (default 96)
# Installs what it needs (Xvfb, xdotool, ImageMagick) and builds first.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
windows="" dpi=96
[ "${1:-}" = "--windows" ] && { windows=1; shift; }
case "${1:-}" in --dpi=*) dpi="${1#--dpi=}"; shift ;; esac
build="${1:-$root/build${windows:+-win}}"
mkdir -p "$build" && build="$(cd "$build" && pwd)"
suffix=""
[ "$dpi" = 96 ] || suffix="-$dpi"
out="${2:-$root/docs/window${windows:+-windows}$suffix.png}"
case "$out" in /*) ;; *) out="$PWD/$out" ;; esac
if [ -z "${ZORVIK_UNDER_XVFB:-}" ]; then
  bash "$root/scripts/setup.sh" --screenshot
  if [ -n "$windows" ]; then
    [ -f "$build/CMakeCache.txt" ] || cmake -S "$root" -B "$build" -G Ninja \
      -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64.cmake" -DZORVIK_WITH_QT=OFF -DCMAKE_BUILD_TYPE=Release >/dev/null
    cmake --build "$build" -j2 --target zorvik-demo window_driver
  else
    bash "$root/scripts/build.sh" "$build"
  fi
  # Room for the window at the DPI asked for.
  exec env ZORVIK_UNDER_XVFB=1 xvfb-run -a -s "-noreset -screen 0 $((900 * dpi / 96))x$((700 * dpi / 96))x24" \
    bash "$0" ${windows:+--windows --dpi=$dpi} "$build" "$out"
fi

work="$(mktemp -d)"
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  [ -z "$windows" ] || WINEPREFIX="$work/wine" wineserver -k >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT

cd "$work"  # the log file would land here
if [ -n "$windows" ]; then
  # A prefix without serial ports: the machine's own are never offered. The
  # window rig's driver plays the operator (its demo case) and holds the
  # window open for the picture once the run has ended.
  source "$root/scripts/wine-prefix.sh"
  export WINEPREFIX="$work/wine" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" LANG=ru_RU.UTF-8
  wine_prefix_boot "$WINEPREFIX"
  wine_prefix_ports "$WINEPREFIX" "" >/dev/null
  "$wine" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null
  shot=""
  while IFS= read -r line; do
    if [ "$line" = "run: end" ]; then
      sleep 2
      # Wine's window without a window manager: the client area, as the
      # X window it draws in.
      for id in $(xdotool search --onlyvisible --name 'ЗОРВИК версия'); do
        import -window "$id" "$out.tmp.png" 2>/dev/null && break
      done
      shot=1
    fi
  done < <(ZORVIK_DRIVER_HOLD_MS=6000 "$wine" "$build/tests/wine/window_driver.exe" demo \
             "Z:${build//\//\\}\\app\\zorvik-demo.exe" "Z:${work//\//\\}")
  [ -n "$shot" ] || { echo "the run did not end" >&2; exit 1; }
  mkdir -p "$(dirname "$out")"
  mv "$out.tmp.png" "$out"
  echo "wrote $out"
  exit 0
fi
"$build/app/zorvik-demo" &
pids+=("$!")
main="$(xdotool search --sync --onlyvisible --name 'ЗОРВИК версия' | sed -n 1p)"
sleep 1
xdotool windowfocus --sync "$main"
# The training modem ГОТОВ is chosen at start; the start button's middle, as
# the window's description places it (PAmain begins after the log pane and
# the splitter; no window manager, so no frame: places inside the window).
desc="$root/setup/form_description.cpp"
button="$(sed -nE 's/.*\{"BBB", K::Button, \{([0-9]+), ([0-9]+), ([0-9]+), ([0-9]+)\}.*/\1 \2 \3 \4/p' "$desc")"
panel="$(sed -nE 's/.*kWindow\{"[^"]*", \{[^}]*\}, ([0-9]+), ([0-9]+),.*/\1 \2/p' "$desc")"
[ -n "$button" ] && [ -n "$panel" ] || { echo "screenshot: the start button's place is not in $desc" >&2; exit 1; }
read -r bx by bw bh <<<"$button"
read -r memo splitter <<<"$panel"
xdotool mousemove --window "$main" $((memo + splitter + bx + bw / 2)) $((by + bh / 2)) click 1

# The prompts carry the bare title; the operator reads each, switches the
# supply on after the second, and presses the button.
answered=0
for _ in $(seq 600); do
  box="$(xdotool search --onlyvisible --name '^ЗОРВИК$' 2>/dev/null | sed -n 1p || true)"
  if [ -n "$box" ]; then
    answered=$((answered + 1))
    sleep 1.5
    xdotool windowfocus --sync "$box" key Return
    sleep 0.5
    [ "$answered" -eq 2 ] && break
  fi
  sleep 0.1
done
if [ "$answered" -lt 2 ]; then
  echo "the power prompts did not appear" >&2
  exit 1
fi
sleep 6  # the profile read back and verified
mkdir -p "$(dirname "$out")"
import -window "$main" "$out"
echo "wrote $out"
