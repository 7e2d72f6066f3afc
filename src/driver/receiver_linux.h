// The mice being watched, their reports turned into raw mouse records, and the pump that drains
// them.
#pragma once

#include <csignal>
#include <cstdint>
#include <vector>

#include "devices/devices_linux.h"

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

// Makes SIGINT, SIGTERM and SIGHUP quit requests (each unless it is ignored already), watches
// root/dev/input for mice plugged in later and root/dev for root/dev/input to come and go, and
// opens the mice now present, saying on standard error which cannot be opened and why, and when
// mice plugged in later cannot be watched. Returns the mice present, to be listed. root must
// live for the whole run.
std::vector<MouseDevice> SetUpReceiver(const char* root);

// Runs pump passes (poll, drain what has something to read, sleep 1 ms, stamp the pump) until
// a quit is requested or a report line cannot be written.
void RunPump();
