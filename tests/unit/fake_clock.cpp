// A clock for tests: readings come from a value the test sets.
#include "fake_clock.h"

#include "timing/timing.h"

int64_t fakeNowMs = 0;
int64_t fakeStepMs = 0;
int64_t fakeSleptMs = 0;
void (*fakeAfterSleep)() = nullptr;

// Returns the value the test set, then advances it by the step.
int64_t NowMs() {
    const int64_t now = fakeNowMs;
    fakeNowMs += fakeStepMs;
    return now;
}

// Sleeps at once: moves the clock on by the time asked for, then runs the test's hook.
void SleepMs(int64_t ms) {
    fakeSleptMs += ms;
    fakeNowMs += ms;
    if (fakeAfterSleep != nullptr) {
        fakeAfterSleep();
    }
}
