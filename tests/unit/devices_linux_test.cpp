#include "devices/devices_linux.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "capture.h"
#include "fake_sysfs.h"

namespace {

class DevicesLinux : public testing::Test {
protected:
    void SetUp() override { root = MakeFakeRoot(); }
    void TearDown() override { RemoveFakeRoot(root); }
    std::string Listing() const {
        return Printed([&] { ListMouseDevices(root.c_str()); });
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
    AddFakeDevice(root, {5, "Bad\033[2Jname", "0006", "1234", "5678", kMouseKeys, kMouseAxes});
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
              "  Name=/dev/input/event5 (Bad?[2Jname, virtual 1234:5678)\n"
              "  Id=6, Buttons=3, SampleRate=0, HorizontalWheel=0\n");
}

TEST(EventName, IsEventAndADecimalNumber) {
    unsigned number = 0;
    EXPECT_TRUE(ParseEventName("event0", &number));
    EXPECT_EQ(number, 0u);
    EXPECT_TRUE(ParseEventName("event123", &number));
    EXPECT_EQ(number, 123u);
    for (const char* name : {"event", "event1a", "mouse0", "mice", "input3", "event-1", "event1234567890"}) {
        EXPECT_FALSE(ParseEventName(name, &number)) << name;
    }
}

}  // namespace
