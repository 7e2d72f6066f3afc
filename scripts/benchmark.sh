#!/bin/sh
# Builds and runs the benchmarks, printing their tables: analysis cost per record on the host
# (Google Benchmark), accuracy simulated on 1.1 ms and 15.625 ms pump passes, the native Linux
# monitor on a real kernel in a virtual machine (accuracy, burst), mousecheck-summary's time and
# memory on big and hostile logs, then the real mousecheck.exe under Wine (accuracy, burst,
# clicks while it is held up, memory, idle cost, console writes per line).
# Run as root on Debian 12 if packages are missing. Asserts nothing.
#
#   scripts/benchmark.sh                     every table
#   scripts/benchmark.sh --held [EXE]        only ten clicks made while mousecheck.exe (the
#                                            build's, or EXE, such as an older release's) is held
#                                            up for 2 s under Wine
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
held_exe=
if [ "${1:-}" = --held ]; then
    held_exe=${2:-$root/build/windows-bench/mousecheck.exe}
    case $held_exe in /*) ;; *) held_exe=$(pwd)/$held_exe ;; esac
fi
cd "$root"
. scripts/wine/wine-prefix.sh

# Starts the Wine session of the benchmark's build.
start_wine() {
    bin="$root/build/windows-bench"
    export WINEPREFIX="$bin/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
    wine=$(command -v wine64 || command -v wine || echo /usr/lib/wine/wine64)
    wineserver=$(command -v wineserver || echo /usr/lib/wine/wineserver)
    "$wineserver" -p </dev/null >/dev/null 2>&1 || true
    init_wine_prefix "$wine"
}

if [ -n "$held_exe" ]; then
    cmake --preset windows-bench >/dev/null
    cmake --build --preset windows-bench
    start_wine
    echo "## $held_exe held up for 2 s under Wine"
    MOUSECHECK_EXE="$held_exe" "$wine" "$bin/bench/mousecheck_bench.exe" held
    "$wineserver" -k </dev/null >/dev/null 2>&1 || true
    exit 0
fi
scripts/install-deps.sh --test libbenchmark-dev

cmake --preset bench >/dev/null
cmake --build --preset bench
echo
echo "## Analysis cost per raw mouse record (host, output to /dev/null)"
build/bench/bench/analysis_bench --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
echo
echo "## Accuracy on the Windows timer (host simulation, deterministic)"
build/bench/bench/accuracy_sim

echo
echo "## The native Linux monitor in the virtual machine (Debian's kernel under QEMU)"
cmake --preset host >/dev/null
cmake --build --preset host --target mousecheck inject_linux mousecheck-summary
scripts/bench/linux-bench.sh build/host

echo
echo "## mousecheck-summary on big and hostile logs (host, output to /dev/null)"
scripts/bench/summary-bench.sh build/host/mousecheck-summary

cmake --preset windows-bench >/dev/null
cmake --build --preset windows-bench
start_wine
echo
echo "## mousecheck.exe under Wine"
MOUSECHECK_EXE="$bin/mousecheck.exe" IDLE_LOOP_EXE="$bin/bench/idle_loop.exe" \
    "$wine" "$bin/bench/mousecheck_bench.exe"

# Idle cost: CPU time of the monitor and of a bare PeekMessage/Sleep(1) loop, side by side over
# the same 10 s, read from /proc (Wine gives no CPU times of other processes).
cpu_ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat"; }
"$wine" "$bin/mousecheck.exe" >/dev/null &
"$wine" "$bin/bench/idle_loop.exe" &
sleep 3
monitor=$(pgrep -f 'mousecheck\.exe' | head -n 1)
loop=$(pgrep -f 'idle_loop\.exe' | head -n 1)
m0=$(cpu_ticks "$monitor") l0=$(cpu_ticks "$loop")
sleep 10
m1=$(cpu_ticks "$monitor") l1=$(cpu_ticks "$loop")
hz=$(getconf CLK_TCK)
awk -v m=$((m1 - m0)) -v l=$((l1 - l0)) -v hz="$hz" 'BEGIN {
    printf "| %-52s | %-22.0f | %-12s |\n", "idle: monitor CPU over 10 s (ms)", m * 1000 / hz, ""
    printf "| %-52s | %-22.0f | %-12s |\n", "idle: PeekMessage/Sleep(1) loop CPU over 10 s (ms)", l * 1000 / hz, ""
    printf "| %-52s | %-22s | %-12s |\n", "idle: ratio monitor / loop", (l > 0 ? sprintf("%.2f", m / l) : "n/a"), "<= 1.2"
}'
"$wineserver" -k </dev/null >/dev/null 2>&1 || true
wait 2>/dev/null || true

# Console writes per printed line, in the tests' build and Wine prefix.
cmake --preset windows >/dev/null
cmake --build --preset windows --target mousecheck play_session
export WINEPREFIX="$root/build/windows/wineprefix"
"$wineserver" -p </dev/null >/dev/null 2>&1 || true
init_wine_prefix "$wine"
echo
echo "## Console writes per line (listing and 20 clicks, stdout on a pseudo-terminal)"
scripts/wine/console-writes.sh "$root/build/windows" || true
"$wineserver" -k </dev/null >/dev/null 2>&1 || true
