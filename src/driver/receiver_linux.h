// The mice being watched, their reports turned into raw mouse records, and the pump that drains
// them.
#pragma once

#include <csignal>
#include <cstdint>

// One mouse report in the terms the analysis takes: the platform's usButtonFlags and
// usButtonData of a raw mouse record.
struct MouseRecord {
    uint16_t usButtonFlags;
    uint16_t usButtonData;
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

// Adds one event to the frame. At the end of a report it fills the record and resets the frame
// (kRecord); where the kernel dropped events it starts skipping (kDropped).
FrameStep AddEvent(FrameState* frame, uint16_t type, uint16_t code, int32_t value, MouseRecord* record);

// Set by SIGINT, SIGTERM and SIGHUP: the pump ends its drain at once and returns after the pass.
extern volatile std::sig_atomic_t quitRequested;

// Installs the quit signals, watches root/dev/input for mice plugged in later (or root/dev for
// root/dev/input to appear), and opens the mice now present, saying on standard error which
// cannot be opened and why, and when mice plugged in later cannot be watched. root must live for
// the whole run.
void SetUpReceiver(const char* root);

// Runs pump passes (drain the hotplug watch and every mouse, sleep 1 ms, stamp the pump) until
// a quit is requested.
void RunPump();
