// The millisecond clock elsewhere: the monotonic clock.
#include <time.h>

#include "timing/timing.h"

namespace {
constexpr int64_t kNsPerSecond = 1000000000;
}

// Returns the monotonic clock in whole milliseconds.
int64_t NowMs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return CounterToMs(static_cast<int64_t>(now.tv_sec) * kNsPerSecond + now.tv_nsec, kNsPerSecond);
}
