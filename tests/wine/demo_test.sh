#!/bin/sh
# Runs the demo without a display and checks the session it shows, line by line.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
output=$(mktemp)
trap 'rm -f "$output"' EXIT
env -u DISPLAY sh "$here/../../scripts/demo.sh" >"$output"
sh "$here/../check_lines.sh" "$output" <<'LINES'
Mouse Button:1
Mouse Button:2, #ms|60|400
Mouse Button:1
Mouse Button:2, #ms|50|400
Mouse Button:4
Mouse Button:8, #ms|60|400
Mouse Button:4
Mouse Button:8, #ms|50|400
Mouse Button:16
Mouse Button:32, #ms|60|400
Mouse Button:16
Mouse Button:32, #ms|50|400
Mouse Button:64
Mouse Button:128, #ms|60|400
Mouse Button:64
Mouse Button:128, #ms|50|400
Mouse Button:256
Mouse Button:512, #ms|60|400
Mouse Button:256
Mouse Button:512, #ms|50|400
Mouse Button:1
Mouse Button:2, #ms|50|400
Mouse Button:1
Fast-click detected!
Mouse Button:2, #ms|40|400
wheel check up:#ms|4000|120000
wheel check up:#ms|200|1000
wheel check up:#ms|200|1000
wheel check down:#ms|200|1000
wheel check down:#ms|200|1000
wheel check up:#ms|200|1000
wheel too fast!
wheel check up:#ms|0|15
LINES
