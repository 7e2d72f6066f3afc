// The watch on /dev/input for event nodes that come and go while the monitor runs.
//
// One inotify instance, two watches. The one on /dev/input reports a node's creation, its change
// of group or mode (udev sets them after the node exists) and its removal. The one on /dev, for
// "input", lasts the whole run: it sees /dev/input removed and made again at once, whereas the
// end of the watch on a removed /dev/input waits until its last open node is closed.
//
//   IN_CREATE, IN_ATTRIB of eventN         -> node N came
//   IN_MOVED_TO of eventN (renamed in)     -> node N came
//   IN_DELETE, IN_MOVED_FROM of eventN     -> node N went
//   /dev/input made (or renamed) in /dev   -> watched again, then a rescan: its nodes raised no event
//   /dev/input removed (or its watch ends) -> unwatched; watched again if it is back already
//   the queue overflowed                   -> watched again if need be, and a rescan
//   /dev/input there but not watched       -> "cannot watch ..." once (the user's inotify watches
//                                             used up: ENOSPC), however /dev is watched; tried
//                                             again at every event of /dev, with a rescan once
//                                             it is watched
#include "driver/hotplug_linux.h"

#include <sys/inotify.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "analysis/report.h"
#include "devices/devices_linux.h"

namespace {

// What the watch on /dev/input reports (nodes made, changed, removed), and the one on /dev
// (/dev/input made or removed).
constexpr uint32_t kInputWatchEvents = IN_CREATE | IN_ATTRIB | IN_MOVED_TO | IN_DELETE | IN_MOVED_FROM | IN_ONLYDIR;
constexpr uint32_t kDevWatchEvents = IN_CREATE | IN_MOVED_TO | IN_DELETE | IN_MOVED_FROM | IN_ONLYDIR;

// The inotify instance and its watches.
struct Hotplug {
    int fd = -1;
    int error = 0;         // why there is no inotify instance
    int inputWatch = -1;   // the watch on /dev/input, or -1
    int devWatch = -1;     // the watch on /dev, for /dev/input, or -1
    bool warned = false;   // the cannot-watch line has been printed
    const char* root = "";  // where /dev lies; kept for the whole run
};

Hotplug hotplug;

// Adds an inotify watch on root/<folder>; returns it, or -1 with the reason in *error.
int AddWatch(const char* folder, uint32_t events, int* error) {
    char path[kPathMax];
    std::snprintf(path, sizeof(path), "%s/%s", hotplug.root, folder);
    const int watch = inotify_add_watch(hotplug.fd, path, events);
    if (watch < 0) {
        *error = errno;
    }
    return watch;
}

// Watches /dev for /dev/input to come and go, from the first call for the whole run, and
// /dev/input for its nodes when it exists. When a /dev/input that is there cannot be watched,
// or a missing one could not be seen to come, says once that mice plugged in later will not be
// seen.
void WatchInput() {
    int error = hotplug.error;
    if (hotplug.fd >= 0) {
        if (hotplug.devWatch < 0) {
            hotplug.devWatch = AddWatch("dev", kDevWatchEvents, &error);
        }
        hotplug.inputWatch = AddWatch("dev/input", kInputWatchEvents, &error);
    }
    const bool deaf = hotplug.inputWatch < 0 && (hotplug.devWatch < 0 || error != ENOENT);
    if (deaf && !hotplug.warned) {
        hotplug.warned = true;
        PrintErrorLine("mousecheck: cannot watch /dev/input: %s; mice plugged in later will not be seen\n",
               std::strerror(error));
    }
}

// Ends the watch on a /dev/input that was removed, without waiting for its last open node.
void UnwatchInput() {
    if (hotplug.inputWatch >= 0) {
        inotify_rm_watch(hotplug.fd, hotplug.inputWatch);
        hotplug.inputWatch = -1;
    }
}

// Tells what one event of the watch means.
void TellEvent(const inotify_event& event, void (*tell)(NodeChange, unsigned)) {
    const bool isInput = event.len > 0 && std::strcmp(event.name, "input") == 0;
    unsigned number = 0;
    if ((event.mask & IN_Q_OVERFLOW) != 0) {
        WatchInput();  // the same watch while /dev/input is the same one
        tell(NodeChange::kRescan, 0);
    } else if (event.wd == hotplug.devWatch && isInput) {
        UnwatchInput();
        if ((event.mask & (IN_CREATE | IN_MOVED_TO)) != 0) {
            WatchInput();
            if (hotplug.inputWatch >= 0) {
                tell(NodeChange::kRescan, 0);  // the nodes made with it raised no event of its watch
            }
        }
    } else if (event.wd == hotplug.devWatch && hotplug.inputWatch < 0) {
        WatchInput();  // it could not be watched: perhaps it can now
        if (hotplug.inputWatch >= 0) {
            tell(NodeChange::kRescan, 0);
        }
    } else if (event.wd == hotplug.inputWatch && (event.mask & IN_IGNORED) != 0) {
        hotplug.inputWatch = -1;  // /dev/input was removed; it may be back already
        WatchInput();
        if (hotplug.inputWatch >= 0) {
            tell(NodeChange::kRescan, 0);
        }
    } else if (event.wd == hotplug.inputWatch && event.len > 0 && ParseEventName(event.name, &number)) {
        tell((event.mask & (IN_DELETE | IN_MOVED_FROM)) != 0 ? NodeChange::kWent : NodeChange::kCame, number);
    }
}

}  // namespace

// Makes the inotify instance and its two watches, afresh.
void StartHotplug(const char* root) {
    if (hotplug.fd >= 0) {
        close(hotplug.fd);
    }
    hotplug = {};
    hotplug.root = root;
    hotplug.fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    hotplug.error = hotplug.fd < 0 ? errno : 0;
    WatchInput();
}

// Returns the inotify instance's descriptor.
int HotplugFd() {
    return hotplug.fd;
}

// Reads the watch's events until there are none, telling what each means.
void DrainHotplug(void (*tell)(NodeChange change, unsigned number)) {
    alignas(inotify_event) char buffer[4096];
    for (;;) {
        const ssize_t got = read(hotplug.fd, buffer, sizeof(buffer));
        if (got <= 0) {
            return;
        }
        for (ssize_t at = 0; at < got;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
            TellEvent(*event, tell);
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
        }
    }
}
