#include "pump_model.h"

#include <gtest/gtest.h>

namespace {

TEST(PumpModel, AnalysesARecordAtTheEndOfItsPassOnTheWholeMillisecondClock) {
    // Passes of 15.625 ms ending at 0, 15.625, 31.25, ...; the clock turns on whole milliseconds.
    const PumpModel windows{15.625, 0.0, 0.0};
    EXPECT_DOUBLE_EQ(AnalysedAtMs(windows, 3.0), 15.625);
    EXPECT_DOUBLE_EQ(AnalysedAtMs(windows, 15.625), 15.625) << "arriving as its pass ends";
    EXPECT_DOUBLE_EQ(AnalysedAtMs(windows, 16.0), 31.25);
    EXPECT_EQ(ClockAtMs(windows, 15.625), 15);
    EXPECT_EQ(ClockAtMs(windows, 31.25), 31);

    // Passes of 1.1 ms ending at 0.5, 1.6, 2.7, ...; the clock is 0.75 ms into its millisecond.
    const PumpModel wine{1.1, 0.5, 0.75};
    EXPECT_DOUBLE_EQ(AnalysedAtMs(wine, 2.0), 2.7);
    EXPECT_EQ(ClockAtMs(wine, 2.7), 3);  // 3.45 on the clock
    EXPECT_EQ(ClockAtMs(wine, 0.2), 0);
}

}  // namespace
