#!/bin/sh
# Builds the Debian package from a copy of the source tree (without its build trees and .git, so
# the tree itself stays clean) with dpkg-buildpackage, and copies the .deb into OUT_DIR.
# Usage: build-deb.sh OUT_DIR [ARCH]: with ARCH, Debian's name of another architecture (arm64), a
# cross build for it. Needs debhelper and dpkg-dev, and for arm64 crossbuild-essential-arm64,
# libc6:arm64 and libstdc++6:arm64, whose symbols give the package's dependencies
# (scripts/install-deps.sh --test).
set -eu
root=$(cd "$(dirname "$0")/../.." && pwd)
out=$(mkdir -p "$1" && cd "$1" && pwd)
# A cross build runs no tests (nocheck), as the native one runs none either.
cross="" options=noautodbgsym
if [ -n "${2:-}" ]; then
    cross="--host-arch $2" options="$options nocheck"
fi
# dpkg-deb clamps the times of the package's files to the changelog's date: a date still to come
# clamps nothing, and the package gets the build's own times.
if [ "$(dpkg-parsechangelog -l "$root/debian/changelog" -S Timestamp)" -gt "$(date +%s)" ]; then
    echo "build-deb: the date of the first entry of debian/changelog is still to come; the package would not be reproducible" >&2
    exit 1
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/mousecheck"
(cd "$root" && tar --exclude=./build --exclude=./.git -cf - .) | tar -xf - -C "$work/mousecheck"
# shellcheck disable=SC2086
if ! (cd "$work/mousecheck" && DEB_BUILD_OPTIONS="$options" dpkg-buildpackage -us -uc -b $cross) >"$work/log" 2>&1; then
    cat "$work/log"
    echo "build-deb: dpkg-buildpackage failed" >&2
    exit 1
fi
cp "$work"/*.deb "$out/"
