// The millisecond clock elsewhere: the monotonic clock; and the pump's sleep on it.
#include <time.h>

#include <cerrno>

#include "timing/timing.h"

namespace {
constexpr int64_t kNsPerSecond = 1000000000;
constexpr int64_t kNsPerMs = 1000000;
constexpr int64_t kMsPerSecond = 1000;
}  // namespace

// Returns the monotonic clock in whole milliseconds.
int64_t NowMs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return CounterToMs(static_cast<int64_t>(now.tv_sec) * kNsPerSecond + now.tv_nsec, kNsPerSecond);
}

// Sleeps at least the given milliseconds on the monotonic clock, resumed after signals.
void SleepMs(int64_t ms) {
    timespec left{static_cast<time_t>(ms / kMsPerSecond), static_cast<long>(ms % kMsPerSecond * kNsPerMs)};
    while (nanosleep(&left, &left) != 0 && errno == EINTR) {
    }
}
