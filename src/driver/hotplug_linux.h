// The watch on /dev/input for event nodes that come and go while the monitor runs.
#pragma once

// What the watch saw happen under /dev/input.
enum class NodeChange {
    kCame,    // node eventN was made, or its group or mode changed
    kWent,    // node eventN was removed
    kRescan,  // changes may have been missed: /dev/input came (back), or the watch's queue overflowed
};

// Makes the inotify instance and watches root/dev for root/dev/input and root/dev/input for its
// nodes, closing those of an earlier call; says on standard error when mice plugged in later
// cannot be seen. root must live for the whole run.
void StartHotplug(const char* root);

// Returns the inotify instance's descriptor, for poll; -1 when there is none.
int HotplugFd();

// Reads all the watch has to say, and tells each node that came or went, and each rescan that
// is needed, to the callback.
void DrainHotplug(void (*tell)(NodeChange change, unsigned number));
