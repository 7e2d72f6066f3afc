#include <gtest/gtest.h>

#include "fake_win32.h"
#include "timing/timing.h"

namespace {

class ClockWin32 : public testing::Test {
protected:
    void SetUp() override { fakeClock = FakeClock{}; }
    // The test framework times each test with the same (faked) counter: leave it sane.
    void TearDown() override { fakeClock = FakeClock{}; }
};

TEST_F(ClockWin32, ScalesTheCounterToWholeMilliseconds) {
    fakeClock.frequency = 10000000;
    fakeClock.counter = 123456789;
    EXPECT_EQ(NowMs(), 12345);
    fakeClock.counter = 10000000000000000;  // counter * 1000 would overflow
    EXPECT_EQ(NowMs(), 1000000000000);
}

TEST_F(ClockWin32, QueriesTheFrequencyOnEveryReading) {
    fakeClock.counter = 3000000;
    fakeClock.frequency = 1000000;
    EXPECT_EQ(NowMs(), 3000);
    fakeClock.frequency = 3000000;
    EXPECT_EQ(NowMs(), 1000);
    EXPECT_EQ(fakeClock.frequencyQueries, 2);
}

TEST_F(ClockWin32, FallsBackToTheUnscaledTickCountWithoutACounter) {
    fakeClock.counterPresent = false;
    fakeClock.counter = 123456789;
    fakeClock.ticks = 0x100000005;  // past 32 bits
    EXPECT_EQ(NowMs(), 0x100000005);
    fakeClock.counterPresent = true;
    fakeClock.frequency = 0;  // a counter that reports no frequency would divide by zero
    EXPECT_EQ(NowMs(), 0x100000005);
}

}  // namespace
