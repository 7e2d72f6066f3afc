#!/bin/sh
# Runs the Linux demo's faulty mouse, the documents' sample, and checks its lines: a chattering
# click marked "Fast-click detected!", an extra click 35 ms after a release and a drag that lets
# go for 30 ms without it, a wheel line in the opposite direction; and the monitor's status.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
output=$(mktemp)
trap 'rm -f "$output"' EXIT
sh "$here/../../scripts/demo-linux.sh" faults >"$output"
{ cat "$here/linux_faults.lines"; echo "mousecheck ended with status 0"; } | sh "$here/../check_lines.sh" "$output"
