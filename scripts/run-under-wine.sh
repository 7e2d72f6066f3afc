#!/bin/sh
# Starts the monitor under Wine; stop it with Ctrl+C. With DISPLAY set it runs in a Wine virtual
# desktop window titled mousecheck: click and scroll inside that window, and the lines appear
# here. Without a display it lists Wine's virtual mouse, prints the banner and waits.
set -eu
. "$(dirname "$0")/wine/wine-env.sh"
exec "$wine" "$root/build/windows/mousecheck.exe"
