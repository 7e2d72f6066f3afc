#!/bin/sh
# Lints the manual page as man renders it: groff with every warning must say nothing.
# Usage: man_page_test.sh PAGE
set -eu
warnings=$(groff -ww -z -man "$1" 2>&1)
if [ -n "$warnings" ]; then
    echo "$warnings"
    echo "man_page_test: groff warns about $1"
    exit 1
fi
MANWIDTH=80 man -l "$1" >/dev/null
