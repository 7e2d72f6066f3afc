// Link-time fakes of the Win32 calls that the code under test makes.
#include "fake_win32.h"

#include <cstring>

FakeClock fakeClock;
FakeDevices fakeDevices;
RAWINPUT fakeInput{};

namespace {

constexpr UINT kFailed = static_cast<UINT>(-1);

// Reports the fake counter frequency, or failure when there is no counter.
BOOL WINAPI FakeQueryPerformanceFrequency(LARGE_INTEGER* frequency) {
    ++fakeClock.frequencyQueries;
    frequency->QuadPart = fakeClock.counterPresent ? fakeClock.frequency : 0;
    return fakeClock.counterPresent;
}

// Reports the fake counter.
BOOL WINAPI FakeQueryPerformanceCounter(LARGE_INTEGER* counter) {
    counter->QuadPart = fakeClock.counter;
    return TRUE;
}

// Reports the fake tick count.
ULONGLONG WINAPI FakeGetTickCount64() {
    return fakeClock.ticks;
}

// Reports the fake tick count in 32 bits, wrapping as the real one does.
DWORD WINAPI FakeGetTickCount() {
    return static_cast<DWORD>(fakeClock.ticks);
}

// Reports the fake time of the message being handled.
LONG WINAPI FakeGetMessageTime() {
    return static_cast<LONG>(fakeClock.messageTime);
}

// Gives the fake record for its handle, as the real read does; fails for any other handle.
UINT WINAPI FakeGetRawInputData(HRAWINPUT input, UINT command, LPVOID data, PUINT size, UINT headerSize) {
    if (input != kFakeInput || command != RID_INPUT || size == nullptr ||
        headerSize != sizeof(RAWINPUTHEADER) || (data != nullptr && *size < sizeof(fakeInput))) {
        return kFailed;
    }
    if (data == nullptr) {
        *size = sizeof(fakeInput);
        return 0;
    }
    std::memcpy(data, &fakeInput, sizeof(fakeInput));
    return sizeof(fakeInput);
}

// Moves the fake clock on by the time asked for, at once.
void WINAPI FakeSleep(DWORD ms) {
    fakeClock.sleptMs += ms;
    fakeClock.counter += static_cast<LONGLONG>(ms) * fakeClock.frequency / 1000;
    fakeClock.ticks += ms;
}

// Counts or lists the fake devices, failing as the test arranged.
UINT WINAPI FakeGetRawInputDeviceList(PRAWINPUTDEVICELIST list, PUINT count, UINT entrySize) {
    ++fakeDevices.listQueries;
    if (entrySize != sizeof(RAWINPUTDEVICELIST) || count == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return kFailed;
    }
    if (list == nullptr) {
        if (fakeDevices.firstListFails) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return kFailed;
        }
        *count = static_cast<UINT>(fakeDevices.devices.size());
        for (; fakeDevices.devicesAddedAfterCount > 0; --fakeDevices.devicesAddedAfterCount) {
            const auto number = fakeDevices.devices.size() + 1;
            fakeDevices.devices.push_back({reinterpret_cast<HANDLE>(number), RIM_TYPEMOUSE,
                                           "\\\\?\\HID#LATE&" + std::to_string(number)});
        }
        for (; fakeDevices.devicesRemovedAfterCount > 0; --fakeDevices.devicesRemovedAfterCount) {
            fakeDevices.devices.pop_back();
        }
        return 0;
    }
    const auto present = static_cast<UINT>(fakeDevices.devices.size());
    if (*count < present) {
        *count = present;
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return kFailed;
    }
    for (UINT i = 0; i < present; ++i) {
        list[i].hDevice = fakeDevices.devices[i].handle;
        list[i].dwType = fakeDevices.devices[i].type;
    }
    return present;
}

// Reports the name or the mouse information of a fake device, as the real query does.
UINT WINAPI FakeGetRawInputDeviceInfoA(HANDLE handle, UINT command, LPVOID data, PUINT size) {
    const FakeDevice* device = nullptr;
    for (const auto& candidate : fakeDevices.devices) {
        if (candidate.handle == handle) {
            device = &candidate;
        }
    }
    if (device == nullptr || size == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return kFailed;
    }
    if (command == RIDI_DEVICENAME) {
        const auto length = device->name.empty() ? 0u : static_cast<UINT>(device->name.size() + 1);
        if (data == nullptr) {
            *size = length;
            return 0;
        }
        if (device->nameFails) {
            return kFailed;
        }
        if (*size < length) {
            *size = length;
            SetLastError(ERROR_INSUFFICIENT_BUFFER);
            return kFailed;
        }
        std::memcpy(data, device->name.c_str(), length);
        return length;
    }
    if (command == RIDI_DEVICEINFO) {
        auto* info = static_cast<RID_DEVICE_INFO*>(data);
        if (device->infoFails || info == nullptr || *size < sizeof(RID_DEVICE_INFO) ||
            info->cbSize != sizeof(RID_DEVICE_INFO)) {
            return kFailed;
        }
        info->dwType = device->type;
        info->mouse = device->mouse;
        return sizeof(RID_DEVICE_INFO);
    }
    return kFailed;
}

}  // namespace

// The import slots the code under test calls through.
extern "C" {
decltype(&QueryPerformanceFrequency) __imp_QueryPerformanceFrequency = FakeQueryPerformanceFrequency;
decltype(&QueryPerformanceCounter) __imp_QueryPerformanceCounter = FakeQueryPerformanceCounter;
decltype(&GetTickCount64) __imp_GetTickCount64 = FakeGetTickCount64;
decltype(&Sleep) __imp_Sleep = FakeSleep;
decltype(&GetTickCount) __imp_GetTickCount = FakeGetTickCount;
decltype(&GetMessageTime) __imp_GetMessageTime = FakeGetMessageTime;
decltype(&GetRawInputData) __imp_GetRawInputData = FakeGetRawInputData;
decltype(&GetRawInputDeviceList) __imp_GetRawInputDeviceList = FakeGetRawInputDeviceList;
decltype(&GetRawInputDeviceInfoA) __imp_GetRawInputDeviceInfoA = FakeGetRawInputDeviceInfoA;
}
