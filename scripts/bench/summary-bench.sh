#!/bin/sh
# mousecheck-summary's time and memory on big and hostile logs: MB/s (the log's size over the
# wall-clock time, output to /dev/null, one process on one core) and peak memory (maximum
# resident set, /usr/bin/time -v), for each summary given (e.g. this build's and a release's).
#   realistic: 400 MB, runs of 10,000 lines (a listing, the banner, clicks held 60 to 150 ms, a
#              "Fast-click detected!" every 997 clicks, the wheel ten notches each way)
#   utf16:     its first 100 MB in UTF-16LE with its mark and CRLF, as PowerShell 5.1 writes (200 MB)
#   torn:      400,000 lines "Xmousecheck: x" after a run's banner (6 MB)
#   banners:   a million lines "RAW INPUT Mouse:" (17 MB), a million runs
# Usage: summary-bench.sh SUMMARY [SUMMARY...]; asserts nothing.
set -eu
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

awk 'BEGIN {
    srand(7)
    while (size < 400000000) {
        print "Mouse: Handle=0x00000001"
        print "  Name=/dev/input/event1 (Mouse, usb 046d:c077)"
        print "  Id=6, Buttons=5, SampleRate=0, HorizontalWheel=0"
        print "RAW INPUT Mouse:"
        size += 124
        for (line = 0; line < 10000; line += 2) {
            if (++click % 50 < 40) {
                print "Mouse Button:1"
                if (click % 997 == 0) { print "Fast-click detected!"; size += 21 }
                text = "Mouse Button:2, " int(60 + rand() * 90) "ms"
            } else {
                print "wheel check " (click % 50 < 45 ? "down" : "up") ":" int(150 + rand() * 300) "ms"
                text = "wheel check down:" int(150 + rand() * 300) "ms"
            }
            print text
            size += 15 + length(text) + 1
        }
    }
}' >"$work/realistic.log"
{ printf '\377\376'; head -c 100000000 "$work/realistic.log" | sed 's/$/\r/' | iconv -f UTF-8 -t UTF-16LE; } \
    >"$work/utf16.log"
{ echo "RAW INPUT Mouse:"; yes "Xmousecheck: x" | head -n 400000; } >"$work/torn.log"
yes "RAW INPUT Mouse:" | head -n 1000000 >"$work/banners.log"

printf '| %-10s | %-9s | %-44s | %-8s | %-8s | %-14s |\n' log MB summary seconds "MB/s" "peak memory"
for log in realistic utf16 torn banners; do
    bytes=$(wc -c <"$work/$log.log")
    for summary in "$@"; do
        /usr/bin/time -f '%e %M' -o "$work/time" "$summary" "$work/$log.log" >/dev/null 2>&1 || true
        last=$(tail -n 1 "$work/time")  # after "Command exited with non-zero status 1", if so
        seconds=${last% *} kib=${last#* }
        awk -v name="$log" -v bytes="$bytes" -v summary="$summary" -v s="$seconds" -v kib="$kib" 'BEGIN {
            printf "| %-10s | %-9.1f | %-44s | %-8.2f | %-8.0f | %-10.1f MiB |\n", name, bytes / 1e6, summary, s,
                (s > 0 ? bytes / 1e6 / s : 0), kib / 1024
        }'
    done
done
