# Sourced by the scripts that run the monitor under Wine: sets root (unless the caller has), wine
# and Wine's environment, and makes sure the prefix is ready.
#
# With DISPLAY set, the prefix is build/windows/wineprefix-desktop, whose windows all live in a
# Wine virtual desktop, an X window titled "mousecheck - Wine desktop": X input reaches Wine only
# while the pointer is over a Wine window. Without DISPLAY it is the tests' build/windows/wineprefix.
root=${root:-$(cd "$(dirname "$0")/.." && pwd)}
. "$root/scripts/wine/wine-prefix.sh"
wine=$(command -v wine64 || command -v wine || echo /usr/lib/wine/wine64)
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
if [ -n "${DISPLAY:-}" ]; then
    export WINEPREFIX="$root/build/windows/wineprefix-desktop"
else
    export WINEPREFIX="$root/build/windows/wineprefix"
fi
# drive_c, not system.reg: a running wineserver writes the registry to disk only later.
if [ ! -d "$WINEPREFIX/drive_c" ]; then
    mkdir -p "${WINEPREFIX%/*}"  # Wine makes the prefix, not its parent: a fresh tree has no build/
    init_wine_prefix "$wine" || { echo "wine-env: cannot make the Wine prefix $WINEPREFIX" >&2; exit 1; }
    if [ -n "${DISPLAY:-}" ]; then
        "$wine" reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d mousecheck /f >/dev/null 2>&1
        "$wine" reg add 'HKCU\Software\Wine\Explorer\Desktops' /v mousecheck /d 800x600 /f >/dev/null 2>&1
    fi
    sleep 3  # a new prefix lists its virtual mouse only once its device services have started
fi
