#!/bin/sh
# Checks the Linux downloads of the release: the tarball holds exactly the static, stripped
# program, its manual page, README.txt in ASCII and LICENSE, owned by root with fixed times; the
# Debian package holds the program, its manual page, README.txt and the copyright file, and
# lintian finds no error and no warning in it. Then each one's program runs the end-to-end session in the virtual machine.
# Usage: release_linux_test.sh RELEASE_DIR VERSION INJECTOR
set -eu
here=$(cd "$(dirname "$0")" && pwd)
release=$1 version=$2 injector=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failed=0

# Fails the test with a message.
fail() {
    echo "release_linux_test: $*"
    failed=1
}

name=mousecheck-$version-linux-x86_64
listing=$(tar -tvzf "$release/$name.tar.gz" | awk '{ print $1, $2, $4, $5, $6 }')
expected="drwxr-xr-x 0/0 2026-01-01 00:00 $name/
-rw-r--r-- 0/0 2026-01-01 00:00 $name/LICENSE
-rw-r--r-- 0/0 2026-01-01 00:00 $name/README.txt
-rwxr-xr-x 0/0 2026-01-01 00:00 $name/mousecheck
-rw-r--r-- 0/0 2026-01-01 00:00 $name/mousecheck.1"
[ "$listing" = "$expected" ] || fail "the tarball holds:
$listing
expected:
$expected"
tar -xzf "$release/$name.tar.gz" -C "$work"
program="$work/$name/mousecheck"
readelf -d "$program" | grep -q NEEDED && fail "the program needs shared libraries: $(readelf -d "$program" | grep NEEDED)"
readelf -l "$program" | grep -q INTERP && fail "the program names an interpreter"
readelf -S "$program" | grep -q '\.symtab' && fail "the program is not stripped"
LC_ALL=C grep -q '[^ -~]' "$work/$name/README.txt" && fail "README.txt has characters beyond ASCII"
grep -q '^## Using it on Linux' "$work/$name/README.txt" || fail "README.txt has no section \"Using it on Linux\""
groff -ww -z -man "$work/$name/mousecheck.1" 2>&1 | grep . && fail "groff warns about the tarball's mousecheck.1"

deb="$release/mousecheck_$version-1_amd64.deb"
contents=$(dpkg-deb -c "$deb" | awk '{ print $6 }')
for path in ./usr/bin/mousecheck ./usr/share/man/man1/mousecheck.1.gz ./usr/share/doc/mousecheck/copyright \
    ./usr/share/doc/mousecheck/README.txt.gz; do
    echo "$contents" | grep -qx "$path" || fail "the package has no $path"
done
lintian --fail-on error,warning --allow-root "$deb" || fail "lintian: errors or warnings in $deb"
dpkg-deb -x "$deb" "$work/deb"
gzip -dc "$work/deb/usr/share/doc/mousecheck/README.txt.gz" | cmp -s - "$work/$name/README.txt" ||
    fail "the package's README.txt is not the tarball's"

for monitor in "$program" "$work/deb/usr/bin/mousecheck"; do
    echo "== the session in the virtual machine, with $monitor"
    sh "$here/../linux-vm/linux_vm_test.sh" "$monitor" "$injector" || failed=1
done
exit $failed
