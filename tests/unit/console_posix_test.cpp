// The summary's console set-up on Linux, in child processes: "mousecheck | mousecheck-summary"
// stopped with Ctrl+C, which the terminal sends to the whole process group of the pipeline.
#include "summary/console.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <string>

#include "summary/command.h"

namespace {

constexpr int kWaitMs = 10000;

// What the writer, in the monitor's place, writes before the Ctrl+C, and its last lines, which
// it writes only after it (as the monitor writes its last block when it ends).
constexpr char kBeforeInterrupt[] =
    "Mouse: Handle=0x00000003\n"
    "  Name=/dev/input/event3 (Mouse, usb 046d:c077)\n"
    "  Id=3, Buttons=3, SampleRate=0, HorizontalWheel=0\n"
    "RAW INPUT Mouse:\n"
    "Mouse Button:1\n"
    "Mouse Button:2, 100ms\n";
constexpr char kAfterInterrupt[] =
    "Mouse Button:1\n"
    "Fast-click detected!\n"
    "Mouse Button:2, 90ms\n";
constexpr char kSummary[] =
    "standard input: run 1, lines 1 to 9, 1 mouse listed\n"
    "  left      2 presses, 2 releases, shortest hold 90 ms\n"
    "            warnings: 1 closed again within 15 ms of a release, 0 held 15 ms or less\n"
    "            holds (ms): <=15: 0, 16-50: 0, 51-150: 2, 151-1000: 0, >1000: 0\n"
    "            suspect: too few holds to judge (10 needed)\n"
    "  right     not tested\n"
    "  middle    not tested\n"
    "  button 4  not tested\n"
    "  button 5  not tested\n"
    "  wheel     not tested\n"
    "  verdict:\n"
    "    left: 1 of 1 click bounced: repeat the test; one alone can come from a healthy mouse\n"
         "      at line 8\n"
    "    right, middle, button 4, button 5, wheel: not tested\n";

// Writes the whole text to the descriptor.
void WriteAll(int fd, const char* text) {
    for (std::string rest = text; !rest.empty();) {
        const ssize_t wrote = write(fd, rest.data(), rest.size());
        if (wrote <= 0) {
            std::_Exit(98);
        }
        rest.erase(0, static_cast<size_t>(wrote));
    }
}

// Reads the summary's output until every writer has closed it; a summary that has not ended
// 10 s after its last output fails the test, naming that wait, and is killed.
std::string ReadAll(int fd, pid_t summary) {
    std::string text;
    char buffer[4096];
    for (;;) {
        pollfd ready{fd, POLLIN, 0};
        if (poll(&ready, 1, kWaitMs) != 1) {
            ADD_FAILURE() << "the summary had not ended " << kWaitMs << " ms after it printed: " << text;
            kill(summary, SIGKILL);
            return text;
        }
        const ssize_t got = read(fd, buffer, sizeof(buffer));
        if (got <= 0) {
            return text;
        }
        text.append(buffer, static_cast<size_t>(got));
    }
}

// Waits for the child; returns its status, or 128 plus the signal that ended it.
int WaitFor(pid_t child) {
    int status = 0;
    waitpid(child, &status, 0);
    return WIFSIGNALED(status) ? 128 + WTERMSIG(status) : WEXITSTATUS(status);
}

// Puts a child's signals as a shell's foreground job has them after its exec: the quit signals
// at their defaults (the test process may have handlers of its own for them), nothing blocked.
void ResetSignals() {
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        std::signal(signal, SIG_DFL);
    }
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
}

// A writer and a summary on a pipe, in a process group of their own.
struct Pipeline {
    pid_t writer = -1;
    pid_t summary = -1;
    int output = -1;  // the summary's standard output
};

// Starts the pair; returns once the writer has written its first lines and waits for SIGINT,
// and the summary has set up its console. The summary's standard error goes to the test's.
Pipeline Start() {
    int data[2];
    int out[2];
    int ready[2];
    EXPECT_EQ(pipe(data), 0);
    EXPECT_EQ(pipe(out), 0);
    EXPECT_EQ(pipe(ready), 0);
    std::fflush(nullptr);
    Pipeline pipeline;
    pipeline.writer = fork();
    if (pipeline.writer == 0) {
        setpgid(0, 0);
        ResetSignals();
        sigset_t interrupt;
        sigemptyset(&interrupt);
        sigaddset(&interrupt, SIGINT);
        sigprocmask(SIG_BLOCK, &interrupt, nullptr);
        for (const int fd : {data[0], out[0], out[1], ready[0]}) {
            close(fd);
        }
        WriteAll(data[1], kBeforeInterrupt);
        WriteAll(ready[1], "w");
        close(ready[1]);
        int signal = 0;
        sigwait(&interrupt, &signal);
        WriteAll(data[1], kAfterInterrupt);
        std::_Exit(0);
    }
    setpgid(pipeline.writer, pipeline.writer);
    pipeline.summary = fork();
    if (pipeline.summary == 0) {
        setpgid(0, pipeline.writer);
        ResetSignals();
        dup2(data[0], STDIN_FILENO);
        dup2(out[1], STDOUT_FILENO);
        for (const int fd : {data[0], data[1], out[0], out[1], ready[0]}) {
            close(fd);
        }
        PrepareConsole();
        WriteAll(ready[1], "s");
        close(ready[1]);
        const char* const arguments[] = {"mousecheck-summary"};
        std::_Exit(RunSummaryCommand(1, arguments, stdin, stdout, stderr));
    }
    setpgid(pipeline.summary, pipeline.writer);
    for (const int fd : {data[0], data[1], out[1], ready[1]}) {
        close(fd);
    }
    char started[2] = {};
    EXPECT_EQ(read(ready[0], started, 1) + read(ready[0], started + 1, 1), 2)
        << "the writer or the summary ended before it was ready";
    close(ready[0]);
    pipeline.output = out[0];
    return pipeline;
}

TEST(ConsolePosix, ASummaryReadsOnToTheMonitorsLastLineAfterCtrlC) {
    const Pipeline pipeline = Start();
    ASSERT_EQ(kill(-pipeline.writer, SIGINT), 0);
    const std::string printed = ReadAll(pipeline.output, pipeline.summary);
    close(pipeline.output);
    EXPECT_EQ(WaitFor(pipeline.writer), 0);
    EXPECT_EQ(WaitFor(pipeline.summary), kSummaryFault) << "128 + 2: ended by SIGINT";
    EXPECT_EQ(printed, kSummary);
}

TEST(ConsolePosix, SigtermAndSighupStillEndASummary) {
    for (const int signal : {SIGTERM, SIGHUP}) {
        const Pipeline pipeline = Start();
        ASSERT_EQ(kill(pipeline.summary, signal), 0);
        EXPECT_EQ(ReadAll(pipeline.output, pipeline.summary), "");
        EXPECT_EQ(WaitFor(pipeline.summary), 128 + signal);
        close(pipeline.output);
        kill(pipeline.writer, SIGKILL);
        WaitFor(pipeline.writer);
    }
}

}  // namespace
