#!/bin/sh
# Shows what mousecheck reports, with no display needed: builds the monitor, starts it under
# Wine with its output on this terminal, plays a scripted session into it (clicks of every
# button, one chattering click, wheel notches, two notches in one burst) and stops it with a
# close request, so every line is printed. About 10 s. Exits with the monitor's status.
set -eu
. "$(dirname "$0")/wine/wine-env.sh"
cd "$root"
[ -f build/windows/build.ninja ] || cmake --preset windows >&2
cmake --build --preset windows --target mousecheck play_session >&2
"$wine" build/windows/mousecheck.exe &
monitor=$!
if ! "$wine" build/windows/tests/play_session.exe demo; then
    kill "$monitor" 2>/dev/null || true
fi
wait "$monitor"
