#include "devices/devices_win32.h"

#include <gtest/gtest.h>

#include <string>

#include "capture.h"
#include "fake_win32.h"

namespace {

// A mouse as the fakes report it.
FakeDevice Mouse(uintptr_t handle, std::string name, DWORD id, DWORD buttons, DWORD rate, BOOL wheel) {
    FakeDevice device{reinterpret_cast<HANDLE>(handle), RIM_TYPEMOUSE, std::move(name)};
    device.mouse.dwId = id;
    device.mouse.dwNumberOfButtons = buttons;
    device.mouse.dwSampleRate = rate;
    device.mouse.fHasHorizontalWheel = wheel;
    return device;
}

class DevicesWin32 : public testing::Test {
protected:
    void SetUp() override { fakeDevices = FakeDevices{}; }
    static std::string Listing() { return Printed(ListMouseDevices); }
};

TEST_F(DevicesWin32, ListsEachMouseInOrderAndSkipsOtherDevices) {
    fakeDevices.devices = {
        {reinterpret_cast<HANDLE>(0x41), RIM_TYPEKEYBOARD, "\\\\?\\HID#KEYBOARD"},
        Mouse(0x1234ABCD, "\\\\?\\HID#VID_046D&PID_C077", 256, 5, 0, FALSE),
        {reinterpret_cast<HANDLE>(0x43), RIM_TYPEHID, "\\\\?\\HID#GAMEPAD"},
        Mouse(0x7, "\\\\?\\HID#VID_1532&PID_0084", 512, 8, 1000, 2),  // any non-zero BOOL is 1
    };
    EXPECT_EQ(Listing(),
              "Mouse: Handle=0x1234ABCD\n"
              "  Name=\\\\?\\HID#VID_046D&PID_C077\n"
              "  Id=256, Buttons=5, SampleRate=0, HorizontalWheel=0\n"
              "Mouse: Handle=0x00000007\n"
              "  Name=\\\\?\\HID#VID_1532&PID_0084\n"
              "  Id=512, Buttons=8, SampleRate=1000, HorizontalWheel=1\n");
}

TEST_F(DevicesWin32, PrintsNothingWithoutMice) {
    EXPECT_EQ(Listing(), "");
    fakeDevices.devices = {{reinterpret_cast<HANDLE>(0x41), RIM_TYPEKEYBOARD, "kbd"}};
    EXPECT_EQ(Listing(), "");
}

TEST_F(DevicesWin32, LeavesOutTheLinesWhoseQueryFails) {
    FakeDevice unnamed = Mouse(0x1, "", 1, 3, 0, FALSE);
    FakeDevice nameFails = Mouse(0x2, "\\\\?\\HID#A", 2, 3, 0, FALSE);
    nameFails.nameFails = true;
    FakeDevice infoFails = Mouse(0x3, "\\\\?\\HID#B", 3, 3, 0, FALSE);
    infoFails.infoFails = true;
    fakeDevices.devices = {unnamed, nameFails, infoFails};
    EXPECT_EQ(Listing(),
              "Mouse: Handle=0x00000001\n"
              "  Id=1, Buttons=3, SampleRate=0, HorizontalWheel=0\n"
              "Mouse: Handle=0x00000002\n"
              "  Id=2, Buttons=3, SampleRate=0, HorizontalWheel=0\n"
              "Mouse: Handle=0x00000003\n"
              "  Name=\\\\?\\HID#B\n");
}

TEST_F(DevicesWin32, PrintsANameLongerThan256CharactersWhole) {
    const std::string name = "\\\\?\\HID#" + std::string(292, 'x');
    ASSERT_EQ(name.size(), 300u);
    fakeDevices.devices = {Mouse(0x5, name, 5, 5, 0, FALSE)};
    EXPECT_EQ(Listing(), "Mouse: Handle=0x00000005\n  Name=" + name +
                             "\n  Id=5, Buttons=5, SampleRate=0, HorizontalWheel=0\n");
}

TEST_F(DevicesWin32, AsksAgainWhenAMouseIsPluggedInBetweenTheQueries) {
    fakeDevices.devices = {Mouse(0x1, "\\\\?\\HID#FIRST", 1, 5, 0, FALSE)};
    fakeDevices.devicesAddedAfterCount = 1;
    const std::string listing = Listing();
    EXPECT_EQ(listing.substr(0, 25), "Mouse: Handle=0x00000001\n");
    EXPECT_NE(listing.find("Mouse: Handle=0x00000002\n  Name=\\\\?\\HID#LATE&2\n"), std::string::npos)
        << listing;
    EXPECT_EQ(fakeDevices.listQueries, 3);
}

TEST_F(DevicesWin32, ListsOnlyTheMiceStillPresentWhenOneIsUnpluggedBetweenTheQueries) {
    fakeDevices.devices = {Mouse(0x1, "\\\\?\\HID#FIRST", 1, 5, 0, FALSE),
                           Mouse(0x2, "\\\\?\\HID#GONE", 2, 5, 0, FALSE)};
    fakeDevices.devicesRemovedAfterCount = 1;
    EXPECT_EQ(Listing(), "Mouse: Handle=0x00000001\n"
                         "  Name=\\\\?\\HID#FIRST\n"
                         "  Id=1, Buttons=5, SampleRate=0, HorizontalWheel=0\n");
}

TEST_F(DevicesWin32, PrintsNothingWhenTheDevicesCannotBeCounted) {
    fakeDevices.devices = {Mouse(0x1, "\\\\?\\HID#FIRST", 1, 5, 0, FALSE)};
    fakeDevices.firstListFails = true;
    EXPECT_EQ(Listing(), "");
    EXPECT_EQ(fakeDevices.listQueries, 1);
}

}  // namespace
