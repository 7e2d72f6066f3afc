#!/bin/sh
# Shows the native Linux monitor on a real kernel, with no mouse and no root on this machine's
# input: builds the monitor and the injector, boots Debian's kernel in a virtual machine
# (scripts/vm/linux-vm.sh) and runs the monitor there, with its lines on this terminal, while a virtual
# mouse plays a session (clicks of every button, one chattering click, wheel notches, two in one
# burst, a second mouse plugged in, the first unplugged). Then stops it with SIGINT.
# Usage: demo-linux.sh [faults]: with "faults", the virtual mouse plays the faulty mouse of the
# documents' sample instead (healthy clicks, chatter, a drag that breaks, a wheel that skips).
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
[ -f build/host/build.ninja ] || cmake --preset host >&2
cmake --build --preset host --target mousecheck inject_linux >&2
exec sh scripts/vm/linux-vm.sh build/host/mousecheck build/host/inject_linux "${1:-demo}"
