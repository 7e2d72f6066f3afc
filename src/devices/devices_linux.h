// The mice among the kernel's event devices, and their listing at start, from sysfs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// Room for a path under the root, terminator included.
constexpr size_t kPathMax = 4096;

// Words of a capability bitmap that are read: 12 words of 64 bits hold every key code.
constexpr size_t kCapabilityWords = 12;

// Parses a capability bitmap as sysfs writes it: hexadecimal words of the kernel's long, most
// significant first, leading zero words left out. Bits beyond the words held are ignored.
// Returns false when the text is not such a bitmap.
bool ParseCapabilities(const char* text, uint64_t (&words)[kCapabilityWords]);

// Tells whether a file name is "eventN", N in decimal without leading zeros, and gives N.
bool ParseEventName(const char* name, unsigned* number);

// Returns the numbers N of root/sys/class/input/eventN, in increasing order.
std::vector<unsigned> EventNumbers(const char* root);

// What sysfs says an event device can do: its capability bitmaps, input properties and bus.
struct Capabilities {
    uint64_t ev[kCapabilityWords];     // capabilities/ev: event types
    uint64_t key[kCapabilityWords];    // capabilities/key: keys and buttons
    uint64_t rel[kCapabilityWords];    // capabilities/rel: relative axes
    uint64_t abs[kCapabilityWords];    // capabilities/abs: absolute axes
    uint64_t props[kCapabilityWords];  // properties: INPUT_PROP_* bits
    unsigned bus;                      // id/bustype
};

// Tells whether udev's input_id builtin (systemd 252, as in Debian 12) gives a device with these
// capabilities ID_INPUT_MOUSE=1.
bool IsMouseKind(const Capabilities& caps);

// Reads the capabilities of event device N; returns 0, or ENOENT when sysfs does not have them
// all (or not as bitmaps), or the error that kept a file of them from being read (EMFILE or
// ENFILE: too many files open), which says nothing of the device.
int ReadCapabilitySet(const char* root, unsigned number, Capabilities* caps);

// Reads the capabilities of event device N and tells whether it is a mouse as udev calls one
// (IsMouseKind); false too when sysfs does not have them all, with *error 0, and when they
// could not be read, with the error in *error.
bool ReadMouse(const char* root, unsigned number, Capabilities* caps, int* error);

// Room for a device's name, terminator included; the kernel's names are shorter.
constexpr size_t kNameMax = 256;

// A mouse among the event devices: its number N of eventN, what it can do, and its name and
// ids, read with its capabilities so that the listing needs no file of its own.
struct MouseDevice {
    unsigned number;
    Capabilities caps;
    char name[kNameMax];  // made safe to print; empty when sysfs has none
    bool ids;             // sysfs has its bus, vendor and product
    unsigned vendor;
    unsigned product;
};

// Reads event device N and tells whether it is a mouse, as ReadMouse does; a mouse's name and
// ids are read too.
bool ReadMouseDevice(const char* root, unsigned number, MouseDevice* mouse, int* error);

// Room for a mouse's node and name as the listing shows them, terminator included.
constexpr size_t kDeviceNameMax = kNameMax + 64;

// Writes the mouse's node and name as the listing's name line shows them:
// "/dev/input/event5 (Logitech USB Optical Mouse, usb 046d:c077)"; the node alone when sysfs has
// no name for it, or an empty one.
void DeviceName(const MouseDevice& mouse, char (&text)[kDeviceNameMax]);

// An event device whose capabilities sysfs could not give, and why (not ENOENT).
struct UnreadDevice {
    unsigned number;
    int error;
};

// Returns the mice among the event devices now in sysfs, in event-number order; those that
// could not be read go to *unread.
std::vector<MouseDevice> FindMice(const char* root, std::vector<UnreadDevice>* unread);

// Makes a device's name safe to print, in place: every control character (C0, DEL, C1), every
// bidirectional control (which reorders what a terminal shows) and every byte outside a valid
// UTF-8 sequence becomes '?'; printable UTF-8 stays.
void CleanName(char* name);

// Prints handle, node and name, and information of each of the mice.
void ListMouseDevices(const std::vector<MouseDevice>& mice);
