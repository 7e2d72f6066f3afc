#!/bin/sh
# End to end on a real kernel: boots the virtual machine of scripts/vm/linux-vm.sh and checks what
# the native monitor printed there, line by line: run by an ordinary user in the group input (the
# listing, the banner, the line that says why the mouse cannot be opened; a mouse plugged in
# later opened as soon as its node gets the group, and clicked; one whose node never does, named
# once), stopped with SIGINT; then by root through the whole session of inject_linux (every
# button, a chattering click, wheel notches and a burst, a mouse plugged in after the start, the
# first one unplugged), output to a file, stopped with SIGHUP; then by root with pointing devices
# of several kinds (an absolute tablet clicked and scrolled, a name of control codes and invalid
# UTF-8, eight buttons), all of them unplugged so that /dev/input goes, and a new mouse clicked;
# then by root with output to a pipe read only after SIGTERM came while the monitor waited in a
# write (every line whole, the pipe filled); with output to "head -n 4" (the monitor
# ended by SIGPIPE, quietly); and with /dev/input removed while a mouse under it is open, then a
# new mouse clicked. Then, every printed interval the kernel's and every line whole: the monitor
# stopped (SIGSTOP) while clicks held 300 ms and wheel notches are made, then let go on; a second
# mouse plugged in (said once) and the monitor stopped while the two click interleaved, then let
# go on (the kernel's order, no false warning); its output to a "| tee"-like reader, each line there before the next report, then SIGINT to the
# whole process group; output and errors in one file with a dropped-events line; output to a
# non-blocking pipe left full, then read slowly, ended by SIGTERM; the quit signals inherited
# blocked, ended by SIGTERM. Last, "mousecheck | mousecheck-summary" stopped with SIGINT to its
# process group, the summary beside the monitor (MONITOR's folder), with its exact output.
# The mice listed are those that udev's own udevadm calls mice, where the machine has udevadm.
# Usage: linux_vm_test.sh [--arch x86_64|aarch64] MONITOR INJECTOR: the mousecheck program to
# test, and inject_linux, both for the architecture of the machine (x86_64 unless named). The
# machines of both have one keyboard of their own, so every expected line is the same.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
arch=x86_64
if [ "${1:-}" = --arch ]; then
    arch=$2
    shift 2
fi
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
sh "$here/../../scripts/vm/linux-vm.sh" --arch "$arch" "$1" "$2" test "$out"
failed=0

# Fails the test with a message.
fail() {
    echo "linux_vm_test: $*"
    failed=1
}

# Checks that a result file holds exactly the text.
expect_file() {
    if [ ! -f "$out/$1" ]; then
        fail "the machine left no $1 (its console follows)"
        cat "$out/console.txt"
    elif [ "$(cat "$out/$1")" != "$2" ]; then
        fail "$1: expected \"$2\", got:"
        cat "$out/$1"
    fi
}

# Checks that a status file says 0, naming the signal that ended a process otherwise.
expect_status() {
    status=$(cat "$out/$1" 2>/dev/null || echo none)
    if [ "$status" = none ]; then
        fail "the machine left no $1 (its console follows)"
        cat "$out/console.txt"
    elif [ "$status" -gt 128 ] 2>/dev/null; then
        fail "$1: ended by signal $(kill -l $((status - 128))), not with status 0"
    elif [ "$status" != 0 ]; then
        fail "$1: status $status, not 0"
    fi
}

# The listing of the virtual mouse, the banner, and nothing of the keyboards.
listing() {
    number=${1#/dev/input/event}
    printf 'Mouse: Handle=0x%08X\n  Name=%s (mousecheck virtual mouse, virtual 1234:0001)\n' "$number" "$1"
    printf '  Id=6, Buttons=5, SampleRate=0, HorizontalWheel=1\nRAW INPUT Mouse:\n'
}

# A device's listing: handle, name line (NODE NAME PRODUCT) and information (BUTTONS HWHEEL).
device_listing() {
    printf 'Mouse: Handle=0x%08X\n  Name=%s (%s, virtual 1234:%s)\n' "${1#/dev/input/event}" "$1" "$2" "$3"
    printf '  Id=6, Buttons=%s, SampleRate=0, HorizontalWheel=%s\n' "$4" "$5"
}

# Checks that the output's listing, up to the banner, is the text.
expect_listing() {
    [ "$(sed '/^RAW INPUT Mouse:$/q' "$out/$1")" = "$2" ] ||
        fail "$1: expected the listing
$2
got:
$(sed '/^RAW INPUT Mouse:$/q' "$out/$1")"
}

# Checks that the mice listed in an output are those that udevadm called mice, or says why not.
expect_udev_mice() {
    if [ "$(head -c 8 "$out/$1.udev" 2>/dev/null)" = skipped: ]; then
        echo "linux_vm_test: $1: the check against udev $(cat "$out/$1.udev")"
        return
    fi
    udev=$(awk '$2 == 1 { sub(/event/, "", $1); printf "Mouse: Handle=0x%08X\n", $1 }' "$out/$1.udev")
    listed=$(grep '^Mouse: Handle=' "$out/$1.out" || true)
    [ -n "$udev" ] && [ "$udev" = "$listed" ] ||
        fail "$1: the mice listed are not those that udevadm calls mice (ID_INPUT_MOUSE=1): listed
$listed
udev: $(cat "$out/$1.udev")"
}

# Prints the milliseconds that a run lasted, from its NAME.uptime, rounded up.
run_ms() {
    awk 'NR == 1 { start = $1 } NR == 2 { ms = ($1 - start) * 1000; print int(ms) + (ms > int(ms)) }' "$out/$1.uptime"
}

expect_status session.injector
expect_status user.status
expect_status late.injector
expect_status session.status
expect_status devices.injector
expect_status devices.status
mouse=$(sed -n 's/^mouse //p' "$out/session.log" | head -n 1)
second=$(sed -n 's/^mouse //p' "$out/session.log" | sed -n 2p)
[ -n "$mouse" ] && [ -n "$second" ] || fail "the injector named no mice: $(cat "$out/session.log")"
expect_file session.log "keyboard /dev/input/event1
mouse $mouse
ready
mouse $second
unplugged $mouse"
locked=$(sed -n 's/^mouse //p' "$out/locked.log")
# Opened on its change of mode, not by the retry a second after it appeared, and said so.
late=$(sed -n 's/^mouse //p' "$out/late.log")
expect_file user.err "mousecheck: cannot open $mouse: Permission denied; run it with sudo, or as a member of the group input
mousecheck: $late (mousecheck late mouse, virtual 1234:000b) plugged in; it is watched
mousecheck: cannot open $locked: Permission denied; run it with sudo, or as a member of the group input"
held=$(sed -n 's/^held after \([0-9]*\) ms$/\1/p' "$out/late.log")
expect_file late.log "mouse $late
held after $held ms"
[ -n "$held" ] && [ "$held" -lt 900 ] ||
    fail "late.log: the monitor opened $late $held ms after it appeared, not on its change of group and mode"
expect_listing user.out "$(listing "$mouse")"
printf 'Mouse Button:1\nMouse Button:2, #ms|50|250\n' | sh "$here/../check_lines.sh" "$out/user.out" || failed=1
expect_file session.err "mousecheck: $second (mousecheck second mouse, virtual 1234:0003) plugged in; it is watched"
expect_listing session.out "$(listing "$mouse")"
expect_udev_mice session
# The first wheel interval counts from the start's stamps: no longer than the run.
sed "s/^wheel check up:#ms|500|20000\$/wheel check up:#ms|500|$(run_ms session)/" "$here/linux_session.lines" |
    sh "$here/../check_lines.sh" "$out/session.out" || failed=1

node() {
    sed -n "s/^$1 //p" "$out/devices.log"
}
expect_file devices.log "tablet $(node tablet)
eight $(node eight)
pen $(node pen)
touchpad $(node touchpad)
joystick $(node joystick)
buttons $(node buttons)
ready
input removed
mouse $(node mouse)"
expect_file devices.err "mousecheck: $(node mouse) (mousecheck new mouse, virtual 1234:000a) plugged in; it is watched"
expect_listing devices.out "$(device_listing "$(node tablet)" "mousecheck virtual tablet" 0004 3 0)
$(device_listing "$(node eight)" "mousecheck ?[2J ? ? ? mouse" 0005 8 0)
$(device_listing "$(node buttons)" "mousecheck virtual buttons" 0009 3 0)
RAW INPUT Mouse:"
expect_udev_mice devices
# The first wheel interval counts from the start: at least the tablet's click and its gap.
printf 'Mouse Button:1\nMouse Button:2, #ms|50|250\nwheel check down:#ms|250|%s\nMouse Button:4\nMouse Button:8, #ms|50|250\n' \
    "$(run_ms devices)" | sh "$here/../check_lines.sh" "$out/devices.out" || failed=1
# The lines that an injector's log says a monitor prints, in its order, from the kernel's time of
# each report as the injector read it back (whole milliseconds, as the monitor takes them):
# "stamps MS..." (a flood's write: press, release, press, ...; a press or release within 15 ms of
# the one before is a fast click, the first of the log none), "press MS" and "release MS" (one
# report each, of any mouse, in the order analysed; a fast click as in a flood), "hold NOMINAL ACTUAL KERNEL PRINTED"
# (a click and the hold printed), "notch ACTUAL KERNEL PRINTED" (a wheel notch down after a first
# one that counts from the start: at least FIRST ms, at most the run). A hold or notch without the
# kernel's time lies within 1.5 ms of what the injector timed around its writes.
kernel_lines() {
    awk -v first="${2:-}" -v run="${3:-}" '
        function within(ms) { return "|" int(ms - 1.5 + 0.999999) "|" int(ms + 1.5) }
        function fast(a, b) { return a - b <= 15 && b - a <= 15 }
        $1 == "stamps" {
            for (i = 2; i <= NF; i++) {
                if (reports++ % 2 == 0) {
                    print "Mouse Button:1"
                    if (released && fast($i, release)) print "Fast-click detected!"
                    press = $i
                } else {
                    print "Mouse Button:2, " ($i - press) "ms"
                    if (fast($i, press)) print "Fast-click detected!"
                    release = $i
                    released = 1
                }
            }
        }
        $1 == "press" {
            print "Mouse Button:1"
            if (released && fast($2, release)) print "Fast-click detected!"
            press = $2
        }
        $1 == "release" {
            print "Mouse Button:2, " ($2 - press) "ms"
            if (fast($2, press)) print "Fast-click detected!"
            release = $2
            released = 1
        }
        $1 == "hold" { print "Mouse Button:1\nMouse Button:2, #ms" (NF >= 5 ? "|" $5 "|" $5 : within($3)) }
        $1 == "notch" && !notched++ { print "wheel check down:#ms|" first "|" run }
        $1 == "notch" { print "wheel check down:#ms" (NF >= 4 ? "|" $4 "|" $4 : within($2)) }' "$1"
}

# Prints a log's lines but the stamps of its floods.
unstamped() {
    grep -v '^stamps ' "$out/$1" || true
}

# A pipe not read until after SIGTERM: status 0, every line whole, the pipe filled: its 16 pages
# of 4 KiB in use, so that poll says it has no room, 15 of them full but for less than a line
# (21 bytes) each.
expect_status full.injector
expect_status full.status
expect_file full.err ""
flooded=$(sed -n 's/^mouse //p' "$out/full.log")
writes=$(sed -n 's/^blocked after \([0-9]*\) writes$/\1/p' "$out/full.log")
unstamped full.log >"$out/full.said"
expect_file full.said "mouse $flooded
ready
blocked after $writes writes"
expect_listing full.out "$(listing "$flooded")"
expect_file full.last 0a
[ "$(cat "$out/full.bytes" 2>/dev/null || echo 0)" -ge $((15 * (4096 - 21))) ] ||
    fail "full.out: $(cat "$out/full.bytes" 2>/dev/null) bytes, less than a full pipe's 15 * (4096 - 21)"
[ -z "$writes" ] || kernel_lines "$out/full.log" | sh "$here/../check_lines.sh" --prefix "$out/full.out" || failed=1

# "| head -n 4": the listing and the banner; the monitor killed by SIGPIPE once it wrote again.
expect_status head.injector
expect_file head.err ""
expect_file head.status 141
piped=$(sed -n 's/^mouse //p' "$out/head.log")
unstamped head.log >"$out/head.said"
expect_file head.said "mouse $piped
ready
released after $(sed -n 's/^released after \([0-9]*\) writes$/\1/p' "$out/head.log") writes"
expect_file head.out "$(listing "$piped")"

# Checks the statuses of a run (NAME) in which a second mouse was plugged in, and the one line
# that said so (the mouse's NAME and PRODUCT as the listing gives them); sets $first and $later to
# the two mice's nodes.
plugged_run() {
    expect_status "$1.injector"
    expect_status "$1.status"
    first=$(sed -n 's/^mouse //p' "$out/$1.log" | head -n 1)
    later=$(sed -n 's/^mouse //p' "$out/$1.log" | sed -n 2p)
    expect_file "$1.err" "mousecheck: $later ($2) plugged in; it is watched"
}

# /dev/input removed under an open mouse, which is still read; the new mouse opened and read.
plugged_run reborn "mousecheck new mouse, virtual 1234:000a"
expect_file reborn.log "mouse $first
ready
clicked
input removed
mouse $later"
expect_listing reborn.out "$(listing "$first")"
printf 'Mouse Button:1\nMouse Button:2, #ms|50|250\nMouse Button:16\nMouse Button:32, #ms|50|250\nMouse Button:4\nMouse Button:8, #ms|50|250\n' |
    sh "$here/../check_lines.sh" "$out/reborn.out" || failed=1
# ---- Held-up passes, live pipes and whole lines: every printed interval the kernel's.
# Prints a log's lines that begin with a word, in order.
log_lines() {
    grep "^$2" "$out/$1" || true
}

# Stopped for the clicks and notches, then let go on: the kernel's holds and notch intervals, no
# "Fast-click detected!", no "wheel too fast!".
expect_status held.injector
expect_status held.status
expect_file held.err ""
held=$(sed -n 's/^mouse //p' "$out/held.log")
expect_file held.log "mouse $held
ready
$(log_lines held.log 'hold ')
$(log_lines held.log 'notch ')
resumed"
[ "$(log_lines held.log 'hold ' | wc -l)" = 3 ] || fail "held.log: not 3 holds"
expect_listing held.out "$(listing "$held")"
kernel_lines "$out/held.log" 1800 "$(run_ms held)" | sh "$here/../check_lines.sh" "$out/held.out" || failed=1

# Two mice stopped while they clicked interleaved, one pass reads both: the reports in the
# kernel's order, holds of about 95 and 103 ms, no "Fast-click detected!".
plugged_run pair "mousecheck second mouse, virtual 1234:0003"
expect_file pair.log "mouse $first
ready
mouse $later
$(log_lines pair.log 'press \|^release ')
resumed"
[ "$(log_lines pair.log 'press \|^release ' | cut -d ' ' -f 1 | tr '\n' ' ')" = "press press release release " ] ||
    fail "pair.log: the reports are not in the order they were made: $(log_lines pair.log 'press \|^release ')"
expect_listing pair.out "$(listing "$first")"
kernel_lines "$out/pair.log" | sh "$here/../check_lines.sh" "$out/pair.out" || failed=1

# "| tee": each line reached the reader before the next report was made (the injector waited
# for it), and after SIGINT to the whole group every line is in the reader's file.
expect_status tee.injector
expect_status tee.status
expect_file tee.err ""
teed=$(sed -n 's/^mouse //p' "$out/tee.log")
expect_file tee.log "mouse $teed
ready
$(log_lines tee.log 'hold ')
clicked"
cut -d ' ' -f 2- "$out/tee.arrivals" >"$out/tee.out" 2>/dev/null
expect_listing tee.out "$(listing "$teed")"
kernel_lines "$out/tee.log" | sh "$here/../check_lines.sh" "$out/tee.out" || failed=1

# "> log 2>&1" and a queue that overflowed while the monitor was stopped: every line whole, a
# dropped-events line among them, the middle click after it.
expect_status overflow.injector
expect_status overflow.status
overflowed=$(sed -n 's/^mouse //p' "$out/overflow.log")
expect_file overflow.log "mouse $overflowed
ready
dropped"
expect_listing overflow.out "$(listing "$overflowed")"
dropped="mousecheck: $overflowed: the kernel dropped events; the lines of some reports are missing"
torn=$(sed '1,/^RAW INPUT Mouse:$/d' "$out/overflow.out" | grep -Ev "^(Mouse Button:1|Mouse Button:2, [0-9]+ms|Fast-click detected!|Mouse Button:16|Mouse Button:32, [0-9]+ms|$dropped)\$" || true)
[ -z "$torn" ] || fail "overflow.out: lines torn or unknown: $(echo "$torn" | head -n 5)"
grep -qxF "$dropped" "$out/overflow.out" || fail "overflow.out: no line \"$dropped\""
[ "$(tail -n 2 "$out/overflow.out" | head -n 1)" = "Mouse Button:16" ] && tail -n 1 "$out/overflow.out" | grep -qx 'Mouse Button:32, [0-9]*ms' ||
    fail "overflow.out: it does not end with the middle click: $(tail -n 2 "$out/overflow.out")"

# A non-blocking pipe, full while clicks held 300 ms were made, then read slowly: status 0 after
# SIGTERM, every line whole, the flood's lines and then the kernel's holds.
expect_status stalled.injector
expect_status stalled.status
expect_file stalled.err ""
stalled=$(sed -n 's/^mouse //p' "$out/stalled.log")
writes=$(sed -n 's/^blocked after \([0-9]*\) writes$/\1/p' "$out/stalled.log")
unstamped stalled.log >"$out/stalled.said"
expect_file stalled.said "mouse $stalled
ready
blocked after $writes writes
$(log_lines stalled.log 'hold ')
drained"
expect_listing stalled.out "$(listing "$stalled")"
expect_file stalled.last 0a
[ -z "$writes" ] || kernel_lines "$out/stalled.log" | sh "$here/../check_lines.sh" "$out/stalled.out" || failed=1

# The quit signals inherited blocked: SIGTERM ends it with status 0.
expect_status masked.injector
expect_status masked.status
expect_file masked.err ""
masked=$(sed -n 's/^mouse //p' "$out/masked.log")
expect_file masked.log "mouse $masked
ready
clicked"
expect_listing masked.out "$(listing "$masked")"
printf 'Mouse Button:1\nMouse Button:2, #ms|50|250\n' | sh "$here/../check_lines.sh" "$out/masked.out" || failed=1
# ---- end of the held-up passes and live pipes

# --- mousecheck-summary, live: the monitor piped into the summary, SIGINT to the pipeline's
# process group; the summary's whole output, the shortest hold within the band of
# linux_faults.lines, and the statuses (the monitor 0; the summary 1: a test to repeat).
expect_status pipe.injector
expect_status pipe.monitor
expect_file pipe.monitor.err ""
expect_file pipe.err ""
expect_file pipe.status 1
hold=$(sed -n 's/^  left      9 presses, 9 releases, shortest hold \([0-9]*\) ms$/\1/p' "$out/pipe.out" 2>/dev/null)
[ -n "$hold" ] && [ "$hold" -ge 16 ] && [ "$hold" -le 250 ] ||
    fail "pipe.out: the shortest hold of the left button is not 16 to 250 ms"
# The holds at a glance: nine, none of 15 ms or less, none over 1 s (the bands of linux_faults.lines).
holds=$(sed -n 's/^            holds (ms): <=15: 0, 16-50: \([0-9]*\), 51-150: \([0-9]*\), 151-1000: \([0-9]*\), >1000: 0$/\1 \2 \3/p' \
    "$out/pipe.out" 2>/dev/null)
short=${holds%% *} long=${holds##* } usual=${holds#* } usual=${usual%% *}
[ -n "$holds" ] && [ $((short + usual + long)) = 9 ] ||
    fail "pipe.out: the holds of the left button are not nine within the bands"
expect_file pipe.out "standard input: run 1, lines 1 to 29, 1 mouse listed
  left      9 presses, 9 releases, shortest hold ${hold:-?} ms
            warnings: 1 closed again within 15 ms of a release, 0 held 15 ms or less
            holds (ms): <=15: 0, 16-50: ${short:-?}, 51-150: ${usual:-?}, 151-1000: ${long:-?}, >1000: 0
            suspect: too few holds to judge (10 needed)
  right     not tested
  middle    not tested
  button 4  not tested
  button 5  not tested
  wheel     1 up, 5 down, 0 \"wheel too fast!\", 1 skip
  verdict:
    left: 1 of 8 clicks bounced: repeat the test; one alone can come from a healthy mouse
      at line 14
    right, middle, button 4, button 5: not tested
    wheel: 1 skip in 6 notches: repeat the test; one alone can be a quick turn back
      at line 27"
# --- end of mousecheck-summary

if [ "$failed" != 0 ]; then
    echo "--- the machine's console:"
    cat "$out/console.txt"
fi
exit $failed
