// The mice among the kernel's event devices, and their listing at start, from sysfs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// Words of a capability bitmap that are read: 12 words of 64 bits hold every key code.
constexpr size_t kCapabilityWords = 12;

// Parses a capability bitmap as sysfs writes it: hexadecimal words of the kernel's long, most
// significant first, leading zero words left out. Bits beyond the words held are ignored.
// Returns false when the text is not such a bitmap.
bool ParseCapabilities(const char* text, uint64_t (&words)[kCapabilityWords]);

// Tells whether a file name is "eventN", and gives N.
bool ParseEventName(const char* name, unsigned* number);

// Returns the numbers N of root/sys/class/input/eventN, in increasing order.
std::vector<unsigned> EventNumbers(const char* root);

// Tells whether event device N is a mouse: relative X and Y axes and a left button.
bool IsMouse(const char* root, unsigned number);

// Prints handle, node and name, and information of every mouse among the event devices.
void ListMouseDevices(const char* root);
