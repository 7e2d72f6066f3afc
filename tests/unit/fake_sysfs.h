// A small sysfs and /dev/input in a temporary folder, for the Linux code that takes a root.
#pragma once

#include <linux/input.h>

#include <cstdint>
#include <string>
#include <vector>

// One event device as sysfs shows it; an empty text leaves its file out.
struct FakeEventDevice {
    unsigned number;
    std::string name;
    std::string bustype = "0003";
    std::string vendor = "046d";
    std::string product = "c077";
    std::string key;  // capabilities/key
    std::string rel;  // capabilities/rel
    std::string ev = "17";         // capabilities/ev: EV_SYN, EV_KEY, EV_REL, EV_MSC, as a mouse's
    std::string abs = "0";         // capabilities/abs
    std::string properties = "0";  // properties
};

// Capabilities of a three-button wheel mouse, as the kernel writes them.
extern const char kMouseKeys[];
extern const char kMouseAxes[];

// Makes an empty root with sys/class/input and dev/input; returns its path.
std::string MakeFakeRoot();

// Adds the device's sysfs files under the root (not its node).
void AddFakeDevice(const std::string& root, const FakeEventDevice& device);

// Writes the node root/dev/input/eventN, holding the given events (type, code, value triples),
// all stamped, as the kernel stamps a batch, with one reading of the fake clock (none when
// there are no events).
void WriteFakeNode(const std::string& root, unsigned number, const std::initializer_list<int>& events);

// Appends events to the node root/dev/input/eventN, as a device's new reports, stamped as
// WriteFakeNode stamps them.
void AppendFakeNode(const std::string& root, unsigned number, const std::initializer_list<int>& events);

// Returns the events (type, code, value triples) as the kernel gives them, stamped at the time.
std::vector<input_event> FakeEvents(const std::initializer_list<int>& events, int64_t timeMs);

// The fake nodes' clock: what SetEventClock, linked in place of the real one, does and saw.
struct FakeEventClock {
    bool fails = false;  // no node can be switched, as a device without the call
    std::string calls;   // "N@offset " for each call: on node eventN, whose read offset was then
                         // offset (0: nothing read from it yet; -1: a pipe, which has none)
    void (*opened)() = nullptr;  // run at each call: as the monitor opens a mouse, mid-pass
};
extern FakeEventClock fakeEventClock;

// The inotify watch limit: inotify_add_watch, linked in place of the C library's, fails with
// ENOSPC (the user's watches used up) on a path that ends in this; when empty, as it is set
// back after each test, every watch is the kernel's.
extern std::string fakeUnwatchable;

// Removes the root and everything under it.
void RemoveFakeRoot(const std::string& root);
