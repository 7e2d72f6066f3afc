// Fuzz target: arbitrary raw input records and clock steps through the window procedure's path
// (type check, button analysis, wheel analysis), with the clock substituted.
//
// Input: a sequence of 50-byte steps, a trailing partial step ignored:
//   byte 0      clock step in ms: 0..249 as is, 250..255 a jump of 2^(byte - 222) ms
//   byte 1      bit 0 set: a pump pass ends before the record (pumpMs := now)
//   bytes 2..49 a 48-byte raw input record as the platform lays it out on 64-bit Windows
//
// Checked for every record: a record that is not a mouse record prints nothing; otherwise it
// prints one of the system's line sequences, with no negative interval while the clock only
// moves forward.
#include <fcntl.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "analysis/analysis.h"
#include "fake_clock.h"
#include "timing/timing.h"

namespace {

constexpr size_t kRecordBytes = 48;
constexpr size_t kStepBytes = 2 + kRecordBytes;
constexpr size_t kTypeOffset = 0;          // RAWINPUTHEADER.dwType
constexpr size_t kButtonWordOffset = 28;   // RAWINPUT.data.mouse.ulButtons: 24 + 4
constexpr uint32_t kMouseType = 0;         // RIM_TYPEMOUSE
constexpr unsigned kFirstJumpByte = 250;
constexpr unsigned kJumpShiftBase = 222;   // byte 250 jumps 2^28 ms, byte 255 2^33 ms

// Reads a little-endian 32-bit value from the record, as the platform's structure would.
uint32_t Read32(const uint8_t* record, size_t offset) {
    uint32_t value = 0;
    for (size_t i = 0; i < 4; ++i) {
        value |= static_cast<uint32_t>(record[offset + i]) << (8 * i);
    }
    return value;
}

// Stops the run with a message: an invariant does not hold.
[[noreturn]] void Fail(const char* what, const std::string& output) {
    std::fprintf(stderr, "invariant broken: %s\noutput of the record:\n%s\n", what, output.c_str());
    std::abort();
}

// Takes a line off the front of the text; returns false when there is none.
bool TakeLine(std::string* text, std::string* line) {
    const size_t end = text->find('\n');
    if (end == std::string::npos) {
        return false;
    }
    *line = text->substr(0, end);
    text->erase(0, end + 1);
    return true;
}

// Tells whether the line is the prefix, a non-negative decimal number and the suffix.
bool IsInterval(const std::string& line, const char* prefix, const char* suffix) {
    const size_t prefixLength = std::strlen(prefix);
    const size_t suffixLength = std::strlen(suffix);
    if (line.size() <= prefixLength + suffixLength || line.compare(0, prefixLength, prefix) != 0 ||
        line.compare(line.size() - suffixLength, suffixLength, suffix) != 0) {
        return false;
    }
    for (size_t i = prefixLength; i < line.size() - suffixLength; ++i) {
        if (line[i] < '0' || line[i] > '9') {
            return false;  // a '-' here is a negative interval
        }
    }
    return true;
}

// Checks what one mouse record printed against the lines its button word allows.
void CheckRecordOutput(uint32_t word, const std::string& output) {
    std::string rest = output;
    std::string line;
    const bool guarded = word >= 1 && word <= 0x3FF;
    const bool press = word == 0x1 || word == 0x4 || word == 0x10 || word == 0x40 || word == 0x100;
    const bool release = word == 0x2 || word == 0x8 || word == 0x20 || word == 0x80 || word == 0x200;
    if (rest.empty()) {
        if (press || release) {
            Fail("a press or release printed nothing", output);
        }
        return;
    }
    if (guarded) {
        TakeLine(&rest, &line);
        if (press) {
            if (line != "Mouse Button:" + std::to_string(word)) {
                Fail("press line", output);
            }
            if (!TakeLine(&rest, &line)) {
                return;
            }
        } else if (release) {
            if (!IsInterval(line, ("Mouse Button:" + std::to_string(word) + ", ").c_str(), "ms")) {
                Fail("release line", output);
            }
            if (!TakeLine(&rest, &line)) {
                return;
            }
        }
        if (line != "Fast-click detected!" || !rest.empty()) {
            Fail("only a fast-click line may follow", output);
        }
        return;
    }
    // Every other mouse record: at most the wheel's lines.
    if ((word & 0x0400) == 0) {
        Fail("a record without the wheel flag printed", output);
    }
    TakeLine(&rest, &line);
    if (line == "wheel too fast!") {
        TakeLine(&rest, &line);
    }
    const bool up = static_cast<int16_t>(word >> 16) > 0;
    if (!IsInterval(line, up ? "wheel check up:" : "wheel check down:", "ms") || !rest.empty()) {
        Fail("wheel line", output);
    }
}

// Returns what the analysis wrote to standard output since the last call: the report lines go
// to its descriptor (one write a line on Linux), which points into a pipe while an input runs.
std::string TakePrinted(int pipeRead) {
    std::string printed;
    char chunk[512];
    ssize_t got = 0;
    while ((got = read(pipeRead, chunk, sizeof(chunk))) > 0) {
        printed.append(chunk, static_cast<size_t>(got));
    }
    return printed;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // One record prints a few short lines: far less than a pipe holds, so no write waits.
    int pipeEnds[2];
    if (pipe2(pipeEnds, O_CLOEXEC | O_NONBLOCK) != 0) {
        return 0;
    }
    std::fflush(stdout);
    const int console = dup(STDOUT_FILENO);
    dup2(pipeEnds[1], STDOUT_FILENO);

    fakeNowMs = 1000;
    fakeStepMs = 0;
    timingState = {};
    SeedTimingState();
    for (size_t at = 0; at + kStepBytes <= size; at += kStepBytes) {
        const unsigned step = data[at];
        fakeNowMs += step < kFirstJumpByte ? step : int64_t{1} << (step - kJumpShiftBase);
        if ((data[at + 1] & 1) != 0) {
            timingState.pumpMs = NowMs();
        }
        const uint8_t* record = data + at + 2;
        const uint32_t type = Read32(record, kTypeOffset);
        const uint32_t word = Read32(record, kButtonWordOffset);
        if (type == kMouseType) {
            AnalyseButtons(word);
            AnalyseWheel(static_cast<uint16_t>(word & 0xFFFF), static_cast<uint16_t>(word >> 16));
        }
        const std::string output = TakePrinted(pipeEnds[0]);
        if (type != kMouseType && !output.empty()) {
            Fail("a record that is not a mouse record printed", output);
        }
        if (type == kMouseType) {
            CheckRecordOutput(word, output);
        }
    }

    dup2(console, STDOUT_FILENO);
    close(console);
    close(pipeEnds[0]);
    close(pipeEnds[1]);
    return 0;
}
