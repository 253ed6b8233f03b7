#!/usr/bin/env bash
# Runs a test program on a private desktop: a fresh Xvfb (1280x800) with the openbox window
# manager, so that frames and placement behave as on a user's desktop. Exit 77 (skipped) when
# either is missing.
set -u
command -v Xvfb >/dev/null && command -v openbox >/dev/null && command -v xwininfo >/dev/null || {
  echo "ondesktop: Xvfb, openbox and xwininfo are needed; skipped" >&2
  exit 77
}
fifo=$(mktemp -u)
mkfifo "$fifo"
Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp -noreset 3>"$fifo" >/dev/null 2>&1 &
xpid=$!
read -r -t 30 num <"$fifo" || { echo "ondesktop: Xvfb did not start; skipped" >&2; rm -f "$fifo"; kill "$xpid" 2>/dev/null; exit 77; }
rm -f "$fifo"
export DISPLAY=":$num" QT_QPA_PLATFORM=xcb
for _ in $(seq 50); do xwininfo -root >/dev/null 2>&1 && break; sleep 0.1; done
openbox >/dev/null 2>&1 &
wpid=$!
# openbox owns the screen once it has set its check window on the root.
for _ in $(seq 50); do xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id" && break; sleep 0.1; done
"$@"
rc=$?
kill "$wpid" "$xpid" 2>/dev/null
wait "$wpid" "$xpid" 2>/dev/null
exit $rc
