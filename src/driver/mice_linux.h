// The mice being watched: those open, and those whose node came but that could not be opened.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <vector>

#include "devices/devices_linux.h"
#include "driver/frames_linux.h"
#include "driver/hotplug_linux.h"

// A report read from a mouse and not analysed yet: a record the analysis acts on, or the place
// where the kernel dropped events (the record then holds only the drop's time).
struct PendingReport {
    MouseRecord record;
    bool dropped;
};

// How many reports of one mouse a pass holds before it analyses them; a mouse with more queued
// is read again once they have been analysed (receiver_linux.cpp).
constexpr size_t kPendingMax = 128;

// An open mouse: its event device N, the node it has open, the report being gathered, and the
// reports read in this pass, in the order the kernel gave them.
struct Mouse {
    int fd;
    unsigned number;
    dev_t device;  // the node's file system and inode, which tell a new node from the one open
    ino_t inode;
    FrameState frame;
    bool ready;     // this pass's poll found something to read, or it was opened in this pass
    bool timed;     // its events are stamped on the monotonic clock: its reports carry their time
    PendingReport pending[kPendingMax];  // read, not yet analysed: from next to count - 1
    size_t next;
    size_t count;
    unsigned looked;  // the pass's count of reads that brought reports when it was last found
                      // to have nothing more (receiver_linux.cpp)
    bool gone;        // its read said it was unplugged: closed once its reports are analysed
};

// A mouse that could not be opened yet.
struct LateMouse {
    unsigned number;
    dev_t device;  // its node (zero when it had none), which tells a new node of the number
    ino_t inode;
    int64_t appearedMs;  // when its node was seen to appear
    bool warned;         // its "cannot open" line has been printed
    bool atStart;        // present at the start: said as one that can be opened now, not as one plugged in
};

// The mice: those open, in the order they were opened, and those not open yet.
struct Mice {
    std::vector<Mouse> open;
    std::vector<LateMouse> late;
    const char* root = "";  // where /sys and /dev/input lie; kept for the whole run
};

extern Mice mice;


// Closes the mice of an earlier call, then opens the mice present under root, saying on
// standard error at once which cannot be opened and why. Returns the mice present, to be
// listed. root must live for the whole run.
std::vector<MouseDevice> OpenMice(const char* root);

// Acts on what the hotplug watch saw: opens a mouse whose node came, saying so on standard error
// with its name as the listing gives it, forgets a late mouse whose node went, brings every
// event device up to date at a rescan.
void FollowNode(NodeChange change, unsigned number);

// Names, once each, the late mice that still cannot be opened a second after their node came;
// opens those that can be by then, saying so for those plugged in after the start.
void WarnLateMice();

// Closes event device N if it is open.
void CloseMouse(unsigned number);
