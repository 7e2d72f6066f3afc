// End to end: the real mousecheck.exe, input injected with SendInput, exact output checked.
// Run only under Wine: injected input clicks wherever a real desktop's cursor is.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "monitor_process.h"

namespace {

constexpr DWORD kPauseMs = 50;  // long enough for the monitor to analyse what came before
constexpr DWORD kDrainMs = 500;  // for 300 records, which the monitor drains at 8 a millisecond

// One expected line; "#" stands for the one number on it, which must lie within [min, max].
struct Expect {
    const char* pattern;
    int64_t min = 0;
    int64_t max = std::numeric_limits<int64_t>::max();
};

// Expects the exit status 0, naming any other: an exception code names the crash.
void ExpectZero(DWORD status) {
    EXPECT_EQ(StatusName(status), "0") << "the monitor's exit status";
}

// Tells whether the text is "0x" and eight upper-case hexadecimal digits.
bool IsHandle(const std::string& text) {
    if (text.size() != 10 || text.compare(0, 2, "0x") != 0) {
        return false;
    }
    for (size_t i = 2; i < text.size(); ++i) {
        const char c = text[i];
        if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'))) {
            return false;
        }
    }
    return true;
}

// Returns the device path name that the raw input facility gives for "0x…", or "" if none.
std::string DeviceName(const std::string& handleText) {
    const auto handle = reinterpret_cast<HANDLE>(std::stoull(handleText.substr(2), nullptr, 16));
    UINT length = 0;
    GetRawInputDeviceInfoA(handle, RIDI_DEVICENAME, nullptr, &length);
    std::string name(length, '\0');
    if (length == 0 ||
        GetRawInputDeviceInfoA(handle, RIDI_DEVICENAME, name.data(), &length) == static_cast<UINT>(-1)) {
        return "";
    }
    return name.c_str();
}

// Checks the listing: blocks of a handle line, then an optional name and information line.
void CheckListing(const std::vector<std::string>& lines) {
    const std::string handle = "Mouse: Handle=";
    ASSERT_FALSE(lines.empty()) << "the test waited for a mouse, so the listing has one";
    for (size_t i = 0; i < lines.size(); ++i) {
        const std::string& line = lines[i];
        if (line.compare(0, handle.size(), handle) == 0) {
            EXPECT_TRUE(IsHandle(line.substr(handle.size()))) << line;
            continue;
        }
        ASSERT_GT(i, 0u) << "the listing starts with a handle line: " << line;
        const std::string& previous = lines[i - 1];
        if (line.compare(0, 7, "  Name=") == 0) {
            ASSERT_EQ(previous.compare(0, handle.size(), handle), 0) << line;
            EXPECT_EQ(line, "  Name=" + DeviceName(previous.substr(handle.size()))) << "exactly";
            continue;
        }
        std::vector<int64_t> numbers;
        EXPECT_TRUE(MatchLine("  Id=#, Buttons=#, SampleRate=#, HorizontalWheel=#", line, &numbers))
            << line;
        EXPECT_TRUE(numbers.size() == 4 && numbers[3] <= 1) << line;
        EXPECT_TRUE(previous.compare(0, 7, "  Name=") == 0 ||
                    previous.compare(0, handle.size(), handle) == 0)
            << line;
    }
}

// Checks a whole run's output: the listing, the banner, the expected lines in order, and after
// them only the lines of sentinel wheel records.
void CheckOutput(const std::string& output, const std::vector<Expect>& expected) {
    ASSERT_FALSE(output.empty());
    EXPECT_EQ(output.substr(output.size() - 2), "\r\n") << "every line ends in CRLF";
    const std::vector<std::string> lines = SplitLines(output);
    const size_t banner = BannerIndex(lines);
    ASSERT_LT(banner, lines.size()) << output;
    CheckListing({lines.begin(), lines.begin() + static_cast<std::ptrdiff_t>(banner)});

    size_t at = banner + 1;
    for (const Expect& line : expected) {
        ASSERT_LT(at, lines.size()) << "missing: " << line.pattern << "\n" << output;
        std::vector<int64_t> numbers;
        ASSERT_TRUE(MatchLine(line.pattern, lines[at], &numbers))
            << "line " << at << ": expected " << line.pattern << ", got " << lines[at] << "\n"
            << output;
        for (const int64_t number : numbers) {
            EXPECT_GE(number, line.min) << lines[at];
            EXPECT_LE(number, line.max) << lines[at];
        }
        ++at;
    }
    for (; at < lines.size(); ++at) {
        EXPECT_TRUE(IsSentinelLine(lines[at])) << "unexpected line after the test's own: " << lines[at];
    }
}

class Mousecheck : public testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_TRUE(WaitForMouse()) << "Wine listed no mouse within 20 s"; }

    void SetUp() override {
        startedMs = GetTickCount64();
        ASSERT_TRUE(monitor.Start()) << "the monitor's pump did not start";
    }

    // Lets the monitor analyse what was injected so far.
    void Pause() {
        EXPECT_TRUE(monitor.Sync(5000)) << "the monitor's pump did not answer within 5 s";
        Sleep(kPauseMs);
    }

    // Milliseconds since the test started the monitor: the most an interval measured from the
    // stamps seeded at start-up can be.
    int64_t SinceStartMs() const { return static_cast<int64_t>(GetTickCount64() - startedMs); }

    MonitorProcess monitor;
    ULONGLONG startedMs = 0;
};

// The monitor in a console of its own, its standard output redirected to a file.
class MousecheckToFile : public Mousecheck {
protected:
    void SetUp() override {
        startedMs = GetTickCount64();
        ASSERT_TRUE(monitor.Start(kOutputFile)) << "the monitor's pump did not start";
    }
    void TearDown() override { DeleteFileA(kOutputFile); }

    static constexpr char kOutputFile[] = "mousecheck_test-output.txt";
};

TEST_F(Mousecheck, ReportsButtonsWheelAndFastClicksInOrder) {
    std::vector<Expect> expected;
    Pause();

    // Slow clicks of all five buttons.
    const struct {
        DWORD down, up, data;
        const char *pressed, *released;
    } buttons[] = {
        {MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP, 0, "Mouse Button:1", "Mouse Button:2, #ms"},
        {MOUSEEVENTF_RIGHTDOWN, MOUSEEVENTF_RIGHTUP, 0, "Mouse Button:4", "Mouse Button:8, #ms"},
        {MOUSEEVENTF_MIDDLEDOWN, MOUSEEVENTF_MIDDLEUP, 0, "Mouse Button:16", "Mouse Button:32, #ms"},
        {MOUSEEVENTF_XDOWN, MOUSEEVENTF_XUP, XBUTTON1, "Mouse Button:64", "Mouse Button:128, #ms"},
        {MOUSEEVENTF_XDOWN, MOUSEEVENTF_XUP, XBUTTON2, "Mouse Button:256", "Mouse Button:512, #ms"},
    };
    for (const auto& button : buttons) {
        monitor.Inject({MouseInput(button.down, button.data)});
        Pause();
        monitor.Inject({MouseInput(button.up, button.data)});
        Pause();
        expected.push_back({button.pressed});
        expected.push_back({button.released, 16});
    }

    // A fast click: press and release in one burst.
    monitor.Inject({MouseInput(MOUSEEVENTF_LEFTDOWN), MouseInput(MOUSEEVENTF_LEFTUP)});
    Pause();
    expected.push_back({"Mouse Button:1"});
    expected.push_back({"Mouse Button:2, #ms", 0, 15});
    expected.push_back({"Fast-click detected!"});

    // Down and up in one record: no button line; the stamps of the fast click are kept.
    monitor.Inject({MouseInput(MOUSEEVENTF_LEFTDOWN | MOUSEEVENTF_LEFTUP)});
    Pause();
    expected.push_back({"Fast-click detected!"});

    // Pointer motion, partial notches and the horizontal wheel print nothing.
    monitor.Inject({MouseInput(MOUSEEVENTF_MOVE, 0, 5, -3),
                    MouseInput(MOUSEEVENTF_WHEEL, 60),
                    MouseInput(MOUSEEVENTF_WHEEL, static_cast<DWORD>(-60)),
                    MouseInput(MOUSEEVENTF_HWHEEL, WHEEL_DELTA)});
    Pause();

    // Notches one pause apart.
    monitor.Inject({MouseInput(MOUSEEVENTF_WHEEL, WHEEL_DELTA)});
    Pause();
    monitor.Inject({MouseInput(MOUSEEVENTF_WHEEL, static_cast<DWORD>(-WHEEL_DELTA))});
    Pause();
    expected.push_back({"wheel check up:#ms", kPauseMs - 10, SinceStartMs()});  // from the seed
    expected.push_back({"wheel check down:#ms", kPauseMs - 10});

    // Two notch records in one burst: the second follows the first within the pump's pass.
    monitor.Inject({MouseInput(MOUSEEVENTF_WHEEL, 2 * WHEEL_DELTA),
                    MouseInput(MOUSEEVENTF_WHEEL, static_cast<DWORD>(-WHEEL_DELTA))});
    Pause();
    expected.push_back({"wheel check up:#ms", kPauseMs - 10});
    expected.push_back({"wheel too fast!"});
    expected.push_back({"wheel check down:#ms", 0, 5});

    // A press carried in a wheel record counts for the wheel only.
    monitor.Inject({MouseInput(MOUSEEVENTF_WHEEL | MOUSEEVENTF_LEFTDOWN, WHEEL_DELTA)});
    Pause();
    expected.push_back({"wheel check up:#ms", kPauseMs - 10});

    // A raw input message whose record cannot be read is not analysed: the last record read,
    // a press, is not reported again.
    monitor.Inject({MouseInput(MOUSEEVENTF_LEFTDOWN)});
    Pause();
    PostMessageA(monitor.Window(), WM_INPUT, RIM_INPUT, 0xBAD);
    Pause();
    monitor.Inject({MouseInput(MOUSEEVENTF_LEFTUP)});
    expected.push_back({"Mouse Button:1"});
    expected.push_back({"Mouse Button:2, #ms", 2 * kPauseMs - 20});

    ASSERT_TRUE(monitor.Settle(2));
    ExpectZero(monitor.CloseWindow());
    CheckOutput(monitor.Output(), expected);
    EXPECT_EQ(monitor.Errors(), "");
}

// A pass held up while a user clicks, as a paused console or a busy machine holds it: each report
// keeps the time it was queued. Held 300 ms clicks print about 300 ms, the one bounce alone is a
// fast click, notches 400 ms apart print about 400 ms and no "wheel too fast!".
TEST_F(Mousecheck, AHeldPassKeepsTheTimeEachReportWasQueued) {
    constexpr double kHoldS = 0.3;
    constexpr double kGapS = 0.1;
    constexpr double kNotchS = 0.4;
    // A queued time is read on the tick count: whole steps of up to 16 ms on Windows.
    constexpr int64_t kTickStepMs = 16;
    // Injection times, read before and after each call: a queued time lies between the two.
    std::vector<std::pair<double, double>> injected;
    const auto inject = [&](std::vector<INPUT> records, double thenS) {
        const double before = Seconds();
        monitor.Inject(records);
        injected.emplace_back(before, Seconds());
        SpinUntil(injected.back().second + thenS);
    };
    // The band of an interval between two injections, in whole ms, a tick step either side.
    const auto band = [&](const char* pattern, size_t from, size_t to) {
        const double least = injected[to].first - injected[from].second;
        const double most = injected[to].second - injected[from].first;
        return Expect{pattern, static_cast<int64_t>(least * 1000) - kTickStepMs,
                      static_cast<int64_t>(most * 1000) + kTickStepMs};
    };
    Pause();
    ASSERT_TRUE(monitor.Hold());
    for (int click = 0; click < 3; ++click) {
        inject({MouseInput(MOUSEEVENTF_LEFTDOWN)}, kHoldS);
        inject({MouseInput(MOUSEEVENTF_LEFTUP)}, kGapS);
    }
    // A switch that bounced: released and pressed again within one call.
    inject({MouseInput(MOUSEEVENTF_LEFTDOWN)}, kGapS);
    inject({MouseInput(MOUSEEVENTF_LEFTUP), MouseInput(MOUSEEVENTF_LEFTDOWN)}, kGapS);
    inject({MouseInput(MOUSEEVENTF_LEFTUP)}, kGapS);
    for (int notch = 0; notch < 3; ++notch) {
        inject({MouseInput(MOUSEEVENTF_WHEEL, WHEEL_DELTA)}, notch < 2 ? kNotchS : kGapS);
    }
    ASSERT_TRUE(monitor.LetGo());
    ASSERT_TRUE(monitor.Settle(0));
    ExpectZero(monitor.CloseWindow());
    CheckOutput(monitor.Output(), {{"Mouse Button:1"},
                                   band("Mouse Button:2, #ms", 0, 1),
                                   {"Mouse Button:1"},
                                   band("Mouse Button:2, #ms", 2, 3),
                                   {"Mouse Button:1"},
                                   band("Mouse Button:2, #ms", 4, 5),
                                   {"Mouse Button:1"},
                                   band("Mouse Button:2, #ms", 6, 7),
                                   {"Mouse Button:1"},
                                   {"Fast-click detected!"},
                                   band("Mouse Button:2, #ms", 7, 8),
                                   {"wheel check up:#ms", kPauseMs - 10, SinceStartMs()},
                                   band("wheel check up:#ms", 9, 10),
                                   band("wheel check up:#ms", 10, 11)});
    EXPECT_EQ(monitor.Errors(), "");
}

TEST_F(Mousecheck, EndsWithStatusZeroOnAQuitPostedToItsThread) {
    Pause();  // a press within 15 ms of the release seed would count as a fast click
    monitor.Inject({MouseInput(MOUSEEVENTF_RIGHTUP)});  // before any press: held since the seed
    Pause();
    const int64_t sinceStartMs = SinceStartMs();
    monitor.Inject({MouseInput(MOUSEEVENTF_RIGHTDOWN), MouseInput(MOUSEEVENTF_RIGHTUP)});
    ASSERT_TRUE(monitor.Settle(0));
    ExpectZero(monitor.PostQuit());
    CheckOutput(monitor.Output(), {{"Mouse Button:8, #ms", kPauseMs - 10, sinceStartMs},
                                   {"Mouse Button:4"},
                                   {"Mouse Button:8, #ms", 0, 15},
                                   {"Fast-click detected!"}});
    EXPECT_EQ(monitor.Errors(), "");
}

TEST_F(Mousecheck, ListsTheMiceAndPrintsTheBannerBeforeAnyInput) {
    ExpectZero(monitor.CloseWindow());
    const std::string output = monitor.Output();
    CheckOutput(output, {});
    EXPECT_EQ(output.substr(output.size() - 18), "RAW INPUT Mouse:\r\n");
    EXPECT_EQ(monitor.Errors(), "");
}

TEST_F(Mousecheck, LosesNothingInTwentyThousandRecordsOfBursts) {
    constexpr int kBursts = 20;
    constexpr int kPairsPerBurst = 500;  // 1,000 records a burst, 20,000 in all
    const DWORD downs[] = {MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_RIGHTDOWN, MOUSEEVENTF_MIDDLEDOWN};
    const DWORD ups[] = {MOUSEEVENTF_LEFTUP, MOUSEEVENTF_RIGHTUP, MOUSEEVENTF_MIDDLEUP};
    const char* pressed[] = {"Mouse Button:1", "Mouse Button:4", "Mouse Button:16"};
    const char* released[] = {"Mouse Button:2, #ms", "Mouse Button:8, #ms", "Mouse Button:32, #ms"};
    Pause();
    for (int burst = 0; burst < kBursts; ++burst) {
        std::vector<INPUT> records;
        for (int pair = 0; pair < kPairsPerBurst; ++pair) {
            records.push_back(MouseInput(downs[pair % 3]));
            records.push_back(MouseInput(ups[pair % 3]));
        }
        monitor.Inject(records);
    }
    ASSERT_TRUE(monitor.Settle(0));
    ExpectZero(monitor.CloseWindow());

    // Each pair: its press line, a fast-click line if the previous release was 15 ms or less
    // before, its release line, and a fast-click line exactly when the hold was 15 ms or less.
    const std::string output = monitor.Output();
    const std::vector<std::string> lines = SplitLines(output);
    size_t at = BannerIndex(lines) + 1;
    for (int record = 0; record < kBursts * kPairsPerBurst; ++record) {
        const int button = record % kPairsPerBurst % 3;
        ASSERT_LT(at + 1, lines.size()) << "pair " << record << " missing";
        ASSERT_EQ(lines[at++], pressed[button]) << "pair " << record;
        if (lines[at] == "Fast-click detected!") {
            ++at;
        }
        std::vector<int64_t> hold;
        ASSERT_TRUE(MatchLine(released[button], lines[at++], &hold)) << "pair " << record << ": " << lines[at - 1];
        const bool fast = at < lines.size() && lines[at] == "Fast-click detected!";
        ASSERT_EQ(fast, hold[0] <= 15) << "pair " << record << " held " << hold[0] << " ms";
        at += fast ? 1 : 0;
    }
    for (; at < lines.size(); ++at) {
        ASSERT_TRUE(IsSentinelLine(lines[at])) << "unexpected line: " << lines[at];
    }
    EXPECT_EQ(monitor.Errors(), "");
}

// A file is fully buffered, and a Ctrl+C, which ends the monitor through ExitProcess, still
// writes out the C runtime's buffer: every line, more than one buffer's worth, is in the file.
TEST_F(MousecheckToFile, KeepsEveryLineWhenStoppedWithCtrlC) {
    constexpr int kClicks = 150;  // 300 button lines and about as many fast-click lines: ~12 KB
    Pause();
    std::vector<INPUT> clicks;
    for (int click = 0; click < kClicks; ++click) {
        clicks.push_back(MouseInput(MOUSEEVENTF_LEFTDOWN));
        clicks.push_back(MouseInput(MOUSEEVENTF_LEFTUP));
    }
    monitor.Inject(clicks);
    Pause();
    Sleep(kDrainMs);  // the output cannot be watched: it is buffered until the monitor ends
    // The default handler's status: STATUS_CONTROL_C_EXIT on Windows, 0 under Wine 8.
    const DWORD status = monitor.PressCtrlC();
    EXPECT_TRUE(status == static_cast<DWORD>(STATUS_CONTROL_C_EXIT) || status == 0) << StatusName(status);

    std::string output;
    const HANDLE file = CreateFileA(kOutputFile, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_EXISTING, 0, nullptr);
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(file, buffer, sizeof(buffer), &got, nullptr) && got > 0) {
        output.append(buffer, got);
    }
    CloseHandle(file);
    ASSERT_GT(output.size(), 4096u);
    EXPECT_EQ(output.substr(output.size() - 2), "\r\n") << "the last line is whole";
    std::vector<std::string> lines = SplitLines(output);
    lines.erase(std::remove(lines.begin(), lines.end(), "Fast-click detected!"), lines.end());
    size_t at = BannerIndex(lines) + 1;
    for (int click = 0; click < kClicks; ++click, at += 2) {
        ASSERT_LT(at + 1, lines.size()) << "click " << click << " of " << kClicks << " missing";
        ASSERT_EQ(lines[at], "Mouse Button:1") << "click " << click;
        ASSERT_TRUE(MatchLine("Mouse Button:2, #ms", lines[at + 1], nullptr)) << lines[at + 1];
    }
    EXPECT_EQ(at, lines.size());
    EXPECT_EQ(monitor.Errors(), "");
}

}  // namespace
