#!/usr/bin/env bash
# Runs a test program on its own Xvfb display under openbox, once openbox
# manages windows.
#   [ZORVIK_SCREEN=WxH] window_manager_run.sh PROGRAM [ARGS...]     (default 1280x1024)
set -euo pipefail
for tool in xvfb-run openbox xprop xmessage; do
  command -v "$tool" >/dev/null || { echo "window_manager_run: $tool is missing (scripts/setup.sh installs it)" >&2; exit 1; }
done
# -noreset: while openbox starts, the xprop below may be the server's only
# client, and a server resetting as it leaves refuses openbox's connection.
exec xvfb-run -a -s "-noreset -screen 0 ${ZORVIK_SCREEN:-1280x1024}x24" bash -c '
  openbox >/dev/null 2>&1 &
  wm=$!
  trap "kill $wm 2>/dev/null" EXIT
  managing() { xprop -root _NET_CLIENT_LIST 2>/dev/null | grep -q "0x"; }
  # openbox claims the screen before it is through starting, and a window
  # mapped in between is never managed. So a probe window is mapped (again,
  # if it goes unmanaged) until openbox lists it; the program starts once
  # the probe is gone from the list.
  ready=
  for _ in $(seq 30); do
    xmessage zorvik-probe >/dev/null 2>&1 &
    probe=$!
    for _ in $(seq 40); do
      kill -0 $wm 2>/dev/null || { echo "window_manager_run: openbox did not start" >&2; exit 1; }
      managing && { ready=1; break; }
      sleep 0.05
    done
    kill $probe 2>/dev/null; wait $probe 2>/dev/null || true
    [ -z "$ready" ] || break
  done
  [ -n "$ready" ] || { echo "window_manager_run: openbox manages no window" >&2; exit 1; }
  for _ in $(seq 200); do managing || break; sleep 0.05; done
  QT_QPA_PLATFORM=xcb "$@"' window_manager_run "$@"
