#!/bin/busybox sh
# The init of the virtual machine that linux-vm.sh boots: loads evdev and uinput, runs the
# scenario named on the kernel command line (mousecheck=test, bench, demo or faults) and powers
# off.
/bin/busybox --install -s /bin
mount -t proc proc /proc
mount -t sysfs sysfs /sys
mount -t devtmpfs devtmpfs /dev
# The drivers of the machine's own keyboard where they are modules (linux-vm.sh puts them in
# /machine; any order binds), before evdev, so that the keyboard is event0 on every machine.
for module in /machine/*.ko; do
    [ -e "$module" ] && insmod "$module"
done
insmod /evdev.ko
insmod /uinput.ko
scenario=$(sed -n 's/.* mousecheck=\([a-z]*\).*/\1/p' /proc/cmdline)

# Waits up to 10 s until the file has a line that begins with the text.
wait_line() {
    for _ in $(seq 1000); do
        grep -q "^$2" "$1" 2>/dev/null && return 0
        usleep 10000
    done
    echo "linux-vm-init: no line \"$2\" in $1 within 10 s" >&2
    return 1
}

# Waits up to 10 s until a monitor has set up its hotplug watch, which comes after its signals.
wait_monitor() {
    for _ in $(seq 1000); do
        ls -l "/proc/$1/fd" 2>/dev/null | grep -q inotify && return 0
        usleep 10000
    done
    echo "linux-vm-init: monitor $1 had no inotify watch within 10 s" >&2
    return 1
}

# Sends SIGINT to a monitor and prints its exit status; one still running 10 s later is killed.
stop_monitor() {
    kill -INT "$1"
    for _ in $(seq 1000); do
        kill -0 "$1" 2>/dev/null || break
        usleep 10000
    done
    if kill -0 "$1" 2>/dev/null; then
        echo "linux-vm-init: monitor $1 still ran 10 s after SIGINT; killed" >&2
        kill -KILL "$1"
    fi
    wait "$1"
    echo $?
}

# Plays the injector's MODE into a monitor run by root, stopped with SIGINT once the injector
# is done: the injector's lines and status in /out/NAME.log and NAME.injector, the monitor's
# output, errors and status in NAME.out, NAME.err and NAME.status.
play() {
    inject_linux "$1" >"/out/$2.log" 2>&1 &
    injector=$!
    wait_line "/out/$2.log" mouse
    mousecheck >"/out/$2.out" 2>"/out/$2.err" &
    monitor=$!
    wait $injector
    echo $? >"/out/$2.injector"
    stop_monitor $monitor >"/out/$2.status"
}

case $scenario in
test)
    # An ordinary user: the node is root's (0600 from devtmpfs), the listing comes all the same.
    inject_linux hold >/out/hold.log 2>&1 &
    injector=$!
    wait_line /out/hold.log mouse
    su -s /bin/mousecheck user >/out/user.out 2>/out/user.err &
    monitor=$!
    wait_monitor $monitor
    stop_monitor $monitor >/out/user.status
    kill $injector
    wait $injector

    # root: the whole session, output to a file, stopped with SIGINT.
    play session session
    ;;
bench)
    play bench bench
    ;;
demo)
    echo "mousecheck on Linux $(uname -r), in a virtual machine; a virtual mouse plays a session"
    inject_linux session >/tmp/session.log 2>&1 &
    injector=$!
    wait_line /tmp/session.log mouse
    mousecheck &
    monitor=$!
    wait $injector || cat /tmp/session.log
    stop_monitor $monitor >/tmp/status  # not in a subshell, which could not reap it
    echo "mousecheck ended with status $(cat /tmp/status)"
    ;;
faults)
    # The documents' sample of a faulty mouse, with the monitor's lines on the console.
    echo "mousecheck on Linux $(uname -r), in a virtual machine; a virtual mouse plays a faulty mouse"
    inject_linux faults >/tmp/faults.log 2>&1 &
    injector=$!
    wait_line /tmp/faults.log mouse
    mousecheck &
    monitor=$!
    wait $injector || cat /tmp/faults.log
    stop_monitor $monitor >/tmp/status
    echo "mousecheck ended with status $(cat /tmp/status)"
    ;;
esac
# The results, on the second serial port: each file as "== NAME" and its lines.
if [ "$scenario" = test ] || [ "$scenario" = bench ]; then
    stty -F /dev/ttyS1 raw -echo
    for file in /out/*; do
        echo "== ${file#/out/}"
        cat "$file"
    done >/dev/ttyS1
fi
poweroff -f
