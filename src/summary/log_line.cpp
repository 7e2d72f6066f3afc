// What a line of a mousecheck log is (CR before LF already dropped):
//
//   Mouse: Handle=0x00000001, "  Name=...", "  Id=..." -> the listing of the run whose banner follows
//   RAW INPUT Mouse:                  -> a run begins
//   Mouse Button:1 ... Mouse Button:256        -> a press of left, right, middle, button 4, 5
//   Mouse Button:2, 100ms ... :512, Tms        -> a release, T ms after the latest press
//   Fast-click detected!              -> the monitor's warning about the line before it
//   wheel check up:Tms, wheel check down:Tms   -> a notch line, T ms after the one before
//   wheel too fast!                   -> two wheel reports close to a pump pass
//   mousecheck: ...                   -> the monitor's standard error
//   mousecheck: /dev/input/event3 (...) plugged in; it is watched -> and a mouse that came
//   Mouse Butmousecheck: ...          -> 1.3.0's torn form (TornAt): the rest "ton:1" follows
//   Script started on ..., Script done on ..., ^C, blank -> ignored
//   anything else                     -> unknown
#include "summary/log_line.h"

#include <limits>

namespace {

constexpr std::string_view kButtonPrefix = "Mouse Button:";
constexpr std::string_view kWheelUpPrefix = "wheel check up:";
constexpr std::string_view kWheelDownPrefix = "wheel check down:";

// The button words of each button's press and release lines.
constexpr int64_t kPressWords[] = {1, 4, 16, 64, 256};
constexpr int64_t kReleaseWords[] = {2, 8, 32, 128, 512};

// The report lines a torn part may begin, up to their numbers.
constexpr std::string_view kReportStarts[] = {"Mouse Button:", "RAW INPUT Mouse:", "Fast-click detected!",
                                              "wheel too fast!", "wheel check up:", "wheel check down:"};

// Tells whether the text begins with the prefix.
bool StartsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

// Reads the decimal digits at the start of the text: false unless there is at least one and the
// number fits; *used says how many characters it took.
bool ReadNumber(std::string_view text, int64_t* number, size_t* used) {
    int64_t value = 0;
    size_t at = 0;
    for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at) {
        const int digit = text[at] - '0';
        if (value > (std::numeric_limits<int64_t>::max() - digit) / 10) {
            return false;
        }
        value = value * 10 + digit;
    }
    *number = value;
    *used = at;
    return at > 0;
}

// Reads "Tms", T a signed decimal, as the whole text.
bool ReadMs(std::string_view text, int64_t* ms) {
    const bool negative = StartsWith(text, "-");
    text.remove_prefix(negative ? 1 : 0);
    size_t used = 0;
    if (!ReadNumber(text, ms, &used) || text.substr(used) != "ms") {
        return false;
    }
    *ms = negative ? -*ms : *ms;
    return true;
}

// Reads digits, then the literal, moving the text past both.
bool ReadNumberThen(std::string_view* text, std::string_view literal) {
    int64_t ignored = 0;
    size_t used = 0;
    if (!ReadNumber(*text, &ignored, &used) || !StartsWith(text->substr(used), literal)) {
        return false;
    }
    text->remove_prefix(used + literal.size());
    return true;
}

// Tells whether the line is the listing's information line.
bool IsInformationLine(std::string_view line) {
    if (!StartsWith(line, "  Id=")) {
        return false;
    }
    line.remove_prefix(5);
    return ReadNumberThen(&line, ", Buttons=") && ReadNumberThen(&line, ", SampleRate=") &&
           ReadNumberThen(&line, ", HorizontalWheel=") && (line == "0" || line == "1");
}

// Tells whether the line is the listing's handle line: eight upper-case hexadecimal digits.
bool IsHandleLine(std::string_view line) {
    constexpr std::string_view kHandle = "Mouse: Handle=0x";
    if (!StartsWith(line, kHandle) || line.size() != kHandle.size() + 8) {
        return false;
    }
    for (const char c : line.substr(kHandle.size())) {
        if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'))) {
            return false;
        }
    }
    return true;
}

// Tells whether the line is blank: nothing, or spaces and tabs only.
bool IsBlank(std::string_view line) {
    return line.find_first_not_of(" \t") == std::string_view::npos;
}

// Reads a button line's rest: "1" a press, "2, 100ms" a release.
void ReadButtonLine(std::string_view rest, LogLine* result) {
    int64_t word = 0;
    size_t used = 0;
    if (!ReadNumber(rest, &word, &used) || (used > 1 && rest[0] == '0')) {
        return;
    }
    for (int b = 0; b < 5; ++b) {
        if (word == kPressWords[b] && used == rest.size()) {
            result->kind = LineKind::kPress;
            result->button = b;
        } else if (word == kReleaseWords[b] && StartsWith(rest.substr(used), ", ") &&
                   ReadMs(rest.substr(used + 2), &result->ms)) {
            result->kind = LineKind::kRelease;
            result->button = b;
        }
    }
}

}  // namespace

// Tells what a line is, and reads its button and time.
LogLine ClassifyLine(std::string_view line) {
    LogLine result;
    if (StartsWith(line, kButtonPrefix)) {
        ReadButtonLine(line.substr(kButtonPrefix.size()), &result);
    } else if (line == "Fast-click detected!") {
        result.kind = LineKind::kFastClick;
    } else if (StartsWith(line, kWheelUpPrefix) && ReadMs(line.substr(kWheelUpPrefix.size()), &result.ms)) {
        result.kind = LineKind::kWheelUp;
    } else if (StartsWith(line, kWheelDownPrefix) && ReadMs(line.substr(kWheelDownPrefix.size()), &result.ms)) {
        result.kind = LineKind::kWheelDown;
    } else if (line == "wheel too fast!") {
        result.kind = LineKind::kWheelTooFast;
    } else if (IsHandleLine(line)) {
        result.kind = LineKind::kListing;
        result.handle = true;
    } else if (StartsWith(line, "  Name=") || IsInformationLine(line)) {
        result.kind = LineKind::kListing;
    } else if (line == "RAW INPUT Mouse:") {
        result.kind = LineKind::kBanner;
    } else if (StartsWith(line, kErrorPrefix)) {
        result.kind = LineKind::kError;
    } else if (StartsWith(line, "Script started on ") || StartsWith(line, "Script done on ") || line == "^C" ||
               IsBlank(line)) {
        result.kind = LineKind::kIgnored;
    }
    return result;
}

// Returns the event number of a plugged-in line, or -1.
int64_t PluggedInEvent(std::string_view line) {
    constexpr std::string_view kNodePrefix = "mousecheck: /dev/input/event";
    constexpr std::string_view kPluggedInEnd = " plugged in; it is watched";
    int64_t number = 0;
    size_t used = 0;
    if (!StartsWith(line, kNodePrefix) || line.size() < kNodePrefix.size() + kPluggedInEnd.size() ||
        line.substr(line.size() - kPluggedInEnd.size()) != kPluggedInEnd ||
        !ReadNumber(line.substr(kNodePrefix.size()), &number, &used) ||
        line[kNodePrefix.size() + used] != ' ') {
        return -1;
    }
    return number;
}

// Returns where the error begins in a torn line, or 0.
size_t TornAt(std::string_view line) {
    const size_t error = line.find(kErrorPrefix);
    if (error == 0 || error == std::string_view::npos) {
        return 0;
    }
    const std::string_view part = line.substr(0, error);
    for (const std::string_view start : kReportStarts) {
        if (StartsWith(start, part)) {
            return error;  // a report line cut within its words
        }
        if (StartsWith(part, start) && part.size() <= start.size() + 24 &&
            part.find_first_not_of("0123456789, -ms", start.size()) == std::string_view::npos) {
            return error;  // cut within its numbers
        }
    }
    return 0;
}
