// When a report that waited in the message queue was made.
//
// The wait is the tick count now less the message's time, in 32-bit arithmetic that wraps with
// the tick count every 49.7 days. Clock at 100000 ms throughout:
//
//   tick 10000, message  9950 (waited 50 ms)          -> nothing: the clock, as a normal pass
//   tick 10000, message  9949 (waited 51 ms)          -> 99949: the pass was held up
//   tick 10000, message  9990, pass found held before -> 99990: its reports all keep their times
//   tick    20, message 0xFFFFFF00 (wrapped, 276 ms)  -> 99724
//   tick 10000, message 10001 (a time to come)        -> nothing
//   tick 30000, message 10000 (20 s)                  -> nothing: no report waits that long
#include "timing/queue_wait.h"

std::optional<int64_t> QueuedReportMs(int64_t nowMs, uint32_t tickNow, uint32_t messageTime, bool passHeld) {
    const auto waitMs = static_cast<int32_t>(tickNow - messageTime);
    if (waitMs < 0 || waitMs > kLongestWaitMs || (waitMs <= kHeldPassWaitMs && !passHeld)) {
        return std::nullopt;
    }
    return nowMs - waitMs;
}
