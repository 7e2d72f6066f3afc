// The hidden receiver window that gets raw mouse input, and the message pump that feeds it.
//
// The receiver is a message-only window registered as a raw input sink, so it gets every mouse's
// input whichever window has the focus. Each pump pass takes everything queued without waiting,
// sleeps 1 ms and stamps pumpMs, which the wheel check compares against.
//
// A report that waited in the queue longer than a pass explains is stamped with the time it was
// queued, from its message time (queue_wait.h); once one has, so are the rest of that pass's:
//
//   pass held up 2 s: press queued at t, release at t+300   -> "Mouse Button:2, 300ms"
//   a normal pass (every report waited 50 ms or less)      -> stamped by the clock, as always
#include "driver/receiver_win32.h"

#include <hidusage.h>

#include "analysis/analysis.h"
#include "timing/queue_wait.h"
#include "timing/timing.h"

RAWINPUT eventRecord{};
RAWINPUTDEVICE mouseRegistration{};

namespace {
constexpr DWORD kPumpSleepMs = 1;
constexpr UINT kReadFailed = static_cast<UINT>(-1);

// The pass being drained.
struct PassState {
    bool held;  // a report of this pass waited longer than a pass explains
};
PassState passState{};
}  // namespace

// Registers the receiver class, creates the receiver and registers it for raw mouse input.
bool SetUpReceiver(HINSTANCE instance) {
    WNDCLASSA receiverClass{};
    receiverClass.lpfnWndProc = ReceiverWndProc;
    receiverClass.hInstance = instance;
    receiverClass.lpszClassName = kReceiverClassName;
    if (RegisterClassA(&receiverClass) == 0) {
        return false;
    }
    // A failure here or below only means no input will ever arrive; start-up goes on.
    const HWND receiver = CreateWindowExA(0, kReceiverClassName, kReceiverClassName, 0, 0, 0, 0, 0,
                                          HWND_MESSAGE, nullptr, nullptr, nullptr);
    mouseRegistration.usUsagePage = HID_USAGE_PAGE_GENERIC;
    mouseRegistration.usUsage = HID_USAGE_GENERIC_MOUSE;
    mouseRegistration.dwFlags = RIDEV_INPUTSINK;
    mouseRegistration.hwndTarget = receiver;
    RegisterRawInputDevices(&mouseRegistration, 1, sizeof(mouseRegistration));
    return true;
}

// Window procedure of the receiver: analyses raw mouse input, quits when destroyed.
LRESULT CALLBACK ReceiverWndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    if (message != WM_INPUT) {
        return DefWindowProcA(hwnd, message, wParam, lParam);
    }
    // A failed read leaves the previous record behind; analysing it again would report input
    // that never happened, so such a message is dropped.
    UINT size = sizeof(eventRecord);
    if (GetRawInputData(reinterpret_cast<HRAWINPUT>(lParam), RID_INPUT, &eventRecord, &size,
                        sizeof(RAWINPUTHEADER)) == kReadFailed) {
        return 0;
    }
    if (eventRecord.header.dwType != RIM_TYPEMOUSE) {
        return 0;
    }
    // The message time is the tick count when the message was queued (GetMessageTime).
    const std::optional<int64_t> reportMs =
        QueuedReportMs(NowMs(), GetTickCount(), static_cast<uint32_t>(GetMessageTime()), passState.held);
    passState.held = passState.held || reportMs.has_value();
    const RAWMOUSE& mouse = eventRecord.data.mouse;
    AnalyseButtons(mouse.ulButtons, reportMs);
    AnalyseWheel(mouse.usButtonFlags, mouse.usButtonData, reportMs);
    return 0;
}

// Runs pump passes (drain the queue, sleep 1 ms, stamp the pump) until a quit message is met.
void RunPump() {
    MSG message;
    bool quit = false;
    for (;;) {
        passState.held = false;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT) {
                quit = true;
                break;
            }
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        Sleep(kPumpSleepMs);
        timingState.pumpMs = NowMs();
        if (quit) {
            return;
        }
    }
}
