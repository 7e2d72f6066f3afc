#include "summary/command.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

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
    EXPECT_EQ(result.out.compare(0, 32, "Usage: mousecheck-summary [LOG]\n"), 0) << result.out;
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

}  // namespace
