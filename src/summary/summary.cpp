// Runs, counts and verdicts of a mousecheck log, read line by line.
//
// Lines (CR before LF dropped; a last line without LF is cut short, left out, and noted):
//
//   Mouse: Handle=0x00000001, "  Name=...", "  Id=..." -> the listing of the run whose banner follows
//   RAW INPUT Mouse:                  -> a run begins (at its listing, the first at line 1)
//   Mouse Button:1 ... Mouse Button:256        -> a press of left, right, middle, button 4, 5
//   Mouse Button:2, 100ms ... :512, Tms        -> a release; T is a hold when the latest press
//                                                 line was the same button's
//   Fast-click detected!  after "Mouse Button:1", the latest release left's -> left, after a press
//                         after "Mouse Button:1", the latest release right's or none -> left,
//                                                                     with another button
//                         after "Mouse Button:2, 10ms", latest press left's -> left, after a release
//                         after anything else (a report of several buttons printed it) -> a note
//   wheel check up:Tms, wheel check down:Tms  -> notches; the other way than the notch line
//                         before, T <= 250 -> a reversal, unless that line was itself one
//                         (down, down, up 150ms, down 150ms: one skip, one reversal)
//   wheel too fast!                   -> counted, never a fault
//   mousecheck: ...                   -> the monitor's standard error, ignored; "the kernel
//                                        dropped events" gives a note
//   Mouse Butmousecheck: ... / ton:1  -> 1.3.0's torn form: the error's line ends a part of a
//                                        report line whose rest is the next line; joined again
//   Script started on ..., Script done on ..., ^C, blank -> ignored
//   anything else, or an event line before the first banner -> unknown: counted, the first shown
#include "summary/summary.h"

#include <limits>

namespace {

constexpr int64_t kReversalWindowMs = 250;  // inclusive
constexpr size_t kShownLineMax = 60;        // characters of an unknown line shown in a note
constexpr int kNoButton = -1;

const char* const kButtonNames[kSummaryButtons] = {"left", "right", "middle", "button 4", "button 5"};
const char* const kPressTexts[kSummaryButtons] = {"1", "4", "16", "64", "256"};
const char* const kReleaseTexts[kSummaryButtons] = {"2", "8", "32", "128", "512"};

constexpr char kButtonPrefix[] = "Mouse Button:";
constexpr char kWheelUpPrefix[] = "wheel check up:";
constexpr char kWheelDownPrefix[] = "wheel check down:";
constexpr char kErrorPrefix[] = "mousecheck: ";

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

// A line's kind and what it carries.
struct Line {
    LineKind kind = LineKind::kUnknown;
    bool handle = false;  // a listing line that names a mouse
    int button = kNoButton;
    int64_t ms = 0;
};

// The reader's state between lines: the run it adds to, and what the next line is measured by.
struct Reader {
    std::vector<RunSummary> runs{1};
    bool started = false;          // the current run has had its banner
    int pendingListingLines = 0;   // listing lines since the last banner
    size_t pendingFirstLine = 0;
    std::string pendingFirstText;
    int pendingMice = 0;
    int latestPress = kNoButton;    // the button of the latest press line of the run
    int latestRelease = kNoButton;  // of the latest release line
    LineKind previousEvent = LineKind::kIgnored;  // the event line right before, in this run
    int previousButton = kNoButton;               // its button, for a press or release
    int previousOtherEnd = kNoButton;  // for a press, the latest release before it; for a release, the latest press
    int wheelDirection = 0;            // of the latest notch line: 1 up, -1 down, 0 none yet
    bool wheelReversed = false;        // the latest notch line was a reversal
    std::string torn;                  // the start of a report line that an error line cut
};

// Tells whether the text begins with the prefix.
bool StartsWith(const std::string& text, const char* prefix) {
    return text.compare(0, std::char_traits<char>::length(prefix), prefix) == 0;
}

// Reads a run of decimal digits from at to end; false unless there is at least one, and the
// number fits.
bool ReadDigits(const std::string& text, size_t at, size_t end, int64_t* number) {
    if (at >= end) {
        return false;
    }
    int64_t value = 0;
    for (size_t i = at; i < end; ++i) {
        if (text[i] < '0' || text[i] > '9') {
            return false;
        }
        const int digit = text[i] - '0';
        if (value > (std::numeric_limits<int64_t>::max() - digit) / 10) {
            return false;
        }
        value = value * 10 + digit;
    }
    *number = value;
    return true;
}

// Reads "Tms", T a signed decimal, from at to the end of the text.
bool ReadMs(const std::string& text, size_t at, int64_t* ms) {
    if (text.size() < at + 2 || text.compare(text.size() - 2, 2, "ms") != 0) {
        return false;
    }
    const bool negative = at < text.size() && text[at] == '-';
    if (!ReadDigits(text, at + (negative ? 1 : 0), text.size() - 2, ms)) {
        return false;
    }
    *ms = negative ? -*ms : *ms;
    return true;
}

// Tells whether the text from at is digits, then the literal, and returns where it ends.
bool ReadNumberThen(const std::string& text, size_t* at, const char* literal) {
    size_t end = *at;
    while (end < text.size() && text[end] >= '0' && text[end] <= '9') {
        ++end;
    }
    int64_t ignored = 0;
    if (!ReadDigits(text, *at, end, &ignored) || text.compare(end, std::char_traits<char>::length(literal), literal) != 0) {
        return false;
    }
    *at = end + std::char_traits<char>::length(literal);
    return true;
}

// Tells whether the line is the listing's information line.
bool IsInformationLine(const std::string& line) {
    size_t at = 5;
    return StartsWith(line, "  Id=") && ReadNumberThen(line, &at, ", Buttons=") &&
           ReadNumberThen(line, &at, ", SampleRate=") && ReadNumberThen(line, &at, ", HorizontalWheel=") &&
           at + 1 == line.size() && (line[at] == '0' || line[at] == '1');
}

// Tells whether the line is the listing's handle line: eight upper-case hexadecimal digits.
bool IsHandleLine(const std::string& line) {
    constexpr size_t kDigitsAt = 16;  // after "Mouse: Handle=0x"
    if (!StartsWith(line, "Mouse: Handle=0x") || line.size() != kDigitsAt + 8) {
        return false;
    }
    for (size_t i = kDigitsAt; i < line.size(); ++i) {
        if (!((line[i] >= '0' && line[i] <= '9') || (line[i] >= 'A' && line[i] <= 'F'))) {
            return false;
        }
    }
    return true;
}

// Tells whether the line is blank: nothing, or spaces and tabs only.
bool IsBlank(const std::string& line) {
    return line.find_first_not_of(" \t") == std::string::npos;
}

// Tells what a line is, and reads its button and time.
Line ClassifyLine(const std::string& line) {
    Line result;
    if (IsHandleLine(line)) {
        result.kind = LineKind::kListing;
        result.handle = true;
    } else if (StartsWith(line, "  Name=") || IsInformationLine(line)) {
        result.kind = LineKind::kListing;
    } else if (line == "RAW INPUT Mouse:") {
        result.kind = LineKind::kBanner;
    } else if (StartsWith(line, kButtonPrefix)) {
        const std::string rest = line.substr(sizeof(kButtonPrefix) - 1);
        for (int b = 0; b < kSummaryButtons; ++b) {
            const std::string release = std::string(kReleaseTexts[b]) + ", ";
            if (rest == kPressTexts[b]) {
                result.kind = LineKind::kPress;
                result.button = b;
            } else if (StartsWith(rest, release.c_str()) && ReadMs(rest, release.size(), &result.ms)) {
                result.kind = LineKind::kRelease;
                result.button = b;
            }
        }
    } else if (line == "Fast-click detected!") {
        result.kind = LineKind::kFastClick;
    } else if (line == "wheel too fast!") {
        result.kind = LineKind::kWheelTooFast;
    } else if (StartsWith(line, kWheelUpPrefix) && ReadMs(line, sizeof(kWheelUpPrefix) - 1, &result.ms)) {
        result.kind = LineKind::kWheelUp;
    } else if (StartsWith(line, kWheelDownPrefix) && ReadMs(line, sizeof(kWheelDownPrefix) - 1, &result.ms)) {
        result.kind = LineKind::kWheelDown;
    } else if (StartsWith(line, kErrorPrefix)) {
        result.kind = LineKind::kError;
    } else if (StartsWith(line, "Script started on ") || StartsWith(line, "Script done on ") || line == "^C" ||
               IsBlank(line)) {
        result.kind = LineKind::kIgnored;
    }
    return result;
}

// Returns the line as a note shows it: printable ASCII, others as '?', at most kShownLineMax
// characters.
std::string Shown(const std::string& line) {
    std::string shown;
    for (const char c : line.substr(0, kShownLineMax)) {
        shown.push_back(c >= ' ' && c <= '~' ? c : '?');
    }
    return line.size() > kShownLineMax ? shown + "..." : shown;
}

// Counts an unknown line in the run, keeping the first.
void CountUnknown(RunSummary* run, size_t number, const std::string& line) {
    if (run->unknownLines++ == 0) {
        run->firstUnknownLine = number;
        run->firstUnknown = Shown(line);
    }
}

// Starts a run at a banner: the first one takes the lines before it, a later one begins at its
// listing, or at the banner when it has none.
void StartRun(Reader* reader, size_t number) {
    if (reader->started) {
        RunSummary next;
        next.firstLine = reader->pendingListingLines > 0 ? reader->pendingFirstLine : number;
        reader->runs.back().lastLine = next.firstLine - 1;
        reader->runs.push_back(next);
    }
    reader->started = true;
    reader->runs.back().mice = reader->pendingMice;
    reader->pendingListingLines = 0;
    reader->pendingMice = 0;
    reader->latestPress = kNoButton;
    reader->latestRelease = kNoButton;
    reader->previousEvent = LineKind::kIgnored;
    reader->wheelDirection = 0;
    reader->wheelReversed = false;
}

// Counts a "Fast-click detected!" line by the event line right before it.
void CountFastClick(const Reader& reader, RunSummary* run) {
    const bool afterPress = reader.previousEvent == LineKind::kPress;
    if (!afterPress && reader.previousEvent != LineKind::kRelease) {
        ++run->fastWithNoButton;
        return;
    }
    ButtonCounts& counts = run->buttons[reader.previousButton];
    if (reader.previousOtherEnd != reader.previousButton) {
        ++counts.fastWithAnother;
    } else if (afterPress) {
        ++counts.fastAfterPress;
    } else {
        ++counts.fastAfterRelease;
    }
}

// Counts a notch line, and a reversal when it is one.
void CountNotch(Reader* reader, RunSummary* run, int direction, int64_t ms) {
    (direction > 0 ? run->wheel.up : run->wheel.down) += 1;
    const bool reversal = reader->wheelDirection != 0 && direction != reader->wheelDirection &&
                          ms <= kReversalWindowMs && !reader->wheelReversed;
    run->wheel.reversals += reversal ? 1 : 0;
    reader->wheelReversed = reversal;
    reader->wheelDirection = direction;
}

// Counts an event line of a run that has had its banner.
void CountEvent(Reader* reader, const Line& line) {
    RunSummary* run = &reader->runs.back();
    switch (line.kind) {
    case LineKind::kPress:
        ++run->buttons[line.button].presses;
        reader->previousOtherEnd = reader->latestRelease;
        reader->latestPress = line.button;
        break;
    case LineKind::kRelease: {
        ButtonCounts& counts = run->buttons[line.button];
        ++counts.releases;
        if (reader->latestPress == line.button && (!counts.held || line.ms < counts.shortestHoldMs)) {
            counts.shortestHoldMs = line.ms;
        }
        counts.held = counts.held || reader->latestPress == line.button;
        reader->previousOtherEnd = reader->latestPress;
        reader->latestRelease = line.button;
        break;
    }
    case LineKind::kFastClick:
        CountFastClick(*reader, run);
        break;
    case LineKind::kWheelTooFast:
        ++run->wheel.tooFast;
        break;
    case LineKind::kWheelUp:
    case LineKind::kWheelDown:
        CountNotch(reader, run, line.kind == LineKind::kWheelUp ? 1 : -1, line.ms);
        break;
    default:
        return;
    }
    reader->previousEvent = line.kind;
    reader->previousButton = line.button;
}

// Reads one whole line, numbered from 1.
void ReadLine(Reader* reader, std::string text, size_t number) {
    text = reader->torn + text;
    reader->torn.clear();
    Line line = ClassifyLine(text);
    const size_t error = text.find(kErrorPrefix);
    if (line.kind == LineKind::kUnknown && error != std::string::npos && error > 0) {
        reader->torn = text.substr(0, error);
        text.erase(0, error);
        line.kind = LineKind::kError;
    }
    RunSummary* run = &reader->runs.back();
    switch (line.kind) {
    case LineKind::kListing:
        if (reader->pendingListingLines++ == 0) {
            reader->pendingFirstLine = number;
            reader->pendingFirstText = text;
        }
        reader->pendingMice += line.handle ? 1 : 0;
        break;
    case LineKind::kBanner:
        StartRun(reader, number);
        break;
    case LineKind::kError:
        run->droppedEvents = run->droppedEvents || text.find("the kernel dropped events") != std::string::npos;
        break;
    case LineKind::kIgnored:
        break;
    case LineKind::kUnknown:
        CountUnknown(run, number, text);
        break;
    default:
        if (reader->started) {
            CountEvent(reader, line);
        } else {
            CountUnknown(run, number, text);
        }
        break;
    }
}

// Returns "1 press" or "N presses".
std::string Count(int n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

// Returns a button's or the wheel's name in its column.
std::string Column(const char* name) {
    std::string column = std::string("  ") + name;
    column.resize(12, ' ');
    return column;
}

// Tells whether the button has any line in the run.
bool Tested(const ButtonCounts& counts) {
    return counts.presses > 0 || counts.releases > 0;
}

// Returns the verdict for a count of suspect events: fast clicks or reversals.
Verdict VerdictOf(int suspects) {
    return suspects >= 2 ? Verdict::kFault : suspects == 1 ? Verdict::kRepeat : Verdict::kHealthy;
}

// Returns the verdict line of a tested button.
std::string ButtonVerdict(const char* name, const ButtonCounts& counts) {
    const int fast = counts.fastAfterPress + counts.fastAfterRelease;
    const std::string clicks = Count(counts.presses, "click", "clicks");
    std::string text = std::string("    ") + name + ": ";
    switch (VerdictOf(fast)) {
    case Verdict::kFault:
        text += std::to_string(fast) + " fast clicks in " + clicks + ": the switch bounces";
        break;
    case Verdict::kRepeat:
        text += "1 fast click in " + clicks + ": repeat the test; one alone can come from a healthy mouse";
        break;
    case Verdict::kHealthy:
        text += clicks + ", no fast click";
        break;
    }
    if (counts.fastWithAnother > 0) {
        text += ". " + std::to_string(counts.fastWithAnother) + " more with another button: press one button at a time";
    }
    return text + "\n";
}

// Returns the verdict line of a tested wheel.
std::string WheelVerdict(const WheelCounts& wheel) {
    const std::string notches = Count(wheel.up + wheel.down, "notch", "notches");
    switch (VerdictOf(wheel.reversals)) {
    case Verdict::kFault:
        return "    wheel: " + std::to_string(wheel.reversals) + " reversals in " + notches + ": the wheel skips\n";
    case Verdict::kRepeat:
        return "    wheel: 1 reversal in " + notches + ": repeat the test; one alone can be a quick turn back\n";
    case Verdict::kHealthy:
        break;
    }
    return "    wheel: " + notches + ", no reversal\n";
}

// Returns the block of one run.
std::string WriteRun(const RunSummary& run, size_t index, size_t runs, const std::string& name) {
    std::string text = name + ": run " + std::to_string(index) + " of " + std::to_string(runs) + ", lines " +
                       std::to_string(run.firstLine) + " to " + std::to_string(run.lastLine) + ", " +
                       Count(run.mice, "mouse", "mice") + " listed\n";
    std::string verdicts;
    std::string untested;
    for (int b = 0; b < kSummaryButtons; ++b) {
        const ButtonCounts& counts = run.buttons[b];
        text += Column(kButtonNames[b]);
        if (!Tested(counts)) {
            text += "not tested\n";
            untested += untested.empty() ? kButtonNames[b] : std::string(", ") + kButtonNames[b];
            continue;
        }
        text += Count(counts.presses, "press", "presses") + ", " + Count(counts.releases, "release", "releases");
        text += counts.held ? ", shortest hold " + std::to_string(counts.shortestHoldMs) + " ms\n" : "\n";
        text += "            fast clicks: " + std::to_string(counts.fastAfterPress) + " after a press, " +
                std::to_string(counts.fastAfterRelease) + " after a release, " +
                std::to_string(counts.fastWithAnother) + " with another button\n";
        verdicts += ButtonVerdict(kButtonNames[b], counts);
    }
    const WheelCounts& wheel = run.wheel;
    const bool wheelTested = wheel.up + wheel.down + wheel.tooFast > 0;
    text += Column("wheel");
    if (wheelTested) {
        text += std::to_string(wheel.up) + " up, " + std::to_string(wheel.down) + " down, " +
                std::to_string(wheel.tooFast) + " \"wheel too fast!\", " +
                Count(wheel.reversals, "reversal", "reversals") + "\n";
    } else {
        text += "not tested\n";
        untested += untested.empty() ? "wheel" : ", wheel";
    }
    text += "  verdict:\n" + verdicts;
    if (!untested.empty()) {
        text += "    " + untested + ": not tested\n";
    }
    if (wheelTested) {
        text += WheelVerdict(wheel);
    }
    if (run.fastWithNoButton > 0) {
        text += "  note: " + Count(run.fastWithNoButton, "\"Fast-click detected!\"", "\"Fast-click detected!\" lines") +
                " after no button line (several buttons in one report): press one button at a time\n";
    }
    if (run.mice > 1) {
        text += "  note: " + Count(run.mice, "mouse", "mice") + " listed: their clicks mix; unplug all but the one under test\n";
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
    if (run.cutShort) {
        text += "  note: the last line is cut short and was left out\n";
    }
    return text;
}

}  // namespace

// Reads the text of a log and returns its runs.
std::vector<RunSummary> SummariseLog(const std::string& text) {
    Reader reader;
    size_t number = 0;
    size_t start = 0;
    for (size_t end = text.find('\n'); end != std::string::npos; start = end + 1, end = text.find('\n', start)) {
        size_t last = end;
        while (last > start && text[last - 1] == '\r') {
            --last;
        }
        ReadLine(&reader, text.substr(start, last - start), ++number);
    }
    if (!reader.started) {
        return {};
    }
    RunSummary& run = reader.runs.back();
    if (reader.pendingListingLines > 0) {  // a listing that no banner followed
        const int lines = reader.pendingListingLines;
        CountUnknown(&run, reader.pendingFirstLine, reader.pendingFirstText);
        run.unknownLines += lines - 1;
    }
    run.lastLine = number;
    run.cutShort = start < text.size();
    return reader.runs;
}

// Returns the verdict of a run: the worst of its buttons' and its wheel's.
Verdict RunVerdict(const RunSummary& run) {
    Verdict worst = VerdictOf(run.wheel.reversals);
    for (const ButtonCounts& counts : run.buttons) {
        const Verdict button = VerdictOf(counts.fastAfterPress + counts.fastAfterRelease);
        worst = button > worst ? button : worst;
    }
    return worst;
}

// Returns the summary's text: one block for each run, a blank line between them.
std::string WriteSummary(const std::vector<RunSummary>& runs, const std::string& name) {
    std::string text;
    for (size_t i = 0; i < runs.size(); ++i) {
        text += (i > 0 ? "\n" : "") + WriteRun(runs[i], i + 1, runs.size(), name);
    }
    return text;
}
