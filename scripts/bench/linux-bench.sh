#!/bin/sh
# The native Linux monitor in the virtual machine of scripts/vm/linux-vm.sh: holds of 5, 20, 30, 50 and
# 100 ms injected through uinput (timed by the injector on the VM's monotonic clock) against
# the holds the monitor prints, and a burst of 100,000 reports at 8 per ms, with the lines that
# never came out and the times the kernel dropped events; the monitor's idle CPU time beside a
# bare loop of 1 ms sleeps and clock reads (no mouse, one, 32 quiet ones; three runs of 10 s
# each); 200 ordinary clicks while two busy loops share the monitor's processor; 10 clicks held
# 100 ms, 100 ms apart, made while the monitor is stopped for 2 s (SIGSTOP, as Ctrl+Z), with the
# holds it prints once it goes on. Each hold's error is given against the injector's clock read
# around its writes and, after it, against the kernel's times of the two reports, which the
# injector reads back from the node (the times a monitor reads; the injector's clock also counts
# a write that the host held up). Prints tables; asserts nothing.
# Usage: linux-bench.sh BUILD_DIR [OUT] (the host build, with mousecheck and inject_linux; the
# virtual machine's result files are kept in OUT when it is given) | linux-bench.sh --tables OUT
# (the tables of the result files kept in OUT)
set -eu
here=$(cd "$(dirname "$0")" && pwd)
if [ "$1" = --tables ]; then
    out=$2
elif [ -n "${2:-}" ]; then
    out=$2
    sh "$here/../vm/linux-vm.sh" "$1/mousecheck" "$1/inject_linux" bench "$out"
else
    out=$(mktemp -d)
    trap 'rm -rf "$out"' EXIT
    sh "$here/../vm/linux-vm.sh" "$1/mousecheck" "$1/inject_linux" bench "$out"
fi
awk -v out="$out" '
    # Sorts a[1..n] in place.
    function sort(a, n,   i, j, v) {
        for (i = 2; i <= n; i++) {
            v = a[i]
            for (j = i - 1; j > 0 && a[j] > v; j--) a[j + 1] = a[j]
            a[j + 1] = v
        }
    }
    function row(what, value) { printf "| %-56s | %-36s |\n", what, value }
    BEGIN {
        while ((getline line < (out "/bench.log")) > 0) {
            split(line, f, " ")
            if (f[1] == "hold") { holds++; nominal[holds] = f[2]; actual[holds] = f[3]; kernel[holds] = f[4] }
            if (f[1] == "burst") { injected = f[2]; burstMs = f[5] }
        }
        while ((getline line < (out "/bench.out")) > 0) {
            if (line ~ /^Mouse Button:2, [0-9]+ms$/) {
                printed[++released] = substr(line, 16) + 0
            } else if (line == "Fast-click detected!" && last ~ /^Mouse Button:2,/) {
                flagged[released] = 1
            } else if (line ~ /^(Mouse Button:(4|8)($|, )|wheel check )/) {
                lines++
            }
            last = line
        }
        while ((getline line < (out "/bench.err")) > 0) drops += line ~ /dropped events/
        getline status < (out "/bench.status")
        for (i = 1; i <= holds; i++) {
            h = nominal[i]
            e = printed[i] - actual[i]
            k = printed[i] - kernel[i]
            n[h]++
            errors[h, n[h]] = e < 0 ? -e : e
            kernelErrors[h, n[h]] = k < 0 ? -k : k
            hits[h] += flagged[i]
        }
        split("5 20 30 50 100", order, " ")
        for (k = 1; k <= 5; k++) {
            h = order[k]
            for (i = 1; i <= n[h]; i++) sorted[i] = errors[h, i]
            sort(sorted, n[h])
            value = sprintf("%.1f / %.1f ms", sorted[int((n[h] + 1) / 2)], sorted[n[h]])
            if (kernel[1] != "") {
                for (i = 1; i <= n[h]; i++) sorted[i] = kernelErrors[h, i]
                sort(sorted, n[h])
                value = value sprintf(" (kernel: %.1f / %.1f ms)", sorted[int((n[h] + 1) / 2)], sorted[n[h]])
            }
            row("holds of " h " ms: median / worst error of the printed hold", value)
            row("holds of " h " ms: flagged as fast clicks", hits[h] + 0 " of " n[h])
        }
        row("burst: reports injected", injected " in " burstMs " ms (" sprintf("%.2f", injected / burstMs) " per ms)")
        row("burst: lines that never came out", injected - lines)
        row("burst: times the kernel dropped events (standard error)", drops + 0)
        row("exit status after SIGINT", status)
    }'
echo
# Idle cost: one row per run of 10 s; CPU from /proc/PID/stat in ticks of 10 ms.
awk 'BEGIN {
        printf "| %-14s | %-3s | %-24s | %-9s | %-24s | %-47s |\n", "idle, 10 s", "run", "CPU ms: monitor / loop", "ratio", "reads; switches (loop)", "goal"
    }
    {
        monitor = ($9 - $3) * 10; loop = ($12 - $6) * 10
        printf "| %-14s | %-3s | %-24s | %-9s | %-24s | %-47s |\n", $1 " mice", $2, monitor " / " loop,
            (loop > 0 ? sprintf("%.2f", monitor / loop) : "n/a"), ($10 - $4) "; " ($11 - $5) " (" ($14 - $8) ")",
            "about 1 (loop + one poll a pass); reads 0"
    }' "$out/idle.txt"
echo
# Prints the rows of a run of clicks: the releases printed, the fast-click lines, and the worst
# error of a printed hold against the holds the injector timed around its writes (and against
# the kernel's times of the reports). Usage: hold_rows NAME LABEL, for NAME.log and NAME.out.
hold_rows() {
    awk -v logfile="$out/$1.log" -v printout="$out/$1.out" -v label="$2" '
    function row(what, value) { printf "| %-56s | %-36s |\n", label ": " what, value }
    BEGIN {
        while ((getline line < logfile) > 0) {
            split(line, f, " ")
            if (f[1] == "hold") { actual[++holds] = f[3]; kernel[holds] = f[4] }
        }
        while ((getline line < printout) > 0) {
            if (line ~ /^Mouse Button:2, [0-9]+ms$/) printed[++released] = substr(line, 16) + 0
            fast += line == "Fast-click detected!"
        }
        for (i = 1; i <= holds && i <= released; i++) {
            e = printed[i] - actual[i]
            if (e < 0) e = -e
            if (e > worst) worst = e
            k = printed[i] - kernel[i]
            if (k < 0) k = -k
            if (k > worstKernel) worstKernel = k
        }
        worstText = sprintf("%.1f ms", worst) (kernel[1] != "" ? sprintf(" (kernel: %.1f ms)", worstKernel) : "")
        row("releases printed", released + 0 " of " holds)
        row("fast-click lines", fast + 0)
        row("worst hold error", worstText)
    }'
}
# 200 ordinary clicks beside two busy loops on the monitor's processor; no goal.
hold_rows clicks "200 clicks, two busy loops on its CPU"
echo
# 10 clicks while the monitor is stopped for 2 s: the holds it prints once let go on (the kernel
# stamps each report inside its write).
hold_rows paused "10 clicks while stopped for 2 s"
