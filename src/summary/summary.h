// The summary of a mousecheck log: its runs, what each shows of every button and of the wheel,
// the verdicts, and the text that says it. Read line by line (log_text.h gives the lines): each
// run's block can be written as the run ends, so memory stays the same whatever the log's size.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The five standard buttons, in the order of their flags: left, right, middle, button 4, 5.
constexpr int kSummaryButtons = 5;

// The monitor's rule: a press within this of a release, or a hold of at most this, warns.
constexpr int64_t kFastClickMs = 15;

// Holds are counted per millisecond up to this; longer ones together (memory stays bounded).
constexpr int64_t kHoldCountedMaxMs = 1000;

// A suspect extra click is held longer than kFastClickMs and at most this, whatever the median.
constexpr int64_t kSuspectHoldMaxMs = 60;

// Fewer holds longer than kFastClickMs than this give no median to judge suspects by.
constexpr int64_t kSuspectMinHolds = 10;

// Of each finding, the line numbers of its first few events are kept as evidence.
constexpr int kEvidenceLines = 3;

// The line numbers of the first few events of a finding.
struct Evidence {
    int count = 0;
    size_t lines[kEvidenceLines] = {};
};

// What one run shows of one button.
struct ButtonCounts {
    int presses = 0;
    int releases = 0;
    bool held = false;             // a release line came after a press line of this button
    int64_t shortestHoldMs = 0;    // the least time of such release lines, when held
    int fastAfterPress = 0;        // warnings: closed again within 15 ms of its own release
    int fastAfterRelease = 0;      // warnings: held 15 ms or less, after its own press
    int fastWithAnother = 0;       // warnings whose other end was another button's
    int bounces = 0;               // events: a burst of its own warnings is one bounce
    bool bounceHeld = false;       // one of the bounces has a hold of 15 ms or less
    int64_t shortestBounceMs = 0;  // the least such hold
    Evidence bounceLines;          // the first warning line of each of the first bounces
    // Holds (release lines after the same button's press), per millisecond: [0] also holds the
    // negative ones (a clock stepped back), [kHoldCountedMaxMs + 1] all the longer ones.
    uint32_t holdsAtMs[kHoldCountedMaxMs + 2] = {};
    // Of holds in (kFastClickMs, kSuspectHoldMaxMs], the first few lines at each millisecond, so
    // the suspects' evidence is at hand once the median, known at the run's end, decides.
    size_t shortHoldLines[kSuspectHoldMaxMs + 1][kEvidenceLines] = {};
};

// What one run shows of the wheel.
struct WheelCounts {
    int up = 0;
    int down = 0;
    int tooFast = 0;  // "wheel too fast!" lines
    int skips = 0;    // lone notch lines against the notches on both sides, not after a pause
    Evidence skipLines;
};

// One run of the monitor in a log: from its listing (the first run: from the log's first line)
// to the line before the next run's.
struct RunSummary {
    size_t firstLine = 1;
    size_t lastLine = 0;
    int mice = 0;  // "Mouse: Handle=" lines of its listing, and mice said plugged in while it ran
    ButtonCounts buttons[kSummaryButtons];
    WheelCounts wheel;
    int fastWithNoButton = 0;   // "Fast-click detected!" right after no press or release line
    bool startUpWarning = false;  // the first press warned against the monitor's start
    int unknownLines = 0;
    size_t firstUnknownLine = 0;
    std::string firstUnknown;
    bool droppedEvents = false;  // the monitor said the kernel dropped events
};

// What a run, or a whole log, says of the mouse, from the best to the worst.
enum class Verdict {
    kHealthy,  // no fault, nothing to repeat
    kRepeat,   // one bounce of a button, or one skip of the wheel: repeat the test
    kSuspect,  // two or more suspect extra clicks of a button
    kFault,    // two or more bounces, or skips
};

// What the suspect rule finds for one button of a finished run.
struct Suspects {
    bool judged = false;       // enough holds for a median
    int64_t medianHoldMs = 0;  // of holds longer than kFastClickMs
    int64_t limitMs = 0;       // a hold above kFastClickMs and at most this is suspect
    int count = 0;
    Evidence lines;
};

// Reads a log's lines, run by run. The block of each run goes to the sink as the run ends.
struct SummaryReader;
using RunSink = void (*)(void* context, const RunSummary& run);

// Starts a reader; the caller owns it and frees it with EndSummary. Runs go to sink(context, run).
SummaryReader* StartSummary(RunSink sink, void* context);

// Reads one whole line, without its line end; number is its line number from 1.
void SummariseLine(SummaryReader* reader, std::string_view line, size_t number);

// SummariseLine as a LineSink: context is the reader.
void SummariseLineOf(void* context, std::string_view line, size_t number);

// Returns the bytes the reader keeps from one line to the next (a torn report line's part):
// bounded whatever the log, so each line costs time in proportion to its own length.
size_t HeldBytes(const SummaryReader* reader);

// Ends the log after its last line: the last run goes to the sink. Returns how many runs there
// were, and whether any of them had a press, release or notch line; frees the reader.
struct LogTotals {
    size_t runs = 0;
    bool anyEvent = false;
};
LogTotals EndSummary(SummaryReader* reader);

// Reads the text of a log (decoded, see log_text.h) and returns its runs; none when it has no
// banner. For tests and small logs: every run is kept.
std::vector<RunSummary> SummariseLog(const std::string& text);

// Tells whether a button has any press or release line; whether a run has any press, release or
// notch line.
bool ButtonTested(const ButtonCounts& counts);
bool RunTested(const RunSummary& run);

// Returns how many holds of the button lie from fromMs to toMs, both included.
int64_t HoldsBetween(const ButtonCounts& counts, int64_t fromMs, int64_t toMs);

// Applies the suspect rule to a button of a finished run.
Suspects FindSuspects(const ButtonCounts& counts);

// Returns the verdict of a button's bounces alone, of its suspect extra clicks alone; of the
// button, of the wheel, of a run: the worst of its buttons' and wheel's.
Verdict BounceVerdict(const ButtonCounts& counts);
Verdict SuspectVerdict(const Suspects& suspects);
Verdict ButtonVerdict(const ButtonCounts& counts);
Verdict WheelVerdict(const WheelCounts& wheel);
Verdict RunVerdict(const RunSummary& run);

// Returns the block of one run, numbered from 1, the log named as given.
std::string WriteRun(const RunSummary& run, size_t index, const std::string& name);

// Tells whether a run has nothing to say but "nothing tested": no event, no note, so that runs
// of it in a row can share one block.
bool RunIsBare(const RunSummary& run);

// Returns the one block of bare runs in a row, numbered first to last, each with the mice given.
std::string WriteBareRuns(size_t firstIndex, size_t lastIndex, size_t firstLine, size_t lastLine, int mice,
                          const std::string& name);

// Returns the summary's text: one block for each run, a blank line between them.
std::string WriteSummary(const std::vector<RunSummary>& runs, const std::string& name);
