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
// inotify watch on /dev/input; one that is unplugged is closed. Neither prints a line.
#include "driver/receiver_linux.h"

#include <fcntl.h>
#include <linux/input.h>
#include <sys/inotify.h>
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

constexpr uint16_t RI_MOUSE_WHEEL = 0x0400;
constexpr uint16_t RI_MOUSE_HWHEEL = 0x0800;

// An open mouse: its event device N and the report being gathered from it.
struct Mouse {
    int fd;
    unsigned number;
    FrameState frame;
};

std::vector<Mouse> mice;
int hotplugFd = -1;
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

// Opens event device N if it is a mouse not yet open. warn: say on standard error why it
// cannot be opened (at start; a mouse that appears later is tried again when its node changes).
void OpenMouse(unsigned number, bool warn) {
    const bool open = std::any_of(mice.begin(), mice.end(), [&](const Mouse& m) { return m.number == number; });
    if (open || !IsMouse(rootPath, number)) {
        return;
    }
    char path[kPathMax];
    std::snprintf(path, sizeof(path), "%s/dev/input/event%u", rootPath, number);
    const int fd = ::open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd >= 0) {
        mice.push_back({fd, number, {}});
    } else if (warn && (errno == EACCES || errno == EPERM)) {
        std::fprintf(stderr, "mousecheck: cannot open /dev/input/event%u: %s; run it with sudo, or as "
                             "a member of the group input\n", number, std::strerror(errno));
    } else if (warn) {
        std::fprintf(stderr, "mousecheck: cannot open /dev/input/event%u: %s\n", number, std::strerror(errno));
    }
}

// Closes event device N if it is open.
void CloseMouse(unsigned number) {
    const auto gone = std::find_if(mice.begin(), mice.end(), [&](const Mouse& m) { return m.number == number; });
    if (gone != mice.end()) {
        close(gone->fd);
        mice.erase(gone);
    }
}

// Opens the mice whose nodes appeared or changed since the last pass, or every mouse not yet
// open when the watch's queue overflowed. A node created for a number still open belongs to a
// new device: the old one is gone.
void DrainHotplug() {
    alignas(inotify_event) char buffer[4096];
    for (;;) {
        const ssize_t got = read(hotplugFd, buffer, sizeof(buffer));
        if (got <= 0) {
            return;
        }
        for (ssize_t at = 0; at < got;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
            unsigned number = 0;
            if ((event->mask & IN_Q_OVERFLOW) != 0) {
                for (const unsigned present : EventNumbers(rootPath)) {  // some were missed
                    OpenMouse(present, false);
                }
            } else if (event->len > 0 && ParseEventName(event->name, &number)) {
                if ((event->mask & IN_CREATE) != 0) {
                    CloseMouse(number);
                }
                OpenMouse(number, false);
            }
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
        }
    }
}

// Reads and analyses everything queued on one mouse; false when it is gone.
bool DrainMouse(Mouse* mouse) {
    input_event events[kEventsPerRead];
    while (quitRequested == 0) {
        const ssize_t got = read(mouse->fd, events, sizeof(events));
        if (got == 0 || (got < 0 && errno == ENODEV)) {
            return false;  // unplugged
        }
        if (got < 0) {
            return true;  // empty (EAGAIN), or interrupted
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

    rootPath = root;
    char path[kPathMax];
    std::snprintf(path, sizeof(path), "%s/dev/input", root);
    // Watched before the mice are opened, so that none appears unseen in between. IN_ATTRIB:
    // udev gives a new node its group and mode only after creating it.
    hotplugFd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    inotify_add_watch(hotplugFd, path, IN_CREATE | IN_ATTRIB);
    for (const unsigned number : EventNumbers(root)) {
        OpenMouse(number, true);
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
