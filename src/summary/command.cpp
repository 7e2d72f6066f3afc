// The mousecheck-summary command: the arguments, the reading of the log, the output and status.
#include "summary/command.h"

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
    "Usage: mousecheck-summary [LOG]\n"
    "Reads a log that mousecheck wrote, LOG or standard input (no LOG, or -), and prints for\n"
    "each run what it shows of each button and of the wheel, with a verdict.\n"
    "\n"
    "  mousecheck | mousecheck-summary   the summary once the monitor is stopped with Ctrl+C\n"
    "  mousecheck-summary log.txt        the summary of a log\n"
    "\n"
    "Logs with LF or CRLF line ends, in UTF-8 or in UTF-16 with its mark (as Windows\n"
    "PowerShell 5.1's > writes), with standard error mixed in, or kept by script, are read.\n"
    "\n"
    "  --help      print this help and exit\n"
    "  --version   print the version and exit\n"
    "\n"
    "Exit status: 0 no fault; 1 a fault, or a test to repeat; 2 the log cannot be read or\n"
    "holds no run.\n";

// Says an error about the named log on err.
void SayError(std::FILE* err, const std::string& name, const std::string& what) {
    std::fprintf(err, "mousecheck-summary: %s: %s\n", name.c_str(), what.c_str());
}

// Reads the stream to its end into bytes; returns false, with errno, when a read fails.
bool ReadAll(std::FILE* stream, std::string* bytes) {
    std::vector<char> block(kReadBlockBytes);
    for (;;) {
        const size_t got = std::fread(block.data(), 1, block.size(), stream);
        bytes->append(block.data(), got);
        if (got < block.size()) {
            return std::ferror(stream) == 0;
        }
    }
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
    std::string bytes;
    const bool read = ReadAll(log, &bytes);
    const int readError = errno;
    if (named) {
        std::fclose(log);
    }
    if (!read) {
        SayError(err, name, std::strerror(readError));
        return kSummaryTrouble;
    }

    const std::vector<RunSummary> runs = SummariseLog(DecodeLog(bytes));
    if (runs.empty()) {
        SayError(err, name, "holds no run of mousecheck (no line \"RAW INPUT Mouse:\")");
        return kSummaryTrouble;
    }
    std::fputs(WriteSummary(runs, name).c_str(), out);
    if (std::fflush(out) != 0) {
        std::fprintf(err, "mousecheck-summary: cannot write the summary: %s\n", std::strerror(errno));
        return kSummaryTrouble;
    }
    int status = kSummaryHealthy;
    for (const RunSummary& run : runs) {
        status = RunVerdict(run) != Verdict::kHealthy ? kSummaryFault : status;
    }
    return status;
}
