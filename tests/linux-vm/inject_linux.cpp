// Plays scripted mouse sessions into a real kernel through /dev/uinput: the end-to-end test,
// the demo and the benchmark, in a virtual machine. Never run it on a desktop: its virtual
// mouse clicks wherever the pointer is.
//
// Usage: inject_linux hold      a virtual keyboard and mouse, kept until SIGTERM
//        inject_linux session   the same, then, once a monitor sleeps in its pump: clicks of
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
//                               monitor has the tablet open and sleeps in its pump: a left click and a wheel notch down on
//                               it; then every device goes ("input removed" once /dev/input is
//                               gone, which needs every other input node gone); then a new mouse,
//                               clicked with the right button once a monitor has it open and
//                               sleeps in its pump; it ends once the monitor has read the click
//        inject_linux bench     the mouse alone, then, once a monitor sleeps in its pump: 20 holds each of
//                               5, 20, 30, 50 and 100 ms of the left button ("hold NOMINAL
//                               ACTUAL" each, in ms), then 100,000 reports at 8 per ms: right
//                               press, right release, wheel up, wheel down, over and over
//        inject_linux faults    the mouse alone, then, once a monitor sleeps in its pump, the faults that
//                               the documents' sample shows: healthy clicks, a switch that
//                               bounces at once after a release, one that closes again 35 ms after
//                               it, a held button that lets go for 30 ms, a wheel that skips; it
//                               ends once the monitor has read them all
//        inject_linux flood     the mouse alone, then, once a monitor sleeps in its pump, 12 clicks of
//                               no hold to a write, 40 ms apart, until that monitor waits to
//                               write to a full pipe ("blocked after N writes", then kept until
//                               the monitor lets go) or has let go of the mouse ("released after
//                               N writes")
//        inject_linux reborn    the mouse alone, then, once a monitor sleeps in its pump, a left click
//                               ("clicked"); once /dev/input is gone ("input removed"), a middle
//                               click on it, still open, then a new mouse, clicked with the right
//                               button once a monitor has it open and sleeps in its pump; it ends
//                               once the monitor has read the click
//        inject_linux quiet N   N mice that never report ("ready"), kept until SIGTERM
//        inject_linux clicks    the mouse alone, then, once a monitor sleeps in its pump, 200 clicks held
//                               40 to 120 ms, 150 to 250 ms apart, from a fixed seed ("hold
//                               NOMINAL ACTUAL" each, in ms)
//        inject_linux loop      the benchmark's bare loop: sleeps 1 ms and reads the monotonic
//                               clock, until SIGTERM
//        inject_linux fg PROGRAM ARGS...  runs the program with SIGINT and SIGQUIT as a terminal's
//                               foreground job has them, not ignored as in a script's background
//        inject_linux held      the mouse alone, then, once a monitor sleeps in its pump: the
//                               monitor stopped (SIGSTOP, as Ctrl+Z), 3 clicks held 300 ms, 300 ms
//                               apart, 3 wheel notches down 300 ms apart ("hold NOMINAL ACTUAL",
//                               "notch ACTUAL"), then the monitor let go on ("resumed" once it read
//                               them all)
//        inject_linux paused    the same with 10 clicks held 100 ms, 100 ms apart: 2 s stopped
//        inject_linux pair      the mouse alone; once a monitor sleeps in its pump, a second mouse
//                               ("mouse NODE") plugged in, and once the monitor has it open, the
//                               monitor stopped while the first is pressed at t, the second at
//                               t+5, the first released at t+100, the second at t+108, then let
//                               go on: "press MS" and "release MS" for each report, with the
//                               kernel's time in whole ms, in the order a monitor analyses them
//                               (of equal times, the first mouse's first), then "resumed"
//        inject_linux paced ARRIVALS  the mouse alone, then 4 clicks held 100 ms, each report made
//                               only once the line of the one before is in ARRIVALS ("clicked")
//        inject_linux tee ARRIVALS  a pipe's reader: each line of standard input into ARRIVALS as
//                               it arrives, after its monotonic time in ms; SIGINT ends it
//        inject_linux overflow  the mouse alone, then 120 clicks of no hold the monitor reads, 480
//                               more while it is stopped (more than evdev keeps for a client),
//                               then a middle click once it read the rest ("dropped")
//        inject_linux stalled GO  the mouse alone, then floods of clicks until the monitor waits
//                               to write ("blocked after N writes"; "released after N writes" if it
//                               let go of the mouse instead), 3 clicks held 300 ms, 300 ms apart,
//                               then creates the file GO and waits until the monitor has written
//                               everything ("drained")
//        inject_linux slow      a slow reader: standard input to standard output, 1 KiB per 10 ms
//        inject_linux click     the mouse alone, then a left click ("clicked" once read)
//        inject_linux nonblock PROGRAM ARGS...  runs the program with its standard output's file
//                               description non-blocking (O_NONBLOCK), as some process managers
//                               leave it
//        inject_linux blocked PROGRAM ARGS...  runs the program with SIGHUP, SIGINT and SIGTERM
//                               blocked, as a parent can leave them
// A mouse present at a monitor's start is first clicked once the monitor has it open and sleeps
// in its pump (/proc/PID/wchan), its start-up stamps behind it, not a fixed time after it opened
// the mouse: a loaded host can hold the monitor's processor between the two. Each wait is bounded
// and, on failure, named on standard error with exit status 1. Standard
// output names the nodes: "mouse /dev/input/event2", and says "ready" once all are made.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <linux/uinput.h>
#include <sys/ioctl.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <tuple>
#include <vector>

namespace {

constexpr int kWaitMs = 10000;
// The release seed lies 20 ms after the start-up's stamps, and a press within 15 ms of it is a
// fast click by design: the first press comes later than that after the pump first slept.
constexpr int kPastSeedsMs = 50;
constexpr int kHoldMs = 100;
constexpr int kGapMs = 150;
constexpr int kNotchGapMs = 300;
constexpr unsigned short kVendor = 0x1234;

// A virtual device and its event node.
struct Device {
    int fd;
    std::string node;
    int echo = -1;  // the node opened by the injector too, for the kernel's times of its reports
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
            return {fd, node, -1};
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

// Waits until a monitor has the node open and sleeps in its pump, then until the start-up's
// stamps are far enough behind that a first press cannot be a fast click by design; returns the
// monitor. The stamps are seeded before the listing and the first pass, so they lie behind once
// the pump has slept, however long the processor was held before.
std::string WaitUntilPumping(const std::string& node) {
    for (int waited = 0; waited < kWaitMs; waited += 5, SleepMs(5)) {
        const std::string monitor = MonitorHolding(node);
        if (!monitor.empty() && FirstLine("/proc/" + monitor + "/wchan").find("nanosleep") != std::string::npos) {
            SleepMs(kPastSeedsMs);
            return monitor;
        }
    }
    Fail("no monitor had " + node + " open and slept in its pump within 10 s");
}

// Returns the number after a key ("syscr:", "voluntary_ctxt_switches:") in a file of /proc, or -1.
long long ProcNumber(const std::string& path, const char* key) {
    long long number = -1;
    FILE* file = std::fopen(path.c_str(), "re");
    char line[256];
    while (file != nullptr && number < 0 && std::fgets(line, sizeof(line), file) != nullptr) {
        if (std::strncmp(line, key, std::strlen(key)) == 0) {
            number = std::atoll(line + std::strlen(key));
        }
    }
    if (file != nullptr) {
        std::fclose(file);
    }
    return number;
}

// Waits until the monitor has read everything that was written to its mice: it sleeps in its
// pump after a whole pass that made no read call (each pass sleeps once, a voluntary switch).
void WaitDrained(const std::string& pid) {
    const std::string proc = "/proc/" + pid;
    long long reads = ProcNumber(proc + "/io", "syscr:");
    long long switches = ProcNumber(proc + "/status", "voluntary_ctxt_switches:");
    for (int waited = 0; waited < kWaitMs; waited += 2, SleepMs(2)) {
        const long long nowReads = ProcNumber(proc + "/io", "syscr:");
        const long long nowSwitches = ProcNumber(proc + "/status", "voluntary_ctxt_switches:");
        if (nowReads != reads) {
            reads = nowReads;
            switches = nowSwitches;
        } else if (nowSwitches >= switches + 3 &&
                   FirstLine(proc + "/wchan").find("nanosleep") != std::string::npos) {
            return;
        }
    }
    Fail("monitor " + pid + " had not read every report, and slept in its pump, within 10 s");
}

// Sends events, then the end of the report, in one write.
void Report(const Device& device, std::vector<input_event> events) {
    events.push_back({{}, EV_SYN, SYN_REPORT, 0});
    const auto size = static_cast<ssize_t>(events.size() * sizeof(input_event));
    if (write(device.fd, events.data(), static_cast<size_t>(size)) != size) {
        Fail("cannot write to " + device.node + ": " + std::strerror(errno));
    }
}

// Opens the device's node as one more reader, on the monotonic clock (a monitor's), so that the
// injector learns the time the kernel gives each of its reports.
void OpenEcho(Device* device) {
    device->echo = open(device->node.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    int clock = CLOCK_MONOTONIC;
    if (device->echo < 0 || ioctl(device->echo, EVIOCSCLOCKID, &clock) != 0) {
        Fail("cannot read " + device->node + " back on the monotonic clock: " + std::strerror(errno));
    }
}

// Returns the kernel's times, in microseconds, of the reports read back since the last call.
std::vector<long long> Echoed(const Device& device) {
    std::vector<long long> stamps;
    input_event events[64];
    for (ssize_t got; (got = read(device.echo, events, sizeof(events))) > 0;) {
        for (size_t i = 0; i < static_cast<size_t>(got) / sizeof(input_event); ++i) {
            if (events[i].type == EV_SYN && events[i].code == SYN_DROPPED) {
                Fail("the kernel dropped events of the injector's own reader of " + device.node);
            }
            if (events[i].type == EV_SYN && events[i].code == SYN_REPORT) {
                stamps.push_back(static_cast<long long>(events[i].input_event_sec) * 1000000LL +
                                 static_cast<long long>(events[i].input_event_usec));
            }
        }
    }
    return stamps;
}

// Returns the milliseconds a monitor prints between two kernel times: their whole milliseconds'
// difference.
long long PrintedMs(long long fromUs, long long toUs) {
    return toUs / 1000 - fromUs / 1000;
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

// Presses a button and holds it; then the switch bounces: the release and the press that follows
// it go in one write, so the kernel stamps them microseconds apart however long the injector is
// held; then the button is held again, released, and the gap waited.
void BouncingClick(const Device& mouse, int button, int holdMs, int gapMs) {
    Report(mouse, {Button(button, 1)});
    SleepMs(holdMs);
    Report(mouse, {Button(button, 0), {{}, EV_SYN, SYN_REPORT, 0}, Button(button, 1)});
    SleepMs(holdMs);
    Report(mouse, {Button(button, 0)});
    SleepMs(gapMs);
}

// Plays the session of the end-to-end test and the demo, once its monitor sleeps in its pump.
void PlaySession(Device* first) {
    WaitUntilPumping(first->node);
    for (const int button : {BTN_LEFT, BTN_RIGHT, BTN_MIDDLE, BTN_SIDE, BTN_EXTRA}) {
        Click(*first, button, kHoldMs, kGapMs);
    }
    BouncingClick(*first, BTN_LEFT, kHoldMs, kGapMs);
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
    WaitUntilPumping(second.node);  // not within its open: the clock's switch drops what is queued
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
    const std::string monitor = WaitUntilPumping(mouse.node);
    for (int i = 0; i < 3; ++i) {
        Click(mouse, BTN_LEFT, kHoldMs, kPaceMs);  // healthy
    }
    BouncingClick(mouse, BTN_LEFT, kHoldMs, kPaceMs);
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
    WaitDrained(monitor);  // the quit that follows would cut the last notch of a held monitor
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
    WaitUntilPumping(tablet.node);
    Report(tablet, {{{}, EV_ABS, ABS_X, 1000}, {{}, EV_ABS, ABS_Y, 2000}});  // motion alone: no line
    Click(tablet, BTN_LEFT, kHoldMs, kGapMs);
    Report(tablet, {Axis(REL_WHEEL, -1)});
    SleepMs(kGapMs);
    for (const Device& device : devices) {
        close(device.fd);  // unplugged
    }
    WaitInputRemoved("its devices went");
    const Device later = Plug("mouse", "mousecheck new mouse", 10, Kind::kMouse);
    const std::string monitor = WaitUntilPumping(later.node);
    Click(later, BTN_RIGHT, kHoldMs, kGapMs);
    WaitDrained(monitor);
}

// Plays /dev/input removed under the open mouse, then a new mouse.
void PlayReborn(const Device& first) {
    WaitUntilPumping(first.node);
    Click(first, BTN_LEFT, kHoldMs, kGapMs);
    std::printf("clicked\n");
    std::fflush(stdout);
    WaitInputRemoved("the click");
    Click(first, BTN_MIDDLE, kHoldMs, kGapMs);
    const Device later = Plug("mouse", "mousecheck new mouse", 10, Kind::kMouse);
    const std::string monitor = WaitUntilPumping(later.node);
    Click(later, BTN_RIGHT, kHoldMs, kGapMs);
    WaitDrained(monitor);
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

// Presses the button, holds it the milliseconds on the monotonic clock and releases it; says
// "hold NOMINAL ACTUAL", the time from the press's write to the release's, in ms, and where the
// injector reads its reports back, "KERNEL PRINTED" after it: the hold between the kernel's times
// of the two, and the whole milliseconds a monitor prints for it.
void TimedClick(const Device& mouse, int button, int holdMs) {
    Report(mouse, {Button(button, 1)});
    const double pressed = NowMs();
    const std::vector<long long> press = Echoed(mouse);
    SleepUntil(pressed + holdMs);
    Report(mouse, {Button(button, 0)});
    const double held = NowMs() - pressed;
    const std::vector<long long> release = Echoed(mouse);
    if (press.size() == 1 && release.size() == 1) {
        std::printf("hold %d %.3f %.3f %lld\n", holdMs, held, static_cast<double>(release[0] - press[0]) / 1e3,
                    PrintedMs(press[0], release[0]));
    } else {
        std::printf("hold %d %.3f\n", holdMs, held);
    }
    std::fflush(stdout);
}

// Returns a process's state letter from /proc/PID/stat ('S' asleep, 'T' stopped), or '?'.
char ProcState(const std::string& pid) {
    const std::string stat = FirstLine("/proc/" + pid + "/stat");
    const size_t name = stat.rfind(')');
    return name != std::string::npos && name + 2 < stat.size() ? stat[name + 2] : '?';
}

// Stops the monitor as Ctrl+Z does (SIGSTOP: it cannot be caught) and waits until it is stopped.
void StopMonitor(const std::string& pid) {
    kill(std::atoi(pid.c_str()), SIGSTOP);
    for (int waited = 0; ProcState(pid) != 'T'; waited += 1, SleepMs(1)) {
        if (waited >= kWaitMs) {
            Fail("monitor " + pid + " was not stopped 10 s after SIGSTOP");
        }
    }
}

constexpr int kClicksPerWrite = 12;  // 48 events: well within evdev's queue of a client (128 here)
constexpr long long kFloodWriteBytes = kClicksPerWrite * 4 * static_cast<long long>(sizeof(input_event));

// Writes the clicks of a flood: kClicksPerWrite clicks of no hold in one write, this many times.
// Where the injector reads its reports back, it says "stamps MS..." after each write: the
// kernel's time of each of its reports, in whole milliseconds, as a monitor reads them.
void FloodWrites(const Device& mouse, int writes) {
    std::vector<input_event> clicks;
    for (int i = 0; i < kClicksPerWrite; ++i) {
        for (const int value : {1, 0}) {
            clicks.push_back(Button(BTN_LEFT, value));
            clicks.push_back({{}, EV_SYN, SYN_REPORT, 0});
        }
    }
    clicks.pop_back();  // Report() ends the last one
    for (int i = 0; i < writes; ++i) {
        Report(mouse, clicks);
        if (mouse.echo >= 0) {
            std::string line = "stamps";
            for (const long long stamp : Echoed(mouse)) {
                line += " " + std::to_string(stamp / 1000);
            }
            std::printf("%s\n", line.c_str());
        }
    }
}

// Tells whether the monitor waits to write its output (blocked in the write, or polling for room).
bool WaitsToWrite(const std::string& pid) {
    const std::string waits = FirstLine("/proc/" + pid + "/wchan");
    return waits == "pipe_write" || waits.find("poll") != std::string::npos;
}

// Waits until the monitor has read the bytes since its count of bytes read was the one given, or
// waits to write, or is gone; so that a flood never outruns evdev's queue of the monitor.
void WaitReadOrWriting(const std::string& pid, long long readBefore, long long bytes) {
    for (int waited = 0; waited < kWaitMs; waited += 1, SleepMs(1)) {
        const long long read = ProcNumber("/proc/" + pid + "/io", "rchar:");
        if (read < 0 || read >= readBefore + bytes || WaitsToWrite(pid)) {
            return;
        }
    }
    Fail("monitor " + pid + " neither read a flood's write nor waited to write within 10 s");
}

// Floods the mouse with clicks until its monitor waits to write to a full pipe or lets go of it.
void PlayFlood(const Device& mouse) {
    constexpr int kWritePaceMs = 40;     // passes apart: each write's first press is no fast click
    constexpr int kWritesMax = 200;
    const std::string pumping = WaitUntilPumping(mouse.node);
    for (int writes = 1; writes <= kWritesMax; ++writes) {
        const long long read = ProcNumber("/proc/" + pumping + "/io", "rchar:");
        FloodWrites(mouse, 1);
        WaitReadOrWriting(pumping, read, kFloodWriteBytes);
        SleepMs(kWritePaceMs);
        const std::string monitor = MonitorHolding(mouse.node);
        if (monitor.empty()) {
            std::printf("released after %d writes\n", writes);
            return;
        }
        if (WaitsToWrite(monitor)) {
            std::printf("blocked after %d writes\n", writes);
            std::fflush(stdout);
            WaitUntilHeld(mouse.node, false);
            return;
        }
    }
    Fail("the monitor neither waited in a write to a pipe nor let go of " + mouse.node + " after " +
         std::to_string(kWritesMax) + " writes of clicks");
}

// Plays the benchmark's holds and burst.
void PlayBench(const Device& mouse) {
    constexpr int kHoldsEach = 20;
    constexpr int kBurstRecords = 100000;
    constexpr int kRecordsPerMs = 8;
    const std::string monitor = WaitUntilPumping(mouse.node);
    for (const int hold : {5, 20, 30, 50, 100}) {
        for (int i = 0; i < kHoldsEach; ++i) {
            TimedClick(mouse, BTN_LEFT, hold);
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
    WaitDrained(monitor);
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
    WaitUntilPumping(mouse.node);
    for (int i = 0; i < kClicks; ++i) {
        TimedClick(mouse, BTN_LEFT, 40 + next(81));
        SleepMs(150 + next(101));
    }
}

// ---- The held-up pass, the live pipe, the dropped events in one file with the report, the
// ---- non-blocking output and the blocked quit signals.

// Plays clicks (and wheel notches down) while the monitor is stopped, as Ctrl+Z stops it, then
// lets it go on: "hold NOMINAL ACTUAL" each, "notch ACTUAL" for each notch after the first (the
// time since the one before, in ms), and "resumed" once it has read them all.
void PlayHeld(const Device& mouse, int clicks, int holdMs, int gapMs, int notches) {
    const std::string monitor = WaitUntilPumping(mouse.node);
    StopMonitor(monitor);
    for (int i = 0; i < clicks; ++i) {
        TimedClick(mouse, BTN_LEFT, holdMs);
        SleepMs(gapMs);
    }
    double previous = 0;
    long long previousUs = 0;
    for (int i = 0; i < notches; ++i) {
        if (i > 0) {
            SleepUntil(previous + gapMs);
        }
        Report(mouse, {Axis(REL_WHEEL, -1)});
        const double now = NowMs();
        const std::vector<long long> stamp = Echoed(mouse);
        if (i > 0 && stamp.size() == 1) {
            std::printf("notch %.3f %.3f %lld\n", now - previous, static_cast<double>(stamp[0] - previousUs) / 1e3,
                        PrintedMs(previousUs, stamp[0]));
        }
        previous = now;
        previousUs = stamp.empty() ? 0 : stamp[0];
    }
    SleepMs(gapMs);  // the last notch well before the pass that reads it stamps the pump
    kill(std::atoi(monitor.c_str()), SIGCONT);
    WaitDrained(monitor);
    std::printf("resumed\n");
}

// Plays the clicks of two mice, interleaved, made while the monitor is stopped, then lets it go
// on; says each report's kernel time in the order the monitor is to analyse them.
void PlayPair(Device* first) {
    const std::string monitor = WaitUntilPumping(first->node);
    Device second = Plug("mouse", "mousecheck second mouse", 3, Kind::kMouse);
    OpenEcho(&second);
    WaitUntilHeld(second.node, true);
    StopMonitor(monitor);
    struct Made {
        long long kernelMs;
        int mouse;  // 0 the first, which the monitor opened first
        const char* what;
    };
    std::vector<Made> made;
    const double start = NowMs();
    for (const auto& [atMs, mouse, value] : {std::tuple{0, 0, 1}, {5, 1, 1}, {100, 0, 0}, {108, 1, 0}}) {
        const Device& device = mouse == 0 ? *first : second;
        SleepUntil(start + atMs);
        Report(device, {Button(BTN_LEFT, value)});
        const std::vector<long long> stamp = Echoed(device);
        if (stamp.size() != 1) {
            Fail("the injector did not read its own report back from " + device.node);
        }
        made.push_back({stamp[0] / 1000, mouse, value == 1 ? "press" : "release"});
    }
    std::stable_sort(made.begin(), made.end(), [](const Made& a, const Made& b) {
        return a.kernelMs < b.kernelMs || (a.kernelMs == b.kernelMs && a.mouse < b.mouse);
    });
    for (const Made& report : made) {
        std::printf("%s %lld\n", report.what, report.kernelMs);
    }
    SleepMs(kGapMs);
    kill(std::atoi(monitor.c_str()), SIGCONT);
    WaitDrained(monitor);
    std::printf("resumed\n");
}

// Returns the number of lines in a file (0 when it cannot be read) and whether one is the text.
int LinesIn(const std::string& path, const char* text, bool* found) {
    int lines = 0;
    FILE* file = std::fopen(path.c_str(), "re");
    char line[512];
    while (file != nullptr && std::fgets(line, sizeof(line), file) != nullptr) {
        lines += std::strchr(line, '\n') != nullptr;
        const char* words = std::strchr(line, ' ');  // after the arrival time
        if (words != nullptr && std::strcmp(words + 1, text) == 0) {
            *found = true;
        }
    }
    if (file != nullptr) {
        std::fclose(file);
    }
    return lines;
}

// Waits until the file that "inject_linux tee" writes has the number of lines.
void WaitArrived(const std::string& arrivals, int lines, const std::string& what) {
    bool found = false;
    for (int waited = 0; LinesIn(arrivals, "", &found) < lines; waited += 1, SleepMs(1)) {
        if (waited >= kWaitMs) {
            Fail("the line of " + what + " had not reached the pipe's reader 10 s later");
        }
    }
}

// Plays clicks held 100 ms, or as long as the press's line takes, each report made only once the
// line of the one before reached the reader of the monitor's pipe, whose arrivals "inject_linux
// tee ARRIVALS" records ("hold 100 0 KERNEL PRINTED" each); the banner comes before the first.
void PlayPaced(const Device& mouse, const std::string& arrivals) {
    constexpr int kClicks = 4;
    WaitUntilPumping(mouse.node);
    bool banner = false;
    int lines = 0;
    for (int waited = 0; !banner; waited += 1, SleepMs(1)) {
        if (waited >= kWaitMs) {
            Fail("the banner had not reached the pipe's reader 10 s after the monitor slept in its pump");
        }
        lines = LinesIn(arrivals, "RAW INPUT Mouse:\n", &banner);
    }
    for (int i = 1; i <= kClicks; ++i) {
        Report(mouse, {Button(BTN_LEFT, 1)});
        const double pressed = NowMs();
        const std::vector<long long> press = Echoed(mouse);
        WaitArrived(arrivals, ++lines, "press " + std::to_string(i));
        SleepUntil(pressed + kHoldMs);
        Report(mouse, {Button(BTN_LEFT, 0)});
        const std::vector<long long> release = Echoed(mouse);
        if (press.size() != 1 || release.size() != 1) {
            Fail("the injector did not read its own click back from " + mouse.node);
        }
        std::printf("hold %d 0 %.3f %lld\n", kHoldMs, static_cast<double>(release[0] - press[0]) / 1e3,
                    PrintedMs(press[0], release[0]));
        WaitArrived(arrivals, ++lines, "release " + std::to_string(i));
        SleepMs(kGapMs);
    }
    std::printf("clicked\n");
}

// Floods the monitor with clicks it reads at once (more than a stdio buffer of lines), then
// more than evdev's queue of a client holds while it is stopped, then a middle click once it
// has read what is left: "dropped" once it has read that too.
void PlayOverflow(const Device& mouse) {
    constexpr int kWritesBefore = 10;  // about 9 KiB of lines
    constexpr int kWritesStopped = 40;  // 1,920 events
    const std::string monitor = WaitUntilPumping(mouse.node);
    for (int i = 0; i < kWritesBefore; ++i) {
        FloodWrites(mouse, 1);
        WaitDrained(monitor);  // read before the next: nothing dropped yet
    }
    StopMonitor(monitor);
    FloodWrites(mouse, kWritesStopped);
    kill(std::atoi(monitor.c_str()), SIGCONT);
    WaitDrained(monitor);
    SleepMs(kGapMs);  // the middle press well after the flood's last release
    Click(mouse, BTN_MIDDLE, kHoldMs, 0);
    WaitDrained(monitor);
    std::printf("dropped\n");
}

// Floods the monitor with clicks until it waits to write its output (blocked in the write, or
// polling for room), then makes clicks held 300 ms, 300 ms apart, and creates the file that lets
// the reader start: "blocked after N writes", "hold ..." each, "drained" once the monitor has
// written them all and sleeps in its pump. A monitor that lets go of the mouse instead ("released
// after N writes") ends the run.
void PlayStalled(const Device& mouse, const std::string& go) {
    constexpr int kWritesMax = 200;
    constexpr int kClicks = 3;
    constexpr int kPaceMs = 300;
    constexpr int kWritePaceMs = 40;
    const std::string monitor = WaitUntilPumping(mouse.node);
    for (int writes = 1;; ++writes) {
        if (writes > kWritesMax) {
            Fail("the monitor neither waited to write nor let go of " + mouse.node + " after " +
                 std::to_string(kWritesMax) + " writes of clicks");
        }
        const long long read = ProcNumber("/proc/" + monitor + "/io", "rchar:");
        FloodWrites(mouse, 1);
        WaitReadOrWriting(monitor, read, kFloodWriteBytes);
        SleepMs(kWritePaceMs);
        if (MonitorHolding(mouse.node).empty()) {
            std::printf("released after %d writes\n", writes);
            return;
        }
        if (WaitsToWrite(monitor)) {
            std::printf("blocked after %d writes\n", writes);
            break;
        }
    }
    for (int i = 0; i < kClicks; ++i) {
        TimedClick(mouse, BTN_LEFT, kPaceMs);
        SleepMs(kPaceMs);
    }
    const int made = open(go.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    if (made < 0) {
        Fail("cannot create " + go + ": " + std::strerror(errno));
    }
    close(made);
    WaitDrained(monitor);
    std::printf("drained\n");
}

// Copies standard input to the file, each line as it arrives with the monotonic time it arrived,
// "MS LINE", in one write; a line cut short at the end is kept too. SIGINT ends it, as it ends
// tee in a terminal.
void RecordArrivals(const char* path) {
    std::signal(SIGINT, SIG_DFL);
    const int file = open(path, O_WRONLY | O_CREAT | O_TRUNC | O_APPEND | O_CLOEXEC, 0644);
    if (file < 0) {
        Fail(std::string("cannot create ") + path + ": " + std::strerror(errno));
    }
    std::string line;
    char buffer[4096];
    for (;;) {
        const ssize_t got = read(0, buffer, sizeof(buffer));
        const double now = NowMs();
        for (ssize_t i = 0; i < got; ++i) {
            line += buffer[i];
            if (buffer[i] == '\n') {
                const std::string stamped = std::to_string(static_cast<long long>(now)) + " " + line;
                if (write(file, stamped.data(), stamped.size()) != static_cast<ssize_t>(stamped.size())) {
                    Fail(std::string("cannot write to ") + path);
                }
                line.clear();
            }
        }
        if (got <= 0) {
            break;
        }
    }
    if (!line.empty()) {
        const std::string stamped = std::to_string(static_cast<long long>(NowMs())) + " " + line;
        if (write(file, stamped.data(), stamped.size()) < 0) {
            Fail(std::string("cannot write to ") + path);
        }
    }
}

// Copies standard input to standard output slowly: 1 KiB every 10 ms.
void ReadSlowly() {
    constexpr int kPaceMs = 10;
    char buffer[1024];
    for (ssize_t got; (got = read(0, buffer, sizeof(buffer))) > 0; SleepMs(kPaceMs)) {
        if (write(1, buffer, static_cast<size_t>(got)) != got) {
            Fail(std::string("cannot write the slow reader's copy: ") + std::strerror(errno));
        }
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
        Device mouse = Plug("mouse", "mousecheck virtual mouse", 1, Kind::kMouse);
        OpenEcho(&mouse);
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
        // The monitor slept in its pump before this mouse came, but a fast machine plugs it and
        // gets it opened within the 35 ms after the seeds where a first press is a fast click.
        SleepMs(kPastSeedsMs);
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
        Device mouse = Plug("mouse", "mousecheck virtual mouse", 1, Kind::kMouse);
        if (mode != "reborn") {
            OpenEcho(&mouse);
        }
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
    } else if (mode == "held" || mode == "paused" || mode == "overflow" || mode == "click" || mode == "pair" ||
               ((mode == "paced" || mode == "stalled") && argc > 2)) {
        Device mouse = Plug("mouse", "mousecheck virtual mouse", 1, Kind::kMouse);
        if (mode != "overflow" && mode != "click") {
            OpenEcho(&mouse);
        }
        std::printf("ready\n");
        std::fflush(stdout);
        if (mode == "held") {
            PlayHeld(mouse, 3, 300, 300, 3);
        } else if (mode == "paused") {
            PlayHeld(mouse, 10, kHoldMs, kHoldMs, 0);  // 2 s of clicks
        } else if (mode == "pair") {
            PlayPair(&mouse);
        } else if (mode == "overflow") {
            PlayOverflow(mouse);
        } else if (mode == "paced") {
            PlayPaced(mouse, argv[2]);
        } else if (mode == "stalled") {
            PlayStalled(mouse, argv[2]);
        } else {
            const std::string monitor = WaitUntilPumping(mouse.node);
            Click(mouse, BTN_LEFT, kHoldMs, 0);
            WaitDrained(monitor);
            std::printf("clicked\n");
        }
    } else if (mode == "tee" && argc > 2) {
        RecordArrivals(argv[2]);
    } else if (mode == "slow") {
        ReadSlowly();
    } else if (mode == "nonblock" && argc > 2) {
        const int flags = fcntl(1, F_GETFL);
        if (flags < 0 || fcntl(1, F_SETFL, flags | O_NONBLOCK) != 0) {
            Fail(std::string("cannot make standard output non-blocking: ") + std::strerror(errno));
        }
        execvp(argv[2], argv + 2);
        Fail(std::string("cannot run ") + argv[2] + ": " + std::strerror(errno));
    } else if (mode == "blocked" && argc > 2) {
        sigset_t quits;
        sigemptyset(&quits);
        for (const int quit : {SIGHUP, SIGINT, SIGTERM}) {
            sigaddset(&quits, quit);
        }
        sigprocmask(SIG_BLOCK, &quits, nullptr);
        execvp(argv[2], argv + 2);
        Fail(std::string("cannot run ") + argv[2] + ": " + std::strerror(errno));
    } else if (mode == "loop") {
        BareLoop();
    } else if (mode == "fg" && argc > 2) {
        std::signal(SIGINT, SIG_DFL);
        std::signal(SIGQUIT, SIG_DFL);
        execvp(argv[2], argv + 2);
        Fail(std::string("cannot run ") + argv[2] + ": " + std::strerror(errno));
    } else {
        std::fprintf(stderr, "usage: inject_linux hold|session|late|locked|devices|bench|faults|flood|reborn|"
                             "clicks|loop|held|paused|pair|overflow|click|slow | quiet N | paced|stalled|tee FILE | "
                             "fg|nonblock|blocked PROGRAM ARGS...\n");
        return 2;
    }
    return 0;
}
