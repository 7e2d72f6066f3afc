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

# Runs the command every 10 ms until it succeeds, for up to 10 s; then says what did not come
# (the first argument), and fails.
wait_until() {
    local what=$1
    shift
    for _ in $(seq 1000); do
        "$@" 2>/dev/null && return 0
        usleep 10000
    done
    echo "linux-vm-init: $what within 10 s" >&2
    return 1
}

# Tells whether a monitor has set up its hotplug watch, which comes after its signals, and is
# sleeping in its pump, which comes after its listing.
pumping() {
    ls -l "/proc/$1/fd" | grep -q inotify && grep -q sleep "/proc/$1/wchan"
}

# Tells whether no signal is pending for a process (it has been delivered, or the process ended).
delivered() {
    ! grep -Eq '^(SigPnd|ShdPnd):.*[1-9a-f]' "/proc/$1/status"
}

# Tells whether a process has ended.
gone() {
    ! kill -0 "$1"
}

# Waits up to 10 s until the file has a line that begins with the text.
wait_line() {
    wait_until "no line \"$2\" in $1" grep -q "^$2" "$1"
}

# Waits up to 10 s until a monitor sleeps in its pump, its hotplug watch set up.
wait_monitor() {
    wait_until "monitor $1 had no inotify watch, or did not sleep in its pump," pumping "$1"
}

# Waits up to 10 s until no signal is pending for a process any more, naming it otherwise.
wait_delivered() {
    wait_until "a signal to process $1 was still pending" delivered "$1"
}

# Waits up to 10 s until a file exists.
wait_file() {
    wait_until "no $1" test -e "$1"
}

# Waits up to 10 s until a process has ended, naming it otherwise, and kills it and any monitor
# then.
wait_gone() {
    wait_until "$2 had not ended" gone "$1" && return 0
    echo "linux-vm-init: $2 killed, with the monitor" >&2
    kill -KILL "$1" $(pidof mousecheck)
}

# Prints a process's CPU time in clock ticks (user and system), its read calls and its
# voluntary context switches.
usage() {
    echo "$(awk '{ print $14 + $15 }' "/proc/$1/stat") $(sed -n 's/^syscr: //p' "/proc/$1/io")" \
        "$(sed -n 's/^voluntary_ctxt_switches:[^0-9]*//p' "/proc/$1/status")"
}

# Sends SIGINT (or the signal given second) to a monitor and prints its exit status; one still
# running 10 s later is killed.
stop_monitor() {
    kill -"${2:-INT}" "$1"
    for _ in $(seq 1000); do
        kill -0 "$1" 2>/dev/null || break
        usleep 10000
    done
    if kill -0 "$1" 2>/dev/null; then
        echo "linux-vm-init: monitor $1 still ran 10 s after SIG${2:-INT}; killed" >&2
        kill -KILL "$1"
    fi
    wait "$1"
    echo $?
}

# Prints, for every event device, udev's verdict on whether it is a mouse: "eventN 1" or
# "eventN 0"; or says why there is none.
udev_mice() {
    if [ ! -x /bin/udevadm ]; then
        echo "skipped: no udevadm in the initramfs"
        return
    fi
    for device in /sys/class/input/event*; do
        mouse=0
        udevadm test-builtin input_id "$device" 2>/dev/null | grep -qx ID_INPUT_MOUSE=1 && mouse=1
        echo "${device##*/} $mouse"
    done
}

# Monitors start through "inject_linux fg", which gives them SIGINT as a terminal's foreground
# job has it: a script's background job inherits it ignored, and the monitor keeps that.

# Plays the injector's MODE into a monitor run by root, stopped with SIGINT (or the signal given
# third) once the injector is done: the injector's lines and status in /out/NAME.log and
# NAME.injector, the monitor's output, errors and status in NAME.out, NAME.err and NAME.status,
# the monitor's start and end on the clock since boot (seconds) in NAME.uptime, and udev's
# verdicts on the devices present at its start in NAME.udev. $pin_injector and $pin_monitor, when
# set, prefix the injector's and the monitor's commands (taskset).
pin_injector="" pin_monitor=""
play() {
    $pin_injector inject_linux "$1" >"/out/$2.log" 2>&1 &
    injector=$!
    wait_line "/out/$2.log" ready
    udev_mice >"/out/$2.udev"
    cut -d ' ' -f 1 /proc/uptime >"/out/$2.uptime"
    inject_linux fg $pin_monitor mousecheck >"/out/$2.out" 2>"/out/$2.err" &
    monitor=$!
    wait $injector
    echo $? >"/out/$2.injector"
    stop_monitor $monitor "${3:-INT}" >"/out/$2.status"
    cut -d ' ' -f 1 /proc/uptime >>"/out/$2.uptime"
}

case $scenario in
test)
    # An ordinary user: the node is root's (0600 from devtmpfs), the listing comes all the same.
    inject_linux hold >/out/hold.log 2>&1 &
    injector=$!
    wait_line /out/hold.log mouse
    inject_linux fg su -s /bin/mousecheck user >/out/user.out 2>/out/user.err &
    monitor=$!
    wait_monitor $monitor
    # Mice plugged in later, the user a member of the group input: udev gives one's node the
    # group and mode after creating it (the monitor opens it on that change, well before a
    # second has passed); the other's it never does (the monitor says so once, after a second).
    inject_linux late >/out/late.log 2>&1 &
    late=$!
    wait_line /out/late.log mouse
    node=$(sed -n 's/^mouse //p' /out/late.log)
    chgrp input "$node"
    chmod 660 "$node"
    wait $late
    echo $? >/out/late.injector
    inject_linux locked >/out/locked.log 2>&1 &
    locked=$!
    wait_line /out/locked.log mouse
    wait_line /out/user.err "mousecheck: cannot open $(sed -n 's/^mouse //p' /out/locked.log)"
    usleep 1500000  # said once: no second line comes
    stop_monitor $monitor >/out/user.status
    kill $injector $locked
    wait $injector
    wait $locked

    # root: the whole session, output to a file, stopped with SIGHUP as when the terminal closes.
    play session session HUP

    # root: pointing devices of several kinds, then every input node gone, so that devtmpfs
    # removes /dev/input, and a new mouse. The machine's own nodes go first: the keyboard's, event0
    # (its device unbound from its driver: the PC's atkbd, virt's virtio_input), and mousedev's
    # "mice" (built into Debian's kernel, never removed).
    keyboard=$(readlink -f /sys/class/input/event0/device/device)
    echo "${keyboard##*/}" >"$keyboard/driver/unbind"
    rm -f /dev/input/mice
    play devices devices

    # root, output to a pipe that nobody reads until after the quit: clicks until the monitor
    # waits to write, SIGTERM then, and only then the reader; the lines that reach it and their
    # byte count, the last byte in hexadecimal, the monitor's errors and status.
    rm -f /tmp/read
    inject_linux flood >/out/full.log 2>&1 &
    injector=$!
    wait_line /out/full.log ready
    (inject_linux fg mousecheck 2>/out/full.err; echo $? >/out/full.status) |
        (for _ in $(seq 2000); do [ -e /tmp/read ] && break; usleep 10000; done; cat >/out/full.out) &
    reader=$!
    if wait_line /out/full.log blocked; then
        monitor=$(pidof mousecheck)
        kill -TERM "$monitor"
        wait_delivered "$monitor"  # while the write waits
    fi
    touch /tmp/read
    wait_gone $reader "the reader of the monitor's pipe"
    wait_line /out/full.status ""
    wait $injector
    echo $? >/out/full.injector
    wc -c </out/full.out >/out/full.bytes
    tail -c 1 /out/full.out | od -An -tx1 | tr -d ' ' >/out/full.last

    # root, output to "head -n 4", the listing and the banner: clicks until the monitor, writing
    # again after head has gone, ends by SIGPIPE.
    inject_linux flood >/out/head.log 2>&1 &
    injector=$!
    wait_line /out/head.log ready
    (inject_linux fg mousecheck 2>/out/head.err; echo $? >/out/head.status) | head -n 4 >/out/head.out &
    wait_line /out/head.log released || kill -KILL $(pidof mousecheck)
    wait_line /out/head.status ""
    wait $injector
    echo $? >/out/head.injector

    # root: /dev/input removed whole while a mouse under it is open and read, then a new mouse.
    (wait_line /out/reborn.log clicked && rm -rf /dev/input) &
    remover=$!
    play reborn reborn
    wait $remover

    # ---- Held-up passes, live pipes and whole lines: every printed interval the kernel's.
    # root: the monitor stopped (SIGSTOP, as Ctrl+Z) while clicks held 300 ms, 300 ms apart,
    # and wheel notches 300 ms apart are made, then let go on.
    play held held TERM

    # root: a second mouse plugged in (said on standard error), then the monitor stopped while
    # the two mice click interleaved (the first pressed at t, the second at t+5, released at t+100
    # and t+108), then let go on: one pass reads both.
    play pair pair TERM

    # root, output to a pipe whose reader records when each line arrives, as "| tee" shows it:
    # each report is made only once the line of the one before arrived; then SIGINT to the whole
    # process group, as Ctrl+C sends it, which ends the reader too.
    rm -f /out/tee.arrivals
    inject_linux paced /out/tee.arrivals >/out/tee.log 2>&1 &
    injector=$!
    wait_line /out/tee.log ready
    setsid sh -c '(inject_linux fg mousecheck 2>/out/tee.err; echo $? >/out/tee.status) | inject_linux tee /out/tee.arrivals' &
    group=$!
    wait $injector
    echo $? >/out/tee.injector
    kill -INT -"$(cut -d ' ' -f 5 "/proc/$group/stat")"
    wait_line /out/tee.status ""
    wait_gone $group "the monitor's process group"

    # root, standard output and standard error to one file ("> log 2>&1"), clicks read at once,
    # then more than evdev keeps while the monitor is stopped: a dropped-events line among the
    # report's lines, and every line whole.
    inject_linux overflow >/out/overflow.log 2>&1 &
    injector=$!
    wait_line /out/overflow.log ready
    inject_linux fg mousecheck >/out/overflow.out 2>&1 &
    monitor=$!
    wait $injector
    echo $? >/out/overflow.injector
    stop_monitor $monitor TERM >/out/overflow.status

    # root, output to a pipe whose file description is non-blocking, not read until the monitor
    # waits to write and clicks held 300 ms were made, then read slowly; SIGTERM once the monitor
    # has written everything.
    rm -f /tmp/slow
    inject_linux stalled /tmp/slow >/out/stalled.log 2>&1 &
    injector=$!
    wait_line /out/stalled.log ready
    (inject_linux nonblock inject_linux fg mousecheck 2>/out/stalled.err; echo $? >/out/stalled.status) |
        (wait_file /tmp/slow; inject_linux slow >/out/stalled.out) &
    reader=$!
    wait $injector
    echo $? >/out/stalled.injector
    touch /tmp/slow
    monitor=$(pidof mousecheck) && kill -TERM "$monitor"
    wait_line /out/stalled.status ""
    wait_gone $reader "the slow reader of the monitor's pipe"
    tail -c 1 /out/stalled.out | od -An -tx1 | tr -d ' ' >/out/stalled.last

    # root, with the quit signals inherited blocked: SIGTERM ends it all the same.
    inject_linux click >/out/masked.log 2>&1 &
    injector=$!
    wait_line /out/masked.log ready
    inject_linux blocked inject_linux fg mousecheck >/out/masked.out 2>/out/masked.err &
    monitor=$!
    wait $injector
    echo $? >/out/masked.injector
    stop_monitor $monitor TERM >/out/masked.status
    # ---- end of the held-up passes and live pipes

    # --- mousecheck-summary, live: "mousecheck | mousecheck-summary" in a process group of its
    # own, both programs started as a terminal's foreground job starts them (SIGINT at its
    # default); the injector plays the documents' faulty mouse, then SIGINT goes to the whole
    # group, as a terminal's Ctrl+C does. The monitor ends and writes its last lines; the
    # summary, which ignores SIGINT, reads on to them and prints. The monitor's status in
    # pipe.monitor, the summary's output, errors and status in pipe.out, pipe.err and pipe.status.
    if [ -x /bin/mousecheck-summary ]; then
        inject_linux faults >/out/pipe.log 2>&1 &
        injector=$!
        wait_line /out/pipe.log ready
        setsid sh -c '(inject_linux fg mousecheck 2>/out/pipe.monitor.err; echo $? >/out/pipe.monitor) |
            inject_linux fg mousecheck-summary >/out/pipe.out 2>/out/pipe.err; echo $? >/out/pipe.status' &
        wait $injector
        echo $? >/out/pipe.injector
        # SIGINT only once the summary ignores it (bit 2 of SigIgn), or it could end it first.
        for _ in $(seq 1000); do
            summary=$(pidof mousecheck-summary) &&
                [ $((0x$(sed -n 's/^SigIgn:[^0-9a-f]*//p' "/proc/$summary/status") & 2)) = 2 ] && break
            usleep 10000
        done
        kill -INT "-$(cut -d ' ' -f 5 "/proc/$(pidof mousecheck)/stat")"
        wait_line /out/pipe.status "" || kill -KILL $(pidof mousecheck) $(pidof mousecheck-summary)
    fi
    # --- end of mousecheck-summary
    ;;
bench)
    play bench bench

    # Idle cost: the monitor beside the bare loop of inject_linux, three times 10 s each, with no
    # mouse, one and 32 quiet ones; /out/idle.txt has "MICE RUN", then ticks, read calls and
    # voluntary switches of the monitor and of the loop, before and after.
    for mice in 0 1 32; do
        injector=""
        if [ "$mice" != 0 ]; then
            inject_linux quiet $mice >/tmp/quiet.log 2>&1 &
            injector=$!
            wait_line /tmp/quiet.log ready
        fi
        mousecheck >/dev/null 2>"/out/idle$mice.err" &
        monitor=$!
        inject_linux loop &
        loop=$!
        wait_monitor $monitor
        sleep 1
        for run in 1 2 3; do
            before="$(usage $monitor) $(usage $loop)"
            sleep 10
            echo "$mice $run $before $(usage $monitor) $(usage $loop)" >>/out/idle.txt
        done
        kill $monitor $loop $injector
        wait
    done

    # 200 ordinary clicks while two busy loops share the monitor's processor (the first; the
    # injector has the second).
    taskset -c 0 sh -c 'while :; do :; done' &
    busy1=$!
    taskset -c 0 sh -c 'while :; do :; done' &
    busy2=$!
    pin_injector="taskset -c 1" pin_monitor="taskset -c 0"
    play clicks clicks
    kill $busy1 $busy2
    pin_injector="" pin_monitor=""

    # Clicks made while the monitor is stopped for 2 s (SIGSTOP, as Ctrl+Z; a paused terminal or
    # an unread pipe holds its pass up alike).
    play paused paused
    ;;
demo | faults)
    # The session, or the documents' sample of a faulty mouse, with the monitor's lines on the
    # console.
    mode=session what="a session"
    [ "$scenario" = faults ] && mode=faults what="a faulty mouse"
    echo "mousecheck on Linux $(uname -r), in a virtual machine; a virtual mouse plays $what"
    inject_linux $mode >/tmp/$mode.log 2>&1 &
    injector=$!
    wait_line /tmp/$mode.log ready
    inject_linux fg mousecheck &
    monitor=$!
    wait $injector || cat /tmp/$mode.log
    stop_monitor $monitor >/tmp/status  # not in a subshell, which could not reap it
    echo "mousecheck ended with status $(cat /tmp/status)"
    ;;
esac
# The results, on the second serial port: each file as "== NAME" and its lines; a file whose
# last line was cut short gets its line end here (NAME.last keeps the last byte where it matters).
if [ "$scenario" = test ] || [ "$scenario" = bench ]; then
    stty -F /dev/ttyS1 raw -echo
    for file in /out/*; do
        echo "== ${file#/out/}"
        cat "$file"
        [ -z "$(tail -c 1 "$file")" ] || echo
    done >/dev/ttyS1
fi
poweroff -f
