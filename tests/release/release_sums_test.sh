#!/bin/sh
# Checks SHA256SUMS as a user does: it names every download of this version in the release
# folder (a folder that built an earlier version keeps that one's downloads too), and for each
# download alone in a folder with SHA256SUMS, `sha256sum -c --ignore-missing SHA256SUMS`, the
# command of the README, says it is OK and exits with 0; a download changed by one byte fails it.
# The zip holds both programs, mousecheck.exe and mousecheck-summary.exe, as shipped alone.
# Usage: release_sums_test.sh RELEASE_DIR VERSION
set -eu
release=$1 version=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failed=0

# Fails the test with a message.
fail() {
    echo "release_sums_test: $*"
    failed=1
}

cd "$release"
downloads=$(ls mousecheck.exe mousecheck-summary.exe mousecheck-"$version"-*.zip mousecheck-"$version"-*.tar.gz mousecheck_"$version"-*.deb 2>/dev/null | sort)
listed=$(awk '{ print $2 }' SHA256SUMS | sort)
[ "$downloads" = "$listed" ] || fail "SHA256SUMS lists:
$listed
the release has:
$downloads"
for download in $downloads; do
    rm -rf "$work/user"
    mkdir "$work/user"
    cp SHA256SUMS "$download" "$work/user/"
    if ! result=$(cd "$work/user" && sha256sum -c --ignore-missing SHA256SUMS 2>&1); then
        fail "sha256sum -c --ignore-missing SHA256SUMS fails beside $download alone: $result"
    elif [ "$result" != "$download: OK" ]; then
        fail "beside $download alone, sha256sum says: $result"
    fi
    printf 'x' >>"$work/user/$download"
    (cd "$work/user" && sha256sum -c --ignore-missing SHA256SUMS >/dev/null 2>&1) &&
        fail "sha256sum passes $download with a byte added"
done
# The zip carries both programs, the same bytes as those shipped alone beside it.
zip=mousecheck-$version-windows-x86_64.zip
entries=$(unzip -Z1 "$zip" | sort)
[ "$entries" = "LICENSE.txt
README.txt
mousecheck-summary.exe
mousecheck.exe" ] || fail "$zip holds:
$entries"
for exe in mousecheck.exe mousecheck-summary.exe; do
    unzip -p "$zip" "$exe" | cmp -s - "$exe" || fail "$zip: its $exe is not the one shipped alone"
done
[ "$failed" = 0 ] && echo "release_sums_test: each of the $(echo "$downloads" | wc -l) downloads checks alone against SHA256SUMS"
exit $failed
