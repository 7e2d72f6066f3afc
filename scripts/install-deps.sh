#!/bin/sh
# Installs the Debian packages that are missing: by default what building and running the Linux
# monitor needs; with --test also what every test needs (GoogleTest, clang's fuzzer, mingw-w64
# and Wine, QEMU and busybox, the packaging tools, the aarch64 cross compiler and the arm64
# libraries that the arm64 Debian package depends on); and any packages named as arguments.
# Usage: install-deps.sh [--test] [PACKAGE...]. Run as root on Debian 12; does nothing when
# everything is already there.
set -eu
run="cmake ninja-build g++"
test="libgtest-dev googletest clang libclang-rt-14-dev g++-mingw-w64-x86-64-posix mingw-w64-tools wine64 zip xvfb xdotool procps qemu-system-x86 busybox-static cpio debhelper dpkg-dev lintian groff-base man-db crossbuild-essential-arm64 qemu-user qemu-system-arm libc6:arm64 libstdc++6:arm64"
packages=$run
if [ "${1:-}" = --test ]; then
    shift
    packages="$packages $test"
fi
packages="$packages $*"
missing=""
for package in $packages; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
        missing="$missing $package"
done
[ -z "$missing" ] && exit 0
if [ "$(id -u)" -ne 0 ]; then
    echo "install-deps: missing packages:$missing; run this script as root" >&2
    exit 1
fi
export DEBIAN_FRONTEND=noninteractive
# arm64 packages, installed beside this machine's or downloaded by the arm64 virtual machine's
# script, need the architecture in dpkg before the update.
case $missing in
*:arm64*) dpkg --print-foreign-architectures | grep -qx arm64 || dpkg --add-architecture arm64 ;;
esac
apt-get update
# shellcheck disable=SC2086
apt-get install -y --no-install-recommends $missing
