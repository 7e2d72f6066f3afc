// The mousecheck-summary command: the arguments, the reading of the log, the output and status.
#include "summary/command.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "summary/console.h"
#include "summary/log_text.h"
#include "summary/summary.h"
#include "summary_version.h"

namespace {

constexpr size_t kReadBlockBytes = 65536;

constexpr char kUsage[] = "usage: mousecheck-summary [--help] [--version] [LOG | -]\n";
constexpr char kHelp[] =
    "Usage: mousecheck-summary [--help] [--version] [LOG | -]\n"
    "Reads a log that mousecheck wrote, LOG or standard input (no LOG, or -), and prints for\n"
    "each run what it shows of each button and of the wheel, with a verdict: bounces (a switch\n"
    "that closed again within 15 ms of a release, or was held 15 ms or less), suspect extra\n"
    "clicks (held far shorter than the button's median hold), skips of the wheel (a lone notch\n"
    "the other way), each with the line numbers of its first events.\n"
    "\n"
    "  mousecheck | mousecheck-summary   the summary once the monitor is stopped with Ctrl+C\n"
    "  mousecheck-summary log.txt        the summary of a log\n"
    "\n"
    "Logs with LF or CRLF line ends, in UTF-8 or in UTF-16 with its mark (as Windows\n"
    "PowerShell 5.1's > writes), joined logs, with standard error mixed in, or kept by script,\n"
    "are read.\n"
    "\n"
    "  --help      print this help and exit\n"
    "  --version   print the version and exit\n"
    "\n"
    "Exit status: 0 what was tested shows nothing; 1 a fault, a suspect or a test to repeat;\n"
    "2 the log cannot be read, holds no run, or holds no press, release or notch at all.\n";

// Says an error about the named log on err.
void SayError(std::FILE* err, const std::string& name, const std::string& what) {
    std::fprintf(err, "mousecheck-summary: %s: %s\n", name.c_str(), what.c_str());
}

// Where the blocks of the runs go as the runs end, and the worst verdict so far. Bare runs in a
// row (a monitor started again and again, or a million banners) wait to share one block.
struct Output {
    std::FILE* out = nullptr;
    const std::string* name = nullptr;
    size_t runs = 0;      // runs ended so far
    size_t blocks = 0;    // blocks written
    size_t bareRuns = 0;  // bare runs waiting, the latest runs
    size_t bareFirstLine = 0;
    size_t bareLastLine = 0;
    int bareMice = 0;
    Verdict worst = Verdict::kHealthy;
    bool withheld = false;  // a read failed: the run being read is not summarised
};

// Writes a block, a blank line before all but the first.
void WriteBlock(Output* output, const std::string& block) {
    std::fputs(((output->blocks++ > 0 ? "\n" : "") + block).c_str(), output->out);
}

// Writes the bare runs that wait, if any.
void WriteBareRunsWaiting(Output* output) {
    if (output->bareRuns == 0) {
        return;
    }
    const size_t first = output->runs - output->bareRuns + 1;
    RunSummary bare;
    bare.firstLine = output->bareFirstLine;
    bare.lastLine = output->bareLastLine;
    bare.mice = output->bareMice;
    WriteBlock(output, output->bareRuns == 1 ? WriteRun(bare, first, *output->name)
                                             : WriteBareRuns(first, output->runs, output->bareFirstLine,
                                                             output->bareLastLine, output->bareMice, *output->name));
    output->bareRuns = 0;
}

// Writes the block of a run that ended, or keeps it waiting when it is bare.
void WriteRunBlock(void* context, const RunSummary& run) {
    auto* output = static_cast<Output*>(context);
    if (output->withheld) {
        return;
    }
    const bool bare = RunIsBare(run);
    if (!bare || (output->bareRuns > 0 && output->bareMice != run.mice)) {
        WriteBareRunsWaiting(output);
    }
    ++output->runs;
    if (bare) {
        output->bareFirstLine = output->bareRuns++ == 0 ? run.firstLine : output->bareFirstLine;
        output->bareLastLine = run.lastLine;
        output->bareMice = run.mice;
        return;
    }
    WriteBlock(output, WriteRun(run, output->runs, *output->name));
    output->worst = std::max(output->worst, RunVerdict(run));
}

// Reads the stream to its end, block by block, into the summary; returns 0 at its end, or the
// error of a read that failed (a non-blocking input with nothing yet is waited for).
int ReadLog(std::FILE* stream, SummaryReader* reader) {
    std::vector<char> block(kReadBlockBytes);
    LogDecoder decoder;
    LineSplitter splitter;
    std::string text;
    for (;;) {
        errno = 0;
        const size_t got = std::fread(block.data(), 1, block.size(), stream);
        const int error = errno;
        text.clear();
        DecodeLogBytes(&decoder, block.data(), got, &text);
        SplitLines(&splitter, text, SummariseLineOf, reader);
        if (got == block.size()) {
            continue;
        }
        if (std::ferror(stream) != 0 || std::feof(stream) == 0) {  // a short read is the end only at end of file
            if (WaitForInput(stream, error)) {
                continue;
            }
            return error != 0 ? error : EIO;
        }
        break;
    }
    text.clear();
    FinishDecoding(&decoder, &text);
    SplitLines(&splitter, text, SummariseLineOf, reader);
    FinishLines(&splitter, SummariseLineOf, reader);
    return 0;
}

}  // namespace

// Runs the command and returns its exit status.
int RunSummaryCommand(int argc, const char* const* argv, std::FILE* in, std::FILE* out, std::FILE* err) {
    std::vector<std::string> logs;
    bool options = true;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (options && argument == "--help") {
            std::fputs(kHelp, out);
            return std::fflush(out) == 0 ? kSummaryHealthy : kSummaryTrouble;
        } else if (options && argument == "--version") {
            std::fputs("mousecheck-summary " MOUSECHECK_SUMMARY_VERSION "\n", out);
            return std::fflush(out) == 0 ? kSummaryHealthy : kSummaryTrouble;
        } else if (options && argument == "--") {
            options = false;
        } else if (options && argument.size() > 1 && argument[0] == '-') {
            std::fprintf(err, "mousecheck-summary: unknown option %s\n%s", argument.c_str(), kUsage);
            return kSummaryTrouble;
        } else {
            logs.push_back(argument);
        }
    }
    if (logs.size() > 1) {
        std::fprintf(err, "mousecheck-summary: one log at a time\n%s", kUsage);
        return kSummaryTrouble;
    }

    const bool named = !logs.empty() && logs[0] != "-";
    const std::string name = named ? logs[0] : "standard input";
    std::FILE* log = named ? OpenLog(name.c_str()) : in;
    if (log == nullptr) {
        SayError(err, name, std::strerror(errno));
        return kSummaryTrouble;
    }
    Output output;
    output.out = out;
    output.name = &name;
    SummaryReader* reader = StartSummary(WriteRunBlock, &output);
    const int readError = ReadLog(log, reader);
    if (named) {
        std::fclose(log);
    }
    output.withheld = readError != 0;
    const LogTotals totals = EndSummary(reader);
    WriteBareRunsWaiting(&output);
    if (readError != 0) {
        std::fflush(out);
        SayError(err, name, std::string(std::strerror(readError)) + " (the summary stops at the run it was reading)");
        return kSummaryTrouble;
    }
    if (std::fflush(out) != 0 || std::ferror(out) != 0) {
        std::fprintf(err, "mousecheck-summary: cannot write the summary: %s\n", std::strerror(errno));
        return kSummaryTrouble;
    }
    if (totals.runs == 0) {
        SayError(err, name, "holds no run of mousecheck (no line \"RAW INPUT Mouse:\")");
        return kSummaryTrouble;
    }
    if (!totals.anyEvent) {
        SayError(err, name,
                 "nothing was tested: no press, release or notch line in any run (on Linux, mousecheck reads a "
                 "mouse only with the permission to: run it with sudo, or as a member of the group input)");
        return kSummaryTrouble;
    }
    return output.worst == Verdict::kHealthy ? kSummaryHealthy : kSummaryFault;
}
