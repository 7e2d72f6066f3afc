#include "timing/timing.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

#include "fake_clock.h"

namespace {

__extension__ typedef __int128 Int128;

// Reference conversion in 128-bit arithmetic: the product counter * 1000 formed in full.
int64_t WideCounterToMs(int64_t counter, int64_t frequency) {
    return static_cast<int64_t>(static_cast<Int128>(counter) * 1000 / frequency);
}

TEST(CounterToMs, TruncatesToWholeMilliseconds) {
    EXPECT_EQ(CounterToMs(123456789, 10000000), 12345);
    EXPECT_EQ(CounterToMs(9999, 10000000), 0);
    EXPECT_EQ(CounterToMs(10000, 10000000), 1);
    EXPECT_EQ(CounterToMs(7, 1000), 7);
    EXPECT_EQ(CounterToMs(1, 1), 1000);
}

TEST(CounterToMs, MatchesTheFullProductWhereverItFits) {
    const int64_t frequencies[] = {1000, 3579545, 10000000, 14318180, 2995200000, 1000000000};
    uint64_t state = 0x9E3779B97F4A7C15u;
    for (const int64_t frequency : frequencies) {
        for (int i = 0; i < 10000; ++i) {
            state = state * 6364136223846793005u + 1442695040888963407u;
            const auto counter = static_cast<int64_t>(state >> 1) / 1000;  // product fits
            ASSERT_EQ(CounterToMs(counter, frequency), counter * 1000 / frequency)
                << "counter " << counter << " at " << frequency << " Hz";
        }
    }
}

TEST(CounterToMs, StaysRightPastTheOverflowOfTheProduct) {
    const int64_t max = std::numeric_limits<int64_t>::max();
    EXPECT_EQ(CounterToMs(10000000000000000, 10000000), 1000000000000);
    EXPECT_EQ(CounterToMs(max, 10000000), 922337203685477);
    EXPECT_EQ(CounterToMs(max, 2995200000), WideCounterToMs(max, 2995200000));
    EXPECT_EQ(CounterToMs(max - 1, 3579545), WideCounterToMs(max - 1, 3579545));
    EXPECT_EQ(CounterToMs(max / 1000 + 1, 10000000), WideCounterToMs(max / 1000 + 1, 10000000));
}

TEST(SeedTimingState, ReadsPumpPressReleaseWheelInOrderWithTheReleaseOffset) {
    timingState = {};
    fakeNowMs = 100;
    fakeStepMs = 1;
    SeedTimingState();
    EXPECT_EQ(timingState.pumpMs, 100);
    EXPECT_EQ(timingState.pressMs, 101);
    EXPECT_EQ(timingState.releaseMs, 122);
    EXPECT_EQ(timingState.wheelMs, 103);
    EXPECT_EQ(timingState.latestMs, 103) << "the last reading";
    EXPECT_EQ(fakeNowMs, 104) << "exactly four readings";
    fakeStepMs = 0;
}

}  // namespace
