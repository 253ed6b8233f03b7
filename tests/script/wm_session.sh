#!/usr/bin/env bash
# Runs a command on a private desktop with a window manager: its own Xvfb at 1280x800 and openbox
# on it. Window activation, frames and placement then behave as on a user's desktop, which a bare
# X server or the offscreen platform do not show. Both servers end with the command, whose exit
# status this script returns (77, ctest's skip code, when Xvfb, openbox or the X utilities the
# window tests measure with are missing). ctest starts every OpenGL and window test under it, one
# desktop per test, and the window tests run by hand start themselves under it.
#   tests/script/wm_session.sh python3 tests/script/remote_e2e.py build/src/zun desktop
# Beside busy processes the servers may take many seconds to start: it waits up to a minute each.
set -u
[ $# -gt 0 ] || { echo "usage: wm_session.sh COMMAND [ARGS...]" >&2; exit 2; }
for tool in Xvfb openbox xprop xwininfo; do
    command -v "$tool" >/dev/null || { echo "wm_session.sh: $tool is missing (scripts/setup installs it)" >&2; exit 77; }
done
work=$(mktemp -d)
cleanup() {
    [ -n "${wm:-}" ] && kill "$wm" 2>/dev/null
    [ -n "${xs:-}" ] && kill "$xs" 2>/dev/null
    wait 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
mkfifo "$work/display"
Xvfb -displayfd 3 -screen 0 "${WM_SESSION_SCREEN:-1280x800x24}" -nolisten tcp -noreset \
    3>"$work/display" >"$work/xvfb.log" 2>&1 &
xs=$!
read -r -t 60 num <"$work/display" || { echo "wm_session.sh: Xvfb did not start" >&2; cat "$work/xvfb.log" >&2; exit 1; }
export DISPLAY=":$num"
# Each openbox has its own configuration folder: nothing of the user's desktop leaks in.
XDG_CONFIG_HOME="$work/config" openbox >"$work/openbox.log" 2>&1 &
wm=$!
# The window manager is ready once it has announced itself on the root window.
deadline=$((SECONDS + 60))
while [ $SECONDS -lt $deadline ]; do
    xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id" && break
    sleep 0.1
done
xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id" ||
    { echo "wm_session.sh: openbox did not start" >&2; cat "$work/openbox.log" >&2; exit 1; }
unset QT_QPA_PLATFORM  # the program shows its windows on this desktop
"$@"
