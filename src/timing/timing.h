// The millisecond clock and the process-wide timestamps that the analysis compares.
#pragma once

#include <cstdint>

// Millisecond stamps on the clock's scale; one instance lives for the whole process.
struct TimingState {
    int64_t pressMs;    // latest press of any button
    int64_t releaseMs;  // latest release of any button
    int64_t wheelMs;    // latest wheel record of at least one notch
    int64_t pumpMs;     // end of the message pump's latest pass
    int64_t latestMs;   // latest stamp, or seed reading: the least that a report's own time is taken for
};

extern TimingState timingState;

// Offset added to the release seed, so that the first press is not taken for a fast click.
constexpr int64_t kReleaseSeedOffsetMs = 20;

// Returns the current time in whole milliseconds; never decreases between readings.
int64_t NowMs();

// Sleeps at least the given milliseconds, also when a signal arrives meanwhile. The pump's sleep
// where it is not the system's Sleep (Linux).
void SleepMs(int64_t ms);

// Seeds the four stamps from successive clock readings: pump, press, release (+20 ms), wheel;
// the last reading is the latest.
void SeedTimingState();

// Converts a counter reading to whole milliseconds (truncated) at the given ticks per second.
// Never forms counter * 1000, so it stays exact for every counter whose millisecond value fits;
// frequency must be positive and at most INT64_MAX / 1000.
int64_t CounterToMs(int64_t counter, int64_t frequency);
