#!/bin/sh
# Runs the Linux demo and checks the session it shows, line by line, and the monitor's status.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
output=$(mktemp)
trap 'rm -f "$output"' EXIT
sh "$here/../../scripts/demo-linux.sh" >"$output"
# Standard error shows there too: the second mouse's line once it is plugged in, before its clicks.
{
    sed '/^wheel check up:#ms|0|5$/a\
mousecheck: /dev/input/event# (mousecheck second mouse, virtual 1234:0003) plugged in; it is watched' \
        "$here/linux_session.lines"
    echo "mousecheck ended with status 0"
} | sh "$here/../check_lines.sh" "$output"
