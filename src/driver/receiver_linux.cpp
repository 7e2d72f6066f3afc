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
// The pump reads every mouse without waiting until it is empty, analyses each record in the
// order it came, then sleeps 1 ms and stamps pumpMs. Mice that appear later are opened from an
// inotify watch on /dev/input, on a node's creation and on its change of group or mode (udev
// sets them after the node exists). While /dev/input does not exist (no input device yet, or
// devtmpfs removed it with its last node) its parent is watched for it instead. A mouse that
// appeared after the start and still cannot be opened a second later is named on standard error
// once, as at the start; one that is unplugged is closed without a line.
#include "driver/receiver_linux.h"

#include <fcntl.h>
#include <linux/input.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "analysis/analysis.h"
#include "devices/devices_linux.h"
#include "timing/timing.h"

volatile std::sig_atomic_t quitRequested = 0;

namespace {

constexpr int64_t kPumpSleepMs = 1;
constexpr int32_t kWheelDeltaPerNotch = 120;
constexpr int32_t kNotchesMax = 32768 / kWheelDeltaPerNotch + 1;  // beyond 16 bits of delta
constexpr size_t kPathMax = 4096;
constexpr size_t kEventsPerRead = 64;
// How long after its node appeared a mouse that cannot be opened is named: udev gives the node
// its group and mode only after creating it, so a warning at once would be a false alarm.
constexpr int64_t kLateOpenWarnMs = 1000;

constexpr uint16_t RI_MOUSE_WHEEL = 0x0400;
constexpr uint16_t RI_MOUSE_HWHEEL = 0x0800;

// An open mouse: its event device N, the node it has open, and the report being gathered.
struct Mouse {
    int fd;
    unsigned number;
    dev_t device;  // the node's file system and inode, which tell a new node from the one open
    ino_t inode;
    FrameState frame;
};

// A mouse that appeared after the start and could not be opened yet.
struct LateMouse {
    unsigned number;
    int64_t appearedMs;  // when its node was seen to appear
    bool warned;         // its line has been printed
};

std::vector<Mouse> mice;
std::vector<LateMouse> lateMice;
int hotplugFd = -1;
int inputWatch = -1;   // the watch on /dev/input, or -1
int parentWatch = -1;  // the watch on /dev for /dev/input to appear, or -1
bool watchWarned = false;
const char* rootPath = "";  // where /sys and /dev/input lie; kept for the whole run

// Returns the down flag of a button code (the up flag is twice it), or 0 for other codes.
uint16_t DownFlag(uint16_t code) {
    switch (code) {
    case BTN_LEFT: return 0x0001;
    case BTN_RIGHT: return 0x0004;
    case BTN_MIDDLE: return 0x0010;
    case BTN_SIDE: return 0x0040;   // button 4
    case BTN_EXTRA: return 0x0100;  // button 5
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

// Opens event device N if it is a mouse not yet open; returns 0 then or when there is nothing
// to open, the error of open() otherwise.
int OpenMouse(unsigned number) {
    if (FindMouse(number) != mice.end() || !IsMouse(rootPath, number)) {
        return 0;
    }
    char path[kPathMax];
    NodePath(number, path);
    const int fd = ::open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    struct stat node {};
    if (fd < 0) {
        return errno;
    }
    fstat(fd, &node);
    mice.push_back({fd, number, node.st_dev, node.st_ino, {}});
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
// was reused); then a mouse not open is opened. created: the node was created, so a mouse that
// cannot be opened is a new device, whose line is due a second from now.
void RefreshMouse(unsigned number, bool created) {
    char path[kPathMax];
    NodePath(number, path);
    struct stat node {};
    const auto open = FindMouse(number);
    if (open != mice.end() && stat(path, &node) == 0 && (node.st_dev != open->device || node.st_ino != open->inode)) {
        CloseMouse(number);
    }
    const int error = OpenMouse(number);
    auto late = FindLateMouse(number);
    if (error == 0) {
        if (late != lateMice.end()) {
            lateMice.erase(late);
        }
    } else if (late == lateMice.end()) {
        lateMice.push_back({number, NowMs(), false});
    } else if (created) {
        *late = {number, NowMs(), false};
    }
}

// Names, once each, the late mice that still cannot be opened a second after they appeared.
void WarnLateMice() {
    for (LateMouse& late : lateMice) {
        if (!late.warned && NowMs() - late.appearedMs >= kLateOpenWarnMs) {
            late.warned = true;  // done with, opened or not, until a new node takes the number
            if (const int error = OpenMouse(late.number)) {
                WarnCannotOpen(late.number, error);
            }
        }
    }
    lateMice.erase(std::remove_if(lateMice.begin(), lateMice.end(),
                                  [](const LateMouse& m) { return FindMouse(m.number) != mice.end(); }),
                   lateMice.end());
}

// Watches /dev/input for nodes; while it does not exist, watches its parent for it instead.
// When neither can be watched, says once that mice plugged in later will not be seen.
void WatchInput() {
    char path[kPathMax];
    std::snprintf(path, sizeof(path), "%s/dev/input", rootPath);
    int error = errno;  // inotify_init1's, when there is no inotify instance
    for (;;) {
        inputWatch = hotplugFd < 0 ? -1 : inotify_add_watch(hotplugFd, path, IN_CREATE | IN_ATTRIB | IN_ONLYDIR);
        error = errno;
        if (inputWatch >= 0) {
            if (parentWatch >= 0) {
                inotify_rm_watch(hotplugFd, parentWatch);
                parentWatch = -1;
            }
            return;
        }
        if (hotplugFd < 0 || error != ENOENT || parentWatch >= 0) {
            break;  // no inotify, or /dev/input cannot be watched, or it is gone and its parent watched
        }
        char parent[kPathMax];
        std::snprintf(parent, sizeof(parent), "%s/dev", rootPath);
        parentWatch = inotify_add_watch(hotplugFd, parent, IN_CREATE | IN_MOVED_TO | IN_ONLYDIR);
        if (parentWatch < 0) {
            error = errno;
            break;
        }
        // Then tried once more: /dev/input may have appeared before its parent was watched.
    }
    if (parentWatch < 0 && !watchWarned) {
        watchWarned = true;
        std::fprintf(stderr, "mousecheck: cannot watch /dev/input: %s; mice plugged in later will not be seen\n",
                     std::strerror(error));
    }
}

// Brings every event device now present up to date: after /dev/input appeared, or when the
// watch's queue overflowed and some changes were missed.
void RefreshAll(bool created) {
    for (const unsigned present : EventNumbers(rootPath)) {
        RefreshMouse(present, created);
    }
}

// Opens the mice whose nodes appeared or changed since the last pass; follows /dev/input when
// it goes and comes back; after an overflow of the watch's queue, rescans.
void DrainHotplug() {
    alignas(inotify_event) char buffer[4096];
    while (hotplugFd >= 0) {
        const ssize_t got = read(hotplugFd, buffer, sizeof(buffer));
        if (got <= 0) {
            break;
        }
        for (ssize_t at = 0; at < got;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
            unsigned number = 0;
            if ((event->mask & IN_Q_OVERFLOW) != 0) {
                WatchInput();  // the same watch while /dev/input is the same; its end may be lost
                RefreshAll(false);  // some were missed
            } else if (event->wd == inputWatch && (event->mask & IN_IGNORED) != 0) {
                inputWatch = -1;  // /dev/input was removed: wait for it to come back
                WatchInput();
                if (inputWatch >= 0) {
                    RefreshAll(true);
                }
            } else if (event->wd == parentWatch && event->len > 0 && std::strcmp(event->name, "input") == 0) {
                WatchInput();
                if (inputWatch >= 0) {
                    RefreshAll(true);  // the nodes made with it raised no event here
                }
            } else if (event->wd == inputWatch && event->len > 0 && ParseEventName(event->name, &number)) {
                RefreshMouse(number, (event->mask & IN_CREATE) != 0);
            }
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
        }
    }
    WarnLateMice();
}

// Reads and analyses everything queued on one mouse; false when it is gone.
bool DrainMouse(Mouse* mouse) {
    input_event events[kEventsPerRead];
    while (quitRequested == 0) {
        const ssize_t got = read(mouse->fd, events, sizeof(events));
        if (got < 0 && errno == ENODEV) {
            return false;  // unplugged
        }
        if (got <= 0) {
            return true;  // empty (EAGAIN; an event node never reads 0 bytes), or interrupted
        }
        const size_t count = static_cast<size_t>(got) / sizeof(input_event);
        for (size_t i = 0; i < count && quitRequested == 0; ++i) {
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
    }
    return true;
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
void SetUpReceiver(const char* root) {
    struct sigaction quit {};
    quit.sa_handler = RequestQuit;
    sigemptyset(&quit.sa_mask);
    sigaction(SIGINT, &quit, nullptr);
    sigaction(SIGTERM, &quit, nullptr);
    // The terminal closed: a redirected log keeps every line. Under nohup SIGHUP stays ignored.
    struct sigaction hangup {};
    if (sigaction(SIGHUP, nullptr, &hangup) == 0 && hangup.sa_handler != SIG_IGN) {
        sigaction(SIGHUP, &quit, nullptr);
    }

    // From scratch, closing what an earlier call opened, so that tests can set up again.
    for (const Mouse& mouse : mice) {
        close(mouse.fd);
    }
    mice.clear();
    lateMice.clear();
    if (hotplugFd >= 0) {
        close(hotplugFd);
    }
    inputWatch = parentWatch = -1;
    watchWarned = false;
    rootPath = root;
    // Watched before the mice are opened, so that none appears unseen in between. IN_ATTRIB:
    // udev gives a new node its group and mode only after creating it.
    hotplugFd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    WatchInput();
    for (const unsigned number : EventNumbers(root)) {
        if (const int error = OpenMouse(number)) {
            WarnCannotOpen(number, error);
            lateMice.push_back({number, NowMs(), true});  // named already: not again for this node
        }
    }
}

// Runs pump passes until a quit is requested.
void RunPump() {
    for (;;) {
        DrainHotplug();
        for (size_t i = 0; i < mice.size() && quitRequested == 0;) {
            if (DrainMouse(&mice[i])) {
                ++i;
            } else {
                CloseMouse(mice[i].number);  // unplugged; the next one moves into its place
            }
        }
        SleepMs(kPumpSleepMs);
        timingState.pumpMs = NowMs();
        if (quitRequested != 0) {
            return;
        }
    }
}
