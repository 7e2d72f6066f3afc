#include "analysis/analysis.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "capture.h"
#include "fake_clock.h"
#include "timing/timing.h"

namespace {

constexpr uint32_t kPressWords[] = {0x0001, 0x0004, 0x0010, 0x0040, 0x0100};
constexpr uint32_t kReleaseWords[] = {0x0002, 0x0008, 0x0020, 0x0080, 0x0200};
constexpr uint16_t kWheelFlag = 0x0400;
constexpr uint16_t kHorizontalWheelFlag = 0x0800;

class Analysis : public testing::Test {
protected:
    void SetUp() override {
        timingState = {};
        fakeNowMs = 0;
        fakeStepMs = 0;
    }

    // Analyses a button word at the given time and returns what was printed.
    static std::string ButtonsAt(int64_t nowMs, uint32_t word) {
        fakeNowMs = nowMs;
        return Printed([&] { AnalyseButtons(word); });
    }

    // Analyses a wheel record at the given time and returns what was printed.
    static std::string WheelAt(int64_t nowMs, uint16_t flags, int16_t delta) {
        fakeNowMs = nowMs;
        return Printed([&] { AnalyseWheel(flags, static_cast<uint16_t>(delta)); });
    }
};

TEST_F(Analysis, EveryButtonPrintsItsPressAndItsHoldTime) {
    for (int i = 0; i < 5; ++i) {
        const int64_t start = 1000 * (i + 1);
        EXPECT_EQ(ButtonsAt(start, kPressWords[i]),
                  "Mouse Button:" + std::to_string(kPressWords[i]) + "\n");
        EXPECT_EQ(timingState.pressMs, start);
        EXPECT_EQ(ButtonsAt(start + 100, kReleaseWords[i]),
                  "Mouse Button:" + std::to_string(kReleaseWords[i]) + ", 100ms\n");
        EXPECT_EQ(timingState.releaseMs, start + 100);
        EXPECT_EQ(timingState.pressMs, start) << "a release keeps the press stamp";
    }
}

TEST_F(Analysis, PressSoonAfterAReleaseIsAFastClick) {
    timingState.releaseMs = 990;
    EXPECT_EQ(ButtonsAt(1000, 0x0001), "Mouse Button:1\nFast-click detected!\n");
    timingState.releaseMs = 984;
    EXPECT_EQ(ButtonsAt(1000, 0x0001), "Mouse Button:1\n");
}

TEST_F(Analysis, HoldOfFifteenMillisecondsOrLessIsAFastClick) {
    ButtonsAt(1000, 0x0001);
    EXPECT_EQ(ButtonsAt(1015, 0x0002), "Mouse Button:2, 15ms\nFast-click detected!\n");
    ButtonsAt(2000, 0x0001);
    EXPECT_EQ(ButtonsAt(2016, 0x0002), "Mouse Button:2, 16ms\n");
    ButtonsAt(3000, 0x0001);
    EXPECT_EQ(ButtonsAt(3000, 0x0002), "Mouse Button:2, 0ms\nFast-click detected!\n");
}

TEST_F(Analysis, StampsAreSharedByAllButtons) {
    timingState.pressMs = 500;
    ButtonsAt(1000, 0x0002);  // left release
    EXPECT_EQ(ButtonsAt(1010, 0x0004), "Mouse Button:4\nFast-click detected!\n");
    ButtonsAt(2000, 0x0040);  // button 4 press
    EXPECT_EQ(ButtonsAt(2040, 0x0200), "Mouse Button:512, 40ms\n") << "button 5 release";
}

TEST_F(Analysis, SeveralFlagsInOneWordOnlyRunTheFastClickCheck) {
    timingState.pressMs = 1000;
    timingState.releaseMs = 1010;
    for (const uint32_t word : {0x0003u, 0x0005u, 0x0300u, 0x03FFu}) {
        EXPECT_EQ(ButtonsAt(5000, word), "Fast-click detected!\n") << word;
    }
    timingState.releaseMs = 1016;
    EXPECT_EQ(ButtonsAt(5000, 0x0003), "");
    EXPECT_EQ(timingState.pressMs, 1000);
    EXPECT_EQ(timingState.releaseMs, 1016);
}

TEST_F(Analysis, WordsOutsideOneTo1023AreIgnoredWhole) {
    timingState.pressMs = 1000;
    timingState.releaseMs = 1000;  // any word that got through would print the fast-click line
    const uint32_t words[] = {
        0x00000000,  // pointer motion only
        0x00000400,  // wheel flag, no data
        0x00780401,  // left press in a wheel record of 120
        0x00000800,  // horizontal wheel
        0x00010001,  // left press with data in the high word
        0xFFFF0002,  // left release with data in the high word
    };
    for (const uint32_t word : words) {
        EXPECT_EQ(ButtonsAt(2000, word), "") << std::hex << word;
    }
    EXPECT_EQ(timingState.pressMs, 1000);
    EXPECT_EQ(timingState.releaseMs, 1000);
}

TEST_F(Analysis, FirstPressAndReleaseAreMeasuredFromTheSeeds) {
    fakeNowMs = 5000;
    SeedTimingState();  // press 5000, release 5020
    EXPECT_EQ(ButtonsAt(5100, 0x0002), "Mouse Button:2, 100ms\n");

    fakeNowMs = 5000;
    SeedTimingState();
    EXPECT_EQ(ButtonsAt(5035, 0x0001), "Mouse Button:1\nFast-click detected!\n");
    fakeNowMs = 5000;
    SeedTimingState();
    EXPECT_EQ(ButtonsAt(5036, 0x0001), "Mouse Button:1\n");
}

TEST_F(Analysis, AReportsOwnTimeIsItsStampNeverBelowTheLatestStampOrSeedReading) {
    fakeNowMs = 5000;
    SeedTimingState();  // pump 5000, press 5000, release 5020, wheel 5000: latest 5000
    EXPECT_EQ(timingState.latestMs, 5000);
    fakeNowMs = 9999;           // the clock is not read
    timingState.pumpMs = 6000;  // the end of a held-up pass: reports made in it lie before it
    EXPECT_EQ(Printed([] { AnalyseButtons(0x0001, 4900); }), "Mouse Button:1\n") << "made before the seeds";
    EXPECT_EQ(timingState.pressMs, 5000) << "raised to the latest reading, not the release seed";
    EXPECT_EQ(Printed([] { AnalyseButtons(0x0002, 5300); }), "Mouse Button:2, 300ms\n");
    EXPECT_EQ(Printed([] { AnalyseButtons(0x0004, 5200); }), "Mouse Button:4\nFast-click detected!\n");
    EXPECT_EQ(timingState.pressMs, 5300) << "made before the latest stamp, by another mouse";
    EXPECT_EQ(Printed([] { AnalyseWheel(kWheelFlag, 120, 5500); }), "wheel check up:500ms\n");
    EXPECT_EQ(Printed([] { AnalyseWheel(kWheelFlag, 120, 5400); }), "wheel check up:0ms\n");
    EXPECT_EQ(Printed([] { AnalyseButtons(0x0008, 5600); }), "Mouse Button:8, 300ms\n");
    EXPECT_EQ(timingState.latestMs, 5600);
    EXPECT_EQ(fakeNowMs, 9999) << "no clock reading";
    EXPECT_EQ(timingState.pumpMs, 6000);
}

TEST_F(Analysis, WithoutAReportTimeTheClockStamps) {
    timingState.latestMs = 8000;
    ButtonsAt(1000, 0x0001);
    EXPECT_EQ(timingState.pressMs, 1000) << "the clock's reading, as on Windows";
    EXPECT_EQ(ButtonsAt(1100, 0x0002), "Mouse Button:2, 100ms\n");
    EXPECT_EQ(timingState.latestMs, 1100);
}

TEST_F(Analysis, LongIntervalsArePrintedWhole) {
    ButtonsAt(0, 0x0001);
    EXPECT_EQ(ButtonsAt(5000000000, 0x0002), "Mouse Button:2, 5000000000ms\n");
    timingState.pumpMs = 5000000000;
    EXPECT_EQ(WheelAt(9000000001, kWheelFlag, 120), "wheel check up:9000000001ms\n");
}

TEST_F(Analysis, OnlyWholeNotchesCount) {
    timingState.pumpMs = -1000;  // far from every wheel stamp: no warnings
    timingState.wheelMs = 100;
    EXPECT_EQ(WheelAt(200, kWheelFlag, 119), "");
    EXPECT_EQ(WheelAt(300, kWheelFlag, -119), "");
    EXPECT_EQ(WheelAt(400, kWheelFlag, 0), "");
    EXPECT_EQ(timingState.wheelMs, 100) << "partial notches leave the stamp";
    EXPECT_EQ(WheelAt(500, kWheelFlag, 119), "");
    EXPECT_EQ(WheelAt(600, kWheelFlag, 120), "wheel check up:500ms\n") << "never added up";
    EXPECT_EQ(WheelAt(700, kWheelFlag, -120), "wheel check down:100ms\n");
    EXPECT_EQ(WheelAt(800, kWheelFlag, 360), "wheel check up:100ms\n");
    EXPECT_EQ(WheelAt(900, kWheelFlag, -32768), "wheel check down:100ms\n");
    EXPECT_EQ(WheelAt(1000, kWheelFlag, 32767), "wheel check up:100ms\n");
}

TEST_F(Analysis, WarnsWhenThePreviousNotchLiesWithinFiveMillisecondsOfThePumpStamp) {
    timingState.pumpMs = 1000;
    const struct {
        int64_t previous;
        bool warns;
    } cases[] = {{994, false}, {995, true}, {1000, true}, {1005, true}, {1006, false}};
    for (const auto& c : cases) {
        timingState.wheelMs = c.previous;
        const std::string line = "wheel check down:" + std::to_string(2000 - c.previous) + "ms\n";
        EXPECT_EQ(WheelAt(2000, kWheelFlag, -240), (c.warns ? "wheel too fast!\n" : "") + line)
            << "previous notch at " << c.previous;
        EXPECT_EQ(timingState.wheelMs, 2000);
    }
}

TEST_F(Analysis, OnlyTheVerticalWheelFlagCounts) {
    timingState.wheelMs = 100;
    EXPECT_EQ(WheelAt(200, kHorizontalWheelFlag, 120), "");
    EXPECT_EQ(WheelAt(200, 0x0000, 120), "");
    EXPECT_EQ(WheelAt(200, 0x0001, 120), "");
    EXPECT_EQ(timingState.wheelMs, 100);
}

TEST_F(Analysis, WheelRecordCarryingAPressIsAWheelRecordOnly) {
    timingState.pumpMs = -1000;
    timingState.wheelMs = 100;
    const uint16_t flags = kWheelFlag | 0x0001;
    const uint16_t data = 120;
    fakeNowMs = 200;
    const std::string printed = Printed([&] {
        AnalyseButtons(static_cast<uint32_t>(data) << 16 | flags);
        AnalyseWheel(flags, data);
    });
    EXPECT_EQ(printed, "wheel check up:100ms\n");
    EXPECT_EQ(timingState.pressMs, 0);
}

}  // namespace
