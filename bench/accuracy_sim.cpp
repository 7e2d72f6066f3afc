// What the monitor reports for known input when its pump runs on a coarse timer: the real
// analysis (AnalyseButtons, AnalyseWheel, the real timing state) fed through a model of the pump
// with a simulated clock. Deterministic: a fixed seed, so the table is the same on every run.
//
// Passes of 1.1 ms are what Wine gives (and Windows with a 1 ms timer); 15.625 ms is the
// Windows default timer, which a program that does not raise the timer resolution gets.
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "analysis/analysis.h"
#include "pump_model.h"
#include "timing/timing.h"

namespace {

constexpr int kTrials = 100000;
constexpr uint64_t kSeed = 1;
constexpr double kPassesMs[] = {1.1, 15.625};
constexpr double kChatterGapsMs[] = {1, 3, 5, 10, 14};
constexpr double kSlowGapsMs[] = {16, 20, 30, 50};
constexpr double kNotchGapsMs[] = {2, 5, 10, 20, 50};
constexpr uint32_t kPress = 0x0001;
constexpr uint32_t kRelease = 0x0002;
constexpr uint32_t kNotch = 120u << 16 | 0x0400;
constexpr double kLongAgoMs = 500;  // earlier stamps lie this far back: no effect on the pair

int64_t simulatedNowMs = 0;
FILE* console = nullptr;  // the table; standard output is the capture of the analysis's lines
std::mt19937_64 random(kSeed);

// One raw mouse record (its button word) and when it arrives.
struct Record {
    uint32_t word;
    double atMs;
};

// Plays two records through the pump model into the real analysis; returns what the second
// printed. Each trial starts with a random pump phase and clock offset, and stamps long past.
std::string PlayPair(double passMs, Record first, Record second) {
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    const PumpModel model{passMs, unit(random) * passMs, unit(random)};
    const int64_t longAgo = ClockAtMs(model, first.atMs - kLongAgoMs);
    timingState = {longAgo, longAgo, longAgo, longAgo, longAgo};
    std::string printed;
    for (const Record& record : {first, second}) {
        const double analysedAt = AnalysedAtMs(model, record.atMs);
        simulatedNowMs = ClockAtMs(model, analysedAt);
        timingState.pumpMs = simulatedNowMs;  // stamped at the end of the pass before the drain
        lseek(STDOUT_FILENO, 0, SEEK_SET);
        AnalyseButtons(record.word);
        AnalyseWheel(static_cast<uint16_t>(record.word & 0xFFFF), static_cast<uint16_t>(record.word >> 16));
        char lines[256];
        const ssize_t size = pread(STDOUT_FILENO, lines, static_cast<size_t>(lseek(STDOUT_FILENO, 0, SEEK_CUR)), 0);
        printed.assign(lines, static_cast<size_t>(std::max<ssize_t>(size, 0)));
    }
    return printed;
}

// Returns the share, in per cent, of trials whose second record printed the text.
double SharePrinting(double passMs, uint32_t firstWord, uint32_t secondWord, double gapMs, const char* text) {
    std::uniform_real_distribution<double> start(1000.0, 2000.0);
    int hits = 0;
    for (int trial = 0; trial < kTrials; ++trial) {
        const double at = start(random);
        hits += PlayPair(passMs, {firstWord, at}, {secondWord, at + gapMs}).find(text) != std::string::npos;
    }
    return 100.0 * hits / kTrials;
}

// Errors of the printed hold against holds drawn from [minMs, maxMs]: median and worst, in ms.
std::pair<double, double> HoldError(double passMs, double minMs, double maxMs) {
    std::uniform_real_distribution<double> start(1000.0, 2000.0);
    std::uniform_real_distribution<double> hold(minMs, maxMs);
    std::vector<double> errors;
    errors.reserve(kTrials);
    for (int trial = 0; trial < kTrials; ++trial) {
        const double at = start(random);
        const double held = minMs == maxMs ? minMs : hold(random);
        const std::string printed = PlayPair(passMs, {kPress, at}, {kRelease, at + held});
        long long printedMs = 0;
        if (std::sscanf(printed.c_str(), "Mouse Button:2, %lldms", &printedMs) != 1) {
            std::fprintf(stderr, "unexpected release output: %s\n", printed.c_str());
            std::exit(1);
        }
        errors.push_back(std::abs(static_cast<double>(printedMs) - held));
    }
    std::sort(errors.begin(), errors.end());
    return {errors[errors.size() / 2], errors.back()};
}

// Prints one row: a label and one value per pass length.
void Row(const std::string& label, const std::vector<std::string>& values) {
    std::fprintf(console, "| %-58s |", label.c_str());
    for (const std::string& value : values) {
        std::fprintf(console, " %-19s |", value.c_str());
    }
    std::fprintf(console, "\n");
}

// Prints a row with the value that the measure gives for each pass length.
template <typename Measure>
void Measured(const std::string& label, Measure measure) {
    std::vector<std::string> values;
    for (const double passMs : kPassesMs) {
        values.push_back(measure(passMs));
    }
    Row(label, values);
}

// Formats a share in per cent.
std::string Percent(double share) {
    char text[32];
    std::snprintf(text, sizeof(text), "%.1f %%", share);
    return text;
}

}  // namespace

// The simulated clock.
int64_t NowMs() {
    return simulatedNowMs;
}

// Prints the accuracy table for each pass length.
int main() {
    // The analysis writes its report lines to standard output's descriptor: a file in memory
    // here, read back after each record; the table goes where standard output went.
    console = fdopen(dup(STDOUT_FILENO), "w");
    dup2(memfd_create("lines", 0), STDOUT_FILENO);

    std::fprintf(console, "Simulated: the real analysis behind a model of the pump, %d trials a cell, "
                          "seed %" PRIu64 ".\n\n", kTrials, kSeed);
    Row("pump pass: the 1 ms sleep as the timer rounds it", {"1.1 ms (Wine)", "15.625 ms (Windows)"});
    std::fprintf(console, "|%s|%s|%s|\n", std::string(60, '-').c_str(), std::string(21, '-').c_str(),
                 std::string(21, '-').c_str());
    const auto flagged = [](uint32_t first, uint32_t second, double gapMs, const char* text) {
        return [=](double passMs) { return Percent(SharePrinting(passMs, first, second, gapMs, text)); };
    };
    for (const double gap : kChatterGapsMs) {
        const std::string ms = std::to_string(static_cast<int>(gap)) + " ms";
        Measured("chatter " + ms + ", release to press: flagged", flagged(kRelease, kPress, gap, "Fast-click detected!"));
        Measured("chatter " + ms + ", press to release: flagged", flagged(kPress, kRelease, gap, "Fast-click detected!"));
    }
    for (const double gap : kSlowGapsMs) {
        const std::string ms = std::to_string(static_cast<int>(gap)) + " ms";
        Measured("gap " + ms + ", release to press: flagged by mistake", flagged(kRelease, kPress, gap, "Fast-click detected!"));
        Measured("gap " + ms + ", press to release: flagged by mistake", flagged(kPress, kRelease, gap, "Fast-click detected!"));
    }
    const struct {
        const char* label;
        double minMs, maxMs;
    } holds[] = {{"hold 50 ms", 50, 50}, {"hold 100 ms", 100, 100}, {"holds of 50 to 150 ms", 50, 150}};
    for (const auto& hold : holds) {
        Measured(std::string(hold.label) + ": printed hold error, median / worst", [&](double passMs) {
            const auto error = HoldError(passMs, hold.minMs, hold.maxMs);
            char text[32];
            std::snprintf(text, sizeof(text), "%.1f / %.1f ms", error.first, error.second);
            return std::string(text);
        });
    }
    for (const double gap : kNotchGapsMs) {
        Measured("notches " + std::to_string(static_cast<int>(gap)) + " ms apart: \"wheel too fast!\"",
                 flagged(kNotch, kNotch, gap, "wheel too fast!"));
    }
    std::fclose(console);
    return 0;
}
