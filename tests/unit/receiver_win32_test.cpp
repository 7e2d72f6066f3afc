// The receiver, the pump and start-up in this process, against the real window manager; the
// clock and Sleep are the fakes, so a pass takes no time.
#include "driver/receiver_win32.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <thread>

#include "capture.h"
#include "driver/monitor_win32.h"
#include "fake_win32.h"
#include "timing/timing.h"

namespace {

constexpr DWORD kPumpLimitMs = 10000;

// Runs the pump. One that has not returned within the limit ends the whole test run at once,
// naming what it waited for, instead of hanging until CTest gives up.
void RunPumpUntil(const char* stopsAt) {
    const HANDLE returned = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    std::thread watchdog([returned, stopsAt] {
        if (WaitForSingleObject(returned, kPumpLimitMs) == WAIT_TIMEOUT) {
            std::fprintf(stderr, "RunPump did not return within %lu ms; it waited for %s\n",
                         kPumpLimitMs, stopsAt);
            std::fflush(stderr);
            TerminateProcess(GetCurrentProcess(), 1);
        }
    });
    RunPump();
    SetEvent(returned);
    watchdog.join();
    CloseHandle(returned);
}

// The receiver class is registered once per process, so these run in one fixture, in order.
class ReceiverWin32 : public testing::Test {
protected:
    static void SetUpTestSuite() {
        ASSERT_TRUE(SetUpReceiver(GetModuleHandleA(nullptr)));
        // Found among the message-only windows, so it is one.
        receiver = FindWindowExA(HWND_MESSAGE, nullptr, kReceiverClassName, kReceiverClassName);
        ASSERT_NE(receiver, nullptr);
    }

    // Removes whatever this thread still has queued.
    static void DropQueued() {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        }
    }

    static HWND receiver;
};
HWND ReceiverWin32::receiver = nullptr;

TEST_F(ReceiverWin32, RegistersTheReceiverAsSinkForAllMice) {
    EXPECT_EQ(mouseRegistration.usUsagePage, 0x01);
    EXPECT_EQ(mouseRegistration.usUsage, 0x02);
    EXPECT_EQ(mouseRegistration.dwFlags, static_cast<DWORD>(RIDEV_INPUTSINK));
    EXPECT_EQ(mouseRegistration.hwndTarget, receiver);
}

TEST_F(ReceiverWin32, AnUnreadableRecordIsNotAnalysedAgain) {
    timingState = {0, 1000000, 0, 0, 0};
    eventRecord = {};
    eventRecord.header.dwType = RIM_TYPEMOUSE;
    eventRecord.data.mouse.ulButtons = 0x0001;  // the last record read was a left press
    const std::string printed = Printed([] {
        EXPECT_EQ(ReceiverWndProc(receiver, WM_INPUT, RIM_INPUT, 0xBAD), 0);
    });
    EXPECT_EQ(printed, "");
    EXPECT_EQ(timingState.pressMs, 0);
}

// The clock at 100 s and the tick count at 50 s as each message is handled; the latest press at
// 99,000 ms, so a release's line gives its stamp. A pump pass between two rows ends the pass.
TEST_F(ReceiverWin32, AReportThatWaitedLongerThanAPassKeepsTheTimeItWasQueued) {
    constexpr LONGLONG kNowMs = 100000;
    constexpr ULONGLONG kTickNow = 50000;
    constexpr ULONG kRelease = 0x0002;
    constexpr ULONG kWheelUp = 0x0400 | (120u << 16);
    const struct {
        const char* what;
        bool passBefore;  // a pump pass runs before this message
        DWORD messageTime;
        ULONG buttonWord;
        const char* printed;
    } cases[] = {
        {"a normal pass: waited 30 ms", false, 49970, kRelease, "Mouse Button:2, 1000ms\n"},
        {"a held pass: waited 300 ms", false, 49700, kRelease, "Mouse Button:2, 700ms\n"},
        {"the same pass: waited 10 ms", false, 49990, kRelease, "Mouse Button:2, 990ms\n"},
        {"the next pass: waited 10 ms", true, 49990, kRelease, "Mouse Button:2, 1000ms\n"},
        {"queued before the latest stamp", false, 48000, kRelease,
         "Mouse Button:2, 0ms\nFast-click detected!\n"},
        {"a wheel notch that waited 400 ms", true, 49600, kWheelUp, "wheel check up:600ms\n"},
    };
    DropQueued();
    for (const auto& c : cases) {
        if (c.passBefore) {
            PostThreadMessageA(GetCurrentThreadId(), WM_QUIT, 0, 0);
            RunPumpUntil("the quit posted to its thread");
        }
        fakeClock.counter = kNowMs * fakeClock.frequency / 1000;
        fakeClock.ticks = kTickNow;
        fakeClock.messageTime = c.messageTime;
        timingState = {99000, 98000, 99000, 99990, 99000};
        fakeInput = {};
        fakeInput.header.dwType = RIM_TYPEMOUSE;
        fakeInput.data.mouse.ulButtons = c.buttonWord;
        EXPECT_EQ(Printed([] {
                      ReceiverWndProc(receiver, WM_INPUT, RIM_INPUT, reinterpret_cast<LPARAM>(kFakeInput));
                  }),
                  c.printed)
            << c.what;
    }
    fakeClock = FakeClock{};
}

TEST_F(ReceiverWin32, OtherMessagesGetTheDefaultHandling) {
    char text[64] = {};
    EXPECT_EQ(ReceiverWndProc(receiver, WM_GETTEXT, sizeof(text), reinterpret_cast<LPARAM>(text)),
              static_cast<LRESULT>(std::string(kReceiverClassName).size()));
    EXPECT_STREQ(text, kReceiverClassName);
}

TEST_F(ReceiverWin32, AQuitEndsThePassAndLeavesLaterMessagesQueued) {
    DropQueued();
    fakeClock = FakeClock{};
    fakeClock.counter = 5 * fakeClock.frequency;  // 5000 ms
    timingState.pumpMs = -1;
    PostThreadMessageA(GetCurrentThreadId(), WM_QUIT, 0, 0);
    PostMessageA(receiver, WM_CLOSE, 0, 0);
    RunPumpUntil("the quit posted to its thread");
    EXPECT_EQ(fakeClock.sleptMs, 1u) << "one pass, which sleeps 1 ms";
    EXPECT_EQ(timingState.pumpMs, 5001) << "the pass that met the quit stamps the pump after it slept";
    EXPECT_TRUE(IsWindow(receiver)) << "the close request behind the quit was not dispatched";
    MSG message;
    ASSERT_TRUE(PeekMessageA(&message, receiver, WM_CLOSE, WM_CLOSE, PM_REMOVE));
}

TEST_F(ReceiverWin32, StartUpFailsSilentlyWhenTheClassIsTaken) {
    timingState = {};
    int status = 0;
    EXPECT_EQ(Printed([&] { status = RunMonitor(); }), "");
    EXPECT_EQ(status, kExitNoReceiver);
    EXPECT_EQ(timingState.pumpMs, 0) << "the clock is not read";
    EXPECT_EQ(timingState.wheelMs, 0);
}

TEST_F(ReceiverWin32, ACloseRequestEndsThePump) {
    DropQueued();
    PostMessageA(receiver, WM_CLOSE, 0, 0);
    RunPumpUntil("the quit that destroying the receiver posts after a close request");
    EXPECT_FALSE(IsWindow(receiver));
}

}  // namespace
