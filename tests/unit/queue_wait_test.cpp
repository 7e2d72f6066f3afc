#include "timing/queue_wait.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>

namespace {

constexpr int64_t kNowMs = 100000;  // the clock, read as the message is analysed

TEST(QueuedReportMs, PutsAReportBackByItsWaitOnlyWhenItsPassWasHeldUp) {
    const struct {
        const char* what;
        uint32_t tickNow;
        uint32_t messageTime;
        bool passHeld;
        std::optional<int64_t> reportMs;
    } cases[] = {
        {"a normal pass: 16 ms, one tick step", 10000, 9984, false, std::nullopt},
        {"just under the bound, 50 ms", 10000, 9950, false, std::nullopt},
        {"just over the bound, 51 ms", 10000, 9949, false, kNowMs - 51},
        {"a short wait in a pass found held", 10000, 9990, true, kNowMs - 10},
        {"the tick count wrapped since it was queued", 20, 0xFFFFFF00u, false, kNowMs - 276},
        {"just before a wrap, 60 ms", 0xFFFFFFF0u, 0xFFFFFFB4u, false, kNowMs - 60},
        {"a time to come, 1 ms", 10000, 10001, false, std::nullopt},
        {"a time to come across a wrap", 0xFFFFFFF0u, 5, false, std::nullopt},
        {"the longest wait, 10 s", 30000, 20000, false, kNowMs - 10000},
        {"20 s old", 30000, 10000, false, std::nullopt},
        {"half the tick count's range away", 0x80000000u, 0, false, std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(QueuedReportMs(kNowMs, c.tickNow, c.messageTime, c.passHeld), c.reportMs) << c.what;
    }
}

}  // namespace
