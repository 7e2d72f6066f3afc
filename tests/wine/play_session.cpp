// Plays a scripted mouse session into a mousecheck.exe that runs elsewhere (its output on its own
// console or terminal), then closes it. Used by the demo and by the console-write benchmark.
// Never run on a real desktop: it clicks wherever the cursor is.
//
//   play_session demo    about 8 s paced like a person: clicks of every button, one chattering
//                        click, wheel notches, two notches in one burst
//   play_session clicks  20 left clicks, 60 ms held, 60 ms apart
//   play_session close   no input: only the close request
//   play_session ready   no input: waits until the monitor's pump runs, and leaves it running
//
// Exits 0 when the monitor ended with status 0 on the close request (or, for ready, runs).
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "monitor_process.h"

namespace {

constexpr DWORD kSettleMs = 300;  // a pause before the session and before the close request

// One injected record, optionally a second one injected with it, and the wait after them.
struct Step {
    DWORD flags;
    DWORD data;
    DWORD thenMs;
    DWORD withFlags = 0;  // a second record's flags, in the same SendInput call
};

// Appends a click of one button: held, then a pause.
void Click(std::vector<Step>* steps, DWORD down, DWORD up, DWORD data, DWORD holdMs, DWORD gapMs) {
    steps->push_back({down, data, holdMs});
    steps->push_back({up, data, gapMs});
}

// The demo: what a user checking a mouse does, with one bounce and one skipping wheel.
std::vector<Step> DemoSession() {
    std::vector<Step> steps;
    const struct {
        DWORD down, up, data;
    } buttons[] = {{MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP, 0},
                   {MOUSEEVENTF_RIGHTDOWN, MOUSEEVENTF_RIGHTUP, 0},
                   {MOUSEEVENTF_MIDDLEDOWN, MOUSEEVENTF_MIDDLEUP, 0},
                   {MOUSEEVENTF_XDOWN, MOUSEEVENTF_XUP, XBUTTON1},
                   {MOUSEEVENTF_XDOWN, MOUSEEVENTF_XUP, XBUTTON2}};
    for (const auto& button : buttons) {
        Click(&steps, button.down, button.up, button.data, 110, 350);
        Click(&steps, button.down, button.up, button.data, 90, 450);
    }
    // A chattering switch: released and pressed again at once, in one call, so that no pause of
    // this process between the two can part them.
    steps.push_back({MOUSEEVENTF_LEFTDOWN, 0, 95});
    steps.push_back({MOUSEEVENTF_LEFTUP, 0, 80, MOUSEEVENTF_LEFTDOWN});
    steps.push_back({MOUSEEVENTF_LEFTUP, 0, 600});
    const DWORD up = WHEEL_DELTA;
    const auto down = static_cast<DWORD>(-WHEEL_DELTA);
    for (const DWORD notch : {up, up, up, down, down}) {
        steps.push_back({MOUSEEVENTF_WHEEL, notch, 320});
    }
    return steps;
}

// Twenty plain clicks.
std::vector<Step> ClickSession() {
    std::vector<Step> steps;
    for (int i = 0; i < 20; ++i) {
        Click(&steps, MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP, 0, 60, 60);
    }
    return steps;
}

// Waits the given milliseconds: sleeps most of a long wait, and spins the rest.
void Wait(DWORD ms) {
    const double until = Seconds() + ms / 1000.0;
    if (ms > 20) {
        Sleep(ms - 20);
    }
    SpinUntil(until);
}

}  // namespace

// Plays the named session into the running monitor and closes it.
int main(int argc, char** argv) {
    const std::string session = argc == 2 ? argv[1] : "";
    const bool injects = session == "demo" || session == "clicks";
    if (!injects && session != "close" && session != "ready") {
        std::fprintf(stderr, "usage: play_session demo|clicks|close|ready\n");
        return 2;
    }
    MonitorProcess monitor;
    if ((injects && !WaitForMouse()) || !monitor.Attach()) {
        std::fprintf(stderr, "play_session: no mouse, or no running mousecheck.exe\n");
        return 1;
    }
    if (session == "ready") {
        monitor.Detach();
        return 0;
    }
    if (injects) {
        Wait(kSettleMs);  // a press within 15 ms of the monitor's start would count as a fast click
        for (const Step& step : session == "demo" ? DemoSession() : ClickSession()) {
            if (step.withFlags != 0) {
                monitor.Inject({MouseInput(step.flags, step.data), MouseInput(step.withFlags, step.data)});
            } else {
                monitor.Inject({MouseInput(step.flags, step.data)});
            }
            Wait(step.thenMs);
        }
    }
    if (session == "demo") {  // two notches in one burst: a wheel that skips
        monitor.Inject({MouseInput(MOUSEEVENTF_WHEEL, WHEEL_DELTA), MouseInput(MOUSEEVENTF_WHEEL, WHEEL_DELTA)});
    }
    monitor.Sync(5000);
    Wait(kSettleMs);
    return monitor.CloseWindow() == 0 ? 0 : 1;
}
