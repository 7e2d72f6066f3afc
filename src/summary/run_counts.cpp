// Counting a run's events, line by line, in the user's numbers.
//
//   RAW INPUT Mouse:                 -> a run begins; the one before ends at the line before the
//                                       listing that precedes this banner, and goes to the sink
//   Mouse Button:1, Fast-click detected! (no release line yet in the run)
//                                    -> the first press came 5 to 35 ms after the start: the
//                                       monitor's start-up warning (its release stamp is seeded
//                                       20 ms after the start), a click, no bounce
//   Mouse Button:2, 90ms; Mouse Button:1; Fast-click detected!; Mouse Button:2, 6ms;
//   Fast-click detected!             -> one bounce (closed again within 15 ms of a release, then
//                                       held 6 ms): a burst of warnings of the same button, each
//                                       line of the burst warned, is one event
//   press after its own release, warned -> the switch closing again: not one of the clicks
//   Mouse Button:2, Tms after the same button's press -> a hold of T ms, counted per millisecond
//   warning after another button's line -> "with another button", not the button's own
//   warning after no press or release line (a report of several buttons) -> a note
//   down 300, down 300, up 300, down 300 -> the up is a skip: a lone notch against the notches
//                                       on both sides, not after a pause (WheelNotch)
//   down 300, up 900, down 300       -> no skip: the up came after a pause
//   down, down, up, up               -> no skip: a turn back of several notches
//   mousecheck: ... the kernel dropped events -> a note
//   mousecheck: /dev/input/event3 (...) plugged in; it is watched -> one more mouse listed, once
//                                       for each event number in the run (one plugged in again)
#include "summary/summary.h"

#include <algorithm>
#include <bitset>

#include "summary/log_line.h"
#include "summary/log_text.h"

namespace {

// A notch line more than this many times the interval before the notch before it, and more than
// kWheelPauseAtLeastMs, after the notch before it, comes after a pause: unit, times that interval.
constexpr int64_t kWheelPauseFactor = 2;
// An interval of at most this is never a pause, however fast the turn before it.
constexpr int64_t kWheelPauseAtLeastMs = 250;
constexpr size_t kShownLineMax = 60;  // characters of an unknown line shown in a note
// Event numbers below this that came in a run are remembered, so that a mouse plugged in again
// counts once; one with a higher number counts each time it comes.
constexpr size_t kRememberedEventsMax = 1024;

// A notch line: its direction (1 up, -1 down), its interval and its line.
struct Notch {
    int direction = 0;
    int64_t ms = 0;
    size_t line = 0;
    bool skip = false;
};

}  // namespace

// The reader's state between lines: the run it adds to, and what the next line is measured by.
struct SummaryReader {
    RunSink sink = nullptr;
    void* context = nullptr;
    RunSummary run;
    LogTotals totals;
    bool started = false;  // the current run has had its banner
    // The listing lines since the last banner: they begin the next run.
    int pendingListingLines = 0;
    size_t pendingFirstLine = 0;
    std::string pendingFirstText;
    int pendingMice = 0;
    std::bitset<kRememberedEventsMax> pluggedIn;  // event numbers of the mice that came in this run
    // The latest lines, what the next warning is about.
    int latestPress = kNoButton;    // the button of the latest press line of the run
    int latestRelease = kNoButton;  // of the latest release line
    LineKind previousEvent = LineKind::kIgnored;  // the event line right before, in this run
    int previousButton = kNoButton;               // its button, for a press or release
    int64_t previousMs = 0;                       // its time, for a release
    int previousOtherEnd = kNoButton;  // for a press, the latest release before it; for a release, the latest press
    bool previousFirstPress = false;   // it was the run's first press
    bool latestWarned = false;         // the latest press or release line had its button's own warning
    bool burst = false;                // the latest press or release line continues a burst of warnings
    Notch notches[2];                  // the latest two notch lines, the latest last
    std::string torn;                  // the start of a report line that an error line cut
};

namespace {

// Returns the line as a note shows it: printable ASCII, others as '?', at most kShownLineMax
// characters.
std::string Shown(std::string_view line) {
    std::string shown;
    for (const char c : line.substr(0, kShownLineMax)) {
        shown.push_back(c >= ' ' && c <= '~' ? c : '?');
    }
    return line.size() > kShownLineMax ? shown + "..." : shown;
}

// Counts an unknown line in the run, keeping the first.
void CountUnknown(RunSummary* run, size_t number, std::string_view line) {
    if (run->unknownLines++ == 0) {
        run->firstUnknownLine = number;
        run->firstUnknown = Shown(line);
    }
}

// Adds a line number to the evidence, when it is one of the first few.
void AddEvidence(Evidence* evidence, size_t line) {
    if (evidence->count < kEvidenceLines) {
        evidence->lines[evidence->count] = line;
    }
    ++evidence->count;
}

// Makes the run a new one, beginning at the line given; clears only the buttons it used, so a
// log of a million empty runs costs little.
void ResetRun(RunSummary* run, size_t firstLine) {
    for (ButtonCounts& counts : run->buttons) {
        if (ButtonTested(counts)) {
            counts = ButtonCounts{};
        }
    }
    run->firstLine = firstLine;
    run->lastLine = 0;
    run->mice = 0;
    run->wheel = WheelCounts{};
    run->fastWithNoButton = 0;
    run->startUpWarning = false;
    run->unknownLines = 0;
    run->firstUnknownLine = 0;
    run->firstUnknown.clear();
    run->droppedEvents = false;
}

// Counts a mouse that came while the run was watched, by its event number (-1: none came).
void CountPluggedIn(SummaryReader* reader, int64_t event) {
    if (event < 0) {
        return;
    }
    if (static_cast<uint64_t>(event) < kRememberedEventsMax) {
        if (reader->pluggedIn.test(static_cast<size_t>(event))) {
            return;
        }
        reader->pluggedIn.set(static_cast<size_t>(event));
    }
    ++reader->run.mice;
}

// Starts a run at a banner: the first one takes the lines before it, a later one begins at its
// listing, or at the banner when it has none; the run before goes to the sink.
void StartRun(SummaryReader* reader, size_t number) {
    if (reader->started) {
        const size_t first = reader->pendingListingLines > 0 ? reader->pendingFirstLine : number;
        reader->run.lastLine = first - 1;
        reader->sink(reader->context, reader->run);
        ResetRun(&reader->run, first);
    }
    ++reader->totals.runs;
    reader->started = true;
    reader->run.mice = reader->pendingMice;
    reader->pluggedIn.reset();
    reader->pendingListingLines = 0;
    reader->pendingMice = 0;
    reader->latestPress = kNoButton;
    reader->latestRelease = kNoButton;
    reader->previousEvent = LineKind::kIgnored;
    reader->latestWarned = false;
    reader->burst = false;
    reader->notches[0] = Notch{};
    reader->notches[1] = Notch{};
}

// Counts a hold of a button: per millisecond, and the lines of the short ones.
void CountHold(ButtonCounts* counts, int64_t ms, size_t number) {
    if (!counts->held || ms < counts->shortestHoldMs) {
        counts->shortestHoldMs = ms;
    }
    counts->held = true;
    const int64_t at = std::clamp<int64_t>(ms, 0, kHoldCountedMaxMs + 1);
    const uint32_t seen = ++counts->holdsAtMs[at];
    if (ms > kFastClickMs && ms <= kSuspectHoldMaxMs && seen <= kEvidenceLines) {
        counts->shortHoldLines[ms][seen - 1] = number;
    }
}

// Counts a "Fast-click detected!" line by the event line right before it.
void CountFastClick(SummaryReader* reader, size_t number) {
    RunSummary* run = &reader->run;
    const bool afterPress = reader->previousEvent == LineKind::kPress;
    if (!afterPress && reader->previousEvent != LineKind::kRelease) {
        ++run->fastWithNoButton;
        return;
    }
    ButtonCounts& counts = run->buttons[reader->previousButton];
    if (afterPress && reader->previousFirstPress && reader->previousOtherEnd == kNoButton) {
        run->startUpWarning = true;  // against the release stamp seeded at the start
        return;
    }
    if (reader->previousOtherEnd != reader->previousButton) {
        ++counts.fastWithAnother;
        return;
    }
    ++(afterPress ? counts.fastAfterPress : counts.fastAfterRelease);
    if (!reader->burst) {
        ++counts.bounces;
        AddEvidence(&counts.bounceLines, number);
    }
    if (!afterPress && (!counts.bounceHeld || reader->previousMs < counts.shortestBounceMs)) {
        counts.bounceHeld = true;
        counts.shortestBounceMs = reader->previousMs;
    }
    reader->latestWarned = true;
}

// Counts a press or release line, and says whether it continues a burst of warnings.
void CountButtonLine(SummaryReader* reader, const LogLine& line, size_t number) {
    ButtonCounts& counts = reader->run.buttons[line.button];
    reader->burst = reader->latestWarned && reader->previousButton == line.button;
    reader->latestWarned = false;
    if (line.kind == LineKind::kPress) {
        ++counts.presses;
        reader->previousOtherEnd = reader->latestRelease;
        reader->previousFirstPress = reader->latestPress == kNoButton;
        reader->latestPress = line.button;
    } else {
        ++counts.releases;
        if (reader->latestPress == line.button) {
            CountHold(&counts, line.ms, number);
        }
        reader->previousOtherEnd = reader->latestPress;
        reader->previousFirstPress = false;
        reader->latestRelease = line.button;
    }
}

// Counts a notch line; the one before it is a skip when it stands alone against this one and
// the one before it, at the turn's pace.
void CountNotch(SummaryReader* reader, int direction, int64_t ms, size_t number) {
    WheelCounts& wheel = reader->run.wheel;
    (direction > 0 ? wheel.up : wheel.down) += 1;
    Notch& before = reader->notches[0];
    Notch& lone = reader->notches[1];
    if (before.direction == direction && lone.direction == -direction && !before.skip) {
        const int64_t pause = std::max(kWheelPauseAtLeastMs, kWheelPauseFactor * before.ms);
        if (lone.ms <= pause && ms <= pause) {
            lone.skip = true;
            ++wheel.skips;
            AddEvidence(&wheel.skipLines, lone.line);
        }
    }
    before = lone;
    lone = Notch{direction, ms, number, false};
}

// Counts an event line of a run that has had its banner.
void CountEvent(SummaryReader* reader, const LogLine& line, size_t number) {
    switch (line.kind) {
    case LineKind::kPress:
    case LineKind::kRelease:
        CountButtonLine(reader, line, number);
        reader->totals.anyEvent = true;
        break;
    case LineKind::kFastClick:
        CountFastClick(reader, number);
        break;
    case LineKind::kWheelTooFast:
        ++reader->run.wheel.tooFast;
        break;
    case LineKind::kWheelUp:
    case LineKind::kWheelDown:
        CountNotch(reader, line.kind == LineKind::kWheelUp ? 1 : -1, line.ms, number);
        reader->totals.anyEvent = true;
        break;
    default:
        return;
    }
    reader->previousEvent = line.kind;
    reader->previousButton = line.kind == LineKind::kFastClick ? reader->previousButton : line.button;
    reader->previousMs = line.ms;
}

}  // namespace

// Starts a reader.
SummaryReader* StartSummary(RunSink sink, void* context) {
    auto* reader = new SummaryReader;
    reader->sink = sink;
    reader->context = context;
    return reader;
}

// Reads one whole line, numbered from 1.
void SummariseLine(SummaryReader* reader, std::string_view text, size_t number) {
    std::string joined;  // the torn part before this line, then the line: for this line alone
    if (!reader->torn.empty()) {
        joined = reader->torn;
        joined.append(text);
        reader->torn.clear();
        text = joined;
    }
    LogLine line = ClassifyLine(text);
    if (line.kind == LineKind::kUnknown) {
        const size_t error = TornAt(text);
        if (error > 0) {
            reader->torn.assign(text.substr(0, error));
            text.remove_prefix(error);
            line.kind = LineKind::kError;
        }
    }
    RunSummary* run = &reader->run;
    switch (line.kind) {
    case LineKind::kListing:
        if (reader->pendingListingLines++ == 0) {
            reader->pendingFirstLine = number;
            reader->pendingFirstText.assign(text.substr(0, kShownLineMax + 1));
        }
        reader->pendingMice += line.handle ? 1 : 0;
        break;
    case LineKind::kBanner:
        StartRun(reader, number);
        break;
    case LineKind::kError:
        CountPluggedIn(reader, PluggedInEvent(text));
        run->droppedEvents = run->droppedEvents || text.find("the kernel dropped events") != std::string_view::npos;
        break;
    case LineKind::kIgnored:
        break;
    case LineKind::kUnknown:
        CountUnknown(run, number, text);
        break;
    default:
        if (reader->started) {
            CountEvent(reader, line, number);
        } else {
            CountUnknown(run, number, text);
        }
        break;
    }
    reader->run.lastLine = number;
}

// Reads one whole line into the reader that context is.
void SummariseLineOf(void* context, std::string_view line, size_t number) {
    SummariseLine(static_cast<SummaryReader*>(context), line, number);
}

// Returns the bytes the reader keeps from one line to the next.
size_t HeldBytes(const SummaryReader* reader) {
    return reader->torn.capacity();
}

// Ends the log after its last line.
LogTotals EndSummary(SummaryReader* reader) {
    RunSummary& run = reader->run;
    if (reader->started) {
        if (reader->pendingListingLines > 0) {  // a listing that no banner followed
            const int lines = reader->pendingListingLines;
            const int unknown = run.unknownLines;
            CountUnknown(&run, reader->pendingFirstLine, reader->pendingFirstText);
            if (unknown > 0 && reader->pendingFirstLine < run.firstUnknownLine) {
                run.firstUnknownLine = reader->pendingFirstLine;
                run.firstUnknown = Shown(reader->pendingFirstText);
            }
            run.unknownLines += lines - 1;
        }
        reader->sink(reader->context, run);
    }
    const LogTotals totals = reader->totals;
    delete reader;
    return totals;
}

// Reads the text of a log and returns its runs.
std::vector<RunSummary> SummariseLog(const std::string& text) {
    std::vector<RunSummary> runs;
    SummaryReader* reader = StartSummary(
        [](void* context, const RunSummary& run) { static_cast<std::vector<RunSummary>*>(context)->push_back(run); },
        &runs);
    LineSplitter splitter;
    SplitLines(&splitter, text, SummariseLineOf, reader);
    FinishLines(&splitter, SummariseLineOf, reader);
    EndSummary(reader);
    return runs;
}
