// The millisecond clock on Windows: the performance counter, or the tick count without one.
#include <windows.h>

#include "timing/timing.h"

namespace {
// Counter frequency, queried afresh by every reading.
LARGE_INTEGER frequencyCell;
}  // namespace

// Returns the performance counter in whole milliseconds, or the tick count if there is no counter.
int64_t NowMs() {
    if (!QueryPerformanceFrequency(&frequencyCell) || frequencyCell.QuadPart <= 0) {
        return static_cast<int64_t>(GetTickCount64());
    }
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    return CounterToMs(counter.QuadPart, frequencyCell.QuadPart);
}
