#!/bin/sh
# Lints the manual pages as man renders them: groff with every warning must say nothing.
# Usage: man_page_test.sh PAGE...
set -eu
for page in "$@"; do
    warnings=$(groff -ww -z -man "$page" 2>&1)
    if [ -n "$warnings" ]; then
        echo "$warnings"
        echo "man_page_test: groff warns about $page"
        exit 1
    fi
    MANWIDTH=80 man -l "$page" >/dev/null
done
