// Fuzz target: the Linux input path. Arbitrary event streams through the report-to-record
// conversion, and arbitrary text through the capability, name and event-name parsers and the
// mouse rule.
//
// Input: byte 0 chooses.
//   even: events, 8 bytes each (type and code as 16-bit, value as 32-bit, little-endian), a
//         trailing partial event ignored. Checked for every record: flags only from the defined
//         set; a button's down or up flag exactly when the report had that button's press or
//         release; the wheel flags exactly when the report moved that wheel, and the wheel data
//         zero without them, a whole number of notches (or clamped) with them; the time of its
//         SYN_REPORT; nothing between SYN_DROPPED and the next SYN_REPORT.
//   odd:  text, in pieces split at newlines: capabilities ev, key, rel, abs and properties, a
//         device name and a file name. Checked: a parsed bitmap keeps no bit of a word the text
//         did not have; a cleaned name is no longer than the name, has no control character,
//         and stays the same when cleaned again; a parsed event name reads back as its file name.
#include <linux/input.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "devices/devices_linux.h"
#include "driver/receiver_linux.h"

namespace {

constexpr size_t kEventBytes = 8;
constexpr uint16_t kDefinedFlags = 0x0FFF;  // ten button flags, the wheel and the horizontal wheel
constexpr uint16_t kWheel = 0x0400;
constexpr uint16_t kHWheel = 0x0800;
constexpr int32_t kWheelDeltaPerNotch = 120;
constexpr size_t kTextPieces = 7;

// Stops the run with a message: an invariant does not hold.
[[noreturn]] void Fail(const char* what) {
    std::fprintf(stderr, "invariant broken: %s\n", what);
    std::abort();
}

// Reads a little-endian value of the given bytes.
uint32_t ReadLittle(const uint8_t* data, size_t bytes) {
    uint32_t value = 0;
    for (size_t i = 0; i < bytes; ++i) {
        value |= static_cast<uint32_t>(data[i]) << (8 * i);
    }
    return value;
}

// Returns the down flag of a button that the platform's record has, or 0.
uint16_t ButtonDownFlag(uint16_t code) {
    const uint16_t buttons[] = {BTN_LEFT, BTN_RIGHT, BTN_MIDDLE, BTN_SIDE, BTN_EXTRA};
    for (size_t i = 0; i < 5; ++i) {
        if (code == buttons[i]) {
            return static_cast<uint16_t>(1u << (2 * i));
        }
    }
    return 0;
}

// Feeds the events through AddEvent and checks each step against what the report held.
void CheckEvents(const uint8_t* data, size_t size) {
    FrameState frame{};
    uint16_t expected = 0;    // flags that the report's events call for
    bool dropping = false;
    for (size_t at = 0; at + kEventBytes <= size; at += kEventBytes) {
        const auto type = static_cast<uint16_t>(ReadLittle(data + at, 2));
        const auto code = static_cast<uint16_t>(ReadLittle(data + at + 2, 2));
        const auto value = static_cast<int32_t>(ReadLittle(data + at + 4, 4));
        // Each event has a time of its own: the record must carry its SYN_REPORT's.
        const auto index = static_cast<int64_t>(at / kEventBytes);
        input_event event{};
        event.type = type;
        event.code = code;
        event.value = value;
        event.input_event_sec = index;
        event.input_event_usec = index * 7919 % 1000000;
        MouseRecord record{};
        const FrameStep step = AddEvent(&frame, event, &record);
        const bool dropped = type == EV_SYN && code == SYN_DROPPED;
        const bool report = type == EV_SYN && code == SYN_REPORT;
        if ((step == FrameStep::kDropped) != dropped) {
            Fail("kDropped other than for SYN_DROPPED");
        }
        if (step == FrameStep::kRecord && (!report || dropping)) {
            Fail("a record other than at a SYN_REPORT outside a drop");
        }
        if (report && !dropping && step != FrameStep::kRecord) {
            Fail("a SYN_REPORT outside a drop gave no record");
        }
        if (step == FrameStep::kRecord) {
            const uint16_t flags = record.usButtonFlags;
            const auto data16 = static_cast<int16_t>(record.usButtonData);
            if ((flags & ~kDefinedFlags) != 0) {
                Fail("a flag outside the defined set");
            }
            if (flags != expected) {
                Fail("flags other than the report's buttons and wheels");
            }
            if (record.timeMs != index * 1000 + index * 7919 % 1000000 / 1000) {
                Fail("a record without the time of its SYN_REPORT");
            }
            if ((flags & (kWheel | kHWheel)) == 0 && data16 != 0) {
                Fail("wheel data without a wheel flag");
            }
            if ((flags & (kWheel | kHWheel)) != 0 && data16 % kWheelDeltaPerNotch != 0 && data16 != 32767 &&
                data16 != -32768) {
                Fail("wheel data that is not whole notches");
            }
        }
        if (dropped) {
            dropping = true;
            expected = 0;
        } else if (report) {
            dropping = false;
            expected = 0;
        } else if (!dropping) {
            if (type == EV_KEY && ButtonDownFlag(code) != 0 && (value == 0 || value == 1)) {
                expected |= static_cast<uint16_t>(value == 1 ? ButtonDownFlag(code) : ButtonDownFlag(code) << 1);
            } else if (type == EV_REL && code == REL_WHEEL) {
                expected |= kWheel;
            } else if (type == EV_REL && code == REL_HWHEEL) {
                expected |= kHWheel;
            }
        }
    }
}

// Counts the words of a capability text: runs of characters other than spaces.
size_t CountWords(const std::string& text) {
    size_t words = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        words += text[i] != ' ' && (i == 0 || text[i - 1] == ' ') ? 1 : 0;
    }
    return words;
}

// Parses a capability text into the bitmap; checks that no word beyond the text's has a bit.
void CheckCapabilities(const std::string& text, uint64_t (&words)[kCapabilityWords]) {
    if (!ParseCapabilities(text.c_str(), words)) {
        std::memset(words, 0, sizeof(words));
        return;
    }
    for (size_t i = CountWords(text); i < kCapabilityWords; ++i) {
        if (words[i] != 0) {
            Fail("a bit in a word that the text does not have");
        }
    }
}

// Cleans the name and checks the result.
void CheckName(const std::string& name) {
    std::string shown = name;
    CleanName(shown.data());
    const std::string once = shown.c_str();
    if (once.size() > std::strlen(name.c_str())) {
        Fail("a cleaned name longer than the name");
    }
    for (size_t i = 0; i < once.size(); ++i) {
        const auto byte = static_cast<unsigned char>(once[i]);
        if (byte < 0x20 || byte == 0x7F || (byte == 0xC2 && i + 1 < once.size() &&
                                            static_cast<unsigned char>(once[i + 1]) <= 0x9F)) {
            Fail("a control character in a cleaned name");
        }
    }
    // Bidirectional controls in UTF-8: U+061C, U+200E and U+200F, U+202A to U+202E, U+2066 to U+2069.
    for (const char* control : {"\xD8\x9C", "\xE2\x80\x8E", "\xE2\x80\x8F", "\xE2\x80\xAA", "\xE2\x80\xAB",
                                "\xE2\x80\xAC", "\xE2\x80\xAD", "\xE2\x80\xAE", "\xE2\x81\xA6", "\xE2\x81\xA7",
                                "\xE2\x81\xA8", "\xE2\x81\xA9"}) {
        if (once.find(control) != std::string::npos) {
            Fail("a bidirectional control in a cleaned name");
        }
    }
    std::string twice = once;
    CleanName(twice.data());
    if (twice.c_str() != once) {
        Fail("a cleaned name that cleaning changes again");
    }
}

// Parses the file name as eventN and checks that N reads back as the name.
void CheckEventName(const std::string& name) {
    unsigned number = 0;
    if (ParseEventName(name.c_str(), &number) && "event" + std::to_string(number) != name.c_str()) {
        Fail("an event name that does not read back");
    }
}

// Splits the text at newlines and runs each piece through its parser, then the mouse rule.
void CheckText(const uint8_t* data, size_t size) {
    std::vector<std::string> pieces(kTextPieces);
    size_t piece = 0;
    for (size_t i = 0; i < size && piece < kTextPieces; ++i) {
        if (data[i] == '\n') {
            ++piece;
        } else {
            pieces[piece] += static_cast<char>(data[i]);
        }
    }
    Capabilities caps{};
    CheckCapabilities(pieces[0], caps.ev);
    CheckCapabilities(pieces[1], caps.key);
    CheckCapabilities(pieces[2], caps.rel);
    CheckCapabilities(pieces[3], caps.abs);
    CheckCapabilities(pieces[4], caps.props);
    const bool mouse = IsMouseKind(caps);
    bool mouseButton = false;
    for (unsigned button = BTN_MOUSE; button < BTN_JOYSTICK; ++button) {
        mouseButton = mouseButton || ((caps.key[button / 64] >> (button % 64)) & 1) != 0;
    }
    if (mouse && !mouseButton) {
        Fail("a mouse without a mouse button");
    }
    CheckName(pieces[5]);
    CheckEventName(pieces[6]);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) {
        return 0;
    }
    if ((data[0] & 1) == 0) {
        CheckEvents(data + 1, size - 1);
    } else {
        CheckText(data + 1, size - 1);
    }
    return 0;
}
