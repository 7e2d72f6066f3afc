// The mice being watched, their reports turned into raw mouse records, and the pump.
//
// Each event device sends a mouse report as events up to SYN_REPORT; the report becomes one
// record of the platform's flags:
//
//   BTN_LEFT 1, SYN_REPORT            -> flags 0x0001 (left down)
//   BTN_LEFT 0, SYN_REPORT            -> flags 0x0002 (left up); value 2, autorepeat, is ignored
//   BTN_LEFT 1, BTN_RIGHT 1, SYN      -> flags 0x0005, as one Windows record of both buttons
//   REL_WHEEL -1, SYN_REPORT          -> flags 0x0400, data -120
//   REL_HWHEEL 1, SYN_REPORT          -> flags 0x0800, data 120
//   REL_X 3, REL_Y -1, SYN_REPORT     -> flags 0, data 0 (motion alone)
//   SYN_DROPPED ... SYN_REPORT        -> nothing: the report the kernel cut short is skipped
//
// A pump pass asks the kernel once which mice and which watch have something to read (poll,
// without waiting), reads only those until they are empty, analyses each record in the order it
// came, then sleeps 1 ms and stamps pumpMs: a quiet pass costs that one call, however many mice.
//
// Mice that appear later are opened from an inotify watch on /dev/input, on a node's creation
// and on its change of group or mode (udev sets them after the node exists). A second watch, on
// /dev for "input", lasts the whole run: it sees /dev/input removed and made again at once,
// whereas the end of the watch on a removed /dev/input waits until its last open node is closed.
// A mouse that cannot be opened:
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
#include <linux/input.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "analysis/analysis.h"
#include "analysis/raw_mouse.h"
#include "analysis/report.h"
#include "timing/timing.h"

volatile std::sig_atomic_t quitRequested = 0;

namespace {

constexpr int64_t kPumpSleepMs = 1;
constexpr int32_t kNotchesMax = 32768 / kWheelDeltaPerNotch + 1;  // beyond 16 bits of delta
constexpr size_t kEventsPerRead = 64;
// How long after its node appeared a mouse that cannot be opened is named: udev gives the node
// its group and mode only after creating it, so a warning at once would be a false alarm.
constexpr int64_t kLateOpenWarnMs = 1000;
// What the watch on /dev/input reports (nodes made, changed, removed), and the one on /dev
// (/dev/input made or removed).
constexpr uint32_t kInputWatchEvents = IN_CREATE | IN_ATTRIB | IN_DELETE | IN_ONLYDIR;
constexpr uint32_t kDevWatchEvents = IN_CREATE | IN_MOVED_TO | IN_DELETE | IN_MOVED_FROM | IN_ONLYDIR;

// An open mouse: its event device N, the node it has open, and the report being gathered.
struct Mouse {
    int fd;
    unsigned number;
    dev_t device;  // the node's file system and inode, which tell a new node from the one open
    ino_t inode;
    FrameState frame;
    bool ready;  // this pass's poll found something to read, or it was opened in this pass
};

// A mouse that could not be opened yet.
struct LateMouse {
    unsigned number;
    dev_t device;  // its node (zero when it had none), which tells a new node of the number
    ino_t inode;
    int64_t appearedMs;  // when its node was seen to appear
    bool warned;         // its "cannot open" line has been printed
};

std::vector<Mouse> mice;
std::vector<LateMouse> lateMice;
std::vector<pollfd> polled;  // the hotplug watch, then the mice in their order; refilled each pass
int hotplugFd = -1;
int hotplugError = 0;  // why there is no inotify instance
int inputWatch = -1;   // the watch on /dev/input, or -1
int devWatch = -1;     // the watch on /dev, for /dev/input, or -1
bool watchWarned = false;
const char* rootPath = "";  // where /sys and /dev/input lie; kept for the whole run

// Tells whether the pump is to end: a quit was requested, or the report cannot be written.
bool Stopping() {
    return quitRequested != 0 || reportError != 0;
}

// Returns the down flag of a button code (the up flag is twice it), or 0 for other codes.
uint16_t DownFlag(uint16_t code) {
    switch (code) {
    case BTN_LEFT: return RI_MOUSE_LEFT_BUTTON_DOWN;
    case BTN_RIGHT: return RI_MOUSE_RIGHT_BUTTON_DOWN;
    case BTN_MIDDLE: return RI_MOUSE_MIDDLE_BUTTON_DOWN;
    case BTN_SIDE: return RI_MOUSE_BUTTON_4_DOWN;
    case BTN_EXTRA: return RI_MOUSE_BUTTON_5_DOWN;
    default: return 0;
    }
}

// Returns notches as a 16-bit wheel delta, clamped to its range.
uint16_t WheelDelta(int32_t notches) {
    const int32_t delta = std::clamp(notches * kWheelDeltaPerNotch, -32768, 32767);
    return static_cast<uint16_t>(static_cast<int16_t>(delta));
}

// Adds notches to a wheel's count so far, both clamped beyond 16 bits of delta.
int32_t AddNotches(int32_t total, int32_t value) {
    return std::clamp(total + std::clamp(value, -kNotchesMax, kNotchesMax), -kNotchesMax, kNotchesMax);
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
        std::fprintf(stderr, "mousecheck: cannot open /dev/input/event%u: %s; run it with sudo, or as "
                             "a member of the group input\n", number, std::strerror(error));
    } else {
        std::fprintf(stderr, "mousecheck: cannot open /dev/input/event%u: %s\n", number, std::strerror(error));
    }
}

// Writes the path of node N under the root.
void NodePath(unsigned number, char (&path)[kPathMax]) {
    std::snprintf(path, sizeof(path), "%s/dev/input/event%u", rootPath, number);
}

// Returns the open mouse with event number N, or mice.end().
std::vector<Mouse>::iterator FindMouse(unsigned number) {
    return std::find_if(mice.begin(), mice.end(), [&](const Mouse& m) { return m.number == number; });
}

// Returns the late mouse with event number N, or lateMice.end().
std::vector<LateMouse>::iterator FindLateMouse(unsigned number) {
    return std::find_if(lateMice.begin(), lateMice.end(), [&](const LateMouse& m) { return m.number == number; });
}

// Forgets the late mouse with event number N, if there is one.
void ForgetLateMouse(unsigned number) {
    const auto late = FindLateMouse(number);
    if (late != lateMice.end()) {
        lateMice.erase(late);
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
    struct stat node {};
    fstat(fd, &node);
    mice.push_back({fd, number, node.st_dev, node.st_ino, {}, true});  // read at once: it may have reports
    return 0;
}

// Closes event device N if it is open.
void CloseMouse(unsigned number) {
    const auto gone = FindMouse(number);
    if (gone != mice.end()) {
        close(gone->fd);
        mice.erase(gone);
    }
}

// Brings event device N up to date after its node appeared or changed: an open descriptor on
// another node than the one now there belongs to a device that is gone and is closed (its number
// was reused); then a mouse not open is opened. One that cannot be opened is a late mouse, due
// to be named a second after its node appeared; a new node of its number starts that afresh.
void RefreshMouse(unsigned number) {
    char path[kPathMax];
    NodePath(number, path);
    struct stat node {};
    const bool hasNode = stat(path, &node) == 0;
    const auto opened = FindMouse(number);
    if (opened != mice.end()) {
        if (!hasNode || (node.st_dev == opened->device && node.st_ino == opened->inode)) {
            return;  // the node it has open, or none in its place
        }
        CloseMouse(number);
    }
    Capabilities caps{};
    if (!ReadMouse(rootPath, number, &caps)) {
        ForgetLateMouse(number);  // not a mouse, or gone
        return;
    }
    const int error = OpenMouse(number);
    const auto late = FindLateMouse(number);
    if (error == 0) {
        if (late != lateMice.end()) {
            if (late->warned) {
                std::fprintf(stderr, "mousecheck: /dev/input/event%u can be opened now; it is watched\n", number);
            }
            lateMice.erase(late);
        }
        return;
    }
    const LateMouse now = NewLateMouse(number, false);
    if (late == lateMice.end()) {
        lateMice.push_back(now);
    } else if (late->device != now.device || late->inode != now.inode) {
        *late = now;
    }
}

// Names, once each, the late mice that still cannot be opened a second after they appeared;
// forgets those that can be by then.
void WarnLateMice() {
    const int64_t now = NowMs();
    for (size_t i = 0; i < lateMice.size();) {
        LateMouse& late = lateMice[i];
        if (late.warned || now - late.appearedMs < kLateOpenWarnMs) {
            ++i;
        } else if (const int error = OpenMouse(late.number)) {
            WarnCannotOpen(late.number, error);
            late.warned = true;  // kept, to say so when it can be opened after all
            ++i;
        } else {
            lateMice.erase(lateMice.begin() + static_cast<std::ptrdiff_t>(i));
        }
    }
}

// Adds an inotify watch on root/<folder>; returns it, or -1 with the reason in *error.
int AddWatch(const char* folder, uint32_t events, int* error) {
    char path[kPathMax];
    std::snprintf(path, sizeof(path), "%s/%s", rootPath, folder);
    const int watch = inotify_add_watch(hotplugFd, path, events);
    if (watch < 0) {
        *error = errno;
    }
    return watch;
}

// Watches /dev for /dev/input to come and go, from the first call for the whole run, and
// /dev/input for its nodes when it exists. When neither is watched, says once that mice
// plugged in later will not be seen.
void WatchInput() {
    int error = hotplugError;
    if (hotplugFd >= 0) {
        if (devWatch < 0) {
            devWatch = AddWatch("dev", kDevWatchEvents, &error);
        }
        inputWatch = AddWatch("dev/input", kInputWatchEvents, &error);
    }
    if (inputWatch < 0 && devWatch < 0 && !watchWarned) {
        watchWarned = true;
        std::fprintf(stderr, "mousecheck: cannot watch /dev/input: %s; mice plugged in later will not be seen\n",
                     std::strerror(error));
    }
}

// Ends the watch on a /dev/input that was removed, without waiting for its last open node.
void UnwatchInput() {
    if (inputWatch >= 0) {
        inotify_rm_watch(hotplugFd, inputWatch);
        inputWatch = -1;
    }
}

// Brings every event device now present up to date and forgets the late mice that are gone:
// after /dev/input appeared, or when the watch's queue overflowed and some changes were missed.
void RefreshAll() {
    const std::vector<unsigned> present = EventNumbers(rootPath);
    lateMice.erase(std::remove_if(lateMice.begin(), lateMice.end(),
                                  [&](const LateMouse& m) {
                                      return !std::binary_search(present.begin(), present.end(), m.number);
                                  }),
                   lateMice.end());
    for (const unsigned number : present) {
        RefreshMouse(number);
    }
}

// Opens the mice whose nodes appeared or changed, forgets late mice whose nodes went; follows
// /dev/input when it goes and comes back; after an overflow of the watch's queue, rescans.
void DrainHotplug() {
    alignas(inotify_event) char buffer[4096];
    for (;;) {
        const ssize_t got = read(hotplugFd, buffer, sizeof(buffer));
        if (got <= 0) {
            return;
        }
        for (ssize_t at = 0; at < got;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
            const bool isInput = event->len > 0 && std::strcmp(event->name, "input") == 0;
            unsigned number = 0;
            if ((event->mask & IN_Q_OVERFLOW) != 0) {
                WatchInput();  // the same watch while /dev/input is the same one
                RefreshAll();
            } else if (event->wd == devWatch && isInput) {
                UnwatchInput();
                if ((event->mask & (IN_CREATE | IN_MOVED_TO)) != 0) {
                    WatchInput();
                    if (inputWatch >= 0) {
                        RefreshAll();  // the nodes made with it raised no event of its watch
                    }
                }
            } else if (event->wd == inputWatch && (event->mask & IN_IGNORED) != 0) {
                inputWatch = -1;  // /dev/input was removed; it may be back already
                WatchInput();
                if (inputWatch >= 0) {
                    RefreshAll();
                }
            } else if (event->wd == inputWatch && event->len > 0 && ParseEventName(event->name, &number)) {
                if ((event->mask & IN_DELETE) != 0) {
                    ForgetLateMouse(number);  // an open one is closed when its reads say it is gone
                } else {
                    RefreshMouse(number);
                }
            }
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
        }
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
            switch (AddEvent(&mouse->frame, events[i].type, events[i].code, events[i].value, &record)) {
            case FrameStep::kRecord:
                AnalyseButtons(record.usButtonFlags | static_cast<uint32_t>(record.usButtonData) << 16);
                AnalyseWheel(record.usButtonFlags, record.usButtonData);
                break;
            case FrameStep::kDropped:
                std::fprintf(stderr, "mousecheck: /dev/input/event%u: the kernel dropped events; "
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
// are gone); marks those mice ready and tells whether the watch has events.
bool PollDevices() {
    polled.resize(mice.size() + 1);  // grows only when a mouse appears
    polled[0] = {hotplugFd, POLLIN, 0};  // a negative descriptor is skipped
    for (size_t i = 0; i < mice.size(); ++i) {
        polled[i + 1] = {mice[i].fd, POLLIN, 0};
    }
    const bool any = poll(polled.data(), polled.size(), 0) > 0;
    for (size_t i = 0; i < mice.size(); ++i) {
        mice[i].ready = any && polled[i + 1].revents != 0;
    }
    return any && polled[0].revents != 0;
}

}  // namespace

// Adds one event to the frame; at SYN_REPORT, gives the report as a record.
FrameStep AddEvent(FrameState* frame, uint16_t type, uint16_t code, int32_t value, MouseRecord* record) {
    if (type == EV_SYN && code == SYN_DROPPED) {
        *frame = {};
        frame->dropping = true;
        return FrameStep::kDropped;
    }
    if (type == EV_SYN && code == SYN_REPORT) {
        const bool dropped = frame->dropping;
        const uint16_t flags = frame->flags;
        const uint16_t data = (flags & RI_MOUSE_WHEEL) != 0    ? WheelDelta(frame->wheel)
                              : (flags & RI_MOUSE_HWHEEL) != 0 ? WheelDelta(frame->hwheel)
                                                               : 0;
        *frame = {};
        if (dropped) {
            return FrameStep::kGoesOn;
        }
        *record = {flags, data};
        return FrameStep::kRecord;
    }
    if (frame->dropping) {
        return FrameStep::kGoesOn;
    }
    if (type == EV_KEY && DownFlag(code) != 0 && (value == 0 || value == 1)) {
        frame->flags |= static_cast<uint16_t>(value == 1 ? DownFlag(code) : DownFlag(code) << 1);
    } else if (type == EV_REL && code == REL_WHEEL) {
        frame->flags |= RI_MOUSE_WHEEL;
        frame->wheel = AddNotches(frame->wheel, value);
    } else if (type == EV_REL && code == REL_HWHEEL) {
        frame->flags |= RI_MOUSE_HWHEEL;
        frame->hwheel = AddNotches(frame->hwheel, value);
    }
    return FrameStep::kGoesOn;
}


// Installs the quit signals, the hotplug watch, and opens the mice now present.
std::vector<MouseDevice> SetUpReceiver(const char* root) {
    CatchQuit(SIGINT);
    CatchQuit(SIGTERM);
    CatchQuit(SIGHUP);  // the terminal closed: a redirected log keeps every line

    // From scratch, closing what an earlier call opened, so that tests can set up again.
    for (const Mouse& mouse : mice) {
        close(mouse.fd);
    }
    mice.clear();
    lateMice.clear();
    if (hotplugFd >= 0) {
        close(hotplugFd);
    }
    inputWatch = devWatch = -1;
    watchWarned = false;
    rootPath = root;
    // Watched before the mice are opened, so that none appears unseen in between.
    hotplugFd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    hotplugError = hotplugFd < 0 ? errno : 0;
    WatchInput();
    std::vector<MouseDevice> present = FindMice(root);
    for (const MouseDevice& mouse : present) {
        if (const int error = OpenMouse(mouse.number)) {
            WarnCannotOpen(mouse.number, error);
            lateMice.push_back(NewLateMouse(mouse.number, true));  // named already: not again for this node
        }
    }
    return present;
}

// Runs pump passes until a quit is requested or a report line cannot be written.
void RunPump() {
    for (;;) {
        if (PollDevices()) {
            DrainHotplug();
        }
        if (!lateMice.empty()) {
            WarnLateMice();
        }
        for (size_t i = 0; i < mice.size() && !Stopping();) {
            if (!mice[i].ready || DrainMouse(&mice[i])) {
                ++i;
            } else {
                CloseMouse(mice[i].number);  // unplugged; the next one moves into its place
            }
        }
        SleepMs(kPumpSleepMs);
        timingState.pumpMs = NowMs();
        if (Stopping()) {
            return;
        }
    }
}
