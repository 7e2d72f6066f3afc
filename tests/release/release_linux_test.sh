#!/bin/sh
# Checks the Linux downloads of the release: the tarball holds exactly the static, stripped
# programs (the monitor and mousecheck-summary), their manual pages, README.txt in ASCII and
# LICENSE, owned by root with fixed times; the Debian package holds both programs, their manual
# pages, README.txt and the copyright file, and
# lintian finds no error and no warning in it. Then each one's program runs the end-to-end session in the virtual machine. All
# of this for x86-64 and for 64-bit ARM (aarch64, arm64).
# Usage: release_linux_test.sh RELEASE_DIR VERSION INJECTOR AARCH64_INJECTOR
set -eu
here=$(cd "$(dirname "$0")" && pwd)
release=$1 version=$2 injector=$3 injector_aarch64=$4
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failed=0

# Fails the test with a message.
fail() {
    echo "release_linux_test: $*"
    failed=1
}

# Checks the tarball and the package of one architecture (uname's name, Debian's, and readelf's
# name of the machine), and runs the session in its virtual machine with each one's program.
check() {
    arch=$1 debian=$2 machine=$3 injector=$4
    name=mousecheck-$version-linux-$arch
    listing=$(tar -tvzf "$release/$name.tar.gz" | awk '{ print $1, $2, $4, $5, $6 }')
    expected="drwxr-xr-x 0/0 2026-01-01 00:00 $name/
-rw-r--r-- 0/0 2026-01-01 00:00 $name/LICENSE
-rw-r--r-- 0/0 2026-01-01 00:00 $name/README.txt
-rwxr-xr-x 0/0 2026-01-01 00:00 $name/mousecheck
-rwxr-xr-x 0/0 2026-01-01 00:00 $name/mousecheck-summary
-rw-r--r-- 0/0 2026-01-01 00:00 $name/mousecheck-summary.1
-rw-r--r-- 0/0 2026-01-01 00:00 $name/mousecheck.1"
    [ "$listing" = "$expected" ] || fail "the tarball holds:
$listing
expected:
$expected"
    mkdir "$work/$arch"
    tar -xzf "$release/$name.tar.gz" -C "$work/$arch"
    program="$work/$arch/$name/mousecheck"
    for each in "$program" "$work/$arch/$name/mousecheck-summary"; do
        what="$name: ${each##*/}"
        readelf -h "$each" | grep -q "Machine: *$machine\$" || fail "$what is not for $machine: $(readelf -h "$each" | grep Machine)"
        readelf -d "$each" | grep -q NEEDED && fail "$what needs shared libraries: $(readelf -d "$each" | grep NEEDED)"
        readelf -l "$each" | grep -q INTERP && fail "$what names an interpreter"
        readelf -S "$each" | grep -q '\.symtab' && fail "$what is not stripped"
        # Kernels with 16 KiB pages (Asahi's, the Raspberry Pi 5's) or 64 KiB pages load only
        # segments aligned to them.
        if [ "$arch" = aarch64 ] && readelf -lW "$each" | awk '$1 == "LOAD" && $NF != "0x10000"' | grep -q .; then
            fail "$what: segments not aligned to 64 KiB: $(readelf -lW "$each" | grep LOAD)"
        fi
    done
    LC_ALL=C grep -q '[^ -~]' "$work/$arch/$name/README.txt" && fail "$name: README.txt has characters beyond ASCII"
    [ "$(head -n 1 "$work/$arch/$name/README.txt")" = "mousecheck $version for Linux" ] ||
        fail "$name: README.txt does not begin with \"mousecheck $version for Linux\""
    grep -qx 'Using it on Linux' "$work/$arch/$name/README.txt" || fail "$name: README.txt has no section \"Using it on Linux\""
    for page in mousecheck.1 mousecheck-summary.1; do
        groff -ww -z -man "$work/$arch/$name/$page" 2>&1 | grep . && fail "groff warns about $name's $page"
    done

    deb="$release/mousecheck_$version-1_$debian.deb"
    [ "$(dpkg-deb -f "$deb" Architecture)" = "$debian" ] || fail "$deb: architecture $(dpkg-deb -f "$deb" Architecture)"
    contents=$(dpkg-deb -c "$deb" | awk '{ print $6 }')
    for path in ./usr/bin/mousecheck ./usr/share/man/man1/mousecheck.1.gz ./usr/share/doc/mousecheck/copyright \
        ./usr/share/doc/mousecheck/README.txt.gz ./usr/bin/mousecheck-summary \
        ./usr/share/man/man1/mousecheck-summary.1.gz; do
        echo "$contents" | grep -qx "$path" || fail "the package has no $path"
    done
    lintian --fail-on error,warning --allow-root "$deb" || fail "lintian: errors or warnings in $deb"
    dpkg-deb -x "$deb" "$work/$arch/deb"
    gzip -dc "$work/$arch/deb/usr/share/doc/mousecheck/README.txt.gz" | cmp -s - "$work/$arch/$name/README.txt" ||
        fail "$deb: its README.txt is not the tarball's"
    readelf -h "$work/$arch/deb/usr/bin/mousecheck" | grep -q "Machine: *$machine\$" || fail "$deb: the program is not for $machine"
    readelf -h "$work/$arch/deb/usr/bin/mousecheck-summary" | grep -q "Machine: *$machine\$" ||
        fail "$deb: mousecheck-summary is not for $machine"
    gzip -dc "$work/$arch/deb/usr/share/man/man1/mousecheck-summary.1.gz" | cmp -s - "$work/$arch/$name/mousecheck-summary.1" ||
        fail "$deb: its mousecheck-summary.1 is not the tarball's"

    # Each with the mousecheck-summary beside it, which the session's pipeline runs.
    for monitor in "$program" "$work/$arch/deb/usr/bin/mousecheck"; do
        echo "== the session in the $arch virtual machine, with $monitor and the summary beside it"
        sh "$here/../linux-vm/linux_vm_test.sh" --arch "$arch" "$monitor" "$injector" || failed=1
    done
}

check x86_64 amd64 "Advanced Micro Devices X86-64" "$injector"
check aarch64 arm64 AArch64 "$injector_aarch64"
exit $failed
