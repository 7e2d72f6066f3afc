#!/bin/sh
# Checks a monitor's output (CRLF or LF lines) after its banner against expected lines read from
# standard input, one per line: a pattern in which "#" stands for a number, then optionally
# "|min|max" bounding that number. Every expected line must come, in order, and nothing else;
# with --prefix the output may stop after any of them (a run cut short).
# Usage: check_lines.sh [--prefix] OUTPUT_FILE < EXPECTED
set -eu
prefix=0
if [ "$1" = --prefix ]; then
    prefix=1
    shift
fi
awk -v expected_file=/dev/stdin -v prefix=$prefix '
    # Matches a line against a pattern; sets number to the digits that "#" stood for.
    function matches(pattern, line,   parts, count, i, rest) {
        count = split(pattern, parts, "#")
        rest = line
        for (i = 1; i <= count; i++) {
            if (substr(rest, 1, length(parts[i])) != parts[i]) return 0
            rest = substr(rest, length(parts[i]) + 1)
            if (i < count) {
                if (!match(rest, /^[0-9]+/)) return 0
                number = substr(rest, 1, RLENGTH) + 0
                rest = substr(rest, RLENGTH + 1)
            }
        }
        return rest == ""
    }
    BEGIN {
        while ((getline line < expected_file) > 0) {
            if (line != "") want[++wanted] = line
        }
    }
    { sub(/\r$/, ""); output[NR] = $0 }
    $0 == "RAW INPUT Mouse:" && !banner { banner = NR }
    END {
        if (!banner) { print "check_lines: no banner in the output"; failed = 1 }
        at = banner + 1
        for (i = 1; i <= wanted && !failed; i++) {
            split(want[i], field, "|")
            if (at > NR && prefix) {
                break
            } else if (at > NR) {
                print "check_lines: missing \"" field[1] "\""
                failed = 1
            } else if (!matches(field[1], output[at])) {
                print "check_lines: line " at ": expected \"" field[1] "\", got \"" output[at] "\""
                failed = 1
            } else if (field[2] != "" && (number < field[2] + 0 || number > field[3] + 0)) {
                print "check_lines: line " at ": " number " lies outside " field[2] " to " field[3] ": " output[at]
                failed = 1
            }
            at++
        }
        if (!failed && at <= NR) { print "check_lines: unexpected line " at ": " output[at]; failed = 1 }
        if (failed) {
            print "--- output:"
            for (i = 1; i <= NR; i++) print output[i]
            exit 1
        }
        print "check_lines: " at - banner - 1 " of " wanted " lines as expected"
    }' "$1"
