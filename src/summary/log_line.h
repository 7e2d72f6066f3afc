// What one line of a mousecheck log is, and what it carries.
#pragma once

#include <cstdint>
#include <string_view>

// What a line of the log is.
enum class LineKind {
    kListing,  // a handle, name or information line of the listing
    kBanner,
    kPress,
    kRelease,
    kFastClick,
    kWheelTooFast,
    kWheelUp,
    kWheelDown,
    kError,  // the monitor's standard error
    kIgnored,
    kUnknown,
};

constexpr int kNoButton = -1;

// A line's kind and what it carries.
struct LogLine {
    LineKind kind = LineKind::kUnknown;
    bool handle = false;  // a listing line that names a mouse
    int button = kNoButton;
    int64_t ms = 0;
};

// Tells what a line is, and reads its button and time.
LogLine ClassifyLine(std::string_view line);

// Of a line the monitor's standard error cut (1.3.0 wrote its errors unbuffered into a report
// line: "Mouse Butmousecheck: ..." then "ton:1"), returns where the error begins, or 0 when the
// line is no such thing: the part before it must be the start of a report line, so the parts
// kept between lines stay short and joining them stays linear.
size_t TornAt(std::string_view line);

// Of the Linux monitor's line for a mouse plugged in while it runs ("mousecheck:
// /dev/input/event3 (NAME, usb 046d:c077) plugged in; it is watched"), returns the event number,
// 3; -1 for any other line. The name between may hold anything, so only both ends are read.
int64_t PluggedInEvent(std::string_view line);

// The prefix of the monitor's standard error lines.
constexpr std::string_view kErrorPrefix = "mousecheck: ";
