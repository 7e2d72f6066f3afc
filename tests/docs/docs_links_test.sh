#!/bin/sh
# Checks that every relative link in the project's Markdown documents names a file that exists.
# Usage: docs_links_test.sh SOURCE_DIR
set -eu
cd "$1"
failed=0
for document in README.md CONTRIBUTING.md CHANGELOG.md docs/*.md; do
    folder=$(dirname "$document")
    for target in $(grep -o '](\([^)#]*\)[^)]*)' "$document" | sed 's/^](\([^)#]*\).*/\1/'); do
        case $target in
        http://* | https://* | mailto:* | "") continue ;;
        esac
        if [ ! -e "$folder/$target" ]; then
            echo "docs_links_test: $document links to $target, which does not exist"
            failed=1
        fi
    done
done
[ "$failed" = 0 ] && echo "docs_links_test: every relative link resolves"
exit $failed
