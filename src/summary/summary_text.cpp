// The summary's text: the block of each run.
//
//   log.txt: run 1, lines 1 to 29, 1 mouse listed          -> which run, where, how many mice
//     left      9 presses, 9 releases, shortest hold 40 ms  -> the button's lines
//               warnings: 1 closed again within 15 ms of a release, 0 held 15 ms or less
//               holds (ms): <=15: 0, 16-50: 1, 51-150: 6, 151-1000: 2, >1000: 0
//               suspect: too few holds to judge (10 needed) -> or "0 held 16 to 50 ms (...)"
//     right     not tested
//     wheel     1 up, 5 down, 0 "wheel too fast!", 1 skip
//     verdict:
//       left: 1 of 8 clicks bounced: repeat the test; ...
//         at line 14                                       -> the evidence: where in the log
//       right, middle, button 4, button 5: not tested
//       wheel: 1 skip in 6 notches: repeat the test; ...
//         at line 27
//     note: ...                                            -> what else the reader should know
//   log.txt: runs 2 to 9, lines 30 to 37, 0 mice listed in each -> bare runs in a row, one block
#include "summary/summary.h"

#include <iterator>

namespace {

const char* const kButtonNames[kSummaryButtons] = {"left", "right", "middle", "button 4", "button 5"};

// The histogram's ranges: holds up to each, in ms, the last one all longer ones.
constexpr int64_t kHoldRangeEndsMs[] = {kFastClickMs, 50, 150, kHoldCountedMaxMs, kHoldCountedMaxMs + 1};
constexpr const char* kHoldRangeNames[] = {"<=15", "16-50", "51-150", "151-1000", ">1000"};

// Returns "1 press" or "N presses".
std::string Count(int64_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

// Returns a button's or the wheel's name in its column.
std::string Column(const char* name) {
    std::string column = std::string("  ") + name;
    column.resize(12, ' ');
    return column;
}

// Returns the line under a verdict that gives the line numbers of its first events:
// "      at line 12" or "      at lines 12, 40, 77, ..." (more than shown).
std::string Lines(const Evidence& evidence) {
    const int shown = evidence.count < kEvidenceLines ? evidence.count : kEvidenceLines;
    if (shown == 0) {
        return "";
    }
    std::string text = shown == 1 ? "      at line " : "      at lines ";
    for (int i = 0; i < shown; ++i) {
        text += (i > 0 ? ", " : "") + std::to_string(evidence.lines[i]);
    }
    return text + (evidence.count > shown ? ", ...\n" : "\n");
}

// Returns the rows of a tested button under its name.
std::string ButtonRows(const ButtonCounts& counts, const Suspects& suspects) {
    std::string text = Count(counts.presses, "press", "presses") + ", " + Count(counts.releases, "release", "releases");
    text += counts.held ? ", shortest hold " + std::to_string(counts.shortestHoldMs) + " ms\n" : "\n";
    text += "            warnings: " + std::to_string(counts.fastAfterPress) + " closed again within 15 ms of a release, " +
            std::to_string(counts.fastAfterRelease) + " held 15 ms or less";
    text += counts.fastWithAnother > 0 ? ", " + std::to_string(counts.fastWithAnother) + " with another button\n" : "\n";
    text += "            holds (ms): ";
    int64_t from = 0;
    for (size_t range = 0; range < std::size(kHoldRangeNames); ++range) {
        const int64_t holds = HoldsBetween(counts, from, kHoldRangeEndsMs[range]);
        text += std::string(range > 0 ? ", " : "") + kHoldRangeNames[range] + ": " + std::to_string(holds);
        from = kHoldRangeEndsMs[range] + 1;
    }
    text += "\n";
    if (!counts.held) {
        return text;
    }
    if (suspects.judged) {
        text += "            suspect: " + std::to_string(suspects.count) + " held " + std::to_string(kFastClickMs + 1) +
                " to " + std::to_string(suspects.limitMs) + " ms (the median hold " +
                std::to_string(suspects.medianHoldMs) + " ms)\n";
    } else {
        text += "            suspect: too few holds to judge (" + std::to_string(kSuspectMinHolds) + " needed)\n";
    }
    return text;
}

// Returns the verdict lines of a tested button.
std::string ButtonVerdicts(const char* name, const ButtonCounts& counts, const Suspects& suspects) {
    const int clicks = counts.presses - counts.fastAfterPress;
    const std::string of = " of " + Count(clicks, "click", "clicks");
    std::string text = std::string("    ") + name + ": ";
    std::string evidence;
    switch (BounceVerdict(counts)) {
    case Verdict::kFault:
        text += std::to_string(counts.bounces) + of + " bounced";
        text += counts.bounceHeld ? " (shortest hold " + std::to_string(counts.shortestBounceMs) + " ms)" : "";
        text += ": the switch bounces";
        evidence = Lines(counts.bounceLines);
        break;
    case Verdict::kRepeat:
        text += "1" + of + " bounced: repeat the test; one alone can come from a healthy mouse";
        evidence = Lines(counts.bounceLines);
        break;
    default:
        text += Count(clicks, "click", "clicks") + ", none bounced";
        break;
    }
    if (counts.fastWithAnother > 0) {
        text += ". " + std::to_string(counts.fastWithAnother) + " more with another button: press one button at a time";
    }
    text += "\n" + evidence;
    if (SuspectVerdict(suspects) == Verdict::kSuspect) {
        text += std::string("    ") + name + ": " + std::to_string(suspects.count) + of + " suspect, held " +
                std::to_string(kFastClickMs + 1) + " to " + std::to_string(suspects.limitMs) +
                " ms: extra clicks of a switch that closes again after a release?\n" + Lines(suspects.lines);
    }
    return text;
}

// Returns the verdict line of a tested wheel.
std::string WheelVerdictLine(const WheelCounts& wheel) {
    const std::string notches = Count(wheel.up + wheel.down, "notch", "notches");
    switch (WheelVerdict(wheel)) {
    case Verdict::kFault:
        return "    wheel: " + std::to_string(wheel.skips) + " skips in " + notches + ": the wheel skips\n" +
               Lines(wheel.skipLines);
    case Verdict::kRepeat:
        return "    wheel: 1 skip in " + notches + ": repeat the test; one alone can be a quick turn back\n" +
               Lines(wheel.skipLines);
    default:
        break;
    }
    return "    wheel: " + notches + ", no skip\n";
}

// Returns the notes of a run.
std::string Notes(const RunSummary& run) {
    std::string text;
    if (run.startUpWarning) {
        text += "  note: the first press came 5 to 35 ms after the monitor started; its \"Fast-click detected!\" is "
                "the monitor's start-up warning, no fault\n";
    }
    if (run.fastWithNoButton > 0) {
        text += "  note: " + Count(run.fastWithNoButton, "\"Fast-click detected!\"", "\"Fast-click detected!\" lines") +
                " after no button line (several buttons in one report): press one button at a time\n";
    }
    if (run.mice > 1) {
        text += "  note: " + Count(run.mice, "mouse", "mice") +
                " listed: their clicks mix; unplug all but the one under test, or, where one device is listed as "
                "several (a receiver, a keyboard, a touchpad), keep your hands off the others\n";
    }
    if (run.unknownLines == 1) {
        text += "  note: 1 unknown line (line " + std::to_string(run.firstUnknownLine) + "): " + run.firstUnknown + "\n";
    } else if (run.unknownLines > 1) {
        text += "  note: " + std::to_string(run.unknownLines) + " unknown lines, the first (line " +
                std::to_string(run.firstUnknownLine) + "): " + run.firstUnknown + "\n";
    }
    if (run.droppedEvents) {
        text += "  note: the kernel dropped events (some reports are missing)\n";
    }
    return text;
}

}  // namespace

// Returns the block of one run.
std::string WriteRun(const RunSummary& run, size_t index, const std::string& name) {
    std::string text = name + ": run " + std::to_string(index) + ", lines " + std::to_string(run.firstLine) + " to " +
                       std::to_string(run.lastLine) + ", " + Count(run.mice, "mouse", "mice") + " listed\n";
    if (!RunTested(run)) {
        return text + "  nothing tested: no press, release or notch line\n" + Notes(run);
    }
    std::string verdicts;
    std::string untested;
    for (int b = 0; b < kSummaryButtons; ++b) {
        const ButtonCounts& counts = run.buttons[b];
        text += Column(kButtonNames[b]);
        if (!ButtonTested(counts)) {
            text += "not tested\n";
            untested += untested.empty() ? kButtonNames[b] : std::string(", ") + kButtonNames[b];
            continue;
        }
        const Suspects suspects = FindSuspects(counts);
        text += ButtonRows(counts, suspects);
        verdicts += ButtonVerdicts(kButtonNames[b], counts, suspects);
    }
    const WheelCounts& wheel = run.wheel;
    const bool wheelTested = wheel.up + wheel.down + wheel.tooFast > 0;
    text += Column("wheel");
    if (wheelTested) {
        text += std::to_string(wheel.up) + " up, " + std::to_string(wheel.down) + " down, " +
                std::to_string(wheel.tooFast) + " \"wheel too fast!\", " + Count(wheel.skips, "skip", "skips") + "\n";
    } else {
        text += "not tested\n";
        untested += untested.empty() ? "wheel" : ", wheel";
    }
    text += "  verdict:\n" + verdicts;
    if (!untested.empty()) {
        text += "    " + untested + ": not tested\n";
    }
    if (wheelTested) {
        text += WheelVerdictLine(wheel);
    }
    return text + Notes(run);
}

// Tells whether a run has nothing to say but "nothing tested".
bool RunIsBare(const RunSummary& run) {
    return !RunTested(run) && Notes(run).empty();
}

// Returns the one block of bare runs in a row.
std::string WriteBareRuns(size_t firstIndex, size_t lastIndex, size_t firstLine, size_t lastLine, int mice,
                          const std::string& name) {
    return name + ": runs " + std::to_string(firstIndex) + " to " + std::to_string(lastIndex) + ", lines " +
           std::to_string(firstLine) + " to " + std::to_string(lastLine) + ", " + Count(mice, "mouse", "mice") +
           " listed in each\n  nothing tested: no press, release or notch line\n";
}

// Returns the summary's text: one block for each run, a blank line between them.
std::string WriteSummary(const std::vector<RunSummary>& runs, const std::string& name) {
    std::string text;
    for (size_t i = 0; i < runs.size(); ++i) {
        text += (i > 0 ? "\n" : "") + WriteRun(runs[i], i + 1, name);
    }
    return text;
}
