// Link-time fakes of the Win32 calls that the code under test makes.
//
// Code compiled against <windows.h> calls imported functions through pointer slots named
// __imp_<function>. The test binary defines those slots itself, pointing at the fakes below, so
// the linker never binds the real kernel32 and user32 entries for these functions. Everything in
// the binary, the test framework included, then sees the fakes.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// Performance counter and tick count; Sleep takes no time but moves both on. GetTickCount reports
// the low 32 bits of the ticks, GetMessageTime the time of the message being handled.
struct FakeClock {
    bool counterPresent = true;
    LONGLONG frequency = 10000000;
    LONGLONG counter = 0;
    ULONGLONG ticks = 0;
    DWORD messageTime = 0;
    int frequencyQueries = 0;
    DWORD sleptMs = 0;  // all that Sleep was asked for
};
extern FakeClock fakeClock;

// One device as the raw input device queries report it.
struct FakeDevice {
    HANDLE handle;
    DWORD type;
    std::string name;          // reported with its terminating zero
    bool nameFails = false;    // the name query returns (UINT)-1
    bool infoFails = false;    // the information query returns (UINT)-1
    RID_DEVICE_INFO_MOUSE mouse{};
};

// Raw input device queries.
struct FakeDevices {
    std::vector<FakeDevice> devices;
    bool firstListFails = false;       // the count query returns (UINT)-1
    int devicesAddedAfterCount = 0;    // plugged in between the count and the list query
    int devicesRemovedAfterCount = 0;  // unplugged (from the end) between the two queries
    int listQueries = 0;
};
extern FakeDevices fakeDevices;

// Raw input reads: the record that GetRawInputData gives for the handle kFakeInput; any other
// handle fails as an unreadable one does.
const HRAWINPUT kFakeInput = reinterpret_cast<HRAWINPUT>(0x1D);
extern RAWINPUT fakeInput;
