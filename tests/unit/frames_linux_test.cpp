#include "driver/frames_linux.h"

#include <gtest/gtest.h>
#include <linux/input.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

struct Event {
    uint16_t type;
    uint16_t code;
    int32_t value;
};

constexpr Event kSyn{EV_SYN, SYN_REPORT, 0};

// Feeds the events to a new frame; returns each record as "flags/delta" and each drop as "dropped".
std::string Records(const std::vector<Event>& events) {
    FrameState frame{};
    std::string records;
    for (const Event& event : events) {
        MouseRecord record{};
        input_event input{};
        input.type = event.type;
        input.code = event.code;
        input.value = event.value;
        const FrameStep step = AddEvent(&frame, input, &record);
        char text[32];
        std::snprintf(text, sizeof(text), step == FrameStep::kDropped ? "dropped " : "%x/%d ",
                      record.usButtonFlags, static_cast<int16_t>(record.usButtonData));
        records += step == FrameStep::kGoesOn ? "" : text;
    }
    return records;
}

TEST(Frames, BecomeTheRecordsThatWindowsWouldGive) {
    const struct {
        std::vector<Event> events;
        const char* records;
    } cases[] = {
        {{{EV_KEY, BTN_LEFT, 1}, kSyn, {EV_KEY, BTN_LEFT, 0}, kSyn}, "1/0 2/0 "},
        {{{EV_KEY, BTN_RIGHT, 1}, kSyn, {EV_KEY, BTN_RIGHT, 0}, kSyn}, "4/0 8/0 "},
        {{{EV_KEY, BTN_MIDDLE, 1}, kSyn, {EV_KEY, BTN_MIDDLE, 0}, kSyn}, "10/0 20/0 "},
        {{{EV_KEY, BTN_SIDE, 1}, kSyn, {EV_KEY, BTN_SIDE, 0}, kSyn}, "40/0 80/0 "},
        {{{EV_KEY, BTN_EXTRA, 1}, kSyn, {EV_KEY, BTN_EXTRA, 0}, kSyn}, "100/0 200/0 "},
        {{{EV_KEY, BTN_LEFT, 2}, kSyn}, "0/0 "},                           // autorepeat
        {{{EV_KEY, BTN_LEFT, 1}, {EV_KEY, BTN_RIGHT, 1}, kSyn}, "5/0 "},  // two buttons
        {{{EV_KEY, BTN_LEFT, 1}, {EV_KEY, BTN_LEFT, 0}, kSyn}, "3/0 "},
        {{{EV_KEY, BTN_FORWARD, 1}, {EV_KEY, KEY_A, 1}, {EV_KEY, BTN_TOUCH, 1}, kSyn}, "0/0 "},
        {{{EV_REL, REL_WHEEL, 1}, kSyn, {EV_REL, REL_WHEEL, -1}, kSyn}, "400/120 400/-120 "},
        {{{EV_REL, REL_WHEEL, 3}, kSyn, {EV_REL, REL_WHEEL, 0}, kSyn}, "400/360 400/0 "},
        {{{EV_REL, REL_WHEEL, 1000}, kSyn, {EV_REL, REL_WHEEL, -2147483647 - 1}, kSyn}, "400/32767 400/-32768 "},
        {{{EV_KEY, BTN_LEFT, 1}, {EV_REL, REL_WHEEL, 1}, kSyn}, "401/120 "},  // wheel with a button
        {{{EV_REL, REL_HWHEEL, -1}, kSyn}, "800/-120 "},
        {{{EV_REL, REL_HWHEEL, 1}, {EV_REL, REL_WHEEL, -2}, kSyn}, "c00/-240 "},
        {{{EV_REL, REL_X, 5}, {EV_REL, REL_Y, -3}, {EV_REL, REL_WHEEL_HI_RES, 120}, kSyn}, "0/0 "},
        {{{EV_MSC, MSC_SCAN, 0x90001}, {EV_KEY, BTN_LEFT, 1}}, ""},  // no report yet
        // The kernel dropped events: the report cut short and the next one are skipped.
        {{{EV_KEY, BTN_LEFT, 1}, {EV_SYN, SYN_DROPPED, 0}, {EV_KEY, BTN_LEFT, 0}, kSyn,
          {EV_KEY, BTN_RIGHT, 1}, kSyn},
         "dropped 4/0 "},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Records(c.events), c.records);
    }
}

TEST(Frames, CarryTheTimeOfTheirReportInWholeMilliseconds) {
    FrameState frame{};
    MouseRecord record{};
    input_event event{};
    event.type = EV_KEY;
    event.code = BTN_LEFT;
    event.value = 1;
    event.input_event_sec = 7;  // the press itself: not the report's time
    EXPECT_EQ(AddEvent(&frame, event, &record), FrameStep::kGoesOn);
    event.type = EV_SYN;
    event.code = SYN_REPORT;
    event.value = 0;
    event.input_event_sec = 12;
    event.input_event_usec = 345999;  // truncated
    ASSERT_EQ(AddEvent(&frame, event, &record), FrameStep::kRecord);
    EXPECT_EQ(record.usButtonFlags, 1);
    EXPECT_EQ(record.timeMs, 12345);
    event.input_event_sec = 4000000000;  // past 32 bits of seconds
    event.input_event_usec = 999;
    ASSERT_EQ(AddEvent(&frame, event, &record), FrameStep::kRecord);
    EXPECT_EQ(record.timeMs, 4000000000000);
}

}  // namespace
