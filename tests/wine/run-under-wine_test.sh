#!/bin/sh
# The run command with a display: under Xvfb the monitor starts in a Wine virtual desktop window,
# and a chained xdotool session in that window (a 50 ms click, a press and release sent together,
# a wheel notch) is reported. The monitor is then closed by a close request and its lines checked.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
work=$(mktemp -d)
xvfb="" monitor=""
cleanup() {
    [ -z "$monitor" ] || kill "$monitor" 2>/dev/null || true
    WINEPREFIX="$root/build/windows/wineprefix-desktop" /usr/lib/wine/wineserver -k 2>/dev/null || true
    [ -z "$xvfb" ] || kill "$xvfb" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
xvfb=$!
for _ in $(seq 50); do [ -s "$work/display" ] && break; sleep 0.1; done
[ -s "$work/display" ] || { echo "Xvfb did not start"; cat "$work/xvfb.log"; exit 1; }
export DISPLAY=":$(cat "$work/display")"

. "$root/scripts/wine/wine-env.sh"  # the desktop's prefix, made ready before the monitor starts
sh "$root/scripts/run-under-wine.sh" >"$work/output" 2>"$work/errors" &
monitor=$!
"$wine" "$root/build/windows/tests/play_session.exe" ready || {
    echo "the monitor's pump did not start"; cat "$work/errors"; exit 1; }
window=$(timeout 60 xdotool search --sync --name '^mousecheck - Wine desktop$' | head -n 1) || {
    echo "no window titled mousecheck within 60 s"; cat "$work/errors"; exit 1; }
xdotool mousemove --window "$window" 200 200 sleep 0.5 \
    mousedown 1 sleep 0.05 mouseup 1 sleep 0.3 \
    mousedown 1 mouseup 1 sleep 0.3 \
    click 4 sleep 0.3

"$wine" "$root/build/windows/tests/play_session.exe" close || { echo "the monitor did not close"; exit 1; }
wait "$monitor" || { echo "the run command ended with status $?"; exit 1; }
monitor=""
sh "$here/../check_lines.sh" "$work/output" <<'LINES'
Mouse Button:1
Mouse Button:2, #ms|16|150
Mouse Button:1
Mouse Button:2, #ms|0|15
Fast-click detected!
wheel check up:#ms|1|600000
LINES
