#!/bin/sh
# Boots Debian's own kernel in QEMU (software emulation) from a small initramfs: busybox, the
# kernel's evdev and uinput modules, the native monitor and the injector. linux-vm-init.sh, its
# init, runs one scenario and powers off:
#   test OUT   the end-to-end runs; their output, errors and exit status as files in OUT
#   bench OUT  the benchmark's holds, burst, idle cost and clicks under load, likewise
#   demo       the session, with the monitor's lines on this terminal
#   faults     the documents' sample of a faulty mouse, likewise
# Usage: linux-vm.sh [--arch x86_64|aarch64] MONITOR INJECTOR test|bench OUT | ... MONITOR INJECTOR demo|faults
# MONITOR is the mousecheck program to run, INJECTOR inject_linux (a build's inject_linux), both
# for the architecture: x86_64 (the default) boots the PC machine, aarch64 QEMU's virt machine.
# Either machine has one keyboard of its own (the PC's PS/2 one, a virtio one on virt), so the
# injector's devices get the same event numbers on both. The kernel package (and busybox for
# another architecture than this machine's) is downloaded once, into build/linux-vm (x86_64) or
# build/linux-vm-aarch64, and on x86_64 udev's package too, for its udevadm. Needs qemu-system-x86 or qemu-system-arm, busybox-static and cpio, and
# for aarch64 the arm64 architecture in dpkg, and libc6:arm64 and libstdc++6:arm64 for a program
# that loads them (scripts/install-deps.sh --test).
set -eu
root=$(cd "$(dirname "$0")/../.." && pwd)
arch=x86_64
if [ "${1:-}" = --arch ]; then
    arch=$2
    shift 2
fi
monitor=$1 injector=$2 scenario=$3 out=${4:-}

# What differs between the architectures: Debian's name for it, the emulator and its machine,
# the console (the chardev "console"), the second serial port that carries the results (the
# chardev "results"), and the modules that the machine's keyboard needs before evdev.
case $arch in
x86_64)
    debian=amd64 vm="$root/build/linux-vm" console=ttyS0 machine_modules=""
    set -- qemu-system-x86_64 -serial chardev:console -serial chardev:results
    ;;
aarch64)
    # virt has one serial port, the PL011: the results go to the second port of a PCI card, ttyS1
    # as on the PC. Its virtio keyboard needs virtio 1.0, which virt's virtio-mmio offers only
    # when not forced to the legacy interface.
    debian=arm64 vm="$root/build/linux-vm-aarch64" console=ttyAMA0 machine_modules="virtio_mmio virtio_input"
    set -- qemu-system-aarch64 -M virt -cpu cortex-a57 -serial chardev:console \
        -device pci-serial-2x,chardev1=spare,chardev2=results -chardev null,id=spare \
        -global virtio-mmio.force-legacy=false -device virtio-keyboard-device
    ;;
*)
    echo "linux-vm: unknown architecture $arch; x86_64 or aarch64" >&2
    exit 2
    ;;
esac
mkdir -p "$vm"

# Downloads a Debian package of the architecture into the folder, after apt-get update if apt
# does not know it yet (or arm64 packages were added since the last update).
download() {
    (cd "$2" && apt-get download "$1" >&2 2>/dev/null) ||
        (apt-get update >&2 && cd "$2" && apt-get download "$1" >&2)
}

# The kernel: the package that linux-image-ARCH names, unpacked, not installed.
if [ ! -f "$vm/kernel/vmlinuz" ]; then
    rm -rf "$vm/download" "$vm/kernel"
    mkdir -p "$vm/download"
    package=$(apt-cache depends "linux-image-$debian:$debian" 2>/dev/null | awk '/Depends: linux-image-[0-9]/ { print $2; exit }')
    if [ -z "$package" ]; then
        apt-get update >&2
        package=$(apt-cache depends "linux-image-$debian:$debian" | awk '/Depends: linux-image-[0-9]/ { print $2; exit }')
    fi
    download "$package" "$vm/download"
    dpkg-deb -x "$vm"/download/*.deb "$vm/download/tree"
    mkdir -p "$vm/kernel"
    cp "$vm"/download/tree/boot/vmlinuz-* "$vm/kernel/vmlinuz.new"
    for module in evdev uinput $machine_modules; do
        find "$vm/download/tree" -name "$module.ko" -exec cp {} "$vm/kernel/" \;
    done
    mv "$vm/kernel/vmlinuz.new" "$vm/kernel/vmlinuz"
    rm -rf "$vm/download"
fi

# busybox: this machine's, or Debian's static one for the architecture, unpacked likewise.
foreign=false
[ "$debian" = "$(dpkg --print-architecture)" ] || foreign=true
busybox=/bin/busybox
if [ $foreign = true ]; then
    busybox="$vm/busybox/busybox"
    if [ ! -f "$busybox" ]; then
        rm -rf "$vm/busybox"
        mkdir -p "$vm/busybox"
        download "busybox-static:$debian" "$vm/busybox"
        dpkg-deb -x "$vm"/busybox/*.deb "$vm/busybox/tree"
        mv "$vm/busybox/tree/bin/busybox" "$busybox"
        rm -rf "$vm"/busybox/*.deb "$vm/busybox/tree"
    fi
fi

# Copies the libraries that a program of another architecture loads, and its interpreter, to the
# paths they have here: Debian's own for that architecture (libc6:arm64 and libstdc++6:arm64,
# beside this machine's, as for the cross build of the Debian package). A static program needs none.
foreign_libraries() {
    interpreter=$(readelf -l "$1" | sed -n 's/.*Requesting program interpreter: \(.*\)]$/\1/p')
    [ -n "$interpreter" ] || return 0
    mkdir -p "$tree$(dirname "$interpreter")"
    cp -L "$interpreter" "$tree$interpreter"
    needed=$1
    while [ -n "$needed" ]; do
        next=""
        for file in $needed; do
            for name in $(readelf -d "$file" | sed -n 's/.*Shared library: \[\(.*\)\]$/\1/p'); do
                library=""
                for directory in "/lib/$arch-linux-gnu" "/usr/lib/$arch-linux-gnu"; do
                    if [ -e "$directory/$name" ]; then
                        library=$directory/$name
                        break
                    fi
                done
                if [ -z "$library" ]; then
                    echo "linux-vm: $name, which $file needs, is not installed for $arch" >&2
                    exit 1
                fi
                [ -e "$tree$library" ] && continue
                mkdir -p "$tree$(dirname "$library")"
                cp -L "$library" "$tree$library"
                next="$next $library"
            done
        done
        needed=$next
    done
}

# udevadm, the end-to-end test's oracle of which devices are mice: Debian's udev package,
# unpacked, not installed, for this machine's architecture only. Where it cannot be had the test
# skips that check.
if [ $foreign = false ] && [ ! -x "$vm/udev/bin/udevadm" ]; then
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
mkdir -p "$tree/bin" "$tree/proc" "$tree/sys" "$tree/dev" "$tree/tmp" "$tree/out" "$tree/machine"
cp "$busybox" "$tree/bin/busybox"
cp "$root/scripts/vm/linux-vm-init.sh" "$tree/init"
cp "$vm/kernel/evdev.ko" "$vm/kernel/uinput.ko" "$tree/"
for module in $machine_modules; do
    cp "$vm/kernel/$module.ko" "$tree/machine/"
done
cp "$monitor" "$tree/bin/mousecheck"
cp "$injector" "$tree/bin/inject_linux"
udevadm=
if [ -x "$vm/udev/bin/udevadm" ] && ldd "$vm/udev/bin/udevadm" >/dev/null 2>&1; then
    udevadm="$vm/udev/bin/udevadm"
    cp "$udevadm" "$tree/bin/udevadm"
fi
for program in "$monitor" "$injector" $udevadm; do
    if [ $foreign = true ]; then
        foreign_libraries "$program"
        continue
    fi
    for library in $(ldd "$program" | awk '$2 == "=>" { print $3 } $1 ~ /^\// { print $1 }'); do
        mkdir -p "$tree$(dirname "$library")"
        cp -L "$library" "$tree$library"
    done
done
# --- mousecheck-summary: the one beside the monitor (a build's, a tarball's, the package's), with
# the libraries it loads, for the test scenario's pipeline; a monitor with none beside it runs
# the other scenarios alone.
summary="$(dirname "$monitor")/mousecheck-summary"
if [ -f "$summary" ]; then
    cp "$summary" "$tree/bin/mousecheck-summary"
    if [ $foreign = true ]; then
        foreign_libraries "$summary"
    else
        for library in $(ldd "$summary" | awk '$2 == "=>" { print $3 } $1 ~ /^\// { print $1 }'); do
            mkdir -p "$tree$(dirname "$library")"
            cp -L "$library" "$tree$library"
        done
    fi
fi
# --- end of mousecheck-summary
mkdir -p "$tree/etc"
echo "root:x:0:0::/:/bin/sh" >"$tree/etc/passwd"
echo "user:x:1000:1000::/tmp:/bin/sh" >>"$tree/etc/passwd"
printf 'root:x:0:\nuser:x:1000:\ninput:x:101:user\n' >"$tree/etc/group"
chmod 755 "$tree/init"
chmod 1777 "$tree/tmp"
(cd "$tree" && find . | cpio -o -H newc --quiet | gzip -1 >"$vm/initramfs.gz")

# Two processors: the injector spins to keep its pace. -nodefaults: no display, network or disks.
case $scenario in
bench) limit=400 ;;  # about 4 minutes
*) limit=150 ;;  # it boots and runs in about 40 s, 60 s beside a loaded host; a wait that fails takes 10 s more
esac
set -- timeout "$limit" "$@" -accel tcg -smp 2 -m 256 -nodefaults -display none -no-reboot \
    -kernel "$vm/kernel/vmlinuz" -initrd "$vm/initramfs.gz" \
    -append "console=$console quiet loglevel=0 panic=-1 mousecheck=$scenario"
case $scenario in
test | bench)
    mkdir -p "$out"
    if ! "$@" -chardev "file,id=console,path=$out/console.txt" -chardev "file,id=results,path=$out/results.txt" </dev/null; then
        echo "linux-vm: the virtual machine had not powered off within $limit s; its console:" >&2
        cat "$out/console.txt" >&2
        exit 1
    fi
    # The results: each file as "== NAME" and its lines.
    awk -v out="$out" '/^== / { file = out "/" substr($0, 4); printf "" > file; next } file { print > file }' \
        "$out/results.txt"
    ;;
demo | faults)
    "$@" -chardev stdio,id=console -chardev null,id=results </dev/null
    ;;
*)
    echo "usage: $0 [--arch ARCH] MONITOR INJECTOR test|bench OUT | [--arch ARCH] MONITOR INJECTOR demo|faults" >&2
    exit 2
    ;;
esac
