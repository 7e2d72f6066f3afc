#include "summary/summary.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "summary/log_text.h"
#include "summary_samples.h"

namespace {

constexpr char kListing[] =
    "Mouse: Handle=0x00000003\n"
    "  Name=/dev/input/event3 (Mouse, usb 046d:c077)\n"
    "  Id=3, Buttons=3, SampleRate=0, HorizontalWheel=0\n"
    "RAW INPUT Mouse:\n";

constexpr char kLinuxSummary[] =
    "log.txt: run 1 of 1, lines 1 to 29, 1 mouse listed\n"
    "  left      9 presses, 9 releases, shortest hold 40 ms\n"
    "            fast clicks: 1 after a press, 0 after a release, 0 with another button\n"
    "  right     not tested\n"
    "  middle    not tested\n"
    "  button 4  not tested\n"
    "  button 5  not tested\n"
    "  wheel     1 up, 5 down, 0 \"wheel too fast!\", 1 reversal\n"
    "  verdict:\n"
    "    left: 1 fast click in 9 clicks: repeat the test; one alone can come from a healthy mouse\n"
    "    right, middle, button 4, button 5: not tested\n"
    "    wheel: 1 reversal in 6 notches: repeat the test; one alone can be a quick turn back\n";

constexpr char kWindowsSummary[] =
    "log.txt: run 1 of 1, lines 1 to 37, 1 mouse listed\n"
    "  left      4 presses, 4 releases, shortest hold 80 ms\n"
    "            fast clicks: 1 after a press, 0 after a release, 0 with another button\n"
    "  right     2 presses, 2 releases, shortest hold 90 ms\n"
    "            fast clicks: 0 after a press, 0 after a release, 0 with another button\n"
    "  middle    2 presses, 2 releases, shortest hold 91 ms\n"
    "            fast clicks: 0 after a press, 0 after a release, 0 with another button\n"
    "  button 4  2 presses, 2 releases, shortest hold 90 ms\n"
    "            fast clicks: 0 after a press, 0 after a release, 0 with another button\n"
    "  button 5  2 presses, 2 releases, shortest hold 90 ms\n"
    "            fast clicks: 0 after a press, 0 after a release, 0 with another button\n"
    "  wheel     5 up, 2 down, 1 \"wheel too fast!\", 0 reversals\n"
    "  verdict:\n"
    "    left: 1 fast click in 4 clicks: repeat the test; one alone can come from a healthy mouse\n"
    "    right: 2 clicks, no fast click\n"
    "    middle: 2 clicks, no fast click\n"
    "    button 4: 2 clicks, no fast click\n"
    "    button 5: 2 clicks, no fast click\n"
    "    wheel: 7 notches, no reversal\n";

// Returns the summary of a log's bytes, decoded as the program decodes them.
std::string Summary(const std::string& bytes) {
    return WriteSummary(SummariseLog(DecodeLog(bytes)), "log.txt");
}

// Returns the summary's lines of counts and verdicts: without its first line and its notes.
std::string Counts(const std::string& bytes) {
    const std::string summary = Summary(bytes);
    std::string counts;
    size_t start = summary.find('\n') + 1;
    for (size_t end = summary.find('\n', start); end != std::string::npos; start = end + 1, end = summary.find('\n', start)) {
        const std::string line = summary.substr(start, end - start + 1);
        counts += line.compare(0, 8, "  note: ") == 0 ? "" : line;
    }
    return counts;
}

// Returns the text with every line end made CRLF.
std::string Crlf(const std::string& text) {
    std::string crlf;
    for (const char c : text) {
        crlf += c == '\n' ? "\r\n" : std::string(1, c);
    }
    return crlf;
}

// Returns the text in UTF-16, little-endian (or big-endian), with its mark.
std::string Utf16(const std::string& text, bool littleEndian = true) {
    std::string bytes = littleEndian ? "\xFF\xFE" : "\xFE\xFF";
    for (const char c : text) {  // the samples are ASCII
        bytes += littleEndian ? std::string{c, '\0'} : std::string{'\0', c};
    }
    return bytes;
}

// Returns the text with the line of the given number (1 = the first) replaced by the lines.
std::string Replaced(const std::string& text, int number, const std::string& lines) {
    size_t at = 0;
    for (int i = 1; i < number; ++i) {
        at = text.find('\n', at) + 1;
    }
    return text.substr(0, at) + lines + text.substr(text.find('\n', at) + 1);
}

// Returns the sample with a line inserted after the line of the given number (1 = the first).
std::string Inserted(const std::string& text, int after, const std::string& lines) {
    size_t at = 0;
    for (int i = 0; i < after; ++i) {
        at = text.find('\n', at) + 1;
    }
    return text.substr(0, at) + lines + text.substr(at);
}

TEST(Summary, TheSamplesOfTheDocumentsGiveTheirVerdicts) {
    EXPECT_EQ(Summary(kLinuxSample), kLinuxSummary);
    EXPECT_EQ(Summary(kWindowsSample), kWindowsSummary);
    for (const char* sample : {kLinuxSample, kWindowsSample}) {
        const std::vector<RunSummary> runs = SummariseLog(sample);
        ASSERT_EQ(runs.size(), 1u);
        EXPECT_EQ(RunVerdict(runs[0]), Verdict::kRepeat) << "one fast click of the left button";
    }
}

TEST(Summary, ReadsTheSamplesInEveryFormALogComesIn) {
    const std::string linuxCounts = Counts(kLinuxSample);
    const std::string windowsCounts = Counts(kWindowsSample);
    const std::string dropped =
        "mousecheck: /dev/input/event1: the kernel dropped events; the lines of some reports are missing\n";
    const struct {
        const char* form;
        std::string bytes;
        const char* notes;  // the note lines it adds
    } forms[] = {
        {"CRLF", Crlf(kWindowsSample), ""},
        {"UTF-16LE with its mark, CRLF (PowerShell 5.1's >)", Utf16(Crlf(kWindowsSample)), ""},
        {"UTF-16BE with its mark", Utf16(kWindowsSample, false), ""},
        {"UTF-8 with its mark", "\xEF\xBB\xBF" + std::string(kWindowsSample), ""},
        {"2>&1: error lines before the listing and among the events",
         Inserted(Inserted(kLinuxSample, 0, "mousecheck: cannot open /dev/input/event2: Permission denied; run it "
                                            "with sudo, or as a member of the group input\n"),
                  12, dropped),
         "  note: the kernel dropped events (some reports are missing)\n"},
        {"2>&1 of 1.3.0: an error line inside \"Mouse Button:\", the rest of it on the next line",
         Replaced(kLinuxSample, 5, "Mouse Button:" + dropped + "1\n"),
         "  note: the kernel dropped events (some reports are missing)\n"},
        {"util-linux script: header, CRLF, ^C, footer",
         Crlf("Script started on 2026-12-09 14:00:00+00:00 [COMMAND=\"mousecheck\" TERM=\"xterm\" "
              "TTY=\"/dev/pts/0\" COLUMNS=\"80\" LINES=\"24\"]\n" +
              std::string(kLinuxSample) + "^C\n\nScript done on 2026-12-09 14:01:00+00:00 [COMMAND_EXIT_CODE=\"0\"]\n"),
         ""},
        {"a last line cut short", std::string(kLinuxSample) + "Mouse Butt", "  note: the last line is cut short and was left out\n"},
        {"a last line cut short, UTF-16 with an odd byte", Utf16(std::string(kWindowsSample) + "Mouse B") + "M",
         "  note: the last line is cut short and was left out\n"},
    };
    for (const auto& form : forms) {
        const bool fromLinux = DecodeLog(form.bytes).find("event1 (mousecheck") != std::string::npos;
        EXPECT_EQ(Counts(form.bytes), fromLinux ? linuxCounts : windowsCounts) << form.form;
        const std::string summary = Summary(form.bytes);
        const size_t notes = summary.find("  note: ");
        EXPECT_EQ(notes == std::string::npos ? "" : summary.substr(notes), form.notes) << form.form;
    }
}

TEST(Summary, AnEmptyLogOrOneWithoutABannerHoldsNoRun) {
    for (const std::string log : {"", "\xFF\xFE", "\n\n", "Mouse: Handle=0x00000001\nMouse Button:1\n",
                                  "Script started on 2026-12-09\nScript done on 2026-12-09\n",
                                  "RAW INPUT Mouse:"}) {  // the banner itself cut short
        EXPECT_TRUE(SummariseLog(DecodeLog(log)).empty()) << log;
    }
}

TEST(Summary, EachBannerBeginsARunWithTheListingBeforeIt) {
    const std::string log = std::string("Script started on 2026-12-09\n") + kListing + "Mouse Button:1\n" +
                            "Mouse Button:2, 90ms\n" + "\n" + kListing + "Mouse Button:4\n" + "Mouse Button:8, 80ms\n";
    EXPECT_EQ(Summary(log),
              "log.txt: run 1 of 2, lines 1 to 8, 1 mouse listed\n"
              "  left      1 press, 1 release, shortest hold 90 ms\n"
              "            fast clicks: 0 after a press, 0 after a release, 0 with another button\n"
              "  right     not tested\n  middle    not tested\n  button 4  not tested\n  button 5  not tested\n"
              "  wheel     not tested\n"
              "  verdict:\n"
              "    left: 1 click, no fast click\n"
              "    right, middle, button 4, button 5, wheel: not tested\n"
              "\n"
              "log.txt: run 2 of 2, lines 9 to 14, 1 mouse listed\n"
              "  left      not tested\n"
              "  right     1 press, 1 release, shortest hold 80 ms\n"
              "            fast clicks: 0 after a press, 0 after a release, 0 with another button\n"
              "  middle    not tested\n  button 4  not tested\n  button 5  not tested\n"
              "  wheel     not tested\n"
              "  verdict:\n"
              "    right: 1 click, no fast click\n"
              "    left, middle, button 4, button 5, wheel: not tested\n");
    // The stamps start again with each run: a fast click right after the banner has no other end.
    const std::vector<RunSummary> runs = SummariseLog(std::string(kListing) + "Mouse Button:1\nMouse Button:2, 9ms\n" +
                                                      kListing + "Mouse Button:2, 5ms\nFast-click detected!\n");
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_FALSE(runs[1].buttons[0].held) << "the press was the run before's";
    EXPECT_EQ(runs[1].buttons[0].fastWithAnother, 1);
}

TEST(Summary, AttributesEachFastClickToItsLineAndItsOtherEnd) {
    const struct {
        const char* events;
        int button;  // whose counts
        int afterPress, afterRelease, withAnother, withNoButton;
    } cases[] = {
        {"Mouse Button:1\nMouse Button:2, 90ms\nMouse Button:1\nFast-click detected!\n", 0, 1, 0, 0, 0},
        {"Mouse Button:1\nMouse Button:2, 9ms\nFast-click detected!\n", 0, 0, 1, 0, 0},
        {"Mouse Button:4\nMouse Button:8, 15ms\nFast-click detected!\n", 1, 0, 1, 0, 0},
        // The other end another button's: the right button came up just before the left press.
        {"Mouse Button:4\nMouse Button:8, 90ms\nMouse Button:1\nFast-click detected!\n", 0, 0, 0, 1, 0},
        // Released while the latest press was another button's.
        {"Mouse Button:1\nMouse Button:16\nMouse Button:2, 5ms\nFast-click detected!\n", 0, 0, 0, 1, 0},
        // No other end: the first press of the run, against the monitor's start.
        {"Mouse Button:256\nFast-click detected!\n", 4, 0, 0, 1, 0},
        // Error lines between are no lines of the monitor's report.
        {"Mouse Button:64\nMouse Button:128, 9ms\nmousecheck: /dev/input/event4 can be opened now; it is watched\n"
         "Fast-click detected!\n", 3, 0, 1, 0, 0},
        // A report of several buttons prints no button line, only the warning.
        {"Mouse Button:1\nMouse Button:2, 90ms\nwheel check up:100ms\nFast-click detected!\n", 0, 0, 0, 0, 1},
        {"Mouse Button:1\nFast-click detected!\nFast-click detected!\n", 0, 0, 0, 1, 1},
    };
    for (const auto& c : cases) {
        const std::vector<RunSummary> runs = SummariseLog(std::string(kListing) + c.events);
        ASSERT_EQ(runs.size(), 1u);
        const ButtonCounts& counts = runs[0].buttons[c.button];
        EXPECT_EQ(counts.fastAfterPress, c.afterPress) << c.events;
        EXPECT_EQ(counts.fastAfterRelease, c.afterRelease) << c.events;
        EXPECT_EQ(counts.fastWithAnother, c.withAnother) << c.events;
        EXPECT_EQ(runs[0].fastWithNoButton, c.withNoButton) << c.events;
    }
    const std::string rows =
        "  left      2 presses, 1 release, shortest hold 90 ms\n"
        "            fast clicks: 1 after a press, 0 after a release, 1 with another button\n"
        "  right     1 press, 1 release, shortest hold 90 ms\n"
        "            fast clicks: 0 after a press, 0 after a release, 0 with another button\n";
    EXPECT_EQ(Counts(std::string(kListing) + "Mouse Button:4\nMouse Button:8, 90ms\nMouse Button:1\nFast-click detected!\n"
                                             "Mouse Button:2, 90ms\nMouse Button:1\nFast-click detected!\n")
                  .substr(0, rows.size()),
              rows);
    EXPECT_NE(Summary(std::string(kListing) + "Mouse Button:4\nMouse Button:8, 90ms\nMouse Button:1\nFast-click detected!\n")
                  .find("    left: 1 click, no fast click. 1 more with another button: press one button at a time\n"),
              std::string::npos);
    EXPECT_NE(Summary(std::string(kListing) + "Mouse Button:1\nFast-click detected!\nFast-click detected!\n")
                  .find("  note: 1 \"Fast-click detected!\" after no button line (several buttons in one report): "
                        "press one button at a time\n"),
              std::string::npos);
}

TEST(Summary, TheShortestHoldIsOfReleasesAfterTheSameButtonsPress) {
    const struct {
        const char* events;
        const char* row;
    } cases[] = {
        {"Mouse Button:1\nMouse Button:2, 120ms\nMouse Button:1\nMouse Button:2, 35ms\nMouse Button:1\nMouse Button:2, 80ms\n",
         "  left      3 presses, 3 releases, shortest hold 35 ms\n"},
        // Held while the right button was pressed and let go: the left release is not a hold.
        {"Mouse Button:1\nMouse Button:2, 300ms\nMouse Button:1\nMouse Button:4\nMouse Button:2, 3ms\n",
         "  left      2 presses, 2 releases, shortest hold 300 ms\n"},
        {"Mouse Button:2, 1500ms\n", "  left      0 presses, 1 release\n"},  // measured from the start
        {"Mouse Button:1\n", "  left      1 press, 0 releases\n"},
        {"Mouse Button:1\nMouse Button:2, 0ms\nMouse Button:1\nMouse Button:2, -1ms\n",
         "  left      2 presses, 2 releases, shortest hold -1 ms\n"},
    };
    for (const auto& c : cases) {
        const std::string counts = Counts(std::string(kListing) + c.events);
        EXPECT_EQ(counts.substr(0, counts.find('\n') + 1), c.row) << c.events;
    }
}

TEST(Summary, AReversalIsANotchTheOtherWayWithin250Ms) {
    const struct {
        const char* notches;
        int up, down, tooFast, reversals;
    } cases[] = {
        {"wheel check down:3000ms\nwheel check up:250ms\n", 1, 1, 0, 1},
        {"wheel check down:3000ms\nwheel check up:251ms\n", 1, 1, 0, 0},
        {"wheel check up:3000ms\nwheel check down:0ms\n", 1, 1, 0, 1},
        {"wheel check up:200ms\n", 1, 0, 0, 0},  // the first notch of a run never
        {"wheel check up:3000ms\nwheel check up:100ms\nwheel too fast!\nwheel check up:1ms\n", 3, 0, 1, 0},
        // A skip and the turn back: one reversal; a second skip later: two.
        {"wheel check down:900ms\nwheel check down:150ms\nwheel check up:150ms\nwheel check down:150ms\n", 1, 3, 0, 1},
        {"wheel check down:900ms\nwheel check up:150ms\nwheel check down:150ms\nwheel check down:150ms\n"
         "wheel check up:150ms\nwheel check down:150ms\n", 2, 4, 0, 2},
        // Ten notches away, then ten back at once: one reversal.
        {"wheel check up:900ms\nwheel check up:300ms\nwheel check down:200ms\nwheel check down:300ms\n", 2, 2, 0, 1},
    };
    for (const auto& c : cases) {
        const std::vector<RunSummary> runs = SummariseLog(std::string(kListing) + c.notches);
        ASSERT_EQ(runs.size(), 1u);
        EXPECT_EQ(runs[0].wheel.up, c.up) << c.notches;
        EXPECT_EQ(runs[0].wheel.down, c.down) << c.notches;
        EXPECT_EQ(runs[0].wheel.tooFast, c.tooFast) << c.notches;
        EXPECT_EQ(runs[0].wheel.reversals, c.reversals) << c.notches;
    }
}

TEST(Summary, VerdictsFollowTheCountsOfSuspectEvents) {
    const std::string click = "Mouse Button:1\nMouse Button:2, 90ms\n";
    const std::string bounce = "Mouse Button:1\nFast-click detected!\nMouse Button:2, 90ms\n";
    const std::string skip = "wheel check down:150ms\nwheel check up:150ms\n";
    const struct {
        std::string events;
        Verdict verdict;
        const char* line;
    } cases[] = {
        {click + click, Verdict::kHealthy, "    left: 2 clicks, no fast click\n"},
        {click + bounce, Verdict::kRepeat,
         "    left: 1 fast click in 2 clicks: repeat the test; one alone can come from a healthy mouse\n"},
        {click + bounce + bounce, Verdict::kFault, "    left: 2 fast clicks in 3 clicks: the switch bounces\n"},
        {"wheel check down:900ms\n", Verdict::kHealthy, "    wheel: 1 notch, no reversal\n"},
        {"wheel check down:900ms\n" + skip, Verdict::kRepeat,
         "    wheel: 1 reversal in 3 notches: repeat the test; one alone can be a quick turn back\n"},
        {"wheel check down:900ms\n" + skip + skip, Verdict::kFault, "    wheel: 2 reversals in 5 notches: the wheel skips\n"},
        {"wheel too fast!\nwheel check down:1ms\n" + click, Verdict::kHealthy, "    wheel: 1 notch, no reversal\n"},
    };
    for (const auto& c : cases) {
        const std::vector<RunSummary> runs = SummariseLog(kListing + c.events);
        ASSERT_EQ(runs.size(), 1u);
        EXPECT_EQ(RunVerdict(runs[0]), c.verdict) << c.events;
        EXPECT_NE(WriteSummary(runs, "log.txt").find(c.line), std::string::npos) << WriteSummary(runs, "log.txt");
    }
}

TEST(Summary, NotesWhatItCouldNotReadAndWhatMixesTheClicks) {
    const std::string log = std::string("Mouse Button:1\n") + "Mouse: Handle=0x00000003\n  Name=/dev/input/event3\n" +
                            "Mouse: Handle=0x00000004\n  Id=3, Buttons=3, SampleRate=0, HorizontalWheel=2\n" +
                            "RAW INPUT Mouse:\n" + "Mouse Button:3\n" + "Mouse Button:2, 5\x1b[2Jms\n";
    const std::string summary = Summary(log);
    EXPECT_EQ(summary.substr(0, summary.find('\n')), "log.txt: run 1 of 1, lines 1 to 8, 2 mice listed");
    EXPECT_EQ(summary.substr(summary.find("  note: ")),
              "  note: 2 mice listed: their clicks mix; unplug all but the one under test\n"
              "  note: 4 unknown lines, the first (line 1): Mouse Button:1\n");
    EXPECT_NE(Summary(std::string(kListing) + "Mouse Button:2, 5\x1b[2Jms\n").find("(line 5): Mouse Button:2, 5?[2Jms\n"),
              std::string::npos);
    EXPECT_NE(Summary(std::string(kListing) + std::string(100, 'x') + "\n").find("(line 5): " + std::string(60, 'x') + "...\n"),
              std::string::npos);
    // A listing that no banner follows, at the end: a monitor that did not start its run.
    EXPECT_NE(Summary(std::string(kListing) + "Mouse: Handle=0x00000005\n  Name=/dev/input/event5\n")
                  .find("  note: 2 unknown lines, the first (line 5): Mouse: Handle=0x00000005\n"),
              std::string::npos);
}

}  // namespace
