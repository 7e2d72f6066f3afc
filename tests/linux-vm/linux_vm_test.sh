#!/bin/sh
# End to end on a real kernel: boots the virtual machine of scripts/vm/linux-vm.sh and checks what
# the native monitor printed there, line by line: run by an ordinary user (the listing, the
# banner, the line that says why the mouse cannot be opened), then by root through the whole
# session of inject_linux (every button, a chattering click, wheel notches and a burst, a mouse
# plugged in after the start, the first one unplugged), output to a file, stopped with SIGINT.
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

expect_status session.injector
expect_status user.status
expect_status session.status
mouse=$(sed -n 's/^mouse //p' "$out/session.log" | head -n 1)
second=$(sed -n 's/^mouse //p' "$out/session.log" | sed -n 2p)
[ -n "$mouse" ] && [ -n "$second" ] || fail "the injector named no mice: $(cat "$out/session.log")"
expect_file session.log "keyboard /dev/input/event1
mouse $mouse
mouse $second
unplugged $mouse"
expect_file user.err "mousecheck: cannot open $mouse: Permission denied; run it with sudo, or as a member of the group input"
expect_file user.out "$(listing "$mouse")"
expect_file session.err ""
[ "$(sed '/^RAW INPUT Mouse:$/q' "$out/session.out")" = "$(listing "$mouse")" ] ||
    fail "session.out: expected the listing of $mouse, got: $(sed '/^RAW INPUT Mouse:$/q' "$out/session.out")"
sh "$here/../check_lines.sh" "$out/session.out" <"$here/linux_session.lines" || failed=1
if [ "$failed" != 0 ]; then
    echo "--- the machine's console:"
    cat "$out/console.txt"
fi
exit $failed
