// Fuzz target: arbitrary bytes as a log, through mousecheck-summary's whole reading path (the
// decoder, the lines, a run's counts, the verdict and the text), in blocks of the sizes the
// input's first byte picks, as a pipe gives them.
//
// Checked for every input: the text is the same whatever the blocks; each line number is one
// more than the one before; what the reader keeps between lines stays bounded; every run's
// block begins with its header, and its lines are in the log.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "summary/log_text.h"
#include "summary/summary.h"

namespace {

// Where the reading of one input is.
struct Reading {
    SummaryReader* reader = nullptr;
    size_t lines = 0;
    std::string blocks;
};

// Aborts with the message when the condition fails.
void Check(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "summary_fuzz: %s\n", what);
        std::abort();
    }
}

// Reads a line into the summary and checks its number.
void ReadLine(void* context, std::string_view line, size_t number) {
    auto* reading = static_cast<Reading*>(context);
    Check(number == reading->lines + 1, "a line number that is not the next one");
    Check(line.size() <= kLineBytesMax, "a line longer than the cap");
    reading->lines = number;
    SummariseLine(reading->reader, line, number);
    Check(HeldBytes(reading->reader) <= 1024, "more than 1 KiB kept between lines");
}

// Writes a run's block and checks it.
void WriteRunBlock(void* context, const RunSummary& run) {
    auto* reading = static_cast<Reading*>(context);
    const std::string block = WriteRun(run, 1, "log.txt");
    Check(block.compare(0, 15, "log.txt: run 1,") == 0, "a block without its header");
    Check(run.firstLine >= 1 && run.lastLine + 1 >= run.firstLine, "a run's lines out of order");
    Check(RunVerdict(run) >= Verdict::kHealthy, "a verdict out of range");
    reading->blocks += block;
}

// Reads the whole input in blocks of the given size; returns the runs' blocks.
std::string Read(const uint8_t* data, size_t size, size_t block) {
    Reading reading;
    reading.reader = StartSummary(WriteRunBlock, &reading);
    LogDecoder decoder;
    LineSplitter splitter;
    std::string text;
    for (size_t at = 0; at < size; at += block) {
        text.clear();
        const size_t part = size - at < block ? size - at : block;
        DecodeLogBytes(&decoder, reinterpret_cast<const char*>(data + at), part, &text);
        SplitLines(&splitter, text, ReadLine, &reading);
    }
    text.clear();
    FinishDecoding(&decoder, &text);
    SplitLines(&splitter, text, ReadLine, &reading);
    FinishLines(&splitter, ReadLine, &reading);
    EndSummary(reading.reader);
    return reading.blocks;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) {
        return 0;
    }
    const size_t block = 1 + data[0] % 17;
    const std::string whole = Read(data + 1, size - 1, size);
    Check(Read(data + 1, size - 1, block) == whole, "blocks of another size gave another summary");
    return 0;
}
