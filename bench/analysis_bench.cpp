// Analysis cost per raw mouse record, as the window procedure runs it, with the real clock and
// the report lines written to /dev/null, one write(2) a line as the Linux monitor writes them.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <vector>

#include "analysis/analysis.h"
#include "timing/timing.h"

namespace {

// Button words of a realistic stream: mostly pointer motion, some clicks and wheel notches.
std::vector<uint32_t> RealisticStream() {
    std::vector<uint32_t> words;
    for (int i = 0; i < 1000; ++i) {
        const int kind = i % 100;
        if (kind < 2) {
            words.push_back(kind == 0 ? 0x0001u : 0x0002u);               // press, release
        } else if (kind < 5) {
            words.push_back(static_cast<uint32_t>(kind == 2 ? 120 : 0xFF88) << 16 | 0x0400u);  // notch
        } else if (kind == 5) {
            words.push_back(0x003C0400u);                                 // partial notch
        } else {
            words.push_back(0u);                                          // motion only
        }
    }
    return words;
}

// Runs the analysis over the words, one record per iteration, output to /dev/null.
void Analyse(benchmark::State& state, const std::vector<uint32_t>& words) {
    // The report lines are written to standard output's descriptor, one write each.
    const int console = dup(STDOUT_FILENO);
    const int sink = open("/dev/null", O_WRONLY | O_CLOEXEC);
    dup2(sink, STDOUT_FILENO);
    SeedTimingState();
    size_t next = 0;
    for (auto _ : state) {
        const uint32_t word = words[next];
        AnalyseButtons(word);
        AnalyseWheel(static_cast<uint16_t>(word & 0xFFFF), static_cast<uint16_t>(word >> 16));
        next = next + 1 == words.size() ? 0 : next + 1;
    }
    dup2(console, STDOUT_FILENO);
    close(console);
    close(sink);
    state.SetItemsProcessed(state.iterations());
}

void BM_RealisticStream(benchmark::State& state) { Analyse(state, RealisticStream()); }
void BM_MotionOnly(benchmark::State& state) { Analyse(state, {0u}); }
void BM_PressRelease(benchmark::State& state) { Analyse(state, {0x0001u, 0x0002u}); }
void BM_WheelNotch(benchmark::State& state) { Analyse(state, {0x00780400u, 0xFF880400u}); }

BENCHMARK(BM_RealisticStream);
BENCHMARK(BM_MotionOnly);
BENCHMARK(BM_PressRelease);
BENCHMARK(BM_WheelNotch);

}  // namespace

BENCHMARK_MAIN();
