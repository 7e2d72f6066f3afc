#!/bin/sh
# Starts the monitor under Wine, in the build tree's own prefix; stop it with Ctrl+C.
# Injected or real input reaches it through Wine's virtual mouse.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
export WINEPREFIX="$root/build/windows/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
wine=$(command -v wine64 || command -v wine || echo /usr/lib/wine/wine64)
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    # A new prefix lists its virtual mouse only once its device services have started.
    "$wine" wineboot --init >/dev/null 2>&1
    sleep 3
fi
exec "$wine" "$root/build/windows/mousecheck.exe"
