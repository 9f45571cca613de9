#!/usr/bin/env bash
# Runs a test program on its own Xvfb display under openbox, once openbox
# has taken the screen.
#   [ZORVIK_SCREEN=WxH] window_manager_run.sh PROGRAM [ARGS...]     (default 1280x1024)
set -euo pipefail
for tool in xvfb-run openbox xprop; do
  command -v "$tool" >/dev/null || { echo "window_manager_run: $tool is missing (scripts/setup.sh installs it)" >&2; exit 1; }
done
exec xvfb-run -a -s "-screen 0 ${ZORVIK_SCREEN:-1280x1024}x24" bash -c '
  openbox >/dev/null 2>&1 &
  wm=$!
  trap "kill $wm 2>/dev/null" EXIT
  for _ in $(seq 600); do
    xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id" && break
    kill -0 $wm 2>/dev/null || { echo "window_manager_run: openbox did not start" >&2; exit 1; }
    sleep 0.05
  done
  QT_QPA_PLATFORM=xcb "$@"' window_manager_run "$@"
