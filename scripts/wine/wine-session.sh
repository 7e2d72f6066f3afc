#!/bin/sh
# Starts or stops the Wine session that the Windows tests share: one persistent wineserver on
# the prefix named by WINEPREFIX, so every test binary starts without booting Wine again.
# Usage: wine-session.sh start|stop WINE WINESERVER
set -eu
. "$(dirname "$0")/wine-prefix.sh"
action=$1 wine=$2 wineserver=$3
case $action in
start)
    # Detached from CTest's pipes, or CTest would wait for the server to exit. The server needs
    # the prefix's folder: without it, it does not start, and every test boots Wine anew.
    mkdir -p "$WINEPREFIX"
    "$wineserver" -p </dev/null >/dev/null 2>&1 || true
    init_wine_prefix "$wine"
    ;;
stop)
    "$wineserver" -k </dev/null >/dev/null 2>&1 || true
    ;;
*)
    echo "usage: $0 start|stop WINE WINESERVER" >&2
    exit 2
    ;;
esac
