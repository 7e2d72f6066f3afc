#include "driver/monitor_linux.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/input.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "driver/receiver_linux.h"
#include "fake_clock.h"
#include "fake_sysfs.h"

namespace {

constexpr int kPassesMax = 1000;
constexpr char kListing[] =
    "Mouse: Handle=0x00000003\n"
    "  Name=/dev/input/event3 (Mouse, usb 046d:c077)\n"
    "  Id=3, Buttons=3, SampleRate=0, HorizontalWheel=0\n"
    "RAW INPUT Mouse:\n";

// How the monitor ended in a child process: its exit status, or 128 plus the signal that ended
// it, as a shell reports it; and what it wrote to standard error.
struct Ending {
    int status;
    std::string errors;
};

// The fake root, with mouse 3 whose node holds clicks, each report made 10 ms after the one
// before, so that every press and every release is a fast click. The first press comes 15 ms
// after the release seed (the monitor's fake clock starts at 1000 and reads 10 ms later each
// time: seeds at 1000, 1010, 1040 and 1030).
class MonitorLinux : public testing::Test {
protected:
    void SetUp() override {
        root = MakeFakeRoot();
        AddFakeDevice(root, {3, "Mouse", "0003", "046d", "c077", kMouseKeys, kMouseAxes});
        WriteFakeNode(root, 3, {});
        fakeNowMs = 1055;  // the next report's time
        fakeStepMs = 10;
    }
    void TearDown() override {
        RemoveFakeRoot(root);
        fakeStepMs = 0;
    }
    void AddClicks(int clicks) {
        for (int i = 0; i < clicks; ++i) {
            AppendFakeNode(root, 3, {EV_KEY, BTN_LEFT, 1, EV_SYN, SYN_REPORT, 0});
            AppendFakeNode(root, 3, {EV_KEY, BTN_LEFT, 0, EV_SYN, SYN_REPORT, 0});
        }
    }
    // Returns what the monitor prints for the clicks, with no quit between them.
    static std::string Report(int clicks) {
        std::string report = kListing;
        for (int i = 0; i < clicks; ++i) {
            report += "Mouse Button:1\nFast-click detected!\nMouse Button:2, 10ms\nFast-click detected!\n";
        }
        return report;
    }
    // Starts the monitor in a child process with standard output on out; it quits (SIGTERM) after
    // the pass given, never when 0, and SIGPIPE is ignored when asked. Returns the child.
    pid_t Start(int out, int quitAfterPass, bool ignorePipe) {
        std::fflush(nullptr);
        errorsFile = root + "/errors";
        const pid_t child = fork();
        if (child != 0) {
            return child;
        }
        dup2(out, STDOUT_FILENO);
        const int errors = open(errorsFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        dup2(errors, STDERR_FILENO);
        std::signal(SIGPIPE, ignorePipe ? SIG_IGN : SIG_DFL);
        static int quitPass;
        quitPass = quitAfterPass;
        fakeNowMs = 1000;
        fakeStepMs = 10;
        fakeAfterSleep = [] {
            static int passes = 0;
            if (++passes == quitPass) {
                std::raise(SIGTERM);
            } else if (passes > kPassesMax) {
                std::fprintf(stderr, "the monitor did not stop within %d passes\n", kPassesMax);
                std::_Exit(99);
            }
        };
        std::_Exit(RunMonitor(root.c_str()));
    }
    // Waits for the child to end; returns how it ended.
    Ending Wait(pid_t child) const {
        int status = 0;
        waitpid(child, &status, 0);
        std::ifstream file(errorsFile);
        return {WIFSIGNALED(status) ? 128 + WTERMSIG(status) : WEXITSTATUS(status),
                {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()}};
    }
    std::string root;
    std::string errorsFile;
};

// Reads the pipe until every writer has closed it.
std::string ReadAll(int fd) {
    std::string text;
    char buffer[65536];
    for (ssize_t got; (got = read(fd, buffer, sizeof(buffer))) > 0;) {
        text.append(buffer, static_cast<size_t>(got));
    }
    return text;
}

// Tells whether the process waits in a write to a pipe (/proc/PID/wchan). Where the kernel does
// not say, whether it sleeps at all (/proc/PID/stat): on the fake clock the monitor sleeps only
// in a write that waits for its reader.
bool WaitsInWrite(pid_t pid) {
    const std::string proc = "/proc/" + std::to_string(pid);
    std::ifstream wchan(proc + "/wchan");
    std::string where;
    if (wchan >> where && where != "0") {
        return where.find("pipe_write") != std::string::npos;
    }
    std::ifstream stat(proc + "/stat");
    const std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    const size_t end = text.rfind(')');
    return end != std::string::npos && text.compare(end, 3, ") S") == 0;
}

// Tells whether the signal waits to be delivered to the process (/proc/PID/status).
bool Pending(pid_t pid, int signal) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string field;
    std::string mask;
    bool pending = false;
    while (status >> field) {
        if (field == "SigPnd:" || field == "ShdPnd:") {
            status >> mask;
            pending = pending || ((std::stoull(mask, nullptr, 16) >> (signal - 1)) & 1) != 0;
        }
    }
    return pending;
}

TEST_F(MonitorLinux, AQuitWhileAWriteWaitsForItsReaderKeepsEveryLineWhole) {
    // More than a pipe holds (64 KiB): the monitor waits in write() for a reader that reads only
    // after the quit. The write goes on after the signal, and so does the final flush.
    AddClicks(1500);
    int pipeEnds[2];
    ASSERT_EQ(pipe2(pipeEnds, O_CLOEXEC), 0);
    const pid_t child = Start(pipeEnds[1], 0, false);
    close(pipeEnds[1]);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    int queued = 0;
    while (!(ioctl(pipeEnds[0], FIONREAD, &queued) == 0 && queued == 65536 && WaitsInWrite(child))) {
        ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "the monitor did not wait in write() on a full pipe";
    }
    kill(child, SIGTERM);
    // Read only once it has the signal: a read before would let the write go on unasked.
    while (Pending(child, SIGTERM)) {
        ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "SIGTERM was not delivered";
    }
    const std::string out = ReadAll(pipeEnds[0]);
    close(pipeEnds[0]);
    const Ending ending = Wait(child);
    EXPECT_EQ(ending.status, 0);
    EXPECT_EQ(ending.errors, "");
    EXPECT_GT(out.size(), 65536u);
    EXPECT_TRUE(Report(1500).compare(0, out.size(), out) == 0) << "lines lost: not the report's first " << out.size()
                                                               << " bytes";
    EXPECT_EQ(out.back(), '\n') << "a line cut short";
}

TEST_F(MonitorLinux, AReaderThatWentAwayEndsItAsOtherToolsEnd) {
    // A closed pipe, as after "| head": SIGPIPE ends it quietly, as it ends coreutils' tools.
    AddClicks(2);
    int pipeEnds[2];
    ASSERT_EQ(pipe2(pipeEnds, O_CLOEXEC), 0);
    close(pipeEnds[0]);
    Ending ending = Wait(Start(pipeEnds[1], 1, false));
    EXPECT_EQ(ending.status, 128 + SIGPIPE);
    EXPECT_EQ(ending.errors, "");

    // With SIGPIPE ignored (as systemd starts services), a failed write: it stops at once, not
    // at a quit, which never comes here.
    AddClicks(1000);
    ending = Wait(Start(pipeEnds[1], 0, true));
    close(pipeEnds[1]);
    EXPECT_EQ(ending.status, kExitWriteFailed);
    EXPECT_EQ(ending.errors, "mousecheck: cannot write the report: Broken pipe\n");
}

TEST_F(MonitorLinux, AFullDiskIsSaidOnceAndShowsInTheStatus) {
    const int full = open("/dev/full", O_WRONLY | O_CLOEXEC);
    ASSERT_GE(full, 0);
    // Fails at the final flush: a few lines fit the C library's buffer.
    AddClicks(2);
    Ending ending = Wait(Start(full, 1, false));
    EXPECT_EQ(ending.status, kExitWriteFailed);
    EXPECT_EQ(ending.errors, "mousecheck: cannot write the report: No space left on device\n");
    // Fails while it runs: it stops without a quit.
    AddClicks(1000);
    ending = Wait(Start(full, 0, false));
    close(full);
    EXPECT_EQ(ending.status, kExitWriteFailed);
    EXPECT_EQ(ending.errors, "mousecheck: cannot write the report: No space left on device\n");
}

TEST_F(MonitorLinux, EndsWithStatusZeroAndEveryLineAfterAQuit) {
    AddClicks(2);
    const std::string file = root + "/log";
    const int log = open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    const Ending ending = Wait(Start(log, 1, false));
    close(log);
    EXPECT_EQ(ending.status, kExitStopped);
    EXPECT_EQ(ending.errors, "");
    std::ifstream written(file);
    EXPECT_EQ(std::string((std::istreambuf_iterator<char>(written)), std::istreambuf_iterator<char>()), Report(2));
}

}  // namespace
