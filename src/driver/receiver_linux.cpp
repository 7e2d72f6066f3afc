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
// Mice that appear later are opened when the hotplug watch says their node came. A mouse that
// cannot be opened:
//
//   present at the start             -> "cannot open ..." at once
//   appeared later                   -> "cannot open ..." if it still cannot a second later
//                                       (udev may not have given its node the group yet)
//   named so, and opened later       -> "... can be opened now; it is watched"
//   its node removed, or replaced    -> forgotten; a new node of its number starts afresh
//
// A mouse that is unplugged while open is closed without a line. The pump ends after the pass in
// which a quit was requested, or in which a report line could not be written.
#include "driver/receiver_linux.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>

#include "analysis/analysis.h"
#include "analysis/report.h"
#include "driver/hotplug_linux.h"
#include "timing/timing.h"

volatile std::sig_atomic_t quitRequested = 0;

namespace {

constexpr int64_t kPumpSleepMs = 1;
constexpr size_t kEventsPerRead = 64;
// How long after its node appeared a mouse that cannot be opened is named: udev gives the node
// its group and mode only after creating it, so a warning at once would be a false alarm.
constexpr int64_t kLateOpenWarnMs = 1000;
// What OpenIfMouse returns for a device that sysfs says is no mouse, or does not have: no errno.
constexpr int kNotAMouse = -2;

// An open mouse: its event device N, the node it has open, and the report being gathered.
struct Mouse {
    int fd;
    unsigned number;
    dev_t device;  // the node's file system and inode, which tell a new node from the one open
    ino_t inode;
    FrameState frame;
    bool ready;     // this pass's poll found something to read, or it was opened in this pass
    bool timed;     // its events are stamped on the monotonic clock: its reports carry their time
};

// A mouse that could not be opened yet.
struct LateMouse {
    unsigned number;
    dev_t device;  // its node (zero when it had none), which tells a new node of the number
    ino_t inode;
    int64_t appearedMs;  // when its node was seen to appear
    bool warned;         // its "cannot open" line has been printed
};

// The mice: those open, those not open yet, and the poll's table.
struct Mice {
    std::vector<Mouse> open;
    std::vector<LateMouse> late;
    std::vector<pollfd> polled;  // the hotplug watch, then the open mice in their order
    const char* root = "";       // where /sys and /dev/input lie; kept for the whole run
    bool pollWarned = false;     // the cannot-poll line has been printed
};

Mice mice;

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
    // A write that the signal interrupts goes on, so that the line it carries, and those after
    // it, reach a reader that is slow or paused whole. The pump's reads never wait, and its
    // sleep resumes by itself.
    action.sa_flags = SA_RESTART;
    sigaction(quitSignal, &action, nullptr);
}

// Prints the line that says why event device N cannot be opened, and what to do about it.
void WarnCannotOpen(unsigned number, int error) {
    if (error == EACCES || error == EPERM) {
        PrintErrorLine("mousecheck: cannot open /dev/input/event%u: %s; run it with sudo, or as "
                       "a member of the group input\n", number, std::strerror(error));
    } else {
        PrintErrorLine("mousecheck: cannot open /dev/input/event%u: %s\n", number, std::strerror(error));
    }
}

// Writes the path of node N under the root.
void NodePath(unsigned number, char (&path)[kPathMax]) {
    std::snprintf(path, sizeof(path), "%s/dev/input/event%u", mice.root, number);
}

// Returns the open mouse with event number N, or mice.open.end().
std::vector<Mouse>::iterator FindMouse(unsigned number) {
    return std::find_if(mice.open.begin(), mice.open.end(), [&](const Mouse& m) { return m.number == number; });
}

// Returns the late mouse with event number N, or mice.late.end().
std::vector<LateMouse>::iterator FindLateMouse(unsigned number) {
    return std::find_if(mice.late.begin(), mice.late.end(), [&](const LateMouse& m) { return m.number == number; });
}

// Forgets the late mouse with event number N, if there is one.
void ForgetLateMouse(unsigned number) {
    const auto late = FindLateMouse(number);
    if (late != mice.late.end()) {
        mice.late.erase(late);
    }
}

// Returns a late mouse for event device N, whose node appeared now.
LateMouse NewLateMouse(unsigned number, bool warned) {
    char path[kPathMax];
    NodePath(number, path);
    struct stat entry {};
    lstat(path, &entry);  // left zero without a node: any node that comes later is a new one
    return {number, entry.st_dev, entry.st_ino, NowMs(), warned};
}

// Opens event device N, a mouse that is not open; returns 0, or the error of open().
int OpenMouse(unsigned number) {
    char path[kPathMax];
    NodePath(number, path);
    const int fd = ::open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return errno;
    }
    // At once, before any read: a change of clock drops the events queued (SYN_DROPPED).
    const bool timed = SetEventClock(fd);
    struct stat node {};
    fstat(fd, &node);
    mice.open.push_back({fd, number, node.st_dev, node.st_ino, {}, true, timed});  // read at once: it may have reports
    return 0;
}

// Closes event device N if it is open.
void CloseMouse(unsigned number) {
    const auto gone = FindMouse(number);
    if (gone != mice.open.end()) {
        close(gone->fd);
        mice.open.erase(gone);
    }
}

// Opens event device N, not open, if sysfs says it is a mouse; returns 0 when it is open now,
// kNotAMouse when it is not one (or is gone), or the error that kept sysfs from being read
// (EMFILE: too many files open) or the node from being opened.
int OpenIfMouse(unsigned number) {
    Capabilities caps{};
    int error = 0;
    if (!ReadMouse(mice.root, number, &caps, &error)) {
        return error != 0 ? error : kNotAMouse;
    }
    return OpenMouse(number);
}

// Brings event device N up to date after its node appeared or changed: an open descriptor on
// another node than the one now there belongs to a device that is gone and is closed (its number
// was reused); then a mouse not open is opened. One that cannot be opened, or whose sysfs cannot
// be read, is a late mouse, due to be named a second after its node appeared; a new node of its
// number starts that afresh. A number without a node is no late mouse.
void RefreshMouse(unsigned number) {
    char path[kPathMax];
    NodePath(number, path);
    struct stat node {};
    const bool hasNode = stat(path, &node) == 0;
    const auto opened = FindMouse(number);
    if (opened != mice.open.end()) {
        if (!hasNode || (node.st_dev == opened->device && node.st_ino == opened->inode)) {
            return;  // the node it has open, or none in its place
        }
        CloseMouse(number);
    }
    struct stat entry {};
    if (lstat(path, &entry) != 0) {
        ForgetLateMouse(number);  // its node went (the watch's event of it may have been lost)
        return;
    }
    const int error = OpenIfMouse(number);
    const auto late = FindLateMouse(number);
    if (error == kNotAMouse) {
        ForgetLateMouse(number);
        return;
    }
    if (error == 0) {
        if (late != mice.late.end()) {
            if (late->warned) {
                PrintErrorLine("mousecheck: /dev/input/event%u can be opened now; it is watched\n", number);
            }
            mice.late.erase(late);
        }
        return;
    }
    const LateMouse now = NewLateMouse(number, false);
    if (late == mice.late.end()) {
        mice.late.push_back(now);
    } else if (late->device != now.device || late->inode != now.inode) {
        *late = now;
    }
}

// Names, once each, the late mice that still cannot be opened a second after they appeared;
// forgets those that can be by then.
void WarnLateMice() {
    const int64_t now = NowMs();
    for (size_t i = 0; i < mice.late.size();) {
        LateMouse& late = mice.late[i];
        const int error = late.warned || now - late.appearedMs < kLateOpenWarnMs ? -1 : OpenIfMouse(late.number);
        if (error == -1) {
            ++i;  // not due
        } else if (error != 0 && error != kNotAMouse) {
            WarnCannotOpen(late.number, error);
            late.warned = true;  // kept, to say so when it can be opened after all
            ++i;
        } else {
            mice.late.erase(mice.late.begin() + static_cast<std::ptrdiff_t>(i));
        }
    }
}

// Brings every event device now present up to date and forgets the late mice that are gone
// from sysfs (RefreshMouse forgets those whose node is gone): after /dev/input appeared, or when
// the watch's queue overflowed and some changes were missed.
void RefreshAll() {
    const std::vector<unsigned> present = EventNumbers(mice.root);
    for (size_t i = mice.late.size(); i-- > 0;) {
        if (!std::binary_search(present.begin(), present.end(), mice.late[i].number)) {
            ForgetLateMouse(mice.late[i].number);
        }
    }
    for (const unsigned number : present) {
        RefreshMouse(number);
    }
}

// Acts on what the hotplug watch saw: opens the mice whose nodes came, forgets late mice whose
// nodes went (an open one is closed when its reads say it is gone), rescans when asked.
void FollowNode(NodeChange change, unsigned number) {
    switch (change) {
    case NodeChange::kCame: RefreshMouse(number); break;
    case NodeChange::kWent: ForgetLateMouse(number); break;
    case NodeChange::kRescan: RefreshAll(); break;
    }
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
    mice.polled.resize(mice.open.size() + 1);  // grows only when a mouse appears
    mice.polled[0] = {HotplugFd(), POLLIN, 0};  // a negative descriptor is skipped
    for (size_t i = 0; i < mice.open.size(); ++i) {
        mice.polled[i + 1] = {mice.open[i].fd, POLLIN, 0};
    }
    const int ready = poll(mice.polled.data(), mice.polled.size(), 0);
    const bool failed = ready < 0 && errno != EINTR;
    if (failed && !mice.pollWarned) {
        mice.pollWarned = true;
        PrintErrorLine("mousecheck: cannot poll the mice: %s; each pass reads every mouse\n", std::strerror(errno));
    }
    for (size_t i = 0; i < mice.open.size(); ++i) {
        mice.open[i].ready = failed || (ready > 0 && mice.polled[i + 1].revents != 0);
    }
    return failed || (ready > 0 && mice.polled[0].revents != 0);
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

    // From scratch, closing what an earlier call opened, so that tests can set up again.
    for (const Mouse& mouse : mice.open) {
        close(mouse.fd);
    }
    mice.open.clear();
    mice.late.clear();
    mice.root = root;
    mice.pollWarned = false;
    // Watched before the mice are opened, so that none appears unseen in between.
    StartHotplug(root);
    std::vector<UnreadDevice> unread;
    std::vector<MouseDevice> present = FindMice(root, &unread);
    for (const UnreadDevice& device : unread) {  // not known to be a mouse: why is said all the same
        WarnCannotOpen(device.number, device.error);
        mice.late.push_back(NewLateMouse(device.number, true));
    }
    for (const MouseDevice& mouse : present) {
        if (const int error = OpenMouse(mouse.number)) {
            WarnCannotOpen(mouse.number, error);
            mice.late.push_back(NewLateMouse(mouse.number, true));  // named already: not again for this node
        }
    }
    return present;
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
