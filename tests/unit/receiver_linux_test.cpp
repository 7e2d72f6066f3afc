#include "driver/receiver_linux.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/input.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <tuple>
#include <vector>

#include "capture.h"
#include "fake_clock.h"
#include "fake_sysfs.h"
#include "timing/timing.h"

namespace {

class PumpLinux : public testing::Test {
public:
    static const std::string& Root() { return root; }
    static int Passes() { return passes; }

protected:
    void SetUp() override {
        root = MakeFakeRoot();
        quitRequested = 0;
        timingState = {0, 1000, 4000, 0, 0};  // press, release, wheel, pump, latest
        fakeNowMs = 5000;
        fakeStepMs = 0;
        fakeSleptMs = 0;
        passes = 0;
        quitRequested = 0;
        fakeEventClock = {};
    }
    void TearDown() override {
        fakeAfterSleep = nullptr;
        fakeUnwatchable.clear();
        RemoveFakeRoot(root);
    }
    // Sets up on the fake root and runs the pump, each pass ending in the hook; returns what
    // was printed to standard output and to standard error. A pump that has not returned after
    // 1000 passes, which take no time on the fake clock, ends the test program, naming its wait.
    std::string Run(void (*afterSleep)()) {
        passes = 0;
        quitRequested = 0;
        realStderr = dup(STDERR_FILENO);  // the watchdog's, past the capture
        testing::internal::CaptureStderr();
        SetUpReceiver(root.c_str());
        hook = afterSleep;
        fakeAfterSleep = [] {
            if (++passes > kPassesMax) {
                dprintf(realStderr, "RunPump did not return within %d passes; it waited for the quit "
                                    "that a signal requests\n", kPassesMax);
                std::_Exit(1);
            }
            hook();
        };
        const std::string out = Printed(RunPump);
        errors = testing::internal::GetCapturedStderr();
        close(realStderr);
        return out;
    }
    static constexpr int kPassesMax = 1000;
    static std::string root;
    static int passes;
    static void (*hook)();
    static int realStderr;
    std::string errors;
};

std::string PumpLinux::root;
int PumpLinux::passes = 0;
void (*PumpLinux::hook)() = nullptr;
int PumpLinux::realStderr = -1;

// The line that says a mouse plugged in after the start is watched.
std::string PluggedIn(const char* device) {
    return std::string("mousecheck: /dev/input/") + device + " plugged in; it is watched\n";
}

TEST_F(PumpLinux, AnalysesEachRecordOfEachMouseThenSleepsAndStamps) {
    AddFakeDevice(root, {3, "Mouse", "0003", "046d", "c077", kMouseKeys, kMouseAxes});
    WriteFakeNode(root, 3, {EV_KEY, BTN_LEFT, 1, EV_SYN, SYN_REPORT, 0, EV_REL, REL_X, 4, EV_SYN, SYN_REPORT, 0,
                            EV_KEY, BTN_LEFT, 0, EV_SYN, SYN_REPORT, 0, EV_REL, REL_WHEEL, 1, EV_SYN, SYN_REPORT, 0,
                            EV_SYN, SYN_DROPPED, 0, EV_KEY, BTN_RIGHT, 1, EV_SYN, SYN_REPORT, 0});
    AddFakeDevice(root, {4, "Keyboard", "0011", "0001", "0001", "fffffffffffffffe", "0"});
    WriteFakeNode(root, 4, {EV_KEY, BTN_LEFT, 1, EV_SYN, SYN_REPORT, 0});  // never read: not a mouse
    AddFakeDevice(root, {9, "Gone", "0003", "1234", "5678", kMouseKeys, kMouseAxes});  // no node
    // SIGINT, as Ctrl+C sends it: a quit request, not the end of the process.
    EXPECT_EQ(Run([] { std::raise(SIGINT); }),
              "Mouse Button:1\n"
              "Mouse Button:2, 0ms\n"
              "Fast-click detected!\n"
              "wheel check up:1000ms\n");
    EXPECT_EQ(errors,
              "mousecheck: cannot open /dev/input/event9: No such file or directory\n"
              "mousecheck: /dev/input/event3: the kernel dropped events; the lines of some reports are missing\n");
    EXPECT_EQ(fakeSleptMs, 1) << "one pass, one sleep of 1 ms";
    EXPECT_EQ(timingState.pumpMs, 5001) << "stamped after the sleep";
}

TEST_F(PumpLinux, OpensAMousePluggedInLater) {
    EXPECT_EQ(Run([] {
                  if (passes == 1) {
                      AddFakeDevice(root, {6, "Later", "0003", "1234", "5678", kMouseKeys, kMouseAxes});
                      WriteFakeNode(root, 6, {EV_KEY, BTN_RIGHT, 1, EV_SYN, SYN_REPORT, 0});
                  } else {
                      std::raise(SIGTERM);
                  }
              }),
              "Mouse Button:4\n");
    EXPECT_EQ(errors, PluggedIn("event6 (Later, usb 1234:5678)"));
    EXPECT_EQ(fakeSleptMs, 2);
}

// Events of one click of a button, ready for WriteFakeNode: press, report.
#define PRESS(button) EV_KEY, button, 1, EV_SYN, SYN_REPORT, 0
#define RELEASE(button) EV_KEY, button, 0, EV_SYN, SYN_REPORT, 0

TEST_F(PumpLinux, KeepsTheNodeItHasOpenAndLetsGoOfOneThatANewDeviceReplaced) {
    AddFakeDevice(root, {3, "Mouse", "0003", "046d", "c077", kMouseKeys, kMouseAxes});
    WriteFakeNode(root, 3, {PRESS(BTN_LEFT)});
    EXPECT_EQ(Run([] {
                  const std::string node = root + "/dev/input/event3";
                  fakeNowMs += 100;
                  if (passes == 1) {
                      // The node open is created again (a watch's IN_CREATE for a node opened at
                      // start); a reopened descriptor would read its reports twice.
                      std::filesystem::create_hard_link(node, node + ".keep");
                      std::filesystem::remove(node);
                      std::filesystem::create_hard_link(node + ".keep", node);
                      std::filesystem::remove(node + ".keep");
                      AppendFakeNode(root, 3, {RELEASE(BTN_LEFT)});
                  } else if (passes == 2) {
                      std::filesystem::remove(node);  // unplugged; a new device takes the number
                      WriteFakeNode(root, 3, {PRESS(BTN_RIGHT)});
                  } else {
                      std::raise(SIGHUP);  // the terminal closed: a quit, not the end of the process
                  }
              }),
              "Mouse Button:1\n"
              "Mouse Button:2, 101ms\n"  // the pass's 100 ms and its sleep of 1 ms
              "Mouse Button:4\n");
    EXPECT_EQ(errors, PluggedIn("event3 (Mouse, usb 046d:c077)")) << "the new device, once; not the node re-made";
}

TEST_F(PumpLinux, OpensAMouseWhenItsNodeChanges) {
    EXPECT_EQ(Run([] {
                  if (passes == 1) {
                      WriteFakeNode(root, 6, {PRESS(BTN_MIDDLE)});  // not known as a mouse yet
                  } else if (passes == 2) {
                      AddFakeDevice(root, {6, "Later", "0003", "1234", "5678", kMouseKeys, kMouseAxes});
                      chmod((root + "/dev/input/event6").c_str(), 0640);  // as udev does after creating it
                  } else {
                      std::raise(SIGHUP);
                  }
              }),
              "Mouse Button:16\n");
    EXPECT_EQ(errors, PluggedIn("event6 (Later, usb 1234:5678)")) << "once, at its node's change";
}

// Pass 1 brings, on mouse 3, reports made 300 ms apart while the pass was held up (a paused
// terminal, a slow reader): they wait to be read together at 7000. Pass 2 quits.
void HeldUpPass() {
    const std::string& root = PumpLinux::Root();
    if (PumpLinux::Passes() == 1) {
        const struct {
            int64_t atMs;
            std::initializer_list<int> events;
        } reports[] = {{5100, {PRESS(BTN_LEFT)}},          {5400, {RELEASE(BTN_LEFT)}},
                       {5700, {PRESS(BTN_RIGHT)}},         {6000, {RELEASE(BTN_RIGHT)}},
                       {6300, {EV_REL, REL_WHEEL, 1, EV_SYN, SYN_REPORT, 0}},
                       {6600, {EV_REL, REL_WHEEL, -1, EV_SYN, SYN_REPORT, 0}}};
        for (const auto& report : reports) {
            fakeNowMs = report.atMs;
            AppendFakeNode(root, 3, report.events);
        }
        fakeNowMs = 7000;
    } else {
        std::raise(SIGTERM);
    }
}

TEST_F(PumpLinux, StampsEachReportWithTheTimeTheKernelGaveIt) {
    AddFakeDevice(root, {3, "Mouse", "0003", "046d", "c077", kMouseKeys, kMouseAxes});
    WriteFakeNode(root, 3, {});
    EXPECT_EQ(Run(HeldUpPass),
              "Mouse Button:1\n"
              "Mouse Button:2, 300ms\n"
              "Mouse Button:4\n"
              "Mouse Button:8, 300ms\n"
              "wheel check up:2300ms\n"  // since the wheel stamp at 4000
              "wheel check down:300ms\n");
    EXPECT_EQ(fakeEventClock.calls, "3@0 ") << "switched to the monotonic clock before its first read";
    EXPECT_EQ(errors, "");
}

TEST_F(PumpLinux, StampsWithTheClockAMouseWhoseClockCannotBeSet) {
    fakeEventClock.fails = true;
    AddFakeDevice(root, {3, "Mouse", "0003", "046d", "c077", kMouseKeys, kMouseAxes});
    WriteFakeNode(root, 3, {});
    EXPECT_EQ(Run(HeldUpPass),
              "Mouse Button:1\n"
              "Mouse Button:2, 0ms\n"
              "Fast-click detected!\n"
              "Mouse Button:4\n"
              "Fast-click detected!\n"
              "Mouse Button:8, 0ms\n"
              "Fast-click detected!\n"
              "wheel check up:3000ms\n"
              "wheel too fast!\n"  // the previous notch stamped at the pump's stamp, 7000
              "wheel check down:0ms\n");
    EXPECT_EQ(errors, "");
}

// A report made on a fake mouse while the pump was held up: which mouse, when, and what.
enum class Act { kPress, kRelease, kWheelUp, kWheelDown };
struct Made {
    unsigned mouse;
    int64_t atMs;
    Act act;
};

// Pass 1 brings the reports of mice 3 and 4 (made in time order, each on its own mouse) for
// pass 2 to read together, at 20000; pass 2 quits.
const std::vector<Made>* heldReports = nullptr;
void HeldUpMice() {
    if (PumpLinux::Passes() != 1) {
        std::raise(SIGTERM);
        return;
    }
    for (const Made& made : *heldReports) {
        fakeNowMs = made.atMs;
        switch (made.act) {
        case Act::kPress: AppendFakeNode(PumpLinux::Root(), made.mouse, {PRESS(BTN_LEFT)}); break;
        case Act::kRelease: AppendFakeNode(PumpLinux::Root(), made.mouse, {RELEASE(BTN_LEFT)}); break;
        case Act::kWheelUp: AppendFakeNode(PumpLinux::Root(), made.mouse, {EV_REL, REL_WHEEL, 1, EV_SYN, SYN_REPORT, 0}); break;
        case Act::kWheelDown: AppendFakeNode(PumpLinux::Root(), made.mouse, {EV_REL, REL_WHEEL, -1, EV_SYN, SYN_REPORT, 0}); break;
        }
    }
    fakeNowMs = 20000;
}

TEST_F(PumpLinux, AnalysesTheReportsOfSeveralMiceInOnePassInTheirKernelOrder) {
    // Mouse 3 is read first in a pass; its buffer holds fewer reports than the last case makes.
    std::vector<Made> many;
    std::string manyLines;
    for (int i = 0; i < 100; ++i) {
        many.push_back({3, 5100 + 60 * i, Act::kPress});
        many.push_back({3, 5130 + 60 * i, Act::kRelease});
        manyLines += "Mouse Button:1\nMouse Button:2, 30ms\n";
        if (i == 50) {
            many.push_back({4, 5145 + 60 * i, Act::kWheelUp});  // 8145, amid mouse 3's
            manyLines += "wheel check up:4145ms\n";
        }
    }
    const struct {
        const char* what;
        std::vector<Made> made;
        std::string lines;
    } cases[] = {
        {"clicks of two mice interleaved, holds of 95 and 103 ms",
         {{3, 5100, Act::kPress}, {4, 5105, Act::kPress}, {3, 5200, Act::kRelease}, {4, 5208, Act::kRelease}},
         "Mouse Button:1\nMouse Button:1\nMouse Button:2, 95ms\nMouse Button:2, 103ms\n"},
        {"mouse 4's reports made before mouse 3's",
         {{4, 5100, Act::kRelease}, {3, 5300, Act::kPress}, {4, 5350, Act::kWheelUp}, {3, 5400, Act::kWheelUp}},
         "Mouse Button:2, 5100ms\nMouse Button:1\nwheel check up:1350ms\nwheel check up:50ms\n"},
        {"equal times: the mouse opened first",
         {{4, 5100, Act::kWheelUp}, {3, 5100, Act::kWheelDown}, {4, 5400, Act::kWheelDown}},
         "wheel check down:1100ms\nwheel check up:0ms\nwheel check down:300ms\n"},
        {"more reports of mouse 3 than its buffer holds, one of mouse 4 amid them", many, manyLines},
    };
    for (const auto& heldCase : cases) {
        RemoveFakeRoot(root);
        root = MakeFakeRoot();
        for (const unsigned number : {3u, 4u}) {
            AddFakeDevice(root, {number, "Mouse", "0003", "046d", "c077", kMouseKeys, kMouseAxes});
            WriteFakeNode(root, number, {});
        }
        timingState = {0, 1000, 4000, 0, 0};
        fakeNowMs = 5000;
        heldReports = &heldCase.made;
        EXPECT_EQ(Run(HeldUpMice), heldCase.lines) << heldCase.what;
        EXPECT_EQ(errors, "") << heldCase.what;
    }
}

TEST_F(PumpLinux, ReadsAgainAMouseWhoseReportsCameAfterThePassLookedAtIt) {
    // Mouse 3's node is a pipe: it has something to read only once written to. In pass 2 the
    // pass polls, then opens mouse 6, plugged in during pass 1, and is held up there (as by
    // Ctrl+Z) while both mice click interleaved: mouse 6 is read at once, mouse 3 only if the
    // pass looks at it again.
    AddFakeDevice(root, {3, "Mouse", "0003", "046d", "c077", kMouseKeys, kMouseAxes});
    ASSERT_EQ(mkfifo((root + "/dev/input/event3").c_str(), 0600), 0);
    static int writer;
    writer = open((root + "/dev/input/event3").c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    EXPECT_EQ(Run([] {
                  if (passes == 1) {
                      AddFakeDevice(root, {6, "Later", "0003", "1234", "5678", kMouseKeys, kMouseAxes});
                      WriteFakeNode(root, 6, {});
                      fakeEventClock.opened = [] {
                          fakeEventClock.opened = nullptr;
                          for (const auto& [mouse, atMs, value] :
                               {std::tuple{3u, 5100, 1}, {6u, 5105, 1}, {3u, 5200, 0}, {6u, 5208, 0}}) {
                              const std::vector<input_event> click =
                                  FakeEvents({EV_KEY, BTN_LEFT, value, EV_SYN, SYN_REPORT, 0}, atMs);
                              const size_t size = click.size() * sizeof(input_event);
                              if (mouse == 3u) {
                                  ASSERT_EQ(write(writer, click.data(), size), static_cast<ssize_t>(size));
                              } else {
                                  fakeNowMs = atMs;
                                  AppendFakeNode(root, 6, {EV_KEY, BTN_LEFT, value, EV_SYN, SYN_REPORT, 0});
                              }
                          }
                          fakeNowMs = 6000;
                      };
                  } else {
                      std::raise(SIGTERM);
                  }
              }),
              "Mouse Button:1\nMouse Button:1\nMouse Button:2, 95ms\nMouse Button:2, 103ms\n");
    EXPECT_EQ(errors, PluggedIn("event6 (Later, usb 1234:5678)"));
    close(writer);
}

// Hooks of the watch tests: pass 1 changes /dev/input, pass 2 brings a mouse, pass 3 quits.
void RemoveInput() {
    std::filesystem::remove_all(PumpLinux::Root() + "/dev/input");
}
void AddMouseAndQuit() {
    const std::string& root = PumpLinux::Root();
    if (PumpLinux::Passes() == 2) {
        AddFakeDevice(root, {6, "Later", "0003", "1234", "5678", kMouseKeys, kMouseAxes});
        std::filesystem::create_directories(root + "/dev/input");
        WriteFakeNode(root, 6, {PRESS(BTN_RIGHT)});
    } else if (PumpLinux::Passes() == 3) {
        std::raise(SIGHUP);
    }
}

TEST_F(PumpLinux, WatchesForInputToAppearWhenItIsMissingOrRemoved) {
    RemoveInput();  // no input device yet: missing at the start
    EXPECT_EQ(Run(AddMouseAndQuit), "Mouse Button:4\n");
    EXPECT_EQ(errors, PluggedIn("event6 (Later, usb 1234:5678)"));

    std::filesystem::remove_all(root + "/sys");
    std::filesystem::create_directories(root + "/sys/class/input");
    // A keyboard's node: not held open, which would keep the directory's inode, and its watch.
    AddFakeDevice(root, {3, "Keyboard", "0011", "0001", "0001", "fffffffffffffffe", "0"});
    WriteFakeNode(root, 3, {});
    EXPECT_EQ(Run([] {
                  if (passes == 1) {
                      RemoveInput();  // its last node went: devtmpfs removes the directory
                  }
                  AddMouseAndQuit();
              }),
              "Mouse Button:4\n");
    EXPECT_EQ(errors, PluggedIn("event6 (Later, usb 1234:5678)"));

    // A mouse open under it: its node pins the removed directory, whose watch then never ends.
    std::filesystem::remove_all(root + "/sys");
    std::filesystem::create_directories(root + "/sys/class/input");
    AddFakeDevice(root, {3, "Mouse", "0003", "046d", "c077", kMouseKeys, kMouseAxes});
    WriteFakeNode(root, 3, {});
    EXPECT_EQ(Run([] {
                  if (passes == 1) {
                      RemoveInput();
                  }
                  AddMouseAndQuit();
              }),
              "Mouse Button:4\n");
    EXPECT_EQ(errors, PluggedIn("event6 (Later, usb 1234:5678)"));
}

TEST_F(PumpLinux, SaysOnceWhenMicePluggedInLaterCannotBeSeen) {
    std::filesystem::remove_all(root + "/dev");  // neither /dev/input nor its parent to watch
    EXPECT_EQ(Run([] {
                  if (passes == 3) {
                      std::raise(SIGHUP);
                  }
              }),
              "");
    EXPECT_EQ(errors, "mousecheck: cannot watch /dev/input: No such file or directory; mice plugged in later "
                      "will not be seen\n");
    EXPECT_EQ(passes, 3);
}

TEST_F(PumpLinux, LeavesAQuitSignalIgnoredWhenItWasIgnoredAlready) {
    // nohup ignores SIGHUP; a shell starts a background job with SIGINT (and SIGQUIT) ignored.
    for (const int ignored : {SIGHUP, SIGINT, SIGTERM}) {
        static int inherited;
        inherited = ignored;
        std::signal(ignored, SIG_IGN);
        Run([] { std::raise(passes == 1 ? inherited : inherited == SIGTERM ? SIGINT : SIGTERM); });
        std::signal(ignored, SIG_DFL);
        EXPECT_EQ(passes, 2) << "signal " << ignored << " ended the pump";
    }
}

// Pass 1 brings two mice whose nodes cannot be opened yet; the second one's can be from pass 2 on
// (udev set its mode). Each pass takes 300 ms; the pump quits after the pass given.
int latePasses = 0;
void LateMice() {
    const std::string& root = PumpLinux::Root();
    fakeNowMs += 300;
    if (PumpLinux::Passes() == 1) {
        AddFakeDevice(root, {6, "Never", "0003", "1234", "5678", kMouseKeys, kMouseAxes});
        AddFakeDevice(root, {7, "Soon", "0003", "1234", "5678", kMouseKeys, kMouseAxes});
        std::filesystem::create_symlink("nowhere", root + "/dev/input/event6");
        std::filesystem::create_symlink("event7.ready", root + "/dev/input/event7");
    } else if (PumpLinux::Passes() == 2) {
        std::ofstream(root + "/dev/input/event7.ready");  // no event: only the retry opens it
        AppendFakeNode(root, 7, {PRESS(BTN_LEFT)});  // through the link
    } else if (PumpLinux::Passes() == latePasses) {
        std::raise(SIGHUP);
    }
}

TEST_F(PumpLinux, NamesALateMouseThatCannotBeOpenedOnceASecondAfterItAppeared) {
    latePasses = 5;  // 900 ms after the nodes were seen: too early to say
    EXPECT_EQ(Run(LateMice), "");
    EXPECT_EQ(errors, "");

    RemoveFakeRoot(root);
    root = MakeFakeRoot();
    latePasses = 12;
    EXPECT_EQ(Run(LateMice), "Mouse Button:1\n");
    EXPECT_EQ(errors, "mousecheck: cannot open /dev/input/event6: No such file or directory\n" +
                          PluggedIn("event7 (Soon, usb 1234:5678)"));
}

// Makes the watch's queue overflow: more events than it holds, none of them alike to the one
// before, which it would merge.
void OverflowWatch() {
    const std::string& root = PumpLinux::Root();
    std::ifstream limit("/proc/sys/fs/inotify/max_queued_events");
    int queued = 16384;
    limit >> queued;
    const std::string files[] = {root + "/dev/input/a", root + "/dev/input/b"};
    for (const std::string& file : files) {
        std::ofstream{file};
    }
    for (int i = 0; i <= queued; ++i) {
        chmod(files[i % 2].c_str(), i % 4 < 2 ? 0600 : 0644);
    }
}

TEST_F(PumpLinux, RescansAfterTheWatchOverflowed) {
    // A mouse plugged in while the queue is full: only the rescan finds it.
    EXPECT_EQ(Run([] {
                  if (passes == 1) {
                      OverflowWatch();
                      AddFakeDevice(root, {6, "Later", "0003", "1234", "5678", kMouseKeys, kMouseAxes});
                      WriteFakeNode(root, 6, {PRESS(BTN_RIGHT)});
                  } else {
                      std::raise(SIGTERM);
                  }
              }),
              "Mouse Button:4\n");
    EXPECT_EQ(errors, PluggedIn("event6 (Later, usb 1234:5678)"));
}

TEST_F(PumpLinux, NamesALateMouseAgainWhenANewNodeReplacedItUnseen) {
    // Pass 1 brings a mouse whose node cannot be opened; it is named at pass 5 (1.2 s). At pass
    // 6 its device goes and another takes the number, unseen in an overflow: the new node is
    // named a second later too. Each pass takes 300 ms.
    EXPECT_EQ(Run([] {
                  fakeNowMs += 300;
                  const std::string node = root + "/dev/input/event6";
                  if (passes == 1) {
                      AddFakeDevice(root, {6, "Never", "0003", "1234", "5678", kMouseKeys, kMouseAxes});
                      std::filesystem::create_symlink("nowhere", node);
                  } else if (passes == 6) {
                      OverflowWatch();
                      std::filesystem::create_symlink("nowhere", node + ".new");  // another inode
                      std::filesystem::rename(node + ".new", node);
                  } else if (passes == 11) {
                      std::raise(SIGHUP);
                  }
              }),
              "");
    EXPECT_EQ(errors, "mousecheck: cannot open /dev/input/event6: No such file or directory\n"
                      "mousecheck: cannot open /dev/input/event6: No such file or directory\n");
}

TEST_F(PumpLinux, SaysSoWhenANamedMouseCanBeOpenedAfterAll) {
    // Named at the start; at pass 2 its node changes (udev gave it its group late) and opens.
    AddFakeDevice(root, {6, "Slow", "0003", "1234", "5678", kMouseKeys, kMouseAxes});
    std::filesystem::create_symlink("event6.ready", root + "/dev/input/event6");
    EXPECT_EQ(Run([] {
                  const std::string node = root + "/dev/input/event6";
                  if (passes == 1) {
                      std::ofstream(node + ".ready");
                      AppendFakeNode(root, 6, {PRESS(BTN_LEFT)});
                      const timespec now[2] = {{0, UTIME_NOW}, {0, UTIME_NOW}};
                      utimensat(AT_FDCWD, node.c_str(), now, AT_SYMLINK_NOFOLLOW);  // IN_ATTRIB
                  } else {
                      std::raise(SIGTERM);
                  }
              }),
              "Mouse Button:1\n");
    EXPECT_EQ(errors, "mousecheck: cannot open /dev/input/event6: No such file or directory\n"
                      "mousecheck: /dev/input/event6 can be opened now; it is watched\n");
}

// Returns the read calls this process has made (/proc/self/io).
long ReadCalls() {
    std::ifstream io("/proc/self/io");
    std::string field;
    long value = 0;
    while (io >> field >> value && field != "syscr:") {
    }
    return value;
}

TEST_F(PumpLinux, AQuietPassReadsNothingHoweverManyMice) {
    // 32 mice whose nodes are pipes: they have something to read only when written to.
    constexpr unsigned kMice = 32;
    static int writers[kMice];
    for (unsigned n = 0; n < kMice; ++n) {
        AddFakeDevice(root, {n, "Quiet", "0003", "1234", "5678", kMouseKeys, kMouseAxes});
        const std::string node = root + "/dev/input/event" + std::to_string(n);
        ASSERT_EQ(mkfifo(node.c_str(), 0600), 0);
        writers[n] = open(node.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);  // held open: no hang-up
    }
    static long overhead;  // the read calls of one ReadCalls()
    static long quiet;     // those of passes 2 to 5, with the four ReadCalls() among them
    EXPECT_EQ(Run([] {
                  static long before;
                  if (passes == 1) {
                      const long first = ReadCalls();
                      overhead = ReadCalls() - first;
                      before = ReadCalls();
                  } else if (passes == 5) {
                      quiet = ReadCalls() - before - overhead;
                      const input_event click[] = {{{}, EV_KEY, BTN_LEFT, 1}, {{}, EV_SYN, SYN_REPORT, 0}};
                      ASSERT_EQ(write(writers[17], click, sizeof(click)), static_cast<ssize_t>(sizeof(click)));
                  } else if (passes == 6) {
                      std::raise(SIGTERM);
                  }
              }),
              "Mouse Button:1\n");
    EXPECT_EQ(quiet, 0) << "read calls in four quiet passes with " << kMice << " mice";
    for (const int writer : writers) {
        close(writer);
    }
}

TEST_F(PumpLinux, SaysWhenAnInputThatIsThereCannotBeWatchedAndTriesAgainAtEachEventOfDev) {
    // The user's inotify watches used up after the one on /dev: a mouse plugged in meanwhile is
    // found once /dev/input can be watched, at the next event of /dev.
    fakeUnwatchable = "/dev/input";
    EXPECT_EQ(Run([] {
                  if (passes == 1) {
                      AddFakeDevice(root, {6, "Later", "0003", "1234", "5678", kMouseKeys, kMouseAxes});
                      WriteFakeNode(root, 6, {PRESS(BTN_RIGHT)});
                  } else if (passes == 2) {
                      fakeUnwatchable.clear();
                      std::ofstream(root + "/dev/hidraw0");
                  } else {
                      std::raise(SIGTERM);
                  }
              }),
              "Mouse Button:4\n");
    EXPECT_EQ(errors, "mousecheck: cannot watch /dev/input: No space left on device; mice plugged in later "
                      "will not be seen\n" +
                          PluggedIn("event6 (Later, usb 1234:5678)"));
}

TEST_F(PumpLinux, TakesANodeRenamedIntoInputForOneThatCame) {
    EXPECT_EQ(Run([] {
                  const std::string node = root + "/dev/input/event6";
                  if (passes == 1) {
                      AddFakeDevice(root, {6, "Later", "0003", "1234", "5678", kMouseKeys, kMouseAxes});
                      WriteFakeNode(root, 6, {PRESS(BTN_RIGHT)});
                      std::filesystem::rename(node, root + "/dev/event6");  // gone before it is seen
                  } else if (passes == 2) {
                      std::filesystem::rename(root + "/dev/event6", node);
                  } else {
                      std::raise(SIGTERM);
                  }
              }),
              "Mouse Button:4\n");
    EXPECT_EQ(errors, PluggedIn("event6 (Later, usb 1234:5678)"));
}

// Pass 1 brings two mice whose nodes cannot be opened (links to nowhere); pass 2 runs the
// hook; each pass takes 300 ms, and the pump quits at pass 8, well after their second.
void (*lateHook)() = nullptr;
void LateMiceThatGo() {
    const std::string& root = PumpLinux::Root();
    fakeNowMs += 300;
    if (PumpLinux::Passes() == 1) {
        for (const unsigned number : {6u, 7u}) {
            AddFakeDevice(root, {number, "Gone", "0003", "1234", "5678", kMouseKeys, kMouseAxes});
            std::filesystem::create_symlink("nowhere", root + "/dev/input/event" + std::to_string(number));
        }
    } else if (PumpLinux::Passes() == 2) {
        lateHook();
    } else if (PumpLinux::Passes() == 8) {
        std::raise(SIGHUP);
    }
}

TEST_F(PumpLinux, NeverNamesALateMouseWhoseNodeWent) {
    // Within its second: node 6 removed, node 7 renamed away; sysfs still has both.
    lateHook = [] {
        std::filesystem::remove(PumpLinux::Root() + "/dev/input/event6");
        std::filesystem::rename(PumpLinux::Root() + "/dev/input/event7", PumpLinux::Root() + "/dev/event7");
    };
    EXPECT_EQ(Run(LateMiceThatGo), "");
    EXPECT_EQ(errors, "");

    // Unseen, after the watch's queue overflowed: node 6 removed, device 7 removed whole.
    RemoveFakeRoot(root);
    root = MakeFakeRoot();
    lateHook = [] {
        OverflowWatch();
        std::filesystem::remove(root + "/dev/input/event6");
        std::filesystem::remove(root + "/dev/input/event7");
        std::filesystem::remove(root + "/sys/class/input/event7");
    };
    EXPECT_EQ(Run(LateMiceThatGo), "");
    EXPECT_EQ(errors, "");
}

// Lowers the soft limit of open files to the given number of descriptors above the lowest free
// one; returns the limit it had.
rlimit LimitFiles(int free) {
    rlimit saved{};
    getrlimit(RLIMIT_NOFILE, &saved);
    const int lowestFree = dup(0);
    close(lowestFree);
    const rlimit limit{static_cast<rlim_t>(lowestFree + free), saved.rlim_max};
    setrlimit(RLIMIT_NOFILE, &limit);
    return saved;
}

TEST_F(PumpLinux, NamesAMousePluggedInLaterWhoseSysfsCannotBeReadForWantOfDescriptors) {
    // No descriptor free when it comes: not "not a mouse", but a mouse that cannot be opened.
    static rlimit saved;
    EXPECT_EQ(Run([] {
                  fakeNowMs += 300;
                  if (passes == 1) {
                      AddFakeDevice(root, {6, "Later", "0003", "1234", "5678", kMouseKeys, kMouseAxes});
                      WriteFakeNode(root, 6, {});
                      saved = LimitFiles(0);
                  } else if (passes == 8) {
                      setrlimit(RLIMIT_NOFILE, &saved);
                      std::raise(SIGHUP);
                  }
              }),
              "");
    EXPECT_EQ(errors, "mousecheck: cannot open /dev/input/event6: Too many open files\n");
}

TEST_F(PumpLinux, ReadsEveryMouseInAPassWhosePollFailed) {
    // poll fails (EINVAL) when it is given more descriptors than RLIMIT_NOFILE: three here.
    AddFakeDevice(root, {3, "Mouse", "0003", "046d", "c077", kMouseKeys, kMouseAxes});
    AddFakeDevice(root, {4, "Other", "0003", "046d", "c077", kMouseKeys, kMouseAxes});
    WriteFakeNode(root, 3, {});
    WriteFakeNode(root, 4, {});
    static rlimit saved;
    EXPECT_EQ(Run([] {
                  if (passes == 1) {
                      fakeNowMs = 5100;
                      AppendFakeNode(root, 3, {PRESS(BTN_LEFT)});
                      fakeNowMs = 5200;
                      AppendFakeNode(root, 4, {RELEASE(BTN_LEFT)});
                      getrlimit(RLIMIT_NOFILE, &saved);
                      const rlimit two{2, saved.rlim_max};
                      setrlimit(RLIMIT_NOFILE, &two);
                  } else if (passes == 3) {
                      setrlimit(RLIMIT_NOFILE, &saved);
                      std::raise(SIGTERM);
                  }
              }),
              "Mouse Button:1\n"
              "Mouse Button:2, 100ms\n");
    EXPECT_EQ(errors, "mousecheck: cannot poll the mice: Invalid argument; each pass reads every mouse\n");
}

}  // namespace
