#include "summary/command.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#if !defined(_WIN32)
#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>
#endif

#include "summary_samples.h"

namespace {

constexpr char kLogFile[] = "command_test-log.txt";
constexpr char kHealthyLog[] =
    "Mouse: Handle=0x00000003\n"
    "RAW INPUT Mouse:\n"
    "Mouse Button:1\n"
    "Mouse Button:2, 90ms\n";

// What a run of the command printed and returned.
struct Result {
    int status;
    std::string out;
    std::string err;
};

// Returns everything written to a temporary stream.
std::string Contents(std::FILE* stream) {
    std::rewind(stream);
    std::string text;
    char buffer[4096];
    for (size_t got; (got = std::fread(buffer, 1, sizeof(buffer), stream)) > 0;) {
        text.append(buffer, got);
    }
    std::fclose(stream);
    return text;
}

// Runs the command with the arguments, standard input holding the bytes given.
Result RunCommand(std::vector<const char*> arguments, const std::string& input = "") {
    std::FILE* in = std::tmpfile();
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    EXPECT_TRUE(in != nullptr && out != nullptr && err != nullptr);
    std::fwrite(input.data(), 1, input.size(), in);
    std::rewind(in);
    arguments.insert(arguments.begin(), "mousecheck-summary");
    const int status = RunSummaryCommand(static_cast<int>(arguments.size()), arguments.data(), in, out, err);
    std::fclose(in);
    return {status, Contents(out), Contents(err)};
}

// Writes the log file that a test reads.
void WriteLog(const std::string& bytes) {
    std::FILE* file = std::fopen(kLogFile, "wb");
    ASSERT_NE(file, nullptr);
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
}

class Command : public testing::Test {
protected:
    void TearDown() override { std::remove(kLogFile); }
};

TEST_F(Command, ExitsAsComparisonToolsDo) {
    const std::string bounce = "Mouse Button:1\nFast-click detected!\nMouse Button:2, 90ms\n";
    const std::string skip = "wheel check down:150ms\nwheel check up:150ms\n";
    const struct {
        const char* what;
        std::string log;
        int status;
    } cases[] = {
        {"no fault", kHealthyLog, kSummaryHealthy},
        {"the Linux sample: a test to repeat", kLinuxSample, kSummaryFault},
        {"the Windows sample: a test to repeat", kWindowsSample, kSummaryFault},
        {"a switch that bounces", kHealthyLog + bounce + bounce, kSummaryFault},
        {"a wheel that skips", kHealthyLog + skip + skip + skip, kSummaryFault},
        {"a fault in the second run only", std::string(kHealthyLog) + kHealthyLog + bounce + bounce, kSummaryFault},
        {"fast clicks with another button alone", std::string(kHealthyLog) + "Mouse Button:4\nFast-click detected!\n",
         kSummaryHealthy},
        {"a held 9 ms on the last line, without its line end",
         std::string(kHealthyLog) + "Mouse Button:1\nMouse Button:2, 9ms\nFast-click detected!", kSummaryFault},
        {"the start-up warning alone", std::string(kHealthyLog, 43) + "Mouse Button:1\nFast-click detected!\n"
                                       "Mouse Button:2, 90ms\n", kSummaryHealthy},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(RunCommand({}, c.log).status, c.status) << c.what << " on standard input";
        EXPECT_EQ(RunCommand({"-"}, c.log).status, c.status) << c.what << " on standard input, named -";
        WriteLog(c.log);
        const Result named = RunCommand({kLogFile});
        EXPECT_EQ(named.status, c.status) << c.what << " in a file";
        EXPECT_EQ(named.out.compare(0, sizeof(kLogFile) + 6, std::string(kLogFile) + ": run 1"), 0) << named.out;
        EXPECT_EQ(named.err, "");
    }
}

TEST_F(Command, NamesTheLogItCannotReadOrThatHoldsNoRun) {
    Result result = RunCommand({"no-such-folder/log.txt"});
    EXPECT_EQ(result.status, kSummaryTrouble);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "mousecheck-summary: no-such-folder/log.txt: No such file or directory\n");

    WriteLog("");
    result = RunCommand({kLogFile});
    EXPECT_EQ(result.status, kSummaryTrouble);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, std::string("mousecheck-summary: ") + kLogFile +
                              ": holds no run of mousecheck (no line \"RAW INPUT Mouse:\")\n");

    result = RunCommand({}, "Mouse Button:1\n");
    EXPECT_EQ(result.status, kSummaryTrouble);
    EXPECT_EQ(result.err, "mousecheck-summary: standard input: holds no run of mousecheck (no line \"RAW INPUT Mouse:\")\n");
}

TEST_F(Command, TakesOneLogHelpAndVersion) {
    Result result = RunCommand({"--version"});
    EXPECT_EQ(result.status, kSummaryHealthy);
    EXPECT_EQ(result.out, "mousecheck-summary " MOUSECHECK_PROJECT_VERSION "\n");

    result = RunCommand({"--help"});
    EXPECT_EQ(result.status, kSummaryHealthy);
    EXPECT_EQ(result.out.compare(0, 57, "Usage: mousecheck-summary [--help] [--version] [LOG | -]\n"), 0) << result.out;
    EXPECT_NE(result.out.find("Exit status: 0 what was tested shows nothing; 1 a fault, a suspect or a test to repeat;\n"
                              "2 the log cannot be read, holds no run, or holds no press, release or notch at all.\n"),
              std::string::npos);
    EXPECT_EQ(result.err, "");

    constexpr char kUsage[] = "usage: mousecheck-summary [--help] [--version] [LOG | -]\n";
    const struct {
        std::vector<const char*> arguments;
        std::string err;
    } wrong[] = {
        {{"a.txt", "b.txt"}, std::string("mousecheck-summary: one log at a time\n") + kUsage},
        {{"-x"}, std::string("mousecheck-summary: unknown option -x\n") + kUsage},
        {{"--verbose", "log.txt"}, std::string("mousecheck-summary: unknown option --verbose\n") + kUsage},
    };
    for (const auto& w : wrong) {
        result = RunCommand(w.arguments, kHealthyLog);
        EXPECT_EQ(result.status, kSummaryTrouble) << w.err;
        EXPECT_EQ(result.out, "");
        EXPECT_EQ(result.err, w.err);
    }

    // After "--", a log named like an option.
    result = RunCommand({"--", "--version"});
    EXPECT_EQ(result.status, kSummaryTrouble);
    EXPECT_EQ(result.err.compare(0, 31, "mousecheck-summary: --version: "), 0) << result.err;
}

TEST_F(Command, SaysWhenNothingWasTested) {
    // The listing and the banner only: the monitor could not read the mouse (Linux, no sudo).
    const Result result = RunCommand({}, std::string(kHealthyLog, 43) + "mousecheck: cannot open /dev/input/event3: "
                                                                        "Permission denied\n");
    EXPECT_EQ(result.status, kSummaryTrouble);
    EXPECT_EQ(result.out, "standard input: run 1, lines 1 to 3, 1 mouse listed\n"
                          "  nothing tested: no press, release or notch line\n");
    EXPECT_EQ(result.err, "mousecheck-summary: standard input: nothing was tested: no press, release or notch line in "
                          "any run (on Linux, mousecheck reads a mouse only with the permission to: run it with sudo, "
                          "or as a member of the group input)\n");
    // One run tested is enough.
    EXPECT_EQ(RunCommand({}, std::string(kHealthyLog, 43) + kHealthyLog).status, kSummaryHealthy);
    // Bare runs in a row share a block; one that says more, or lists other mice, has its own.
    const Result bare = RunCommand({}, "RAW INPUT Mouse:\nRAW INPUT Mouse:\nRAW INPUT Mouse:\n"
                                       "Mouse: Handle=0x00000001\nRAW INPUT Mouse:\nRAW INPUT Mouse:\nx\n");
    EXPECT_EQ(bare.status, kSummaryTrouble);
    EXPECT_EQ(bare.out, "standard input: runs 1 to 3, lines 1 to 3, 0 mice listed in each\n"
                        "  nothing tested: no press, release or notch line\n"
                        "\n"
                        "standard input: run 4, lines 4 to 5, 1 mouse listed\n"
                        "  nothing tested: no press, release or notch line\n"
                        "\n"
                        "standard input: run 5, lines 6 to 7, 0 mice listed\n"
                        "  nothing tested: no press, release or notch line\n"
                        "  note: 1 unknown line (line 7): x\n");
}

TEST_F(Command, AFailedReadIsAnErrorNotTheLogsEnd) {
    // A stream that cannot be read at all: opened for writing only.
    std::FILE* in = std::tmpfile();
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    ASSERT_TRUE(in != nullptr && out != nullptr && err != nullptr);
    std::fputs(kLinuxSample, in);
    std::FILE* writeOnly = std::fopen(kLogFile, "wb");
    ASSERT_NE(writeOnly, nullptr);
    const char* arguments[] = {"mousecheck-summary"};
    EXPECT_EQ(RunSummaryCommand(1, arguments, writeOnly, out, err), kSummaryTrouble);
    std::fclose(writeOnly);
    std::fclose(in);
    EXPECT_EQ(Contents(out), "");
    const std::string said = Contents(err);
    EXPECT_EQ(said.compare(0, 36, "mousecheck-summary: standard input: "), 0) << said;
    EXPECT_NE(said.find(" (the summary stops at the run it was reading)\n"), std::string::npos) << said;
}

#if defined(__GLIBC__)
// A stream that gives the bytes of a log and then fails, as a disk or a network share can.
struct FailingLog {
    std::string bytes;
    size_t at = 0;
};

TEST_F(Command, AReadThatFailsAfterPartOfTheLogSaysSoAndSummarisesNoPartialRun) {
    // Run 1 whole, run 2 cut by the failure: run 1's block, nothing of run 2, status 2.
    FailingLog log{std::string(kHealthyLog) + kLinuxSample, 0};
    log.bytes.resize(log.bytes.size() - 200);
    cookie_io_functions_t functions{};
    functions.read = [](void* cookie, char* buffer, size_t size) -> ssize_t {
        auto* failing = static_cast<FailingLog*>(cookie);
        if (failing->at == failing->bytes.size()) {
            errno = EIO;
            return -1;
        }
        const size_t got = std::min(size, failing->bytes.size() - failing->at);
        std::memcpy(buffer, failing->bytes.data() + failing->at, got);
        failing->at += got;
        return static_cast<ssize_t>(got);
    };
    std::FILE* in = fopencookie(&log, "rb", functions);
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    ASSERT_TRUE(in != nullptr && out != nullptr && err != nullptr);
    const char* arguments[] = {"mousecheck-summary"};
    EXPECT_EQ(RunSummaryCommand(1, arguments, in, out, err), kSummaryTrouble);
    std::fclose(in);
    const std::string printed = Contents(out);
    EXPECT_EQ(printed.rfind("standard input: run 1, lines 1 to 4, 1 mouse listed\n", 0), 0u) << printed;
    EXPECT_EQ(printed.find("run 2"), std::string::npos) << printed;
    EXPECT_EQ(Contents(err), "mousecheck-summary: standard input: Input/output error (the summary stops at the run "
                             "it was reading)\n");
}
#endif

#if !defined(_WIN32)
TEST_F(Command, WaitsForANonBlockingInput) {
    // The log in a pipe whose reading end is non-blocking; the writing end is closed only once the
    // summary has taken all of it, so its read finds "nothing yet" (EAGAIN) before the end.
    int ends[2];
    ASSERT_EQ(pipe(ends), 0);
    ASSERT_EQ(fcntl(ends[0], F_SETFL, fcntl(ends[0], F_GETFL) | O_NONBLOCK), 0);
    const std::string log = kLinuxSample;
    ASSERT_EQ(write(ends[1], log.data(), log.size()), static_cast<ssize_t>(log.size()));
    std::FILE* in = fdopen(ends[0], "rb");
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    ASSERT_TRUE(in != nullptr && out != nullptr && err != nullptr);
    int status = -1;
    std::thread summary([&] {
        const char* arguments[] = {"mousecheck-summary"};
        status = RunSummaryCommand(1, arguments, in, out, err);
    });
    for (int waiting = 1; waiting > 0;) {
        ASSERT_EQ(ioctl(ends[0], FIONREAD, &waiting), 0);
        std::this_thread::yield();
    }
    close(ends[1]);
    summary.join();
    std::fclose(in);
    EXPECT_EQ(status, kSummaryFault);
    const std::string printed = Contents(out);
    EXPECT_NE(printed.find("    left: 1 of 8 clicks bounced"), std::string::npos) << printed;
    EXPECT_EQ(Contents(err), "");
}
#endif

}  // namespace
