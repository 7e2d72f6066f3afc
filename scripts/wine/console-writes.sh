#!/bin/sh
# Counts the console writes per printed line of mousecheck.exe: the monitor with standard output
# on a pseudo-terminal (util-linux script), which is unbuffered like a console; the listing and 20
# clicks played into it; every WriteFile/WriteConsole call of its main thread counted from a Wine
# relay trace. Prints the figure, and exits 1 when it is above 1.2 writes per line.
# Usage: console-writes.sh BUILD_DIR, the windows build with mousecheck and play_session, with
# Wine's environment set and a wineserver running on WINEPREFIX.
set -eu
build=$1
max=1.2
wine=$(command -v wine64 || command -v wine || echo /usr/lib/wine/wine64)
trace=$(mktemp) typescript=$(mktemp)
trap 'rm -f "$trace" "$typescript"' EXIT
script -qfec "WINEDEBUG=+relay $wine $build/mousecheck.exe 2>$trace" "$typescript" >/dev/null &
"$wine" "$build/tests/play_session.exe" clicks || echo "console-writes: the click session failed" >&2
wait
thread=$(grep -m 1 'Call user32.RegisterClassA' "$trace" | cut -d: -f1)
writes=$(grep -cE "^$thread:Call [A-Za-z0-9]+\.(WriteFile|WriteConsole[AW])\(" "$trace" || true)
lines=$(sed 's/\x1b\[[0-9;?]*[A-Za-z]//g' "$typescript" |
    grep -cE '^ *(Mouse|RAW INPUT|Name=|Id=|Fast-click|wheel)' || true)
awk -v w="$writes" -v l="$lines" -v max="$max" 'BEGIN {
    printf "| %-52s | %-22s | %-12s |\n", "monitor WriteFile/WriteConsole calls / lines", w " / " l, ""
    printf "| %-52s | %-22s | %-12s |\n", "writes per line", (l > 0 ? sprintf("%.2f", w / l) : "n/a"), "<= " max
    if (l < 40 || w / l > max) {
        printf "console-writes: %d writes for %d lines; expected at least 40 lines (the listing and 20 clicks) at <= %s writes each\n", w, l, max > "/dev/stderr"
        exit 1
    }
}'
