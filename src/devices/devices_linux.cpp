// The mice among the kernel's event devices, and their listing at start. For each mouse, in
// event-number order, from sysfs, which any user may read:
//
//   Mouse: Handle=0x00000005
//     Name=/dev/input/event5 (Logitech USB Optical Mouse, usb 046d:c077)
//     Id=3, Buttons=3, SampleRate=0, HorizontalWheel=0
//
// The handle is N of eventN. The name line is left out when sysfs has no name for the device;
// the information line is always there, since a device whose capabilities cannot be read is not
// known to be a mouse and is not listed. Id is the bus type; the kernel reports no sample rate.
#include "devices/devices_linux.h"

#include <dirent.h>
#include <linux/input.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "analysis/report.h"

namespace {

constexpr size_t kPathMax = 4096;
constexpr size_t kNameMax = 256;  // terminator included; the kernel's names are shorter
constexpr unsigned kBitsPerWord = 64;
// sysfs prints the capability bitmaps in words of the kernel's long: 64 bits on x86-64 and arm64.
static_assert(sizeof(long) * CHAR_BIT == kBitsPerWord, "capability words are not 64 bits here");

// Reads a small sysfs file into the buffer, zero-terminated, without its final newline.
bool ReadText(const char* path, char* text, size_t size) {
    FILE* file = std::fopen(path, "re");
    if (file == nullptr) {
        return false;
    }
    const size_t got = std::fread(text, 1, size - 1, file);
    const bool failed = std::ferror(file) != 0;
    std::fclose(file);
    text[got] = '\0';
    if (got > 0 && text[got - 1] == '\n') {
        text[got - 1] = '\0';
    }
    return !failed;
}

// Reads attribute "device/<attribute>" of event device N.
bool ReadAttribute(const char* root, unsigned number, const char* attribute, char* text, size_t size) {
    char path[kPathMax];
    std::snprintf(path, sizeof(path), "%s/sys/class/input/event%u/device/%s", root, number, attribute);
    return ReadText(path, text, size);
}

// Reads a hexadecimal attribute of event device N, such as id/vendor.
bool ReadHexAttribute(const char* root, unsigned number, const char* attribute, unsigned* value) {
    char text[32];
    if (!ReadAttribute(root, number, attribute, text, sizeof(text)) || text[0] == '\0') {
        return false;
    }
    char* end = nullptr;
    errno = 0;
    const unsigned long parsed = std::strtoul(text, &end, 16);
    if (errno != 0 || *end != '\0' || parsed > 0xFFFF) {
        return false;
    }
    *value = static_cast<unsigned>(parsed);
    return true;
}

// Reads and parses capability bitmap "capabilities/<kind>" of event device N.
bool ReadCapabilities(const char* root, unsigned number, const char* kind,
                      uint64_t (&words)[kCapabilityWords]) {
    char attribute[32];
    char text[kCapabilityWords * 17 + 64];  // room for more words than are held
    std::snprintf(attribute, sizeof(attribute), "capabilities/%s", kind);
    return ReadAttribute(root, number, attribute, text, sizeof(text)) && ParseCapabilities(text, words);
}

// Tells whether the bitmap has the bit.
bool HasBit(const uint64_t (&words)[kCapabilityWords], unsigned bit) {
    return bit / kBitsPerWord < kCapabilityWords && ((words[bit / kBitsPerWord] >> (bit % kBitsPerWord)) & 1) != 0;
}

// Reads the key and relative-axis bitmaps of event device N; tells whether it is a mouse.
bool ReadMouse(const char* root, unsigned number, uint64_t (&keys)[kCapabilityWords],
               uint64_t (&axes)[kCapabilityWords]) {
    return ReadCapabilities(root, number, "key", keys) && ReadCapabilities(root, number, "rel", axes) &&
           HasBit(keys, BTN_LEFT) && HasBit(axes, REL_X) && HasBit(axes, REL_Y);
}

// Returns the short name of a bus type, or nullptr for one without a name here.
const char* BusName(unsigned bus) {
    switch (bus) {
    case BUS_PCI: return "pci";
    case BUS_USB: return "usb";
    case BUS_BLUETOOTH: return "bluetooth";
    case BUS_VIRTUAL: return "virtual";
    case BUS_I8042: return "ps2";
    case BUS_I2C: return "i2c";
    case BUS_HOST: return "host";
    case BUS_SPI: return "spi";
    case BUS_RMI: return "rmi";
    default: return nullptr;
    }
}

// Prints the node and the kernel's name of event device N, with bus and vendor:product when
// sysfs has them; nothing when it has no name.
void PrintName(const char* root, unsigned number) {
    char name[kNameMax];
    if (!ReadAttribute(root, number, "name", name, sizeof(name))) {
        return;
    }
    for (char* c = name; *c != '\0'; ++c) {
        if (static_cast<unsigned char>(*c) < 0x20 || *c == 0x7F) {
            *c = '?';  // a device may name itself anything; no control codes reach the terminal
        }
    }
    unsigned bus = 0;
    unsigned vendor = 0;
    unsigned product = 0;
    if (!ReadHexAttribute(root, number, "id/bustype", &bus) ||
        !ReadHexAttribute(root, number, "id/vendor", &vendor) ||
        !ReadHexAttribute(root, number, "id/product", &product)) {
        PrintLine("  Name=/dev/input/event%u (%s)\n", number, name);
    } else if (const char* busName = BusName(bus)) {
        PrintLine("  Name=/dev/input/event%u (%s, %s %04x:%04x)\n", number, name, busName, vendor, product);
    } else {
        PrintLine("  Name=/dev/input/event%u (%s, bus %u %04x:%04x)\n", number, name, bus, vendor, product);
    }
}

}  // namespace

// Parses a sysfs capability bitmap, most significant word first, into the words held.
bool ParseCapabilities(const char* text, uint64_t (&words)[kCapabilityWords]) {
    std::fill(std::begin(words), std::end(words), 0);
    size_t count = 0;  // words in the text
    for (const char* c = text; *c != '\0';) {
        if (*c == ' ') {
            ++c;
            continue;
        }
        ++count;
        while (*c != '\0' && *c != ' ') {
            ++c;
        }
    }
    if (count == 0) {
        return false;
    }
    size_t index = count;  // of the word being read, counted from the least significant
    for (const char* c = text; *c != '\0';) {
        if (*c == ' ') {
            ++c;
            continue;
        }
        --index;
        uint64_t word = 0;
        int digits = 0;
        for (; *c != '\0' && *c != ' '; ++c, ++digits) {
            const char* hex = std::strchr("0123456789abcdef", *c);
            if (hex == nullptr || digits == 16) {
                return false;
            }
            word = word << 4 | static_cast<uint64_t>(hex - "0123456789abcdef");
        }
        if (index < kCapabilityWords) {
            words[index] = word;
        }
    }
    return true;
}

// Returns the numbers of the event devices in sysfs, in increasing order.
std::vector<unsigned> EventNumbers(const char* root) {
    std::vector<unsigned> numbers;
    char path[kPathMax];
    std::snprintf(path, sizeof(path), "%s/sys/class/input", root);
    DIR* directory = opendir(path);
    if (directory == nullptr) {
        return numbers;
    }
    while (const dirent* entry = readdir(directory)) {
        unsigned number = 0;
        if (ParseEventName(entry->d_name, &number)) {
            numbers.push_back(number);
        }
    }
    closedir(directory);
    std::sort(numbers.begin(), numbers.end());
    return numbers;
}

// Tells whether the name is "event" and a decimal number, and gives the number.
bool ParseEventName(const char* name, unsigned* number) {
    constexpr char kPrefix[] = "event";
    if (std::strncmp(name, kPrefix, sizeof(kPrefix) - 1) != 0) {
        return false;
    }
    const char* digits = name + sizeof(kPrefix) - 1;
    unsigned value = 0;
    const char* c = digits;
    for (; *c >= '0' && *c <= '9' && c - digits < 9; ++c) {
        value = value * 10 + static_cast<unsigned>(*c - '0');
    }
    if (c == digits || *c != '\0') {
        return false;
    }
    *number = value;
    return true;
}

// Tells whether event device N has relative X and Y axes and a left button.
bool IsMouse(const char* root, unsigned number) {
    uint64_t keys[kCapabilityWords];
    uint64_t axes[kCapabilityWords];
    return ReadMouse(root, number, keys, axes);
}

// Prints handle, node and name, and information of every mouse, in event-number order.
void ListMouseDevices(const char* root) {
    for (const unsigned number : EventNumbers(root)) {
        uint64_t keys[kCapabilityWords];
        uint64_t axes[kCapabilityWords];
        if (!ReadMouse(root, number, keys, axes)) {
            continue;
        }
        PrintLine("Mouse: Handle=0x%08X\n", number);
        PrintName(root, number);
        unsigned bus = 0;
        ReadHexAttribute(root, number, "id/bustype", &bus);  // 0 when sysfs has none
        unsigned buttons = 0;
        for (unsigned button = BTN_LEFT; button <= BTN_TASK; ++button) {
            buttons += HasBit(keys, button) ? 1u : 0u;
        }
        PrintLine("  Id=%u, Buttons=%u, SampleRate=%u, HorizontalWheel=%s\n", bus, buttons, 0u,
                  HasBit(axes, REL_HWHEEL) ? "1" : "0");
    }
}
