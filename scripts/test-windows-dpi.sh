#!/usr/bin/env bash
# The window's layout test at another DPI, as ctest runs it in the Windows
# build: the window prefix's LogPixels set to DPI for the one program run
# (Wine reads it when a program starts), then back to 96.
# Usage: scripts/test-windows-dpi.sh DPI WIN32_WINDOW_TESTS.exe
# Needs the prefix scripts/test-windows.sh makes; without it, skipped (77).
set -euo pipefail
dpi="$1" tests="$2"
root="$(cd "$(dirname "$0")/.." && pwd)"
source "$root/scripts/wine-prefix.sh"
[ -n "${ZORVIK_WINDOW_PREFIX:-}" ] || { echo "no window prefix: run scripts/test-windows.sh"; exit 77; }
export WINEPREFIX="$ZORVIK_WINDOW_PREFIX" WINEDEBUG=-all LANG=ru_RU.UTF-8 DISPLAY="$ZORVIK_WINDOW_DISPLAY"
set_dpi() { "$wine" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$1" /f >/dev/null; }
trap 'set_dpi 96' EXIT
set_dpi "$dpi"
ZORVIK_EXPECT_DPI="$dpi" "$wine" "$tests" --gtest_filter='Win32Window.AtTheSystemsDpi*'
