#!/bin/sh
# Runs the Linux demo and checks the session it shows, line by line, and the monitor's status.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
output=$(mktemp)
trap 'rm -f "$output"' EXIT
sh "$here/../../scripts/demo-linux.sh" >"$output"
{ cat "$here/linux_session.lines"; echo "mousecheck ended with status 0"; } | sh "$here/../check_lines.sh" "$output"
