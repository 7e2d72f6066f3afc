// The verdict's rules: what a run's counts say of each button and of the wheel.
//
//   bounces: 0 -> healthy; 1 -> repeat the test (one alone can come from a healthy mouse);
//            2 or more -> a fault
//   suspect extra clicks (FindSuspects): 2 or more -> suspect; fewer -> nothing to say
//   skips of the wheel: 0 -> healthy; 1 -> repeat the test; 2 or more -> a fault
//   a run's verdict: the worst of its buttons' and its wheel's
#include "summary/summary.h"

#include <algorithm>
#include <iterator>
#include <numeric>

namespace {

// Returns the verdict for a count of events: bounces or skips.
Verdict VerdictOf(int events) {
    return events >= 2 ? Verdict::kFault : events == 1 ? Verdict::kRepeat : Verdict::kHealthy;
}

}  // namespace

// Tells whether the button has any press or release line.
bool ButtonTested(const ButtonCounts& counts) {
    return counts.presses > 0 || counts.releases > 0;
}

// Tells whether a run has any press, release or notch line.
bool RunTested(const RunSummary& run) {
    return std::any_of(std::begin(run.buttons), std::end(run.buttons), ButtonTested) ||
           run.wheel.up + run.wheel.down > 0;
}

// Returns how many holds lie from fromMs to toMs, both included.
int64_t HoldsBetween(const ButtonCounts& counts, int64_t fromMs, int64_t toMs) {
    return std::accumulate(counts.holdsAtMs + fromMs, counts.holdsAtMs + toMs + 1, int64_t{0});
}

// A suspect extra click is a hold longer than the monitor's 15 ms, at most half the button's
// median hold and at most kSuspectHoldMaxMs: a switch that closes again 20 to 60 ms after a
// release, which Windows takes for a double click and libinput's debouncing lets through, prints
// such a pair; a finger's clicks at one pace are held alike. The median is of the holds longer
// than 15 ms (the bounces' own holds left out), once there are kSuspectMinHolds of them.
Suspects FindSuspects(const ButtonCounts& counts) {
    Suspects suspects;
    if (!counts.held) {
        return suspects;  // no hold at all: nothing to count (a million empty runs stay fast)
    }
    const int64_t holds = HoldsBetween(counts, kFastClickMs + 1, kHoldCountedMaxMs + 1);
    if (holds < kSuspectMinHolds) {
        return suspects;
    }
    suspects.judged = true;
    int64_t below = 0;
    suspects.medianHoldMs = kHoldCountedMaxMs + 1;
    for (int64_t ms = kFastClickMs + 1; ms <= kHoldCountedMaxMs; ++ms) {
        below += counts.holdsAtMs[ms];
        if (below * 2 >= holds) {
            suspects.medianHoldMs = ms;
            break;
        }
    }
    suspects.limitMs = std::min(suspects.medianHoldMs / 2, kSuspectHoldMaxMs);
    // The first few lines: each millisecond keeps its first few, so the first few of all are among them.
    size_t lines[(kSuspectHoldMaxMs + 1) * kEvidenceLines] = {};
    size_t found = 0;
    for (int64_t ms = kFastClickMs + 1; ms <= suspects.limitMs; ++ms) {
        suspects.count += static_cast<int>(counts.holdsAtMs[ms]);
        for (int i = 0; i < kEvidenceLines && i < static_cast<int>(counts.holdsAtMs[ms]); ++i) {
            lines[found++] = counts.shortHoldLines[ms][i];
        }
    }
    std::sort(lines, lines + found);
    suspects.lines.count = suspects.count;
    std::copy(lines, lines + std::min<size_t>(found, kEvidenceLines), suspects.lines.lines);
    return suspects;
}

// Returns the verdict of a button's bounces alone.
Verdict BounceVerdict(const ButtonCounts& counts) {
    return VerdictOf(counts.bounces);
}

// Returns the verdict of a button's suspect extra clicks alone.
Verdict SuspectVerdict(const Suspects& suspects) {
    return suspects.count >= 2 ? Verdict::kSuspect : Verdict::kHealthy;
}

// Returns the verdict of a button: its bounces, and its suspect extra clicks.
Verdict ButtonVerdict(const ButtonCounts& counts) {
    return std::max(BounceVerdict(counts), SuspectVerdict(FindSuspects(counts)));
}

// Returns the verdict of the wheel: its skips.
Verdict WheelVerdict(const WheelCounts& wheel) {
    return VerdictOf(wheel.skips);
}

// Returns the verdict of a run: the worst of its buttons' and its wheel's.
Verdict RunVerdict(const RunSummary& run) {
    Verdict worst = WheelVerdict(run.wheel);
    for (const ButtonCounts& counts : run.buttons) {
        worst = std::max(worst, ButtonVerdict(counts));
    }
    return worst;
}
