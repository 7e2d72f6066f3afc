#include "devices/devices_linux.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <string>

#include "capture.h"
#include "fake_sysfs.h"

namespace {

class DevicesLinux : public testing::Test {
protected:
    void SetUp() override { root = MakeFakeRoot(); }
    void TearDown() override { RemoveFakeRoot(root); }
    std::string Listing() const {
        std::vector<UnreadDevice> unread;
        return Printed([&] { ListMouseDevices(FindMice(root.c_str(), &unread)); });
    }
    std::string root;
};

TEST(CapabilityBitmap, IsReadMostSignificantWordFirst) {
    struct Case {
        const char* text;
        bool valid;
        uint64_t word0, word1, word4;
    } const cases[] = {
        {"1f0000 0 0 0 0", true, 0, 0, 0x1f0000},  // a five-button mouse's keys
        {"1 0", true, 0, 1, 0},
        {"0", true, 0, 0, 0},
        {"143", true, 0x143, 0, 0},
        {"ffffffffffffffff 1", true, 1, 0xffffffffffffffff, 0},
        {"", false, 0, 0, 0},
        {"1g", false, 0, 0, 0},
        {"10000000000000000", false, 0, 0, 0},  // 17 digits: more than a word
    };
    for (const Case& c : cases) {
        uint64_t words[kCapabilityWords];
        EXPECT_EQ(ParseCapabilities(c.text, words), c.valid) << c.text;
        if (c.valid) {
            EXPECT_EQ(words[0], c.word0) << c.text;
            EXPECT_EQ(words[1], c.word1) << c.text;
            EXPECT_EQ(words[4], c.word4) << c.text;
        }
    }
    uint64_t words[kCapabilityWords];
    EXPECT_TRUE(ParseCapabilities("5 0 0 0 0 0 0 0 0 0 0 0 7", words)) << "13 words: the top one ignored";
    EXPECT_EQ(words[0], 7u);
    EXPECT_EQ(words[11], 0u);
}

TEST_F(DevicesLinux, ListsTheMiceInEventNumberOrderAndSkipsOtherDevices) {
    AddFakeDevice(root, {10, "Logitech MX Master 3", "0005", "046d", "b023", "1f0000 0 0 0 0", "1943"});
    AddFakeDevice(root, {2, "Logitech USB Optical Mouse", "0003", "046d", "c077", kMouseKeys, kMouseAxes});
    AddFakeDevice(root, {3, "AT Translated Set 2 keyboard", "0011", "0001", "0001",
                         "402000000 3803078f800d001 feffffdfffefffff fffffffffffffffe", "0"});
    // A touchpad: a left button, but absolute axes only.
    AddFakeDevice(root, {4, "SynPS/2 Synaptics TouchPad", "0011", "0002", "0007", "6420 30000 0 0 0 0", "0", "b",
                         "660800011000003"});
    AddFakeDevice(root, {7, "TPPS/2 IBM TrackPoint", "0011", "0002", "000a", kMouseKeys, "3"});
    EXPECT_EQ(Listing(),
              "Mouse: Handle=0x00000002\n"
              "  Name=/dev/input/event2 (Logitech USB Optical Mouse, usb 046d:c077)\n"
              "  Id=3, Buttons=3, SampleRate=0, HorizontalWheel=0\n"
              "Mouse: Handle=0x00000007\n"
              "  Name=/dev/input/event7 (TPPS/2 IBM TrackPoint, ps2 0002:000a)\n"
              "  Id=17, Buttons=3, SampleRate=0, HorizontalWheel=0\n"
              "Mouse: Handle=0x0000000A\n"
              "  Name=/dev/input/event10 (Logitech MX Master 3, bluetooth 046d:b023)\n"
              "  Id=5, Buttons=5, SampleRate=0, HorizontalWheel=1\n");
}

TEST_F(DevicesLinux, LeavesOutWhatSysfsDoesNotHave) {
    EXPECT_EQ(Listing(), "") << "no devices";
    AddFakeDevice(root, {1, "", "0003", "1234", "5678", kMouseKeys, kMouseAxes});  // no name
    AddFakeDevice(root, {2, "No ids", "", "", "", kMouseKeys, kMouseAxes});
    AddFakeDevice(root, {3, "Odd bus", "0020", "0001", "0002", kMouseKeys, kMouseAxes});
    AddFakeDevice(root, {4, "No capabilities", "0003", "1234", "5678", "", ""});
    AddFakeDevice(root, {5, "Bad\033[2Jname \xC2\x9B\x9B\xC3\xA9", "0006", "1234", "5678", kMouseKeys, kMouseAxes});
    AddFakeDevice(root, {6, "Empty name", "0003", "1234", "5678", kMouseKeys, kMouseAxes});
    std::ofstream(root + "/sys/class/input/event6/device/name") << "\n";  // as the kernel writes no name
    // An absolute pointer (QEMU's USB tablet): buttons and wheel count as a relative mouse's.
    AddFakeDevice(root, {8, "QEMU QEMU USB Tablet", "0003", "0627", "0001", "1f0000 0 0 0 0", "140", "1f", "3"});
    AddFakeDevice(root, {9, "Eight buttons", "0003", "1234", "5678", "ff0000 0 0 0 0", "3"});
    EXPECT_EQ(Listing(),
              "Mouse: Handle=0x00000001\n"
              "  Id=3, Buttons=3, SampleRate=0, HorizontalWheel=0\n"
              "Mouse: Handle=0x00000002\n"
              "  Name=/dev/input/event2 (No ids)\n"
              "  Id=0, Buttons=3, SampleRate=0, HorizontalWheel=0\n"
              "Mouse: Handle=0x00000003\n"
              "  Name=/dev/input/event3 (Odd bus, bus 32 0001:0002)\n"
              "  Id=32, Buttons=3, SampleRate=0, HorizontalWheel=0\n"
              "Mouse: Handle=0x00000005\n"
              "  Name=/dev/input/event5 (Bad?[2Jname ??\xC3\xA9, virtual 1234:5678)\n"
              "  Id=6, Buttons=3, SampleRate=0, HorizontalWheel=0\n"
              "Mouse: Handle=0x00000006\n"
              "  Id=3, Buttons=3, SampleRate=0, HorizontalWheel=0\n"
              "Mouse: Handle=0x00000008\n"
              "  Name=/dev/input/event8 (QEMU QEMU USB Tablet, usb 0627:0001)\n"
              "  Id=3, Buttons=5, SampleRate=0, HorizontalWheel=1\n"
              "Mouse: Handle=0x00000009\n"
              "  Name=/dev/input/event9 (Eight buttons, usb 1234:5678)\n"
              "  Id=3, Buttons=8, SampleRate=0, HorizontalWheel=0\n");
}

// Capability sets of real devices as their drivers declare them, each with the verdict of udev's
// input_id builtin (systemd 252): ID_INPUT_MOUSE=1 or not.
TEST(MouseRule, IsUdevs) {
    struct Case {
        const char* device;
        const char *ev, *key, *rel, *abs, *properties;
        bool mouse;
    } const cases[] = {
        {"USB mouse (usbhid)", "17", "70000 0 0 0 0", "903", "0", "0", true},
        {"gaming mouse's keyboard interface, with mouse buttons", "120013",
         "1f0000 0 0 e08effff01cfffff fffffffffffffffe", "0", "100000000", "0", true},  // buttons, no axes
        {"ThinkPad keyboard (atkbd)", "120013", "e08effff01cfffff fffffffffffffffe", "0", "0", "0", false},
        {"its TrackPoint (trackpoint)", "7", "70000 0 0 0 0", "3", "0", "21", true},
        {"clickpad (synaptics)", "b", "e520 10000 0 0 0 0", "0", "660800011000003", "5", false},
        {"touchscreen (hid-multitouch)", "b", "400 0 0 0 0 0", "0", "260800000000003", "2", false},
        {"pen tablet (wacom)", "1b", "1c03 0 0 0 0 0", "0", "f000003", "1", false},
        {"tablet with its puck (wacom)", "1f", "1cdf ff0000 0 0 0 0", "100", "f000147", "1", false},
        {"joystick (Logitech Extreme 3D)", "1b", "fff00000000 0 0 0 0", "0", "30063", "0", false},
        {"gamepad (xpad)", "20000b", "7fff000000000000 0 0 0 0", "0", "3003f", "0", false},
        {"QEMU USB tablet", "1f", "70000 0 0 0 0", "100", "3", "0", true},
        {"VMware VMMouse (vmmouse)", "b", "70000 0 0 0 0", "0", "3", "0", true},
        {"Hyper-V mouse (hid-hyperv)", "1f", "70000 0 0 0 0", "140", "3", "0", true},
        {"mouse buttons and no axes", "13", "70000 0 0 0 0", "0", "0", "0", true},
        {"mouse with buttons into the joystick range", "17", "7ffff0000 0 0 0 0", "103", "0", "0", true},
        {"accelerometer", "9", "0", "0", "7", "0", false},
        {"accelerometer by its property, with a mouse's bits", "17", "70000 0 0 0 0", "3", "0", "40", false},
        {"touchscreen that declares a left button", "b", "400 10000 0 0 0 0", "0", "3", "2", true},
        {"touchscreen that declares a finger and a left button", "b", "420 10000 0 0 0 0", "0", "3", "2", true},
        {"mouse with joystick axes (ABS_RX, ABS_RY)", "f", "70000 0 0 0 0", "3", "18", "0", false},
        {"touchpad with multitouch axes only", "b", "20 10000 0 0 0 0", "0", "60000000000000", "1", false},
    };
    for (const Case& c : cases) {
        Capabilities caps{};
        ASSERT_TRUE(ParseCapabilities(c.ev, caps.ev) && ParseCapabilities(c.key, caps.key) &&
                    ParseCapabilities(c.rel, caps.rel) && ParseCapabilities(c.abs, caps.abs) &&
                    ParseCapabilities(c.properties, caps.props))
            << c.device;
        EXPECT_EQ(IsMouseKind(caps), c.mouse) << c.device;
    }
}

TEST(DeviceName, ControlCodesAndInvalidUtf8BecomeQuestionMarks) {
    const struct {
        const char* name;
        const char* shown;
    } cases[] = {
        {"Logitech USB Optical Mouse", "Logitech USB Optical Mouse"},
        {"Bad\033[2Jname\r\n\177", "Bad?[2Jname???"},                 // C0, DEL
        {"Evil \xC2\x9B" "2J mouse", "Evil ?2J mouse"},                  // CSI encoded: one character
        {"Evil \x9B" "2J \x80\xC2\x80\xC2\x9F", "Evil ?2J ???"},      // raw C1; U+0080, U+009F
        {"\xC0\xAF \xE0\x80\xAF \xED\xA0\x80", "?? ??? ???"},        // overlong; a surrogate
        {"cut \xE2\x82", "cut ??"},                                     // truncated at the end
        {"cut \xE2\x82x \xF4\x90\x80\x80 \xFF", "cut ??x ???? ?"},     // truncated; past U+10FFFF
        {"Souris \xC3\xA9l\xC3\xA9gante\xC2\xAE \xE9\xBC\xA0\xE6\xA0\x87 \xF0\x9F\x96\xB1",
         "Souris \xC3\xA9l\xC3\xA9gante\xC2\xAE \xE9\xBC\xA0\xE6\xA0\x87 \xF0\x9F\x96\xB1"},  // kept
        {"\xC2\xA0\xC2", "\xC2\xA0?"},  // U+00A0, the first after C1, kept
        // Bidirectional controls, which reorder what a terminal shows: U+202E, U+2066, U+200F,
        // U+061C; their neighbours U+2029, U+202F, U+2065, U+206A and U+200D stay.
        {"A\xE2\x80\xAE" "esuoM \xE2\x81\xA6x\xE2\x80\x8F\xD8\x9C",
         "A?esuoM ?x??"},
        {"\xE2\x80\xAA\xE2\x80\xA9\xE2\x80\xAF\xE2\x81\xA5\xE2\x81\xAA\xE2\x80\x8D\xE2\x80\x8E",
         "?\xE2\x80\xA9\xE2\x80\xAF\xE2\x81\xA5\xE2\x81\xAA\xE2\x80\x8D?"},
    };
    for (const auto& c : cases) {
        std::string name = c.name;
        CleanName(name.data());
        EXPECT_EQ(name.c_str(), std::string(c.shown)) << c.name;
    }
}

TEST(EventName, IsEventAndADecimalNumber) {
    unsigned number = 0;
    EXPECT_TRUE(ParseEventName("event0", &number));
    EXPECT_EQ(number, 0u);
    EXPECT_TRUE(ParseEventName("event123", &number));
    EXPECT_EQ(number, 123u);
    for (const char* name : {"event", "event1a", "mouse0", "mice", "input3", "event-1", "event1234567890", "event06", "event00"}) {
        EXPECT_FALSE(ParseEventName(name, &number)) << name;
    }
}

}  // namespace
