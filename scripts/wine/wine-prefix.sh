# Sourced by whatever makes a Wine prefix: init_wine_prefix WINE makes or updates the prefix named
# by WINEPREFIX so that an unhandled exception starts no debugger. With Wine's default, winedbg
# takes over a crashed process and its exit status may read 0; without one, the process ends
# with its exception code.
init_wine_prefix() {
    "$1" wineboot --init </dev/null >/dev/null 2>&1
    "$1" reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Debugger /d '' /f \
        </dev/null >/dev/null 2>&1
}
