// The mice among the kernel's event devices, and their listing at start. For each mouse, in
// event-number order, from sysfs, which any user may read:
//
//   Mouse: Handle=0x00000005
//     Name=/dev/input/event5 (Logitech USB Optical Mouse, usb 046d:c077)
//     Id=3, Buttons=3, SampleRate=0, HorizontalWheel=0
//
// The handle is N of eventN. The name line is left out when sysfs has no name, or an empty one,
// for the device; the information line is always there, since a device whose capabilities cannot
// be read is not known to be a mouse and is not listed. Id is the bus type; the kernel reports no
// sample rate. Buttons counts BTN_LEFT to BTN_TASK, whether the pointer is relative or absolute.
//
// A mouse is what udev calls one (ID_INPUT_MOUSE=1), decided here from sysfs without udev, by
// the rule of the input_id builtin of systemd 252, the udev of Debian 12 (test_pointers() in
// src/udev/udev-builtin-input_id.c); "udevadm test-builtin input_id /sys/class/input/eventN"
// prints udev's own verdict.
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

constexpr unsigned kBitsPerWord = 64;
// sysfs prints the capability bitmaps in words of the kernel's long: 64 bits on x86-64 and arm64.
static_assert(sizeof(long) * CHAR_BIT == kBitsPerWord, "capability words are not 64 bits here");

// Reads a small sysfs file into the buffer, zero-terminated, without its final newline; returns
// 0, or the error of open() or read(): ENOENT when the file is not there.
int ReadText(const char* path, char* text, size_t size) {
    errno = 0;
    FILE* file = std::fopen(path, "re");
    if (file == nullptr) {
        return errno != 0 ? errno : ENOMEM;
    }
    const size_t got = std::fread(text, 1, size - 1, file);
    const int error = std::ferror(file) != 0 ? (errno != 0 ? errno : EIO) : 0;
    std::fclose(file);
    text[got] = '\0';
    if (got > 0 && text[got - 1] == '\n') {
        text[got - 1] = '\0';
    }
    return error;
}

// Reads attribute "device/<attribute>" of event device N; returns 0 or the error.
int ReadAttribute(const char* root, unsigned number, const char* attribute, char* text, size_t size) {
    char path[kPathMax];
    std::snprintf(path, sizeof(path), "%s/sys/class/input/event%u/device/%s", root, number, attribute);
    return ReadText(path, text, size);
}

// Reads a hexadecimal attribute of event device N, such as id/vendor.
bool ReadHexAttribute(const char* root, unsigned number, const char* attribute, unsigned* value) {
    char text[32];
    if (ReadAttribute(root, number, attribute, text, sizeof(text)) != 0 || text[0] == '\0') {
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

// Reads and parses bitmap <attribute> of event device N; returns 0, ENOENT when it is not
// there or not a bitmap, or the error that kept it from being read.
int ReadBitmap(const char* root, unsigned number, const char* attribute, uint64_t (&words)[kCapabilityWords]) {
    char text[kCapabilityWords * 17 + 64];  // room for more words than are held
    const int error = ReadAttribute(root, number, attribute, text, sizeof(text));
    return error != 0 ? error : ParseCapabilities(text, words) ? 0 : ENOENT;
}

// Tells whether the bitmap has the bit.
bool HasBit(const uint64_t (&words)[kCapabilityWords], unsigned bit) {
    return bit / kBitsPerWord < kCapabilityWords && ((words[bit / kBitsPerWord] >> (bit % kBitsPerWord)) & 1) != 0;
}

// Tells whether the bitmap has any bit from first to last, both included.
bool HasAnyBit(const uint64_t (&words)[kCapabilityWords], unsigned first, unsigned last) {
    for (unsigned bit = first; bit <= last; ++bit) {
        if (HasBit(words, bit)) {
            return true;
        }
    }
    return false;
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

// Reads the kernel's name of event device N, made safe to print (empty when sysfs has none),
// and its bus, vendor and product.
void ReadName(const char* root, MouseDevice* mouse) {
    if (ReadAttribute(root, mouse->number, "name", mouse->name, sizeof(mouse->name)) != 0) {
        mouse->name[0] = '\0';
    }
    CleanName(mouse->name);  // a device may name itself anything; no control code reaches the terminal
    unsigned bus = 0;
    mouse->ids = ReadHexAttribute(root, mouse->number, "id/bustype", &bus) &&
                 ReadHexAttribute(root, mouse->number, "id/vendor", &mouse->vendor) &&
                 ReadHexAttribute(root, mouse->number, "id/product", &mouse->product);
}

// Prints the node and the name of the mouse as DeviceName gives them; nothing when sysfs has no
// name or an empty one.
void PrintName(const MouseDevice& mouse) {
    if (mouse.name[0] == '\0') {
        return;
    }
    char name[kDeviceNameMax];
    DeviceName(mouse, name);
    PrintLine("  Name=%s\n", name);
}

// The longest node and name, and the name line that carries them: written whole.
static_assert(sizeof("/dev/input/event4294967295 (, bus 4294967295 ffff:ffff)") + kNameMax <= kDeviceNameMax,
              "a device's name may be cut");

// Tells whether the code point is a bidirectional control: the embeddings and overrides
// (U+202A to U+202E), the isolates (U+2066 to U+2069), the marks LRM, RLM and ALM.
bool IsBidiControl(uint32_t point) {
    return (point >= 0x202A && point <= 0x202E) || (point >= 0x2066 && point <= 0x2069) || point == 0x200E ||
           point == 0x200F || point == 0x061C;
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

// Tells whether the name is "event" and a decimal number without leading zeros, and gives it.
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
    if (c == digits || *c != '\0' || (digits[0] == '0' && c - digits > 1)) {
        return false;  // "event06" is no name the kernel gives: its node would be another's
    }
    *number = value;
    return true;
}

// Follows udev's test_pointers() (systemd 252) branch by branch, as far as ID_INPUT_MOUSE goes.
bool IsMouseKind(const Capabilities& caps) {
    const bool absXY = HasBit(caps.abs, ABS_X) && HasBit(caps.abs, ABS_Y);
    // Accelerometers: the property, or X, Y and Z without any key.
    if (HasBit(caps.props, INPUT_PROP_ACCELEROMETER) || (!HasBit(caps.ev, EV_KEY) && absXY && HasBit(caps.abs, ABS_Z))) {
        return false;
    }
    const bool stylus = HasBit(caps.key, BTN_STYLUS);
    const bool pen = HasBit(caps.key, BTN_TOOL_PEN);
    const bool fingerButNoPen = HasBit(caps.key, BTN_TOOL_FINGER) && !pen;
    const bool mouseButton = HasAnyBit(caps.key, BTN_MOUSE, BTN_JOYSTICK - 1);
    const bool relXY = HasBit(caps.ev, EV_REL) && HasBit(caps.rel, REL_X) && HasBit(caps.rel, REL_Y);
    // Multitouch positions, unless the device claims every absolute axis.
    const bool mtXY = HasBit(caps.abs, ABS_MT_POSITION_X) && HasBit(caps.abs, ABS_MT_POSITION_Y) &&
                      !(HasBit(caps.abs, ABS_MT_SLOT) && HasBit(caps.abs, ABS_MT_SLOT - 1));
    const bool direct = HasBit(caps.props, INPUT_PROP_DIRECT);
    const bool touch = HasBit(caps.key, BTN_TOUCH);
    // Joystick buttons count unless the mouse buttons run into their range (mice with more than
    // 16 buttons); joystick axes always do.
    bool joystickAxesOrButtons = false;
    if (!HasBit(caps.key, BTN_JOYSTICK - 1)) {
        joystickAxesOrButtons = HasAnyBit(caps.key, BTN_JOYSTICK, BTN_DIGI - 1) ||
                                HasAnyBit(caps.key, BTN_TRIGGER_HAPPY1, BTN_TRIGGER_HAPPY40) ||
                                HasAnyBit(caps.key, BTN_DPAD_UP, BTN_DPAD_RIGHT);
    }
    joystickAxesOrButtons = joystickAxesOrButtons || HasAnyBit(caps.abs, ABS_RX, ABS_PRESSURE - 1);

    bool mouse = false;
    bool tablet = false;
    bool touchpad = false;
    bool joystick = false;
    if (absXY) {
        if (stylus || pen) {
            tablet = true;
        } else if (fingerButNoPen && !direct) {
            touchpad = true;
        } else if (mouseButton) {
            mouse = true;  // an absolute mouse: VMware's, QEMU's USB tablet, IP-KVM consoles
        } else if (!touch && !direct) {  // a touchscreen otherwise
            joystick = joystickAxesOrButtons;
        }
    } else {
        joystick = joystickAxesOrButtons;
    }
    if (mtXY) {
        tablet = tablet || stylus || pen;
        touchpad = touchpad || (!stylus && !pen && fingerButNoPen && !direct);
    }
    // Mouse buttons with relative axes, or with no axes at all.
    return mouse || (!tablet && !touchpad && !joystick && mouseButton && (relXY || !absXY));
}

// Reads the capability bitmaps, properties and bus of event device N; the first error stops it.
int ReadCapabilitySet(const char* root, unsigned number, Capabilities* caps) {
    caps->bus = 0;
    ReadHexAttribute(root, number, "id/bustype", &caps->bus);  // 0 when sysfs has none
    int error = ReadBitmap(root, number, "capabilities/ev", caps->ev);
    error = error != 0 ? error : ReadBitmap(root, number, "capabilities/key", caps->key);
    error = error != 0 ? error : ReadBitmap(root, number, "capabilities/rel", caps->rel);
    error = error != 0 ? error : ReadBitmap(root, number, "capabilities/abs", caps->abs);
    return error != 0 ? error : ReadBitmap(root, number, "properties", caps->props);
}

// Reads the capabilities of event device N and tells whether it is a mouse as udev calls one;
// *error says why they could not be read, and is 0 when they were, or are not all there.
bool ReadMouse(const char* root, unsigned number, Capabilities* caps, int* error) {
    const int read = ReadCapabilitySet(root, number, caps);
    *error = read == ENOENT ? 0 : read;
    return read == 0 && IsMouseKind(*caps);
}

// Reads event device N as a mouse, with its name and ids, when it is one.
bool ReadMouseDevice(const char* root, unsigned number, MouseDevice* mouse, int* error) {
    *mouse = {};
    mouse->number = number;
    if (!ReadMouse(root, number, &mouse->caps, error)) {
        return false;
    }
    ReadName(root, mouse);
    return true;
}

// Writes the node and, when sysfs has one, the name with bus and vendor:product, as the listing's
// name line shows them.
void DeviceName(const MouseDevice& mouse, char (&text)[kDeviceNameMax]) {
    const unsigned number = mouse.number;
    const unsigned bus = mouse.caps.bus;
    if (mouse.name[0] == '\0') {
        std::snprintf(text, sizeof(text), "/dev/input/event%u", number);
    } else if (!mouse.ids) {
        std::snprintf(text, sizeof(text), "/dev/input/event%u (%s)", number, mouse.name);
    } else if (const char* busName = BusName(bus)) {
        std::snprintf(text, sizeof(text), "/dev/input/event%u (%s, %s %04x:%04x)", number, mouse.name, busName,
                      mouse.vendor, mouse.product);
    } else {
        std::snprintf(text, sizeof(text), "/dev/input/event%u (%s, bus %u %04x:%04x)", number, mouse.name, bus,
                      mouse.vendor, mouse.product);
    }
}

// Returns the mice among the event devices, in event-number order, with their names.
std::vector<MouseDevice> FindMice(const char* root, std::vector<UnreadDevice>* unread) {
    std::vector<MouseDevice> found;
    for (const unsigned number : EventNumbers(root)) {
        MouseDevice mouse{};
        int error = 0;
        if (ReadMouseDevice(root, number, &mouse, &error)) {
            found.push_back(mouse);
        } else if (error != 0) {
            unread->push_back({number, error});
        }
    }
    return found;
}

// Replaces control characters and bytes outside valid UTF-8 sequences with '?', in place.
void CleanName(char* name) {
    const auto* in = reinterpret_cast<const unsigned char*>(name);
    char* out = name;
    while (*in != 0) {
        const unsigned lead = *in;
        if (lead < 0x80) {
            *out++ = lead < 0x20 || lead == 0x7F ? '?' : static_cast<char>(lead);
            ++in;
            continue;
        }
        // The sequence's length, the lead byte's bits and the least code point it may encode.
        size_t length = 0;
        uint32_t point = 0;
        uint32_t least = 0;
        if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2, point = lead & 0x1F, least = 0x80;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3, point = lead & 0x0F, least = 0x800;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4, point = lead & 0x07, least = 0x10000;
        }
        size_t got = 1;  // a terminator is no continuation byte, so this stops at the end
        for (; got < length && (in[got] & 0xC0) == 0x80; ++got) {
            point = point << 6 | (in[got] & 0x3Fu);
        }
        if (length == 0 || got < length || point < least || point > 0x10FFFF || (point >= 0xD800 && point <= 0xDFFF)) {
            *out++ = '?';  // this byte starts no valid sequence; the bytes after it are tried on their own
            ++in;
            continue;
        }
        if (point <= 0x9F || IsBidiControl(point)) {
            *out++ = '?';  // C1 control, such as CSI (U+009B); or one that reorders the line
        } else {
            std::memmove(out, in, length);
            out += length;
        }
        in += length;
    }
    *out = '\0';
}

// Prints handle, node and name, and information of each mouse, in the order given.
void ListMouseDevices(const std::vector<MouseDevice>& mice) {
    for (const MouseDevice& mouse : mice) {
        const unsigned number = mouse.number;
        const Capabilities& caps = mouse.caps;
        PrintLine("Mouse: Handle=0x%08X\n", number);
        PrintName(mouse);
        unsigned buttons = 0;
        for (unsigned button = BTN_LEFT; button <= BTN_TASK; ++button) {
            buttons += HasBit(caps.key, button) ? 1u : 0u;
        }
        PrintLine("  Id=%u, Buttons=%u, SampleRate=%u, HorizontalWheel=%s\n", caps.bus, buttons, 0u,
                  HasBit(caps.rel, REL_HWHEEL) ? "1" : "0");
    }
}
