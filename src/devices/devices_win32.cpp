// The listing of mice at start: for each mouse, in the platform's order,
//
//   Mouse: Handle=0x00010045
//     Name=\\?\HID#VID_046D&PID_C077#7&2f9a3c1b&0&0000#{378de44c-56ef-11d1-bc8c-00a0c91405dd}
//     Id=256, Buttons=5, SampleRate=0, HorizontalWheel=0
//
// The handle line is always printed; the name and information lines are left out when their
// query fails. Devices that are not mice are skipped without a line.
#include "devices/devices_win32.h"

#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cwchar>

#include "analysis/report.h"

namespace {

constexpr UINT kQueryFailed = static_cast<UINT>(-1);

// Prints the device path name, read into a buffer as long as the name, if it can be read.
void PrintName(HANDLE device) {
    UINT length = 0;
    GetRawInputDeviceInfoA(device, RIDI_DEVICENAME, nullptr, &length);
    if (length == 0) {
        return;
    }
    auto* name = static_cast<char*>(std::calloc(length + 1, 1));  // zero-terminated in any case
    if (name == nullptr) {
        return;
    }
    if (GetRawInputDeviceInfoA(device, RIDI_DEVICENAME, name, &length) != kQueryFailed) {
        PrintLine("  Name=%s\n", name);
    }
    std::free(name);
}

// Prints the mouse's identifier, button count, sample rate and horizontal wheel, if known.
void PrintInfo(HANDLE device) {
    RID_DEVICE_INFO info{};
    info.cbSize = sizeof(info);
    UINT size = sizeof(info);
    if (GetRawInputDeviceInfoA(device, RIDI_DEVICEINFO, &info, &size) == kQueryFailed) {
        return;
    }
    PrintLine("  Id=%u, Buttons=%u, SampleRate=%u, HorizontalWheel=%s\n",
                static_cast<unsigned>(info.mouse.dwId),
                static_cast<unsigned>(info.mouse.dwNumberOfButtons),
                static_cast<unsigned>(info.mouse.dwSampleRate),
                info.mouse.fHasHorizontalWheel ? "1" : "0");
}

// Reads the device list; returns it (to be freed) and its length, or nullptr when it can't.
// A device plugged in between the count and the list query makes the list query fail with a
// larger count, so the list is asked for again with room for that many.
RAWINPUTDEVICELIST* ReadDeviceList(UINT* listed) {
    UINT count = 0;
    if (GetRawInputDeviceList(nullptr, &count, sizeof(RAWINPUTDEVICELIST)) == kQueryFailed) {
        return nullptr;
    }
    while (count > 0) {
        auto* list = static_cast<RAWINPUTDEVICELIST*>(std::calloc(count, sizeof(RAWINPUTDEVICELIST)));
        if (list == nullptr) {
            return nullptr;
        }
        const UINT capacity = count;
        const UINT result = GetRawInputDeviceList(list, &count, sizeof(RAWINPUTDEVICELIST));
        if (result != kQueryFailed) {
            *listed = result < capacity ? result : capacity;
            return list;
        }
        const DWORD error = GetLastError();  // before the C runtime can change it
        std::free(list);
        if (error != ERROR_INSUFFICIENT_BUFFER || count <= capacity) {
            return nullptr;
        }
    }
    return nullptr;
}

}  // namespace

// Prints handle, name and information of every mouse the raw input facility knows.
void ListMouseDevices() {
    UINT listed = 0;
    RAWINPUTDEVICELIST* list = ReadDeviceList(&listed);
    if (list == nullptr) {
        return;
    }
    for (UINT i = 0; i < listed; ++i) {
        if (list[i].dwType != RIM_TYPEMOUSE) {
            continue;
        }
        const auto handle = static_cast<unsigned>(reinterpret_cast<uintptr_t>(list[i].hDevice));
        __ms_wprintf(L"Mouse: Handle=0x%08X\n", handle);  // the runtime's own, as PrintLine
        PrintName(list[i].hDevice);
        PrintInfo(list[i].hDevice);
    }
    std::free(list);
}
