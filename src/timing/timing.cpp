// Timestamps shared by the analysis, and the tick-to-millisecond conversion.
#include "timing/timing.h"

TimingState timingState{};

namespace {
constexpr int64_t kMsPerSecond = 1000;
}

// Seeds the four stamps from successive clock readings: pump, press, release (+20 ms), wheel;
// the wheel's, the last reading, is the latest.
void SeedTimingState() {
    timingState.pumpMs = NowMs();
    timingState.pressMs = NowMs();
    timingState.releaseMs = NowMs() + kReleaseSeedOffsetMs;
    timingState.wheelMs = NowMs();
    timingState.latestMs = timingState.wheelMs;
}

// Converts a counter reading to whole milliseconds: whole seconds, then the scaled remainder.
int64_t CounterToMs(int64_t counter, int64_t frequency) {
    const int64_t seconds = counter / frequency;
    const int64_t remainder = counter % frequency;
    return seconds * kMsPerSecond + remainder * kMsPerSecond / frequency;
}
