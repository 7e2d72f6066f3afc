// The mice being watched, and the pump that drains their reports into the analysis.
//
// Every mouse is switched to the monotonic clock as it is opened, so that each report carries
// the time the kernel stamped it with, on the clock that NowMs reads; the analysis stamps with
// that, and a pass that is held up (a paused terminal, a slow reader, a loaded machine) prints
// the intervals the mouse made. A device whose clock cannot be set is stamped by the clock as
// its reports are analysed.
//
// A pump pass asks the kernel once which mice and whether the hotplug watch have something to
// read (poll, without waiting), reads only those until they are empty, analyses each record in
// the order it came, then sleeps 1 ms and stamps pumpMs: a quiet pass costs that one call,
// however many mice.
//
// What the hotplug watch saw is acted on first (mice_linux.cpp), then the late mice due are
// named, then the mice read. A mouse that is unplugged while open is closed without a line. The
// pump ends after the pass in which a quit was requested, or in which a report line could not
// be written.
#include "driver/receiver_linux.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <optional>

#include "analysis/analysis.h"
#include "analysis/report.h"
#include "driver/hotplug_linux.h"
#include "driver/mice_linux.h"
#include "timing/timing.h"

volatile std::sig_atomic_t quitRequested = 0;

namespace {

constexpr int64_t kPumpSleepMs = 1;
constexpr size_t kEventsPerRead = 64;

// The poll's table, and whether its failure has been said.
struct Poll {
    std::vector<pollfd> polled;  // the hotplug watch, then the open mice in their order
    bool warned = false;         // the cannot-poll line has been printed
};

Poll pump;

// Tells whether the pump is to end: a quit was requested, or the report cannot be written.
bool Stopping() {
    return quitRequested != 0 || reportError != 0;
}

// Sets the quit request; the pump sees it between records.
void RequestQuit(int) {
    quitRequested = 1;
}

// Makes the signal request a quit, unless it is ignored already: under nohup, or in a shell's
// background job, an inherited "ignore" stays.
void CatchQuit(int quitSignal) {
    struct sigaction action {};
    if (sigaction(quitSignal, nullptr, &action) != 0 || action.sa_handler == SIG_IGN) {
        return;
    }
    action = {};
    action.sa_handler = RequestQuit;
    sigemptyset(&action.sa_mask);
    // No SA_RESTART: a write that waits for its reader is interrupted, and then waits no longer
    // than the reader's grace (report_posix.cpp). The pump's reads and poll never wait, and its
    // sleep resumes by itself.
    action.sa_flags = 0;
    sigaction(quitSignal, &action, nullptr);
}

// Reads and analyses everything queued on one mouse; false when it is gone.
bool DrainMouse(Mouse* mouse) {
    input_event events[kEventsPerRead];
    while (!Stopping()) {
        const ssize_t got = read(mouse->fd, events, sizeof(events));
        if (got < 0) {
            return errno != ENODEV;  // unplugged; or empty (EAGAIN), or interrupted
        }
        const size_t count = static_cast<size_t>(got) / sizeof(input_event);
        for (size_t i = 0; i < count && !Stopping(); ++i) {
            MouseRecord record{};
            switch (AddEvent(&mouse->frame, events[i], &record)) {
            case FrameStep::kRecord: {
                // The report's own time; on a device whose clock could not be set, the clock's.
                const std::optional<int64_t> reportMs = mouse->timed ? std::optional<int64_t>(record.timeMs)
                                                                     : std::nullopt;
                AnalyseButtons(record.usButtonFlags | static_cast<uint32_t>(record.usButtonData) << 16, reportMs);
                AnalyseWheel(record.usButtonFlags, record.usButtonData, reportMs);
                break;
            }
            case FrameStep::kDropped:
                PrintErrorLine("mousecheck: /dev/input/event%u: the kernel dropped events; "
                               "the lines of some reports are missing\n", mouse->number);
                break;
            case FrameStep::kGoesOn:
                break;
            }
        }
        if (count < kEventsPerRead) {
            return true;  // a short read took all there was
        }
    }
    return true;
}

// Asks the kernel once which mice and whether the hotplug watch have something to read (or
// are gone); marks those mice ready and tells whether the watch has events. When poll fails
// (but for a signal), says so once, and every mouse and the watch count as ready.
bool PollDevices() {
    pump.polled.resize(mice.open.size() + 1);  // grows only when a mouse appears
    pump.polled[0] = {HotplugFd(), POLLIN, 0};  // a negative descriptor is skipped
    for (size_t i = 0; i < mice.open.size(); ++i) {
        pump.polled[i + 1] = {mice.open[i].fd, POLLIN, 0};
    }
    const int ready = poll(pump.polled.data(), pump.polled.size(), 0);
    const bool failed = ready < 0 && errno != EINTR;
    if (failed && !pump.warned) {
        pump.warned = true;
        PrintErrorLine("mousecheck: cannot poll the mice: %s; each pass reads every mouse\n", std::strerror(errno));
    }
    for (size_t i = 0; i < mice.open.size(); ++i) {
        mice.open[i].ready = failed || (ready > 0 && pump.polled[i + 1].revents != 0);
    }
    return failed || (ready > 0 && pump.polled[0].revents != 0);
}

}  // namespace

// Installs the quit signals, the hotplug watch, and opens the mice now present.
std::vector<MouseDevice> SetUpReceiver(const char* root) {
    sigset_t quit;
    sigemptyset(&quit);
    for (const int quitSignal : {SIGINT, SIGTERM, SIGHUP}) {  // SIGHUP: the terminal closed
        CatchQuit(quitSignal);
        sigaddset(&quit, quitSignal);
    }
    // Blocked by whoever started it, they would never arrive: only SIGKILL would stop it.
    sigprocmask(SIG_UNBLOCK, &quit, nullptr);
    WatchQuitForReport(&quitRequested, quit);

    // From scratch, closing what an earlier call opened, so that tests can set up again. Watched
    // before the mice are opened, so that none appears unseen in between.
    pump.warned = false;
    StartHotplug(root);
    return OpenMice(root);
}

// Runs pump passes until a quit is requested or a report line cannot be written.
void RunPump() {
    for (;;) {
        if (PollDevices()) {
            DrainHotplug(FollowNode);
        }
        if (!mice.late.empty()) {
            WarnLateMice();
        }
        for (size_t i = 0; i < mice.open.size() && !Stopping();) {
            if (!mice.open[i].ready || DrainMouse(&mice.open[i])) {
                ++i;
            } else {
                CloseMouse(mice.open[i].number);  // unplugged; the next one moves into its place
            }
        }
        SleepMs(kPumpSleepMs);
        timingState.pumpMs = NowMs();
        if (Stopping()) {
            return;
        }
    }
}
