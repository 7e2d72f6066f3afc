#!/bin/sh
# Runs a GoogleTest program under Wine for CTest. It passes only when the program exits with 0
# and its own summary says that every test passed, so a crash or a run cut short fails even where
# Wine loses the exit status; a failure names the test that was running.
# Usage: wine-gtest.sh WINE PROGRAM [ARGUMENT...]
set -u
wine=$1
shift
log=$(mktemp) statusFile=$(mktemp)
trap 'rm -f "$log" "$statusFile"' EXIT
{ "$wine" "$@" 2>&1; echo $? >"$statusFile"; } | tee "$log"
status=$(cat "$statusFile")
running=$(awk '/^\[ RUN      \]/ { test = $4 } /^\[       (OK|FAILED) \]|^\[  (SKIPPED|FAILED)  \]/ { test = "" }
    END { print test }' "$log")
program=$(basename "$1")
if [ "$status" != 0 ] || ! grep -q '^\[  PASSED  \]' "$log"; then
    echo "wine-gtest: $program exited with status $status${running:+ inside $running}," \
        "$(grep -q '^\[  PASSED  \]' "$log" && echo "after" || echo "without") its summary"
    exit 1
fi
if grep -q '^\[  FAILED  \]' "$log"; then
    echo "wine-gtest: $program reports failed tests"
    exit 1
fi
