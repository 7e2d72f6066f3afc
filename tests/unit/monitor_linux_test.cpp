#include "driver/monitor_linux.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/input.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "analysis/report.h"
#include "driver/receiver_linux.h"
#include "fake_clock.h"
#include "fake_sysfs.h"

namespace {

constexpr int kPassesMax = 1000;
constexpr int kWaitMs = 10000;  // the longest a test waits for the state it needs
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

// How the child process is set up, beyond its standard output.
struct ChildSetup {
    bool errorsToOut = false;  // standard error on standard output too, as 2>&1 does
    bool waitForReports = false;  // between passes, wait for a report on node 3, a pipe
    bool newGroup = false;        // leads a process group of its own, as a shell's job
    int freeFiles = -1;           // descriptors left below RLIMIT_NOFILE at the start; -1: as it is
    bool quitBlocked = false;     // SIGINT, SIGTERM and SIGHUP inherited blocked
};

// The fake root, with mouse 3 whose node holds clicks, each report made 10 ms after the one
// before, so that every press and every release is a fast click. The first press comes 15 ms
// after the release seed (the monitor's fake clock starts at 1000 and reads 10 ms later each
// time: seeds at 1000, 1010, 1040 and 1030).
// Waits up to kWaitMs for a report on the node, unless a quit was requested: with the quit
// signals blocked while it looks, so that one that comes just before the wait still ends it.
// False when neither came.
bool ReportCameOrQuit(pollfd* report) {
    sigset_t quit;
    sigset_t unblocked;
    sigemptyset(&quit);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        sigaddset(&quit, signal);
    }
    sigprocmask(SIG_BLOCK, &quit, &unblocked);
    const timespec wait{kWaitMs / 1000, 0};
    const bool came = quitRequested != 0 || ppoll(report, 1, &wait, &unblocked) != 0;
    sigprocmask(SIG_SETMASK, &unblocked, nullptr);
    return came;
}

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
    // Returns the lines of the clicks that AddClicks adds, with no quit between them.
    static std::string Clicks(int clicks) {
        std::string lines;
        for (int i = 0; i < clicks; ++i) {
            lines += "Mouse Button:1\nFast-click detected!\nMouse Button:2, 10ms\nFast-click detected!\n";
        }
        return lines;
    }
    // Returns what the monitor prints for the clicks, with no quit between them.
    static std::string Report(int clicks) { return kListing + Clicks(clicks); }
    // Starts the monitor in a child process with standard output on out; it quits (SIGTERM) after
    // the pass given, never when 0, and SIGPIPE is ignored when asked. Returns the child.
    pid_t Start(int out, int quitAfterPass, bool ignorePipe, const ChildSetup& setup = {}) {
        std::fflush(nullptr);
        errorsFile = root + "/errors";
        const pid_t child = fork();
        if (child != 0) {
            return child;
        }
        if (setup.newGroup) {
            setpgid(0, 0);
        }
        dup2(out, STDOUT_FILENO);
        const int errors = open(errorsFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        dup2(setup.errorsToOut ? out : errors, STDERR_FILENO);
        std::signal(SIGPIPE, ignorePipe ? SIG_IGN : SIG_DFL);
        static int quitPass;
        static int reports;  // node 3 read-only, to wait on, or -1
        quitPass = quitAfterPass;
        reports = setup.waitForReports ? open((root + "/dev/input/event3").c_str(), O_RDONLY | O_NONBLOCK) : -1;
        fakeNowMs = 1000;
        fakeStepMs = 10;
        fakeAfterSleep = [] {
            static int passes = 0;
            pollfd report{reports, POLLIN, 0};
            if (++passes == quitPass) {
                std::raise(SIGTERM);
            } else if (passes > kPassesMax) {
                std::fprintf(stderr, "the monitor did not stop within %d passes\n", kPassesMax);
                std::_Exit(99);
            } else if (reports >= 0 && !ReportCameOrQuit(&report)) {
                std::fprintf(stderr, "no report came within %d ms\n", kWaitMs);
                std::_Exit(98);
            }
        };
        if (setup.freeFiles >= 0) {
            const int lowestFree = dup(0);
            close(lowestFree);
            rlimit limit{};
            getrlimit(RLIMIT_NOFILE, &limit);
            limit.rlim_cur = static_cast<rlim_t>(lowestFree + setup.freeFiles);
            setrlimit(RLIMIT_NOFILE, &limit);
        }
        if (setup.quitBlocked) {
            sigset_t quit;
            sigemptyset(&quit);
            for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
                sigaddset(&quit, signal);
            }
            sigprocmask(SIG_BLOCK, &quit, nullptr);
        }
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

// Tells whether the process waits in the kernel function named (/proc/PID/wchan): pipe_write
// for a write to a full pipe, poll for the wait of a write that would block. Where the kernel
// does not say, whether it sleeps at all (/proc/PID/stat): on the fake clock the monitor sleeps
// only while it waits for its reader.
bool WaitsIn(pid_t pid, const char* function) {
    const std::string proc = "/proc/" + std::to_string(pid);
    std::ifstream wchan(proc + "/wchan");
    std::string where;
    if (wchan >> where && where != "0") {
        return where.find(function) != std::string::npos;
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

// Waits until the pipe is full (every one of its 16 pages in use, so that poll says it has no
// room: 15 of them full but for less than a line) and the child waits in the kernel function
// named, then sends it SIGTERM and waits until it has it; returns the bytes that were in the
// pipe, or -1 when the child ended first (its status in *ended).
int QuitWhenFull(int pipeRead, pid_t child, const char* function, int* ended) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kWaitMs);
    int queued = 0;
    while (!(ioctl(pipeRead, FIONREAD, &queued) == 0 && queued > 65536 - 2 * static_cast<int>(kReportLineMax) &&
             WaitsIn(child, function))) {
        if (waitpid(child, ended, WNOHANG) == child) {
            return -1;
        }
        EXPECT_LT(std::chrono::steady_clock::now(), deadline)
            << "the monitor did not wait in " << function << " on a full pipe";
        if (std::chrono::steady_clock::now() >= deadline) {
            return -1;
        }
    }
    kill(child, SIGTERM);
    // Read only once it has the signal: a read before would let the write go on unasked.
    while (Pending(child, SIGTERM)) {
        EXPECT_LT(std::chrono::steady_clock::now(), deadline) << "SIGTERM was not delivered";
    }
    return queued;
}

TEST_F(MonitorLinux, AQuitWhileAWriteWaitsForItsReaderKeepsEveryLineWhole) {
    // More than a pipe holds (64 KiB): the monitor waits for room (in poll) for a reader that
    // reads only after the quit, at once. The line that waited is written after the signal.
    AddClicks(1500);
    int pipeEnds[2];
    ASSERT_EQ(pipe2(pipeEnds, O_CLOEXEC), 0);
    const pid_t child = Start(pipeEnds[1], 0, false);
    close(pipeEnds[1]);
    int ended = 0;
    const int queued = QuitWhenFull(pipeEnds[0], child, "poll", &ended);
    ASSERT_GT(queued, 0) << "ended with status " << ended;
    const std::string out = ReadAll(pipeEnds[0]);
    close(pipeEnds[0]);
    const Ending ending = Wait(child);
    EXPECT_EQ(ending.status, 0);
    EXPECT_EQ(ending.errors, "");
    EXPECT_GT(out.size(), static_cast<size_t>(queued)) << "the line that waited was not written";
    EXPECT_TRUE(Report(1500).compare(0, out.size(), out) == 0) << "lines lost: not the report's first " << out.size()
                                                               << " bytes";
    EXPECT_EQ(out.back(), '\n') << "a line cut short";
}

TEST_F(MonitorLinux, AStandardOutputThatWouldBlockIsWaitedFor) {
    // O_NONBLOCK on the pipe's file description, as some process managers leave it, and a reader
    // that reads only after the quit: every write that would block waits for room.
    AddClicks(1500);
    int pipeEnds[2];
    ASSERT_EQ(pipe2(pipeEnds, O_CLOEXEC), 0);
    ASSERT_EQ(fcntl(pipeEnds[1], F_SETFL, O_NONBLOCK), 0);
    const pid_t child = Start(pipeEnds[1], 0, false);
    close(pipeEnds[1]);
    int ended = 0;
    const int queued = QuitWhenFull(pipeEnds[0], child, "poll", &ended);
    const std::string out = ReadAll(pipeEnds[0]);
    close(pipeEnds[0]);
    const Ending ending = queued < 0 ? Ending{WEXITSTATUS(ended), ""} : Wait(child);
    std::ifstream file(errorsFile);
    EXPECT_EQ(ending.status, 0);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()), "");
    EXPECT_GT(out.size(), static_cast<size_t>(std::max(queued, 0)));
    EXPECT_TRUE(Report(1500).compare(0, out.size(), out) == 0) << "lines lost: not the report's first " << out.size()
                                                               << " bytes";
    EXPECT_EQ(out.back(), '\n') << "a line cut short";
}

// Returns the file's text.
std::string FileText(const std::string& path) {
    std::ifstream file(path);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

TEST_F(MonitorLinux, AQuitWhileALineWaitsGivesTheReaderASecondThenGivesTheLineUpWhole) {
    // A reader that never reads: the run ends within the grace, and the pipe holds whole lines
    // only. One that reads half a second after the quit (the lateness is the case itself, not a
    // wait for a state) still gets the line that waited and those after it, whole.
    for (const int readAfterMs : {-1, 500}) {  // -1: only once the monitor has ended
        AddClicks(1500);
        int pipeEnds[2];
        ASSERT_EQ(pipe2(pipeEnds, O_CLOEXEC), 0);
        const pid_t child = Start(pipeEnds[1], 0, false);
        close(pipeEnds[1]);
        int status = 0;
        const int queued = QuitWhenFull(pipeEnds[0], child, "poll", &status);
        ASSERT_GT(queued, 0) << "ended with status " << status;
        const auto quit = std::chrono::steady_clock::now();
        if (readAfterMs >= 0) {
            while (std::chrono::steady_clock::now() < quit + std::chrono::milliseconds(readAfterMs)) {
            }
        } else {
            while (waitpid(child, &status, WNOHANG) == 0 &&
                   std::chrono::steady_clock::now() < quit + std::chrono::milliseconds(kWaitMs)) {
            }
            const auto endedMs =
                std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - quit);
            if (kill(child, SIGKILL) == 0) {
                ADD_FAILURE() << "still running " << endedMs.count() << " ms after SIGTERM: it waits for its reader "
                              << "for good";
            }
        }
        const std::string out = ReadAll(pipeEnds[0]);
        close(pipeEnds[0]);
        const Ending ending = readAfterMs >= 0 ? Wait(child) : Ending{WEXITSTATUS(status), FileText(errorsFile)};
        EXPECT_EQ(ending.status, 0) << "reader at " << readAfterMs << " ms";
        EXPECT_EQ(ending.errors, "");
        if (readAfterMs >= 0) {
            EXPECT_GT(out.size(), static_cast<size_t>(queued)) << "the line that waited was not written";
        }
        EXPECT_TRUE(Report(1500).compare(0, out.size(), out) == 0) << "lines lost: not the report's first " << out.size()
                                                                   << " bytes";
        EXPECT_EQ(out.back(), '\n') << "a line cut short";
        RemoveFakeRoot(root);
        SetUp();
    }
}

// Waits until the file holds the text; false, with a failure naming it, after kWaitMs.
bool WaitForFile(const std::string& path, const std::string& text) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kWaitMs);
    while (FileText(path) != text) {
        if (std::chrono::steady_clock::now() >= deadline) {
            ADD_FAILURE() << "the reader did not get, within " << kWaitMs << " ms:\n" << text << "it has:\n"
                          << FileText(path);
            return false;
        }
    }
    return true;
}

TEST_F(MonitorLinux, ATeeLikeReaderHasEachLineBeforeTheNextReportAndKeepsThemAfterCtrlC) {
    // mousecheck | tee log: the reader, in the monitor's process group, ends at Ctrl+C as tee does.
    const std::string node = root + "/dev/input/event3";
    std::remove(node.c_str());
    ASSERT_EQ(mkfifo(node.c_str(), 0600), 0);
    const int reports = open(node.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);  // held open: no hang-up
    int pipeEnds[2];
    ASSERT_EQ(pipe2(pipeEnds, O_CLOEXEC), 0);
    ChildSetup setup;
    setup.waitForReports = true;
    setup.newGroup = true;
    const pid_t child = Start(pipeEnds[1], 0, false, setup);
    setpgid(child, child);
    const std::string log = root + "/log";
    const pid_t tee = fork();
    if (tee == 0) {
        setpgid(0, child);
        const int file = open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
        char buffer[4096];
        for (ssize_t got; (got = read(pipeEnds[0], buffer, sizeof(buffer))) > 0;) {
            if (write(file, buffer, static_cast<size_t>(got)) != got) {
                std::_Exit(1);
            }
        }
        std::_Exit(0);
    }
    setpgid(tee, child);
    close(pipeEnds[0]);
    close(pipeEnds[1]);
    std::string lines = kListing;
    bool arrived = WaitForFile(log, lines);
    for (int i = 0; i < 3 && arrived; ++i) {
        const int64_t pressMs = 2000 + 300 * i;
        for (const auto& report : {FakeEvents({EV_KEY, BTN_LEFT, 1, EV_SYN, SYN_REPORT, 0}, pressMs),
                                   FakeEvents({EV_KEY, BTN_LEFT, 0, EV_SYN, SYN_REPORT, 0}, pressMs + 100)}) {
            const auto size = static_cast<ssize_t>(report.size() * sizeof(input_event));
            ASSERT_EQ(write(reports, report.data(), static_cast<size_t>(size)), size);
            lines += report[0].value == 1 ? "Mouse Button:1\n" : "Mouse Button:2, 100ms\n";
            arrived = arrived && WaitForFile(log, lines);
        }
    }
    kill(-child, SIGINT);  // Ctrl+C: to the whole foreground job
    int teeStatus = 0;
    waitpid(tee, &teeStatus, 0);
    const Ending ending = Wait(child);
    close(reports);
    EXPECT_TRUE(WIFSIGNALED(teeStatus) && WTERMSIG(teeStatus) == SIGINT) << "the reader did not end as tee does";
    EXPECT_EQ(ending.status, 0);
    EXPECT_EQ(ending.errors, "");
    EXPECT_EQ(FileText(log), lines);
}

TEST_F(MonitorLinux, AStandardErrorLineNeverLandsInsideAReportLine) {
    // > log 2>&1, with more lines than a block of the C library's buffer before a dropped event.
    AddClicks(100);
    AppendFakeNode(root, 3, {EV_KEY, BTN_LEFT, 1, EV_SYN, SYN_DROPPED, 0, EV_KEY, BTN_LEFT, 0, EV_SYN, SYN_REPORT, 0});
    AddClicks(100);
    const std::string file = root + "/log";
    const int log = open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    ChildSetup setup;
    setup.errorsToOut = true;
    const Ending ending = Wait(Start(log, 1, false, setup));
    close(log);
    EXPECT_EQ(ending.status, kExitStopped);
    EXPECT_EQ(FileText(file), Report(100) +
                                  "mousecheck: /dev/input/event3: the kernel dropped events; the lines of some "
                                  "reports are missing\n"
                                  "Mouse Button:1\n"  // 20 ms after the release before the drop
                                  "Mouse Button:2, 10ms\nFast-click detected!\n" +
                                  Clicks(99));
}

TEST_F(MonitorLinux, QuitSignalsInheritedBlockedStillQuit) {
    AddClicks(2);
    const std::string file = root + "/log";
    const int log = open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    ChildSetup setup;
    setup.quitBlocked = true;  // SigBlk 0x4003
    const Ending ending = Wait(Start(log, 1, false, setup));
    close(log);
    EXPECT_EQ(ending.status, kExitStopped) << ending.errors;
    EXPECT_EQ(FileText(file), Report(2));
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
    // Fails at the first line, which is written as it is printed; the pass ends.
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

TEST_F(MonitorLinux, MiceBeyondTheDescriptorLimitAreListedAndSaidSo) {
    // Two descriptors free at the start: the watch takes one, mouse 3 the other; sysfs is read
    // before, while one is still free. Mice 4 to 8 cannot be opened, and are still listed whole.
    std::string listing = kListing;
    listing.erase(listing.find("RAW INPUT"));  // mouse 3, from SetUp
    for (unsigned n = 4; n <= 8; ++n) {
        const std::string name = "Mouse " + std::to_string(n);
        AddFakeDevice(root, {n, name, "0003", "046d", "c077", kMouseKeys, kMouseAxes});
        WriteFakeNode(root, n, {});
        listing += "Mouse: Handle=0x0000000" + std::to_string(n) + "\n  Name=/dev/input/event" + std::to_string(n) +
                   " (" + name + ", usb 046d:c077)\n  Id=3, Buttons=3, SampleRate=0, HorizontalWheel=0\n";
    }
    const std::string file = root + "/log";
    const int log = open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    ChildSetup setup;
    setup.freeFiles = 2;
    const Ending ending = Wait(Start(log, 1, false, setup));
    close(log);
    EXPECT_EQ(ending.status, kExitStopped);
    EXPECT_EQ(FileText(file), listing + "RAW INPUT Mouse:\n");
    std::string errors;
    for (unsigned n = 4; n <= 8; ++n) {
        errors += "mousecheck: cannot open /dev/input/event" + std::to_string(n) + ": Too many open files\n";
    }
    EXPECT_EQ(ending.errors, errors);
}

}  // namespace
