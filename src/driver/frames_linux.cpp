// An event device's events turned into raw mouse records.
//
// Each event device sends a mouse report as events up to SYN_REPORT; the report becomes one
// record of the platform's flags:
//
//   BTN_LEFT 1, SYN_REPORT            -> flags 0x0001 (left down)
//   BTN_LEFT 0, SYN_REPORT            -> flags 0x0002 (left up); value 2, autorepeat, is ignored
//   BTN_LEFT 1, BTN_RIGHT 1, SYN      -> flags 0x0005, as one Windows record of both buttons
//   REL_WHEEL -1, SYN_REPORT          -> flags 0x0400, data -120
//   REL_HWHEEL 1, SYN_REPORT          -> flags 0x0800, data 120
//   REL_X 3, REL_Y -1, SYN_REPORT     -> flags 0, data 0 (motion alone)
//   SYN_DROPPED ... SYN_REPORT        -> a drop, with the time of SYN_DROPPED; the report the
//                                        kernel cut short is skipped
//
// The record carries the time of its SYN_REPORT, which the kernel stamped when the device sent
// the report, in whole milliseconds: sec * 1000 + usec / 1000.
#include "driver/frames_linux.h"

#include <algorithm>

#include "analysis/raw_mouse.h"

namespace {

constexpr int32_t kNotchesMax = 32768 / kWheelDeltaPerNotch + 1;  // beyond 16 bits of delta
constexpr int64_t kMsPerSecond = 1000;
constexpr int64_t kUsPerMs = 1000;

// Returns the down flag of a button code (the up flag is twice it), or 0 for other codes.
uint16_t DownFlag(uint16_t code) {
    switch (code) {
    case BTN_LEFT: return RI_MOUSE_LEFT_BUTTON_DOWN;
    case BTN_RIGHT: return RI_MOUSE_RIGHT_BUTTON_DOWN;
    case BTN_MIDDLE: return RI_MOUSE_MIDDLE_BUTTON_DOWN;
    case BTN_SIDE: return RI_MOUSE_BUTTON_4_DOWN;
    case BTN_EXTRA: return RI_MOUSE_BUTTON_5_DOWN;
    default: return 0;
    }
}

// Returns notches as a 16-bit wheel delta, clamped to its range.
uint16_t WheelDelta(int32_t notches) {
    const int32_t delta = std::clamp(notches * kWheelDeltaPerNotch, -32768, 32767);
    return static_cast<uint16_t>(static_cast<int16_t>(delta));
}

// Adds notches to a wheel's count so far, both clamped beyond 16 bits of delta.
int32_t AddNotches(int32_t total, int32_t value) {
    return std::clamp(total + std::clamp(value, -kNotchesMax, kNotchesMax), -kNotchesMax, kNotchesMax);
}

// Returns the event's time in whole milliseconds, truncated.
int64_t EventMs(const input_event& event) {
    return static_cast<int64_t>(event.input_event_sec) * kMsPerSecond +
           static_cast<int64_t>(event.input_event_usec) / kUsPerMs;
}

}  // namespace

// Adds one event to the frame; at SYN_REPORT, gives the report as a record with its time.
FrameStep AddEvent(FrameState* frame, const input_event& event, MouseRecord* record) {
    const uint16_t type = event.type;
    const uint16_t code = event.code;
    const int32_t value = event.value;
    if (type == EV_SYN && code == SYN_DROPPED) {
        *frame = {};
        frame->dropping = true;
        *record = {0, 0, EventMs(event)};  // when the kernel dropped them, to place the drop among the reports
        return FrameStep::kDropped;
    }
    if (type == EV_SYN && code == SYN_REPORT) {
        const bool dropped = frame->dropping;
        const uint16_t flags = frame->flags;
        const uint16_t data = (flags & RI_MOUSE_WHEEL) != 0    ? WheelDelta(frame->wheel)
                              : (flags & RI_MOUSE_HWHEEL) != 0 ? WheelDelta(frame->hwheel)
                                                               : 0;
        *frame = {};
        if (dropped) {
            return FrameStep::kGoesOn;
        }
        *record = {flags, data, EventMs(event)};
        return FrameStep::kRecord;
    }
    if (frame->dropping) {
        return FrameStep::kGoesOn;
    }
    if (type == EV_KEY && DownFlag(code) != 0 && (value == 0 || value == 1)) {
        frame->flags |= static_cast<uint16_t>(value == 1 ? DownFlag(code) : DownFlag(code) << 1);
    } else if (type == EV_REL && code == REL_WHEEL) {
        frame->flags |= RI_MOUSE_WHEEL;
        frame->wheel = AddNotches(frame->wheel, value);
    } else if (type == EV_REL && code == REL_HWHEEL) {
        frame->flags |= RI_MOUSE_HWHEEL;
        frame->hwheel = AddNotches(frame->hwheel, value);
    }
    return FrameStep::kGoesOn;
}
