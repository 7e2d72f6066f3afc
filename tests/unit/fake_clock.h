// A clock for tests: readings come from a value the test sets.
#pragma once

#include <cstdint>

extern int64_t fakeNowMs;   // the next reading
extern int64_t fakeStepMs;  // added to fakeNowMs after every reading
extern int64_t fakeSleptMs;        // milliseconds that SleepMs was asked for, in all
extern void (*fakeAfterSleep)();   // run after every SleepMs, when set
