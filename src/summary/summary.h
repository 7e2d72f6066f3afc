// The summary of a mousecheck log: its runs, what each shows of every button and of the wheel,
// the verdicts, and the text that says it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The five standard buttons, in the order of their flags: left, right, middle, button 4, 5.
constexpr int kSummaryButtons = 5;

// What one run shows of one button.
struct ButtonCounts {
    int presses = 0;
    int releases = 0;
    bool held = false;             // a release line came after a press line of this button
    int64_t shortestHoldMs = 0;    // the least time of such release lines, when held
    int fastAfterPress = 0;        // "Fast-click detected!" after its press, the release before it its own
    int fastAfterRelease = 0;      // after its release, the press before it its own
    int fastWithAnother = 0;       // after its press or release, the other end another button's
};

// What one run shows of the wheel.
struct WheelCounts {
    int up = 0;
    int down = 0;
    int tooFast = 0;    // "wheel too fast!" lines
    int reversals = 0;  // notch lines the other way, soon after the one before
};

// One run of the monitor in a log: from its listing (the first run: from the log's first line)
// to the line before the next run's.
struct RunSummary {
    size_t firstLine = 1;
    size_t lastLine = 0;
    int mice = 0;  // "Mouse: Handle=" lines of its listing
    ButtonCounts buttons[kSummaryButtons];
    WheelCounts wheel;
    int fastWithNoButton = 0;  // "Fast-click detected!" right after no press or release line
    int unknownLines = 0;
    size_t firstUnknownLine = 0;
    std::string firstUnknown;
    bool droppedEvents = false;  // the monitor said the kernel dropped events
    bool cutShort = false;       // the log's last line has no line end (the last run only)
};

// What a run, or a whole log, says of the mouse.
enum class Verdict {
    kHealthy,  // no fault, nothing to repeat
    kRepeat,   // one fast click of a button, or one reversal: repeat the test
    kFault,    // two or more of either
};

// Reads the text of a log (decoded, see log_text.h) and returns its runs; none when it has no
// banner.
std::vector<RunSummary> SummariseLog(const std::string& text);

// Returns the verdict of a run: the worst of its buttons' and its wheel's.
Verdict RunVerdict(const RunSummary& run);

// Returns the summary's text: one block for each run, the log named as given.
std::string WriteSummary(const std::vector<RunSummary>& runs, const std::string& name);
