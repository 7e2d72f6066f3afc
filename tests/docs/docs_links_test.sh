#!/bin/sh
# Checks that every relative link in the project's Markdown documents, reference definitions
# included, names a file that exists, and so does every path into the source tree that a code
# span names (a word beginning with one of its top folders).
# Usage: docs_links_test.sh SOURCE_DIR
set -eu
cd "$1"
failed=0
for document in README.md CONTRIBUTING.md CHANGELOG.md docs/*.md tests/README.md; do
    folder=$(dirname "$document")
    for target in $({ grep -o '](\([^)#]*\)[^)]*)' "$document" | sed 's/^](\([^)#]*\).*/\1/'
                      sed -n 's/^\[[^]]*\]: *\([^ #]*\).*/\1/p' "$document"; }); do
        case $target in
        http://* | https://* | mailto:* | "") continue ;;
        esac
        if [ ! -e "$folder/$target" ]; then
            echo "docs_links_test: $document links to $target, which does not exist"
            failed=1
        fi
    done
    for path in $(grep -o '`[^`]*`' "$document" | tr -d '`' | tr ' ' '\n' |
                  grep -E '^(\.ci|bench|cmake|debian|docs|scripts|src|tests)/' | sed 's/[,;:.)]*$//' | sort -u); do
        if [ ! -e "$path" ]; then
            echo "docs_links_test: $document names $path, which does not exist"
            failed=1
        fi
    done
done
[ "$failed" = 0 ] && echo "docs_links_test: every relative link and every named path resolves"
exit $failed
