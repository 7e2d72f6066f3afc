// A clock for tests: readings come from a value the test sets.
#include "fake_clock.h"

#include "timing/timing.h"

int64_t fakeNowMs = 0;
int64_t fakeStepMs = 0;

// Returns the value the test set, then advances it by the step.
int64_t NowMs() {
    const int64_t now = fakeNowMs;
    fakeNowMs += fakeStepMs;
    return now;
}
