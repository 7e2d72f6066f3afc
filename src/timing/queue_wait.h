// When a report that waited in the message queue was made, from the time its message was queued.
#pragma once

#include <cstdint>
#include <optional>

// A wait that a normal pass explains, and more. A pass sleeps about 15.6 ms at the system timer's
// default resolution, and the tick count that measures the wait moves in steps of up to 16 ms, so
// a report queued just after a pass's drain reads as waiting up to about 32 ms. A longer wait means
// the pass was held up (a paused console, a busy machine).
constexpr int64_t kHeldPassWaitMs = 50;

// The longest wait taken for real. A message time older than this is taken for a wrong one, so
// that no report is put back by minutes on a mistaken time; a pass held up longer than this
// stamps its reports with the clock, as a normal pass does.
constexpr int64_t kLongestWaitMs = 10000;

// Returns the time on the clock at which a report was queued, where its pass was held up:
// nowMs, the clock now, less the wait, the tick count now less the message's time (both 32-bit
// milliseconds since the system started, so the subtraction wraps). Returns nothing, for the
// report to be stamped with the clock as it is analysed, when the wait is kHeldPassWaitMs or
// less and the pass has not been found held (passHeld), and when the wait cannot be right: below
// zero (a time to come) or above kLongestWaitMs.
std::optional<int64_t> QueuedReportMs(int64_t nowMs, uint32_t tickNow, uint32_t messageTime, bool passHeld);
