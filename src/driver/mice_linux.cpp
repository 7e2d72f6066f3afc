// The mice being watched: those open, and those whose node came but that could not be opened.
//
// Every mouse is switched to the monotonic clock as it is opened (SetEventClock), before its
// first read. Mice that appear later are opened when the hotplug watch says their node came.
// A mouse that cannot be opened, or whose sysfs cannot be read (EMFILE, ENFILE):
//
//   present at the start             -> "cannot open ..." at once
//   appeared later                   -> "cannot open ..." if it still cannot a second later
//                                       (udev may not have given its node the group yet)
//   named so, and opened later       -> "... can be opened now; it is watched" if it was
//                                       present at the start, else as one plugged in:
//
// A mouse that appears after the start and is opened, whether at once, on its node's change of
// group or mode, at a rescan or by the retry a second later, is said once, with its node and
// name as the listing would show them: "mousecheck: /dev/input/event5 (Logitech USB Optical
// Mouse, usb 046d:c077) plugged in; it is watched". The same device's later events (IN_ATTRIB
// after IN_CREATE) find it open and say nothing; a new device on the number is said again.
//   its node removed, renamed away,  -> forgotten, never named; a new node of its number
//   or replaced; gone at a rescan       starts afresh
//
// A mouse that is unplugged while open is closed by the pump, without a line, when its read
// says it is gone.
#include "driver/mice_linux.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "analysis/report.h"
#include "timing/timing.h"

Mice mice;

namespace {

// How long after its node appeared a mouse that cannot be opened is named: udev gives the node
// its group and mode only after creating it, so a warning at once would be a false alarm.
constexpr int64_t kLateOpenWarnMs = 1000;
// What OpenIfMouse returns for a device that sysfs says is no mouse, or does not have: no errno.
constexpr int kNotAMouse = -2;
// What WarnLateMice takes for a late mouse that is not due to be tried again.
constexpr int kNotDue = -1;

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

// Returns a late mouse for event device N, whose node appeared now; one present at the start has
// had its "cannot open" line already.
LateMouse NewLateMouse(unsigned number, bool atStart) {
    char path[kPathMax];
    NodePath(number, path);
    struct stat entry {};
    lstat(path, &entry);  // left zero without a node: any node that comes later is a new one
    return {number, entry.st_dev, entry.st_ino, NowMs(), atStart, atStart};
}

// Opens event device N, a mouse that is not open; returns 0, or the error of open().
int OpenMouse(unsigned number) {
    char path[kPathMax];
    NodePath(number, path);
    const int fd = ::open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return errno;
    }
    Mouse mouse{};
    mouse.fd = fd;
    mouse.number = number;
    // At once, before any read: a change of clock drops the events queued (SYN_DROPPED).
    mouse.timed = SetEventClock(fd);
    struct stat node {};
    fstat(fd, &node);
    mouse.device = node.st_dev;
    mouse.inode = node.st_ino;
    mouse.ready = true;  // read at once: it may have reports
    mice.open.push_back(mouse);
    return 0;
}

static_assert(kDeviceNameMax + sizeof("mousecheck:  plugged in; it is watched\n") < kReportLineMax,
              "the line of a mouse plugged in may be longer than a report line, and not written whole");

// Opens event device N, not open, if sysfs says it is a mouse, and says so when it came after
// the start (pluggedIn); returns 0 when it is open now, kNotAMouse when it is not one (or is
// gone), or the error that kept sysfs from being read (EMFILE: too many files open) or the node
// from being opened.
int OpenIfMouse(unsigned number, bool pluggedIn) {
    MouseDevice device{};
    int error = 0;
    if (!ReadMouseDevice(mice.root, number, &device, &error)) {
        return error != 0 ? error : kNotAMouse;
    }
    error = OpenMouse(number);
    if (error == 0 && pluggedIn) {
        char name[kDeviceNameMax];
        DeviceName(device, name);
        PrintErrorLine("mousecheck: %s plugged in; it is watched\n", name);
    }
    return error;
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
    const auto late = FindLateMouse(number);
    const bool listed = late != mice.late.end() && late->atStart;
    const int error = OpenIfMouse(number, !listed);
    if (error == kNotAMouse) {
        ForgetLateMouse(number);
        return;
    }
    if (error == 0) {
        if (late != mice.late.end()) {
            if (listed) {
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

}  // namespace

// Opens the mice present under root, afresh; names at once those that cannot be opened.
std::vector<MouseDevice> OpenMice(const char* root) {
    for (const Mouse& mouse : mice.open) {
        close(mouse.fd);
    }
    mice.open.clear();
    mice.late.clear();
    mice.root = root;
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

// Closes event device N if it is open.
void CloseMouse(unsigned number) {
    const auto gone = FindMouse(number);
    if (gone != mice.open.end()) {
        close(gone->fd);
        mice.open.erase(gone);
    }
}

// Names, once each, the late mice that still cannot be opened a second after they appeared;
// forgets those that can be by then.
void WarnLateMice() {
    const int64_t now = NowMs();
    for (size_t i = 0; i < mice.late.size();) {
        LateMouse& late = mice.late[i];
        const int error =
            late.warned || now - late.appearedMs < kLateOpenWarnMs ? kNotDue : OpenIfMouse(late.number, true);
        if (error == kNotDue) {
            ++i;
        } else if (error != 0 && error != kNotAMouse) {
            WarnCannotOpen(late.number, error);
            late.warned = true;  // kept, to say so when it can be opened after all
            ++i;
        } else {
            mice.late.erase(mice.late.begin() + static_cast<std::ptrdiff_t>(i));
        }
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
