#!/bin/sh
# Boots Debian's own kernel in QEMU (software emulation, no hardware but the machine's PS/2
# keyboard) from a small initramfs: busybox, the kernel's evdev and uinput modules, the native
# monitor and the injector. linux-vm-init.sh, its init, runs one scenario and powers off:
#   test OUT   the end-to-end runs; their output, errors and exit status as files in OUT
#   bench OUT  the benchmark's holds and burst, likewise
#   demo       the session, with the monitor's lines on this terminal
# Usage: linux-vm.sh MONITOR INJECTOR test|bench OUT | MONITOR INJECTOR demo
# MONITOR is the mousecheck program to run, INJECTOR inject_linux (a build's tests/inject_linux).
# The kernel package and udev's (for udevadm) are downloaded once, into build/linux-vm. Needs qemu-system-x86, busybox-static and cpio (scripts/install-deps.sh).
set -eu
root=$(cd "$(dirname "$0")/../.." && pwd)
monitor=$1 injector=$2 scenario=$3 out=${4:-}
vm="$root/build/linux-vm"
mkdir -p "$vm"

# The kernel: the package that linux-image-amd64 names, unpacked, not installed.
if [ ! -f "$vm/kernel/vmlinuz" ]; then
    rm -rf "$vm/download" "$vm/kernel"
    mkdir -p "$vm/download"
    package=$(apt-cache depends linux-image-amd64 2>/dev/null | awk '/Depends: linux-image-[0-9]/ { print $2; exit }')
    if [ -z "$package" ]; then
        apt-get update >&2
        package=$(apt-cache depends linux-image-amd64 | awk '/Depends: linux-image-[0-9]/ { print $2; exit }')
    fi
    (cd "$vm/download" && apt-get download "$package" >&2 2>/dev/null) ||
        (apt-get update >&2 && cd "$vm/download" && apt-get download "$package" >&2)
    dpkg-deb -x "$vm"/download/*.deb "$vm/download/tree"
    mkdir -p "$vm/kernel"
    cp "$vm"/download/tree/boot/vmlinuz-* "$vm/kernel/vmlinuz.new"
    find "$vm/download/tree" \( -name evdev.ko -o -name uinput.ko \) -exec cp {} "$vm/kernel/" \;
    mv "$vm/kernel/vmlinuz.new" "$vm/kernel/vmlinuz"
    rm -rf "$vm/download"
fi

# udevadm, the end-to-end test's oracle of which devices are mice: Debian's udev package,
# unpacked, not installed. Where it cannot be had the test skips that check.
if [ ! -x "$vm/udev/bin/udevadm" ]; then
    rm -rf "$vm/udev-download"
    mkdir -p "$vm/udev-download"
    if (cd "$vm/udev-download" && apt-get download udev >&2 2>/dev/null) &&
        dpkg-deb -x "$vm"/udev-download/udev_*.deb "$vm/udev-download/tree"; then
        rm -rf "$vm/udev"
        mkdir -p "$vm/udev/bin"
        cp "$vm/udev-download/tree/bin/udevadm" "$vm/udev/bin/"
    fi
    rm -rf "$vm/udev-download"
fi

# The initramfs: its programs with the shared libraries they load.
tree="$vm/initramfs"
rm -rf "$tree"
mkdir -p "$tree/bin" "$tree/proc" "$tree/sys" "$tree/dev" "$tree/tmp" "$tree/out"
cp /bin/busybox "$tree/bin/busybox"
cp "$root/scripts/vm/linux-vm-init.sh" "$tree/init"
cp "$vm/kernel/evdev.ko" "$vm/kernel/uinput.ko" "$tree/"
cp "$monitor" "$tree/bin/mousecheck"
cp "$injector" "$tree/bin/inject_linux"
udevadm=
if [ -x "$vm/udev/bin/udevadm" ] && ldd "$vm/udev/bin/udevadm" >/dev/null 2>&1; then
    udevadm="$vm/udev/bin/udevadm"
    cp "$udevadm" "$tree/bin/udevadm"
fi
for program in "$monitor" "$injector" $udevadm; do
    for library in $(ldd "$program" | awk '$2 == "=>" { print $3 } $1 ~ /^\// { print $1 }'); do
        mkdir -p "$tree$(dirname "$library")"
        cp -L "$library" "$tree$library"
    done
done
mkdir -p "$tree/etc"
echo "root:x:0:0::/:/bin/sh" >"$tree/etc/passwd"
echo "user:x:1000:1000::/tmp:/bin/sh" >>"$tree/etc/passwd"
printf 'root:x:0:\nuser:x:1000:\ninput:x:101:user\n' >"$tree/etc/group"
chmod 755 "$tree/init"
chmod 1777 "$tree/tmp"
(cd "$tree" && find . | cpio -o -H newc --quiet | gzip -1 >"$vm/initramfs.gz")

# Two processors: the injector spins to keep its pace. -nodefaults: no display, network or disks; ttyS0 is the console, ttyS1 carries the results.
case $scenario in
bench) limit=150 ;;
*) limit=50 ;;  # it boots and runs in about 12 s
esac
set -- timeout "$limit" qemu-system-x86_64 -accel tcg -smp 2 -m 256 -nodefaults -display none -no-reboot \
    -kernel "$vm/kernel/vmlinuz" -initrd "$vm/initramfs.gz" \
    -append "console=ttyS0 quiet loglevel=0 panic=-1 mousecheck=$scenario"
case $scenario in
test | bench)
    mkdir -p "$out"
    if ! "$@" -serial "file:$out/console.txt" -serial "file:$out/results.txt" </dev/null; then
        echo "linux-vm: the virtual machine had not powered off within $limit s; its console:" >&2
        cat "$out/console.txt" >&2
        exit 1
    fi
    # The results: each file as "== NAME" and its lines.
    awk -v out="$out" '/^== / { file = out "/" substr($0, 4); printf "" > file; next } file { print > file }' \
        "$out/results.txt"
    ;;
demo)
    "$@" -serial stdio </dev/null
    ;;
*)
    echo "usage: $0 MONITOR INJECTOR test|bench OUT | MONITOR INJECTOR demo" >&2
    exit 2
    ;;
esac
