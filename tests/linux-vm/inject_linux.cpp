// Plays scripted mouse sessions into a real kernel through /dev/uinput: the end-to-end test,
// the demo and the benchmark, in a virtual machine. Never run it on a desktop: its virtual
// mouse clicks wherever the pointer is.
//
// Usage: inject_linux hold      a virtual keyboard and mouse, kept until SIGTERM
//        inject_linux session   the same, then, once a monitor has the mouse open: clicks of
//                               every button, a chattering click, horizontal wheel and motion
//                               (no lines), wheel notches, two notches in one burst, a second
//                               mouse plugged in and clicked, the first unplugged, a last click
//        inject_linux late      a mouse named "mousecheck late mouse"; once a monitor has it open
//                               ("held after N ms", since its node was found), a left click;
//                               then it is unplugged
//        inject_linux locked    a mouse named "mousecheck locked mouse", kept until SIGTERM
//        inject_linux devices   pointing devices of several kinds ("KIND NODE" each, then
//                               "ready"): an absolute tablet as QEMU's, a mouse of 8 buttons with a
//                               name of control codes and invalid UTF-8, a pen tablet with a puck,
//                               a touchpad, a joystick, and a device of mouse buttons alone. Once a
//                               monitor has the tablet open: a left click and a wheel notch down on
//                               it; then every device goes ("input removed" once /dev/input is
//                               gone, which needs every other input node gone); then a new mouse,
//                               clicked with the right button once a monitor has it open
//        inject_linux bench     the mouse alone, then, once a monitor has it open: 20 holds each of
//                               5, 20, 30, 50 and 100 ms of the left button ("hold NOMINAL
//                               ACTUAL" each, in ms), then 100,000 reports at 8 per ms: right
//                               press, right release, wheel up, wheel down, over and over
//        inject_linux faults    the mouse alone, then, once a monitor has it open, the faults that
//                               the documents' sample shows: healthy clicks, a switch that
//                               bounces 4 ms after a release, one that closes again 35 ms after
//                               it, a held button that lets go for 30 ms, a wheel that skips
//        inject_linux flood     the mouse alone, then, once a monitor has it open, 12 clicks of
//                               no hold to a write, 40 ms apart, until that monitor waits in a
//                               write to a full pipe ("blocked after N writes", then kept until
//                               the monitor lets go) or has let go of the mouse ("released after
//                               N writes")
//        inject_linux reborn    the mouse alone, then, once a monitor has it open, a left click
//                               ("clicked"); once /dev/input is gone ("input removed"), a middle
//                               click on it, still open, then a new mouse, clicked with the right
//                               button once a monitor has it open
//        inject_linux quiet N   N mice that never report ("ready"), kept until SIGTERM
//        inject_linux clicks    the mouse alone, then, once a monitor has it open, 200 clicks held
//                               40 to 120 ms, 150 to 250 ms apart, from a fixed seed ("hold
//                               NOMINAL ACTUAL" each, in ms)
//        inject_linux loop      the benchmark's bare loop: sleeps 1 ms and reads the monotonic
//                               clock, until SIGTERM
//        inject_linux fg PROGRAM ARGS...  runs the program with SIGINT and SIGQUIT as a terminal's
//                               foreground job has them, not ignored as in a script's background
// Each wait is bounded and, on failure, named on standard error with exit status 1. Standard
// output names the nodes: "mouse /dev/input/event2", and says "ready" once all are made.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <linux/uinput.h>
#include <sys/ioctl.h>
#include <time.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr int kWaitMs = 10000;
constexpr int kStartMs = 500;  // as a person starts clicking: not within the start-up's own stamps
constexpr int kHoldMs = 100;
constexpr int kGapMs = 150;
constexpr int kNotchGapMs = 300;
constexpr int kBounceMs = 4;
constexpr unsigned short kVendor = 0x1234;

// A virtual device and its event node.
struct Device {
    int fd;
    std::string node;
};

// Sleeps the given milliseconds on the monotonic clock.
void SleepMs(int ms) {
    timespec wait{ms / 1000, static_cast<long>(ms % 1000) * 1000000L};
    while (clock_nanosleep(CLOCK_MONOTONIC, 0, &wait, &wait) != 0) {
    }
}

// Ends the program, naming what failed.
[[noreturn]] void Fail(const std::string& what) {
    std::fprintf(stderr, "inject_linux: %s\n", what.c_str());
    std::exit(1);
}

// The kinds of virtual device, by the capabilities their drivers would declare.
enum class Kind {
    kMouse,      // five buttons, both wheels
    kKeyboard,   // keys only
    kTablet,     // as QEMU's USB tablet: absolute X and Y, three buttons, a wheel
    kEightButtons,  // relative X and Y, BTN_LEFT to BTN_TASK
    kPen,        // a pen tablet with a puck: absolute X and Y, pen, stylus and mouse buttons
    kTouchpad,   // absolute and multitouch X and Y, finger tools, a left button
    kJoystick,   // absolute X and Y, trigger and thumb buttons
    kButtons,    // mouse buttons and no axes
};

// Declares an absolute axis with its range.
void AbsAxis(int fd, int code, int maximum) {
    ioctl(fd, UI_SET_ABSBIT, code);
    uinput_abs_setup axis{};
    axis.code = static_cast<uint16_t>(code);
    axis.absinfo.maximum = maximum;
    ioctl(fd, UI_ABS_SETUP, &axis);
}

// Declares the keys or buttons from first to last.
void Keys(int fd, int first, int last) {
    for (int key = first; key <= last; ++key) {
        ioctl(fd, UI_SET_KEYBIT, key);
    }
}

// Declares the relative axes.
void RelAxes(int fd, std::initializer_list<int> axes) {
    ioctl(fd, UI_SET_EVBIT, EV_REL);
    for (const int axis : axes) {
        ioctl(fd, UI_SET_RELBIT, axis);
    }
}

// Creates a virtual device of the kind, and returns it with its node.
Device Create(const char* name, unsigned short product, Kind kind) {
    const int fd = open("/dev/uinput", O_WRONLY | O_CLOEXEC);
    if (fd < 0) {
        Fail(std::string("cannot open /dev/uinput: ") + std::strerror(errno));
    }
    ioctl(fd, UI_SET_EVBIT, EV_KEY);
    switch (kind) {
    case Kind::kMouse:
        Keys(fd, BTN_LEFT, BTN_EXTRA);
        RelAxes(fd, {REL_X, REL_Y, REL_WHEEL, REL_HWHEEL});
        break;
    case Kind::kKeyboard:
        Keys(fd, KEY_ESC, KEY_SPACE);
        break;
    case Kind::kTablet:
        Keys(fd, BTN_LEFT, BTN_MIDDLE);
        RelAxes(fd, {REL_WHEEL});
        break;
    case Kind::kEightButtons:
        Keys(fd, BTN_LEFT, BTN_TASK);
        RelAxes(fd, {REL_X, REL_Y});
        break;
    case Kind::kPen:
        Keys(fd, BTN_LEFT, BTN_MIDDLE);  // the puck's, on the same device as the pen's
        Keys(fd, BTN_TOOL_PEN, BTN_TOOL_PEN);
        Keys(fd, BTN_TOOL_MOUSE, BTN_TOOL_MOUSE);
        Keys(fd, BTN_TOUCH, BTN_STYLUS2);
        break;
    case Kind::kTouchpad:
        Keys(fd, BTN_LEFT, BTN_LEFT);
        Keys(fd, BTN_TOOL_FINGER, BTN_TOOL_FINGER);
        Keys(fd, BTN_TOUCH, BTN_TOUCH);
        Keys(fd, BTN_TOOL_DOUBLETAP, BTN_TOOL_TRIPLETAP);
        ioctl(fd, UI_SET_PROPBIT, INPUT_PROP_POINTER);
        ioctl(fd, UI_SET_PROPBIT, INPUT_PROP_BUTTONPAD);
        break;
    case Kind::kJoystick:
        Keys(fd, BTN_TRIGGER, BTN_THUMB2);
        break;
    case Kind::kButtons:
        Keys(fd, BTN_LEFT, BTN_MIDDLE);
        break;
    }
    uinput_setup setup{};
    setup.id = {BUS_VIRTUAL, kVendor, product, 1};
    std::snprintf(setup.name, sizeof(setup.name), "%s", name);
    char sysname[64] = {};
    if (ioctl(fd, UI_DEV_SETUP, &setup) != 0) {
        Fail(std::string("cannot set up ") + name + ": " + std::strerror(errno));
    }
    if (kind == Kind::kTablet || kind == Kind::kPen || kind == Kind::kTouchpad || kind == Kind::kJoystick) {
        ioctl(fd, UI_SET_EVBIT, EV_ABS);
        AbsAxis(fd, ABS_X, 32767);
        AbsAxis(fd, ABS_Y, 32767);
    }
    if (kind == Kind::kTouchpad) {
        AbsAxis(fd, ABS_MT_SLOT, 4);
        AbsAxis(fd, ABS_MT_POSITION_X, 32767);
        AbsAxis(fd, ABS_MT_POSITION_Y, 32767);
        AbsAxis(fd, ABS_MT_TRACKING_ID, 65535);
    }
    if (ioctl(fd, UI_DEV_CREATE) != 0 ||
        ioctl(fd, UI_GET_SYSNAME(sizeof(sysname)), sysname) < 0) {
        Fail(std::string("cannot create ") + name + ": " + std::strerror(errno));
    }
    const std::string folder = std::string("/sys/devices/virtual/input/") + sysname;
    for (int waited = 0; waited < kWaitMs; ++waited, SleepMs(1)) {
        DIR* directory = opendir(folder.c_str());
        std::string node;
        while (const dirent* entry = directory != nullptr ? readdir(directory) : nullptr) {
            if (std::strncmp(entry->d_name, "event", 5) == 0) {
                node = std::string("/dev/input/") + entry->d_name;
            }
        }
        if (directory != nullptr) {
            closedir(directory);
        }
        if (!node.empty() && access(node.c_str(), F_OK) == 0) {
            return {fd, node};
        }
    }
    Fail(std::string("no event node for ") + name + " within 10 s");
}

// Creates a device and names its node on standard output: "KIND NODE".
Device Plug(const char* kindName, const char* name, unsigned short product, Kind kind) {
    const Device device = Create(name, product, kind);
    std::printf("%s %s\n", kindName, device.node.c_str());
    std::fflush(stdout);
    return device;
}

// Tells whether a process is a monitor: its command is mousecheck (udevadm, too, opens nodes).
bool IsMonitor(const char* pid) {
    char command[32] = {};
    FILE* file = std::fopen((std::string("/proc/") + pid + "/comm").c_str(), "re");
    if (file != nullptr) {
        if (std::fgets(command, sizeof(command), file) == nullptr) {
            command[0] = '\0';
        }
        std::fclose(file);
    }
    return std::strcmp(command, "mousecheck\n") == 0;
}

// Returns the process id of a monitor that has a file open whose link is the node's path (a
// closed node that the device took with it reads "/dev/input/eventN (deleted)"), or "".
std::string MonitorHolding(const std::string& node) {
    std::string holder;
    DIR* processes = opendir("/proc");
    while (const dirent* process = processes != nullptr && holder.empty() ? readdir(processes) : nullptr) {
        if (process->d_name[0] < '1' || process->d_name[0] > '9' || !IsMonitor(process->d_name)) {
            continue;
        }
        const std::string fds = std::string("/proc/") + process->d_name + "/fd";
        DIR* open = opendir(fds.c_str());
        while (const dirent* fd = open != nullptr && holder.empty() ? readdir(open) : nullptr) {
            char target[256] = {};
            if (readlink((fds + "/" + fd->d_name).c_str(), target, sizeof(target) - 1) > 0 &&
                (std::strcmp(target, node.c_str()) == 0 || std::string(target) == node + " (deleted)")) {
                holder = process->d_name;
            }
        }
        if (open != nullptr) {
            closedir(open);
        }
    }
    if (processes != nullptr) {
        closedir(processes);
    }
    return holder;
}

// Tells whether a monitor has the node open.
bool HeldByAnother(const std::string& node) {
    return !MonitorHolding(node).empty();
}

// Waits until a monitor has the node open (opened), or no longer has it (!opened).
void WaitUntilHeld(const std::string& node, bool opened) {
    for (int waited = 0; waited < kWaitMs; waited += 5, SleepMs(5)) {
        if (HeldByAnother(node) == opened) {
            return;
        }
    }
    Fail(opened ? "no monitor opened " + node + " within 10 s" : "the monitor still held " + node + " 10 s after its device went");
}

// Sends events, then the end of the report, in one write.
void Report(const Device& device, std::vector<input_event> events) {
    events.push_back({{}, EV_SYN, SYN_REPORT, 0});
    const auto size = static_cast<ssize_t>(events.size() * sizeof(input_event));
    if (write(device.fd, events.data(), static_cast<size_t>(size)) != size) {
        Fail("cannot write to " + device.node + ": " + std::strerror(errno));
    }
}

// A button event.
input_event Button(int code, int value) {
    return {{}, EV_KEY, static_cast<unsigned short>(code), value};
}

// A relative axis event.
input_event Axis(int code, int value) {
    return {{}, EV_REL, static_cast<unsigned short>(code), value};
}

// Presses a button, holds it, releases it and waits.
void Click(const Device& mouse, int button, int holdMs, int gapMs) {
    Report(mouse, {Button(button, 1)});
    SleepMs(holdMs);
    Report(mouse, {Button(button, 0)});
    SleepMs(gapMs);
}

// Plays the session of the end-to-end test and the demo.
void PlaySession(Device* first) {
    WaitUntilHeld(first->node, true);
    SleepMs(kStartMs);
    for (const int button : {BTN_LEFT, BTN_RIGHT, BTN_MIDDLE, BTN_SIDE, BTN_EXTRA}) {
        Click(*first, button, kHoldMs, kGapMs);
    }
    Click(*first, BTN_LEFT, kHoldMs, kBounceMs);  // the switch bounces: a press 4 ms after the release
    Click(*first, BTN_LEFT, kHoldMs, kGapMs);
    Report(*first, {Axis(REL_HWHEEL, 1)});
    Report(*first, {Axis(REL_X, 5), Axis(REL_Y, -3)});
    SleepMs(kGapMs);
    for (const int notch : {1, 1, -1, -1, 1}) {
        Report(*first, {Axis(REL_WHEEL, notch)});
        SleepMs(kNotchGapMs);
    }
    // Two notches in one burst: two reports in one write.
    const input_event burst[] = {Axis(REL_WHEEL, 1), {{}, EV_SYN, SYN_REPORT, 0}, Axis(REL_WHEEL, 1)};
    Report(*first, {std::begin(burst), std::end(burst)});
    SleepMs(kNotchGapMs);

    const Device second = Plug("mouse", "mousecheck second mouse", 3, Kind::kMouse);
    WaitUntilHeld(second.node, true);
    Click(second, BTN_RIGHT, kHoldMs, kGapMs);
    close(first->fd);  // unplugged
    WaitUntilHeld(first->node, false);
    std::printf("unplugged %s\n", first->node.c_str());
    std::fflush(stdout);
    Click(second, BTN_MIDDLE, kHoldMs, 2 * kNotchGapMs);  // analysed before the mouse goes
}

// Plays the documents' sample of a faulty mouse: each fault as the monitor shows it.
void PlayFaults(const Device& mouse) {
    constexpr int kPaceMs = 300;       // between clicks at a normal pace
    constexpr int kChatterMs = 35;     // a switch that closes again: past libinput's 25 ms window
    constexpr int kDragMs = 400;       // a button held for a drag
    constexpr int kLetGoMs = 30;       // a held switch that opens for a moment
    constexpr int kShortHoldMs = 40;   // the extra click of a chattering switch
    constexpr int kNotchPaceMs = 150;  // notch by notch
    WaitUntilHeld(mouse.node, true);
    SleepMs(kStartMs);
    for (int i = 0; i < 3; ++i) {
        Click(mouse, BTN_LEFT, kHoldMs, kPaceMs);  // healthy
    }
    Click(mouse, BTN_LEFT, kHoldMs, kBounceMs);  // the switch bounces: a press 4 ms after the release
    Click(mouse, BTN_LEFT, kHoldMs, kPaceMs);
    Click(mouse, BTN_LEFT, kHoldMs, kChatterMs);  // one click of the finger, two of the switch
    Click(mouse, BTN_LEFT, kShortHoldMs, kPaceMs);
    Report(mouse, {Button(BTN_LEFT, 1)});  // a drag that breaks: the held switch opens for 30 ms
    for (int step = 0; step < kDragMs / 20; ++step) {
        SleepMs(20);
        Report(mouse, {Axis(REL_X, 3)});
    }
    Report(mouse, {Button(BTN_LEFT, 0)});
    SleepMs(kLetGoMs);
    Report(mouse, {Button(BTN_LEFT, 1)});
    SleepMs(kDragMs);
    Report(mouse, {Button(BTN_LEFT, 0)});
    SleepMs(kPaceMs);
    for (const int notch : {-1, -1, -1, 1, -1, -1}) {  // turned towards the user; one notch skips
        Report(mouse, {Axis(REL_WHEEL, notch)});
        SleepMs(kNotchPaceMs);
    }
}

// Waits until /dev/input is gone, then says "input removed".
void WaitInputRemoved(const char* after) {
    struct stat input {};
    for (int waited = 0; stat("/dev/input", &input) == 0; waited += 5, SleepMs(5)) {
        if (waited >= kWaitMs) {
            Fail(std::string("/dev/input was still there 10 s after ") + after);
        }
    }
    std::printf("input removed\n");
    std::fflush(stdout);
}

// Plays the devices' run: the tablet's click and notch, every device gone, a new mouse clicked.
void PlayDevices() {
    std::vector<Device> devices;
    devices.push_back(Plug("tablet", "mousecheck virtual tablet", 4, Kind::kTablet));
    devices.push_back(Plug("eight", "mousecheck \033[2J \xC2\x9B \x9B \xFF mouse", 5, Kind::kEightButtons));
    devices.push_back(Plug("pen", "mousecheck virtual pen", 6, Kind::kPen));
    devices.push_back(Plug("touchpad", "mousecheck virtual touchpad", 7, Kind::kTouchpad));
    devices.push_back(Plug("joystick", "mousecheck virtual joystick", 8, Kind::kJoystick));
    devices.push_back(Plug("buttons", "mousecheck virtual buttons", 9, Kind::kButtons));
    std::printf("ready\n");
    std::fflush(stdout);
    const Device& tablet = devices[0];
    WaitUntilHeld(tablet.node, true);
    SleepMs(kStartMs);
    Report(tablet, {{{}, EV_ABS, ABS_X, 1000}, {{}, EV_ABS, ABS_Y, 2000}});  // motion alone: no line
    Click(tablet, BTN_LEFT, kHoldMs, kGapMs);
    Report(tablet, {Axis(REL_WHEEL, -1)});
    SleepMs(kGapMs);
    for (const Device& device : devices) {
        close(device.fd);  // unplugged
    }
    WaitInputRemoved("its devices went");
    const Device later = Plug("mouse", "mousecheck new mouse", 10, Kind::kMouse);
    WaitUntilHeld(later.node, true);
    Click(later, BTN_RIGHT, kHoldMs, kGapMs);
}

// Plays /dev/input removed under the open mouse, then a new mouse.
void PlayReborn(const Device& first) {
    WaitUntilHeld(first.node, true);
    SleepMs(kStartMs);
    Click(first, BTN_LEFT, kHoldMs, kGapMs);
    std::printf("clicked\n");
    std::fflush(stdout);
    WaitInputRemoved("the click");
    Click(first, BTN_MIDDLE, kHoldMs, kGapMs);
    const Device later = Plug("mouse", "mousecheck new mouse", 10, Kind::kMouse);
    WaitUntilHeld(later.node, true);
    Click(later, BTN_RIGHT, kHoldMs, kGapMs);
}

// Returns the first line of a file, or "".
std::string FirstLine(const std::string& path) {
    char line[128] = {};
    FILE* file = std::fopen(path.c_str(), "re");
    if (file != nullptr) {
        if (std::fgets(line, sizeof(line), file) == nullptr) {
            line[0] = '\0';
        }
        std::fclose(file);
    }
    return std::string(line, std::strcspn(line, "\n"));
}

// Floods the mouse with clicks until its monitor waits in a write or lets go of it.
void PlayFlood(const Device& mouse) {
    constexpr int kClicksPerWrite = 12;  // 48 events: well within evdev's queue of a client
    constexpr int kWritePaceMs = 40;     // passes apart: each write's first press is no fast click
    constexpr int kWritesMax = 200;
    WaitUntilHeld(mouse.node, true);
    SleepMs(kStartMs);
    std::vector<input_event> clicks;
    for (int i = 0; i < kClicksPerWrite; ++i) {
        for (const int value : {1, 0}) {
            clicks.push_back(Button(BTN_LEFT, value));
            clicks.push_back({{}, EV_SYN, SYN_REPORT, 0});
        }
    }
    clicks.pop_back();  // Report() ends the last one
    for (int writes = 1; writes <= kWritesMax; ++writes) {
        Report(mouse, clicks);
        SleepMs(kWritePaceMs);
        const std::string monitor = MonitorHolding(mouse.node);
        if (monitor.empty()) {
            std::printf("released after %d writes\n", writes);
            return;
        }
        if (FirstLine("/proc/" + monitor + "/wchan") == "pipe_write") {
            std::printf("blocked after %d writes\n", writes);
            std::fflush(stdout);
            WaitUntilHeld(mouse.node, false);
            return;
        }
    }
    Fail("the monitor neither waited in a write to a pipe nor let go of " + mouse.node + " after " +
         std::to_string(kWritesMax) + " writes of clicks");
}

// Reads the monotonic clock in milliseconds.
double NowMs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

// Sleeps until the monotonic clock reaches the time in milliseconds. It does not spin: in the
// virtual machine a spinning injector takes the processor that the monitor needs.
void SleepUntil(double whenMs) {
    timespec when{};
    when.tv_sec = static_cast<time_t>(whenMs / 1e3);
    when.tv_nsec = static_cast<long>((whenMs - static_cast<double>(when.tv_sec) * 1e3) * 1e6);
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &when, nullptr) != 0) {
    }
}

// Plays the benchmark's holds and burst.
void PlayBench(const Device& mouse) {
    constexpr int kHoldsEach = 20;
    constexpr int kBurstRecords = 100000;
    constexpr int kRecordsPerMs = 8;
    WaitUntilHeld(mouse.node, true);
    SleepMs(kStartMs);
    for (const int hold : {5, 20, 30, 50, 100}) {
        for (int i = 0; i < kHoldsEach; ++i) {
            Report(mouse, {Button(BTN_LEFT, 1)});
            const double pressed = NowMs();
            SleepUntil(pressed + hold);
            Report(mouse, {Button(BTN_LEFT, 0)});
            std::printf("hold %d %.3f\n", hold, NowMs() - pressed);
            SleepMs(kGapMs);
        }
    }
    const std::vector<input_event> cycle[] = {{Button(BTN_RIGHT, 1)}, {Button(BTN_RIGHT, 0)},
                                              {Axis(REL_WHEEL, 1)}, {Axis(REL_WHEEL, -1)}};
    const double start = NowMs();
    for (int sent = 0; sent < kBurstRecords;) {
        SleepUntil(start + static_cast<double>(sent / kRecordsPerMs));
        std::vector<input_event> events;  // this millisecond's reports, in one write
        for (int i = 0; i < kRecordsPerMs && sent < kBurstRecords; ++i, ++sent) {
            events.insert(events.end(), cycle[sent % 4].begin(), cycle[sent % 4].end());
            events.push_back({{}, EV_SYN, SYN_REPORT, 0});
        }
        events.pop_back();  // Report() ends the last one
        Report(mouse, events);
    }
    std::printf("burst %d records in %.1f ms\n", kBurstRecords, NowMs() - start);
    SleepMs(2000);  // the monitor drains the rest
}

// Plays 200 ordinary clicks at a person's pace, from a fixed seed.
void PlayClicks(const Device& mouse) {
    constexpr int kClicks = 200;
    unsigned seed = 20240601;
    // The next pseudo-random number from 0 to below the bound.
    const auto next = [&seed](int bound) {
        seed = seed * 1103515245u + 12345u;
        return static_cast<int>((seed >> 16) % static_cast<unsigned>(bound));
    };
    WaitUntilHeld(mouse.node, true);
    SleepMs(kStartMs);
    for (int i = 0; i < kClicks; ++i) {
        const int hold = 40 + next(81);
        Report(mouse, {Button(BTN_LEFT, 1)});
        const double pressed = NowMs();
        SleepUntil(pressed + hold);
        Report(mouse, {Button(BTN_LEFT, 0)});
        std::printf("hold %d %.3f\n", hold, NowMs() - pressed);
        SleepMs(150 + next(101));
    }
}

// Sleeps 1 ms and reads the monotonic clock, over and over: a pump pass with nothing else.
[[noreturn]] void BareLoop() {
    for (;;) {
        timespec wait{0, 1000000L};
        nanosleep(&wait, nullptr);
        timespec now{};
        clock_gettime(CLOCK_MONOTONIC, &now);
    }
}

}  // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "bench") {
        const Device mouse = Plug("mouse", "mousecheck virtual mouse", 1, Kind::kMouse);
        std::printf("ready\n");
        std::fflush(stdout);
        PlayBench(mouse);
    } else if (mode == "hold" || mode == "session") {
        Plug("keyboard", "mousecheck virtual keyboard", 2, Kind::kKeyboard);
        Device mouse = Plug("mouse", "mousecheck virtual mouse", 1, Kind::kMouse);
        std::printf("ready\n");
        std::fflush(stdout);
        if (mode == "hold") {
            pause();  // SIGTERM ends it
        }
        PlaySession(&mouse);
    } else if (mode == "late") {
        const Device mouse = Plug("mouse", "mousecheck late mouse", 11, Kind::kMouse);
        const double plugged = NowMs();
        WaitUntilHeld(mouse.node, true);
        std::printf("held after %.0f ms\n", NowMs() - plugged);
        std::fflush(stdout);
        Click(mouse, BTN_LEFT, kHoldMs, kGapMs);
    } else if (mode == "locked") {
        Plug("mouse", "mousecheck locked mouse", 12, Kind::kMouse);
        pause();
    } else if (mode == "devices") {
        PlayDevices();
    } else if (mode == "faults") {
        const Device mouse = Plug("mouse", "mousecheck virtual mouse", 1, Kind::kMouse);
        std::printf("ready\n");
        std::fflush(stdout);
        PlayFaults(mouse);
    } else if (mode == "flood" || mode == "reborn" || mode == "clicks") {
        const Device mouse = Plug("mouse", "mousecheck virtual mouse", 1, Kind::kMouse);
        std::printf("ready\n");
        std::fflush(stdout);
        if (mode == "flood") {
            PlayFlood(mouse);
        } else if (mode == "reborn") {
            PlayReborn(mouse);
        } else {
            PlayClicks(mouse);
        }
    } else if (mode == "quiet" && argc > 2) {
        for (int i = std::atoi(argv[2]); i > 0; --i) {
            Create("mousecheck quiet mouse", 13, Kind::kMouse);
        }
        std::printf("ready\n");
        std::fflush(stdout);
        pause();
    } else if (mode == "loop") {
        BareLoop();
    } else if (mode == "fg" && argc > 2) {
        std::signal(SIGINT, SIG_DFL);
        std::signal(SIGQUIT, SIG_DFL);
        execvp(argv[2], argv + 2);
        Fail(std::string("cannot run ") + argv[2] + ": " + std::strerror(errno));
    } else {
        std::fprintf(stderr, "usage: inject_linux hold|session|late|locked|devices|bench|faults|flood|reborn|"
                             "clicks|loop | quiet N | fg PROGRAM ARGS...\n");
        return 2;
    }
    return 0;
}
