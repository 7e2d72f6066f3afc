#!/bin/sh
# Builds the release twice, from two copies of the source (the tree as it is now, without its
# build trees and .git, so a source archive works as well as a checkout) in different folders, and
# compares both exes, the zip, the tarballs, the Debian packages and SHA256SUMS byte for byte. Any
# difference fails, naming the file that differs.
set -eu
root=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
first="$work/one/mousecheck"
second="$work/two/a/longer/path/to/mousecheck-copy"
for copy in "$first" "$second"; do
    mkdir -p "$copy"
    (cd "$root" && tar --exclude=./build --exclude=./.git -cf - .) | tar -xf - -C "$copy"
    if ! (cd "$copy" && cmake --workflow --preset release) >"$copy.log" 2>&1; then
        cat "$copy.log"
        echo "check-reproducible: the release build in $copy failed" >&2
        exit 1
    fi
done
status=0
downloads=$(cd "$first/build/release" && ls ./*.zip ./*.tar.gz ./*.deb)
for file in mousecheck.exe mousecheck-summary.exe $downloads SHA256SUMS; do
    if cmp "$first/build/release/$file" "$second/build/release/$file"; then
        echo "same: ${file#./}"
    else
        echo "check-reproducible: ${file#./} differs between two builds of the same source" >&2
        status=1
    fi
done
cat "$first/build/release/SHA256SUMS"
exit $status
