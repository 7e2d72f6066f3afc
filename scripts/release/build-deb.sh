#!/bin/sh
# Builds the Debian package from a copy of the source tree (without its build trees and .git, so
# the tree itself stays clean) with dpkg-buildpackage, and copies the .deb into OUT_DIR.
# Usage: build-deb.sh OUT_DIR. Needs debhelper and dpkg-dev (scripts/install-deps.sh --test).
set -eu
root=$(cd "$(dirname "$0")/../.." && pwd)
out=$(mkdir -p "$1" && cd "$1" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/mousecheck"
(cd "$root" && tar --exclude=./build --exclude=./.git -cf - .) | tar -xf - -C "$work/mousecheck"
if ! (cd "$work/mousecheck" && DEB_BUILD_OPTIONS=noautodbgsym dpkg-buildpackage -us -uc -b) >"$work/log" 2>&1; then
    cat "$work/log"
    echo "build-deb: dpkg-buildpackage failed" >&2
    exit 1
fi
cp "$work"/*.deb "$out/"
