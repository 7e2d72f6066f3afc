// An event device's events turned into raw mouse records, one a report.
#pragma once

#include <linux/input.h>

#include <cstdint>

// One mouse report in the terms the analysis takes: the platform's usButtonFlags and
// usButtonData of a raw mouse record, and when the kernel says the report was made.
struct MouseRecord {
    uint16_t usButtonFlags;
    uint16_t usButtonData;
    int64_t timeMs;  // the time of its SYN_REPORT in whole milliseconds, truncated
};

// A report being gathered from one event device's events.
struct FrameState {
    uint16_t flags;    // button, wheel and horizontal wheel flags so far
    int32_t wheel;     // notches of the vertical wheel so far
    int32_t hwheel;    // notches of the horizontal wheel so far
    bool dropping;     // the kernel dropped events: skip up to and including the next report
};

// What an event did to its frame.
enum class FrameStep { kGoesOn, kRecord, kDropped };

// Adds one event to the frame. At the end of a report it fills the record, with the report's
// time, and resets the frame (kRecord); where the kernel dropped events it starts skipping and
// gives the time of the drop in the record, with no flags (kDropped).
FrameStep AddEvent(FrameState* frame, const input_event& event, MouseRecord* record);

// Switches the event device open on fd to stamp its events with CLOCK_MONOTONIC, the clock that
// NowMs reads; false when it cannot be (the device then keeps its own clock). Called before
// the first read: a change of clock drops what is queued.
bool SetEventClock(int fd);
