// Plays scripted mouse sessions into a real kernel through /dev/uinput: the end-to-end test,
// the demo and the benchmark, in a virtual machine. Never run it on a desktop: its virtual
// mouse clicks wherever the pointer is.
//
// Usage: inject_linux hold      a virtual keyboard and mouse, kept until SIGTERM
//        inject_linux session   the same, then, once a monitor has the mouse open: clicks of
//                               every button, a chattering click, horizontal wheel and motion
//                               (no lines), wheel notches, two notches in one burst, a second
//                               mouse plugged in and clicked, the first unplugged, a last click
//        inject_linux bench     the mouse alone, then, once a monitor has it open: 20 holds each of
//                               5, 20, 30, 50 and 100 ms of the left button ("hold NOMINAL
//                               ACTUAL" each, in ms), then 100,000 reports at 8 per ms: right
//                               press, right release, wheel up, wheel down, over and over
//        inject_linux faults    the mouse alone, then, once a monitor has it open, the faults that
//                               the documents' sample shows: healthy clicks, a switch that
//                               bounces 4 ms after a release, one that closes again 35 ms after
//                               it, a held button that lets go for 30 ms, a wheel that skips
// Each wait is bounded and, on failure, named on standard error with exit status 1. Standard
// output names the nodes: "mouse /dev/input/event2".
#include <dirent.h>
#include <fcntl.h>
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

// Creates a virtual mouse (five buttons, both wheels) or keyboard, and returns it with its node.
Device Create(const char* name, unsigned short product, bool mouse) {
    const int fd = open("/dev/uinput", O_WRONLY | O_CLOEXEC);
    if (fd < 0) {
        Fail(std::string("cannot open /dev/uinput: ") + std::strerror(errno));
    }
    ioctl(fd, UI_SET_EVBIT, EV_KEY);
    if (mouse) {
        for (int button = BTN_LEFT; button <= BTN_EXTRA; ++button) {
            ioctl(fd, UI_SET_KEYBIT, button);
        }
        ioctl(fd, UI_SET_EVBIT, EV_REL);
        for (const int axis : {REL_X, REL_Y, REL_WHEEL, REL_HWHEEL}) {
            ioctl(fd, UI_SET_RELBIT, axis);
        }
    } else {
        for (int key = KEY_ESC; key <= KEY_SPACE; ++key) {
            ioctl(fd, UI_SET_KEYBIT, key);
        }
    }
    uinput_setup setup{};
    setup.id = {BUS_VIRTUAL, kVendor, product, 1};
    std::snprintf(setup.name, sizeof(setup.name), "%s", name);
    char sysname[64] = {};
    if (ioctl(fd, UI_DEV_SETUP, &setup) != 0 || ioctl(fd, UI_DEV_CREATE) != 0 ||
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
            std::printf("%s %s\n", mouse ? "mouse" : "keyboard", node.c_str());
            std::fflush(stdout);
            return {fd, node};
        }
    }
    Fail(std::string("no event node for ") + name + " within 10 s");
}

// Tells whether another process has a file open whose link begins with the node's path (a
// closed node that the device took with it reads "/dev/input/eventN (deleted)").
bool HeldByAnother(const std::string& node) {
    bool held = false;
    DIR* processes = opendir("/proc");
    while (const dirent* process = processes != nullptr && !held ? readdir(processes) : nullptr) {
        if (process->d_name[0] < '1' || process->d_name[0] > '9' || atoi(process->d_name) == getpid()) {
            continue;
        }
        const std::string fds = std::string("/proc/") + process->d_name + "/fd";
        DIR* open = opendir(fds.c_str());
        while (const dirent* fd = open != nullptr && !held ? readdir(open) : nullptr) {
            char target[256] = {};
            held = readlink((fds + "/" + fd->d_name).c_str(), target, sizeof(target) - 1) > 0 &&
                   (std::strcmp(target, node.c_str()) == 0 || std::string(target) == node + " (deleted)");
        }
        if (open != nullptr) {
            closedir(open);
        }
    }
    if (processes != nullptr) {
        closedir(processes);
    }
    return held;
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

    const Device second = Create("mousecheck second mouse", 3, true);
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

}  // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode != "hold" && mode != "session" && mode != "bench" && mode != "faults") {
        std::fprintf(stderr, "usage: inject_linux hold|session|bench|faults\n");
        return 2;
    }
    if (mode == "bench") {
        PlayBench(Create("mousecheck virtual mouse", 1, true));
        return 0;
    }
    if (mode == "faults") {
        PlayFaults(Create("mousecheck virtual mouse", 1, true));
        return 0;
    }
    Create("mousecheck virtual keyboard", 2, false);
    Device mouse = Create("mousecheck virtual mouse", 1, true);
    if (mode == "hold") {
        pause();  // SIGTERM ends it
    }
    PlaySession(&mouse);
    return 0;
}
