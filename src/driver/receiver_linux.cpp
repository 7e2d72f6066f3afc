// The mice being watched, and the pump that drains their reports into the analysis.
//
// Every mouse is switched to the monotonic clock as it is opened, so that each report carries
// the time the kernel stamped it with, on the clock that NowMs reads; the analysis stamps with
// that, and a pass that is held up (a paused terminal, a slow reader, a loaded machine) prints
// the intervals the mouse made. A device whose clock cannot be set is stamped by the clock as
// its reports are analysed.
//
// A pump pass asks the kernel once which mice and whether the hotplug watch have something to
// read (poll, without waiting), then sleeps 1 ms and stamps pumpMs: a quiet pass costs that one
// call, however many mice. What the hotplug watch saw is acted on first (mice_linux.cpp), then
// the late mice due are named (those that still cannot be opened), then the mice are read.
//
// The reports of one pass are analysed in the order of their kernel times, whichever mouse sent
// them, so that the reports of two mice held up together keep their intervals:
//
//   each mouse with something to read    -> read into its own buffer of kPendingMax reports
//                                           (fixed, made when it was opened), until the kernel
//                                           has no more or the buffer has no room for a whole
//                                           read of kEventsPerRead events
//   a read brought reports               -> every mouse whose buffer is empty and that was last
//                                           found to have nothing before that read is looked at
//                                           again (one poll), and read if it has something now;
//                                           so a report passed over is later than every report
//                                           held (the pass may have been held up between reads)
//   then, over and over                  -> the report with the earliest kernel time of all the
//                                           buffers is analysed (of equal times, that of the mouse
//                                           opened first); one mouse's reports keep their order
//   a buffer that filled runs empty      -> its mouse is read again, as above, before the next
//                                           report is chosen: its next queued report may be the
//                                           earliest, and none of what it had queued is passed over
//   mice whose clock could not be set    -> last, mouse by mouse, each report stamped by the clock
//                                           as it is analysed (their times are on another clock)
//   a report that comes after its mouse  -> the next pass
//   was last looked at
//   the kernel dropped events            -> said on standard error where the drop lies among the
//                                           reports
//
// A quiet pass reads nothing and makes no call but its poll; a pass with reports makes one more
// poll where other mice are open.
//
// A mouse that is unplugged while open is closed without a line, once its reports are analysed.
// The pump ends after the pass in which a quit was requested, or in which a report line could
// not be written; once a quit is requested, no more reports are analysed.
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
static_assert(kPendingMax >= 2 * kEventsPerRead, "a mouse's buffer takes fewer than two whole reads");

// The poll's table, and whether its failure has been said.
struct Poll {
    std::vector<pollfd> polled;  // the hotplug watch, then the open mice in their order
    std::vector<Mouse*> looking;  // the mice of a second look, as polled holds them
    unsigned fills = 0;           // reads in this pass that brought reports
    bool warned = false;          // the cannot-poll line has been printed
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

// Reads the mouse, whose buffer is empty, into its buffer until the kernel has nothing more or
// the buffer has no room for another read; keeps the records the analysis acts on (motion alone is not kept) and the
// drops. Marks the mouse gone when its read says it is unplugged, and looked at when the kernel
// had nothing more.
void FillMouse(Mouse* mouse) {
    mouse->next = 0;
    mouse->count = 0;
    bool full = false;
    while (!Stopping()) {
        // Only while a whole read fits: each event ends at most one report, so none is left half
        // gathered, and a flood costs one read for every kEventsPerRead events.
        full = kPendingMax - mouse->count < kEventsPerRead;
        if (full) {
            break;
        }
        input_event events[kEventsPerRead];
        const ssize_t got = read(mouse->fd, events, sizeof(events));
        const size_t count = got > 0 ? static_cast<size_t>(got) / sizeof(input_event) : 0;
        for (size_t i = 0; i < count; ++i) {
            PendingReport report{};
            const FrameStep step = AddEvent(&mouse->frame, events[i], &report.record);
            report.dropped = step == FrameStep::kDropped;
            if (report.dropped || (step == FrameStep::kRecord && report.record.usButtonFlags != 0)) {
                mouse->pending[mouse->count++] = report;
            }
        }
        if (count < kEventsPerRead) {  // a short read took all there was; or empty (EAGAIN), or gone
            mouse->gone = got < 0 && errno == ENODEV;
            break;
        }
    }
    if (mouse->count > 0) {
        ++pump.fills;
    }
    mouse->looked = full ? 0 : pump.fills;  // a full buffer: more may wait
}

// Looks again at the mice whose buffer is empty and that were last found to have nothing before
// the latest read that brought reports, with one poll, and reads those that have something now;
// again while such a read brings reports. When poll fails, each of them is read.
void CatchUp() {
    while (!Stopping()) {
        size_t stale = 0;
        for (Mouse& mouse : mice.open) {
            if (mouse.next == mouse.count && !mouse.gone && mouse.looked < pump.fills) {
                pump.polled[stale] = {mouse.fd, POLLIN, 0};
                pump.looking[stale++] = &mouse;
            }
        }
        if (stale == 0) {
            return;
        }
        const unsigned fills = pump.fills;
        const bool failed = poll(pump.polled.data(), stale, 0) < 0;
        for (size_t i = 0; i < stale; ++i) {
            if (failed || pump.polled[i].revents != 0) {
                FillMouse(pump.looking[i]);
            } else {
                pump.looking[i]->looked = fills;
            }
        }
    }
}

// Returns the mouse whose next report is analysed next: of the mice with reports read, the one
// whose next report the kernel stamped first (of equal times, the first opened), or, when only
// mice whose clock could not be set have reports left, the first of those; nullptr when none has.
Mouse* NextMouse() {
    Mouse* next = nullptr;
    for (Mouse& mouse : mice.open) {
        if (mouse.next == mouse.count) {
            continue;
        }
        const bool sooner = next == nullptr ||
                            (mouse.timed && (!next->timed || mouse.pending[mouse.next].record.timeMs <
                                                                 next->pending[next->next].record.timeMs));
        if (sooner) {
            next = &mouse;
        }
    }
    return next;
}

// Analyses the mouse's next report.
void AnalyseNext(Mouse* mouse) {
    const PendingReport& report = mouse->pending[mouse->next++];
    const MouseRecord& record = report.record;
    if (report.dropped) {
        PrintErrorLine("mousecheck: /dev/input/event%u: the kernel dropped events; "
                       "the lines of some reports are missing\n", mouse->number);
    } else {
        // The report's own time; on a device whose clock could not be set, the clock's.
        const std::optional<int64_t> reportMs = mouse->timed ? std::optional<int64_t>(record.timeMs) : std::nullopt;
        AnalyseButtons(record.usButtonFlags | static_cast<uint32_t>(record.usButtonData) << 16, reportMs);
        AnalyseWheel(record.usButtonFlags, record.usButtonData, reportMs);
    }
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
    pump.fills = 0;
    for (size_t i = 0; i < mice.open.size(); ++i) {
        mice.open[i].ready = failed || (ready > 0 && pump.polled[i + 1].revents != 0);
        mice.open[i].looked = 0;  // looked at by this poll
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
        // The hotplug watch may have opened mice since the poll (ready: read at once); the
        // looks catch up with them.
        pump.polled.resize(mice.open.size() + 1);
        pump.looking.resize(mice.open.size());
        for (Mouse& mouse : mice.open) {
            if (mouse.ready) {
                FillMouse(&mouse);
            }
        }
        for (CatchUp(); !Stopping(); CatchUp()) {
            Mouse* next = NextMouse();
            if (next == nullptr) {
                break;
            }
            AnalyseNext(next);
        }
        for (size_t i = mice.open.size(); i-- > 0;) {
            if (mice.open[i].gone) {
                CloseMouse(mice.open[i].number);  // unplugged
            }
        }
        SleepMs(kPumpSleepMs);
        timingState.pumpMs = NowMs();
        if (Stopping()) {
            return;
        }
    }
}
