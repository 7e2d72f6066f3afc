#include "summary/summary.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <string_view>
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
    "log.txt: run 1, lines 1 to 29, 1 mouse listed\n"
    "  left      9 presses, 9 releases, shortest hold 40 ms\n"
    "            warnings: 1 closed again within 15 ms of a release, 0 held 15 ms or less\n"
    "            holds (ms): <=15: 0, 16-50: 1, 51-150: 6, 151-1000: 2, >1000: 0\n"
    "            suspect: too few holds to judge (10 needed)\n"
    "  right     not tested\n"
    "  middle    not tested\n"
    "  button 4  not tested\n"
    "  button 5  not tested\n"
    "  wheel     1 up, 5 down, 0 \"wheel too fast!\", 1 skip\n"
    "  verdict:\n"
    "    left: 1 of 8 clicks bounced: repeat the test; one alone can come from a healthy mouse\n"
         "      at line 14\n"
    "    right, middle, button 4, button 5: not tested\n"
    "    wheel: 1 skip in 6 notches: repeat the test; one alone can be a quick turn back\n"
         "      at line 27\n";

constexpr char kWindowsSummary[] =
    "log.txt: run 1, lines 1 to 37, 1 mouse listed\n"
    "  left      4 presses, 4 releases, shortest hold 80 ms\n"
    "            warnings: 1 closed again within 15 ms of a release, 0 held 15 ms or less\n"
    "            holds (ms): <=15: 0, 16-50: 0, 51-150: 4, 151-1000: 0, >1000: 0\n"
    "            suspect: too few holds to judge (10 needed)\n"
    "  right     2 presses, 2 releases, shortest hold 90 ms\n"
    "            warnings: 0 closed again within 15 ms of a release, 0 held 15 ms or less\n"
    "            holds (ms): <=15: 0, 16-50: 0, 51-150: 2, 151-1000: 0, >1000: 0\n"
    "            suspect: too few holds to judge (10 needed)\n"
    "  middle    2 presses, 2 releases, shortest hold 91 ms\n"
    "            warnings: 0 closed again within 15 ms of a release, 0 held 15 ms or less\n"
    "            holds (ms): <=15: 0, 16-50: 0, 51-150: 2, 151-1000: 0, >1000: 0\n"
    "            suspect: too few holds to judge (10 needed)\n"
    "  button 4  2 presses, 2 releases, shortest hold 90 ms\n"
    "            warnings: 0 closed again within 15 ms of a release, 0 held 15 ms or less\n"
    "            holds (ms): <=15: 0, 16-50: 0, 51-150: 2, 151-1000: 0, >1000: 0\n"
    "            suspect: too few holds to judge (10 needed)\n"
    "  button 5  2 presses, 2 releases, shortest hold 90 ms\n"
    "            warnings: 0 closed again within 15 ms of a release, 0 held 15 ms or less\n"
    "            holds (ms): <=15: 0, 16-50: 0, 51-150: 2, 151-1000: 0, >1000: 0\n"
    "            suspect: too few holds to judge (10 needed)\n"
    "  wheel     5 up, 2 down, 1 \"wheel too fast!\", 0 skips\n"
    "  verdict:\n"
    "    left: 1 of 3 clicks bounced: repeat the test; one alone can come from a healthy mouse\n"
         "      at line 28\n"
    "    right: 2 clicks, none bounced\n"
    "    middle: 2 clicks, none bounced\n"
    "    button 4: 2 clicks, none bounced\n"
    "    button 5: 2 clicks, none bounced\n"
    "    wheel: 7 notches, no skip\n";

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

// Returns the text without its evidence, the lines "      at line 14" or "      at lines 8, 14":
// the same events in a log with other lines among them.
std::string WithoutLines(std::string text) {
    for (size_t at = text.find("\n      at line"); at != std::string::npos; at = text.find("\n      at line", at)) {
        text.erase(at, text.find('\n', at + 1) - at);
    }
    return text;
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
        {"a last line cut short", std::string(kLinuxSample) + "Mouse Butt", "  note: 1 unknown line (line 30): Mouse Butt\n"},
        {"a last line cut short, UTF-16 with an odd byte", Utf16(std::string(kWindowsSample) + "Mouse B") + "M",
         "  note: 1 unknown line (line 38): Mouse B\n"},
    };
    for (const auto& form : forms) {
        const bool fromLinux = DecodeLog(form.bytes).find("event1 (mousecheck") != std::string::npos;
        EXPECT_EQ(WithoutLines(Counts(form.bytes)), WithoutLines(fromLinux ? linuxCounts : windowsCounts)) << form.form;
        const std::string summary = Summary(form.bytes);
        const size_t notes = summary.find("  note: ");
        EXPECT_EQ(notes == std::string::npos ? "" : summary.substr(notes), form.notes) << form.form;
    }
}

TEST(Summary, JoinedLogsGiveOneRunEachWithoutUnknownLines) {
    const std::string utf16 = Utf16(Crlf(kWindowsSample));
    const struct {
        const char* form;
        std::string bytes;
    } forms[] = {
        {"two UTF-16LE logs joined (cat, or type, of PowerShell 5.1's logs)", utf16 + utf16},
        {"two UTF-16BE logs joined", Utf16(kWindowsSample, false) + Utf16(kWindowsSample, false)},
        {"two UTF-8 logs with their marks joined", "\xEF\xBB\xBF" + std::string(kWindowsSample) + "\xEF\xBB\xBF" +
                                                       kWindowsSample},
        {"a UTF-16LE log joined after a UTF-8 one", Crlf(kWindowsSample) + utf16},
    };
    for (const auto& form : forms) {
        const std::vector<RunSummary> runs = SummariseLog(DecodeLog(form.bytes));
        ASSERT_EQ(runs.size(), 2u) << form.form;
        const std::string first = WriteRun(runs[0], 1, "log.txt");
        EXPECT_EQ(first, kWindowsSummary) << form.form;
        EXPECT_EQ(runs[1].firstLine, 38u) << form.form;
        EXPECT_EQ(runs[1].mice, 1) << form.form;
        EXPECT_EQ(runs[1].unknownLines, 0) << form.form;
        const std::string second = WriteRun(runs[1], 2, "log.txt");
        EXPECT_EQ(WithoutLines(second.substr(second.find('\n'))), WithoutLines(first.substr(first.find('\n'))))
            << form.form;
    }
}

TEST(Summary, KeepsBoundedBytesBetweenLinesWhateverTheLog) {
    // 1.4.0 kept the part before "mousecheck: " of every such line and put it before the next,
    // which grew by a byte a line: 400,000 lines took 7 s. Each line's cost is its length plus
    // what is held from the line before, so a bound on that is a bound on the steps.
    SummaryReader* reader = StartSummary([](void*, const RunSummary&) {}, nullptr);
    SummariseLine(reader, "RAW INPUT Mouse:", 1);
    size_t most = 0;
    for (size_t number = 2; number < 100000; ++number) {
        SummariseLine(reader, number % 2 == 0 ? "Xmousecheck: x" : "Mouse Butmousecheck: x", number);
        most = std::max(most, HeldBytes(reader));
    }
    SummariseLine(reader, std::string(kLineBytesMax, 'y'), 100000);  // a whole line after a torn part
    most = std::max(most, HeldBytes(reader));
    EXPECT_LE(most, 64u);
    EndSummary(reader);
    // A line without an end, a megabyte long, is kept to its first kLineBytesMax bytes.
    LineSplitter splitter;
    size_t lines = 0;
    const std::string part(65536, 'x');
    for (int i = 0; i < 16; ++i) {
        SplitLines(&splitter, part, [](void* context, std::string_view, size_t) { ++*static_cast<size_t*>(context); },
                   &lines);
        EXPECT_LE(splitter.line.capacity(), 2 * kLineBytesMax);
    }
    EXPECT_EQ(lines, 0u);
}

TEST(Summary, AnEmptyLogOrOneWithoutABannerHoldsNoRun) {
    for (const std::string log : {"", "\xFF\xFE", "\n\n", "Mouse: Handle=0x00000001\nMouse Button:1\n",
                                  "Script started on 2026-12-09\nScript done on 2026-12-09\n", "RAW INPUT Mouse"}) {
        EXPECT_TRUE(SummariseLog(DecodeLog(log)).empty()) << log;
    }
    // A whole banner without its line end is a run; it has nothing tested.
    const std::vector<RunSummary> runs = SummariseLog("RAW INPUT Mouse:");
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_FALSE(RunTested(runs[0]));
}

TEST(Summary, EachBannerBeginsARunWithTheListingBeforeIt) {
    const std::string log = std::string("Script started on 2026-12-09\n") + kListing + "Mouse Button:1\n" +
                            "Mouse Button:2, 90ms\n" + "\n" + kListing + "Mouse Button:4\n" + "Mouse Button:8, 80ms\n";
    EXPECT_EQ(Summary(log),
              "log.txt: run 1, lines 1 to 8, 1 mouse listed\n"
              "  left      1 press, 1 release, shortest hold 90 ms\n"
              "            warnings: 0 closed again within 15 ms of a release, 0 held 15 ms or less\n"
              "            holds (ms): <=15: 0, 16-50: 0, 51-150: 1, 151-1000: 0, >1000: 0\n"
              "            suspect: too few holds to judge (10 needed)\n"
              "  right     not tested\n  middle    not tested\n  button 4  not tested\n  button 5  not tested\n"
              "  wheel     not tested\n"
              "  verdict:\n"
              "    left: 1 click, none bounced\n"
              "    right, middle, button 4, button 5, wheel: not tested\n"
              "\n"
              "log.txt: run 2, lines 9 to 14, 1 mouse listed\n"
              "  left      not tested\n"
              "  right     1 press, 1 release, shortest hold 80 ms\n"
              "            warnings: 0 closed again within 15 ms of a release, 0 held 15 ms or less\n"
              "            holds (ms): <=15: 0, 16-50: 0, 51-150: 1, 151-1000: 0, >1000: 0\n"
              "            suspect: too few holds to judge (10 needed)\n"
              "  middle    not tested\n  button 4  not tested\n  button 5  not tested\n"
              "  wheel     not tested\n"
              "  verdict:\n"
              "    right: 1 click, none bounced\n"
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
        bool startUp = false;  // the first press, against the monitor's start
    } cases[] = {
        {"Mouse Button:1\nMouse Button:2, 90ms\nMouse Button:1\nFast-click detected!\n", 0, 1, 0, 0, 0},
        {"Mouse Button:1\nMouse Button:2, 9ms\nFast-click detected!\n", 0, 0, 1, 0, 0},
        {"Mouse Button:4\nMouse Button:8, 15ms\nFast-click detected!\n", 1, 0, 1, 0, 0},
        // The other end another button's: the right button came up just before the left press.
        {"Mouse Button:4\nMouse Button:8, 90ms\nMouse Button:1\nFast-click detected!\n", 0, 0, 0, 1, 0},
        // Released while the latest press was another button's.
        {"Mouse Button:1\nMouse Button:16\nMouse Button:2, 5ms\nFast-click detected!\n", 0, 0, 0, 1, 0},
        // No other end: the first press of the run, against the monitor's start: its start-up warning.
        {"Mouse Button:256\nFast-click detected!\n", 4, 0, 0, 0, 0, true},
        {"Mouse Button:4\nMouse Button:1\nFast-click detected!\n", 0, 0, 0, 1, 0},  // not the first press
        // Error lines between are no lines of the monitor's report.
        {"Mouse Button:64\nMouse Button:128, 9ms\nmousecheck: /dev/input/event4 can be opened now; it is watched\n"
         "Fast-click detected!\n", 3, 0, 1, 0, 0},
        // A report of several buttons prints no button line, only the warning.
        {"Mouse Button:1\nMouse Button:2, 90ms\nwheel check up:100ms\nFast-click detected!\n", 0, 0, 0, 0, 1},
        {"Mouse Button:1\nFast-click detected!\nFast-click detected!\n", 0, 0, 0, 0, 1, true},
    };
    for (const auto& c : cases) {
        const std::vector<RunSummary> runs = SummariseLog(std::string(kListing) + c.events);
        ASSERT_EQ(runs.size(), 1u);
        const ButtonCounts& counts = runs[0].buttons[c.button];
        EXPECT_EQ(counts.fastAfterPress, c.afterPress) << c.events;
        EXPECT_EQ(counts.fastAfterRelease, c.afterRelease) << c.events;
        EXPECT_EQ(counts.fastWithAnother, c.withAnother) << c.events;
        EXPECT_EQ(runs[0].fastWithNoButton, c.withNoButton) << c.events;
        EXPECT_EQ(runs[0].startUpWarning, c.startUp) << c.events;
    }
    const std::string rows =
        "  left      2 presses, 1 release, shortest hold 90 ms\n"
        "            warnings: 1 closed again within 15 ms of a release, 0 held 15 ms or less, 1 with another button\n"
        "            holds (ms): <=15: 0, 16-50: 0, 51-150: 1, 151-1000: 0, >1000: 0\n"
        "            suspect: too few holds to judge (10 needed)\n"
        "  right     1 press, 1 release, shortest hold 90 ms\n"
        "            warnings: 0 closed again within 15 ms of a release, 0 held 15 ms or less\n";
    EXPECT_EQ(Counts(std::string(kListing) + "Mouse Button:4\nMouse Button:8, 90ms\nMouse Button:1\nFast-click detected!\n"
                                             "Mouse Button:2, 90ms\nMouse Button:1\nFast-click detected!\n")
                  .substr(0, rows.size()),
              rows);
    EXPECT_NE(Summary(std::string(kListing) + "Mouse Button:4\nMouse Button:8, 90ms\nMouse Button:1\nFast-click detected!\n")
                  .find("    left: 1 click, none bounced. 1 more with another button: press one button at a time\n"),
              std::string::npos);
    EXPECT_NE(Summary(std::string(kListing) + "Mouse Button:1\nFast-click detected!\nFast-click detected!\n")
                  .find("  note: the first press came 5 to 35 ms after the monitor started; its \"Fast-click detected!\" "
                        "is the monitor's start-up warning, no fault\n"),
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

// Returns click lines of the left button, one for each hold given.
std::string Clicks(const std::vector<int>& holds) {
    std::string lines;
    for (const int hold : holds) {
        lines += "Mouse Button:1\nMouse Button:2, " + std::to_string(hold) + "ms\n";
    }
    return lines;
}

TEST(Summary, ASkipIsALoneNotchAgainstTheNotchesOnBothSidesAtAnyPace) {
    const struct {
        const char* notches;
        int up, down, tooFast, skips;
        size_t firstSkipLine;  // the listing is lines 1 to 4
    } cases[] = {
        // A last notch the other way has nothing after it to stand against.
        {"wheel check down:3000ms\nwheel check up:250ms\n", 1, 1, 0, 0, 0},
        {"wheel check up:3000ms\nwheel check down:0ms\n", 1, 1, 0, 0, 0},
        {"wheel check up:200ms\n", 1, 0, 0, 0, 0},
        {"wheel check up:3000ms\nwheel check up:100ms\nwheel too fast!\nwheel check up:1ms\n", 3, 0, 1, 0, 0},
        // A skip in the middle of a turn, then on forward: one skip; two skips apart: two.
        {"wheel check down:900ms\nwheel check down:150ms\nwheel check up:150ms\nwheel check down:150ms\n", 1, 3, 0, 1, 7},
        {"wheel check down:900ms\nwheel check up:150ms\nwheel check down:150ms\nwheel check down:150ms\n"
         "wheel check up:150ms\nwheel check down:150ms\n", 2, 4, 0, 2, 6},
        // Each way in turn: the notch after a skip stands against the skip, and is none.
        {"wheel check down:900ms\nwheel check up:150ms\nwheel check down:150ms\nwheel check up:150ms\n"
         "wheel check down:150ms\n", 2, 3, 0, 2, 6},
        // A turn back of several notches: no skip.
        {"wheel check up:900ms\nwheel check up:300ms\nwheel check down:200ms\nwheel check down:300ms\n", 2, 2, 0, 0, 0},
        // The slow skip: ten notches about 300 ms apart, the fifth the other way.
        {"wheel check down:3000ms\nwheel check down:310ms\nwheel check down:290ms\nwheel check down:300ms\n"
         "wheel check up:305ms\nwheel check down:300ms\nwheel check down:320ms\nwheel check down:300ms\n"
         "wheel check down:280ms\nwheel check down:300ms\n", 1, 9, 0, 1, 9},
        // A deliberate turn back of one notch after a pause (more than twice the turn's interval).
        {"wheel check down:300ms\nwheel check down:300ms\nwheel check up:1000ms\nwheel check down:1000ms\n", 1, 3, 0, 0, 0},
        {"wheel check down:300ms\nwheel check down:300ms\nwheel check up:300ms\nwheel check down:700ms\n", 1, 3, 0, 0, 0},
        {"wheel check down:300ms\nwheel check down:300ms\nwheel check up:600ms\nwheel check down:600ms\n", 1, 3, 0, 1, 7},
        // A fast spin: an interval of 250 ms or less is never a pause.
        {"wheel check down:900ms\nwheel check down:20ms\nwheel check up:240ms\nwheel check down:20ms\n", 1, 3, 0, 1, 7},
    };
    for (const auto& c : cases) {
        const std::vector<RunSummary> runs = SummariseLog(std::string(kListing) + c.notches);
        ASSERT_EQ(runs.size(), 1u);
        EXPECT_EQ(runs[0].wheel.up, c.up) << c.notches;
        EXPECT_EQ(runs[0].wheel.down, c.down) << c.notches;
        EXPECT_EQ(runs[0].wheel.tooFast, c.tooFast) << c.notches;
        EXPECT_EQ(runs[0].wheel.skips, c.skips) << c.notches;
        EXPECT_EQ(runs[0].wheel.skipLines.lines[0], c.firstSkipLine) << c.notches;
    }
}

TEST(Summary, VerdictsFollowTheCountsOfEventsWithTheirLines) {
    const std::string click = Clicks({90});
    // A click whose release bounced: two warnings, one event.
    const std::string bounce = click + "Mouse Button:1\nFast-click detected!\nMouse Button:2, 6ms\nFast-click detected!\n";
    // A press that bounced: held 4 ms, then closed again within 15 ms.
    const std::string pressBounce =
        "Mouse Button:1\nMouse Button:2, 4ms\nFast-click detected!\nMouse Button:1\nFast-click detected!\n"
        "Mouse Button:2, 95ms\n";
    std::string sixBounces;
    for (int i = 0; i < 6; ++i) {
        sixBounces += bounce;
    }
    for (int i = 0; i < 47; ++i) {
        sixBounces += click;
    }
    // Fifty clicks held 70 to 140 ms; after every tenth the switch closes again, held 40 ms.
    std::vector<int> worn;
    for (int i = 0; i < 50; ++i) {
        worn.push_back(70 + (i * 37) % 71);
        if (i % 10 == 9) {
            worn.push_back(40);
        }
    }
    // A healthy hand at the guide's pace: fifty clicks held 55 to 150 ms, one quick one of 48 ms,
    // the click back into the console, the drag.
    std::vector<int> healthy;
    for (int i = 0; i < 50; ++i) {
        healthy.push_back(55 + (i * 29) % 96);
    }
    healthy.insert(healthy.end(), {48, 120, 2500});
    const std::string lead = "wheel check down:900ms\nwheel check down:150ms\n";
    const std::string skip = "wheel check up:150ms\nwheel check down:150ms\n";
    const struct {
        std::string events;
        Verdict verdict;
        const char* line;
    } cases[] = {
        {click + click, Verdict::kHealthy, "    left: 2 clicks, none bounced\n"},
        {click + bounce, Verdict::kRepeat,
         "    left: 1 of 2 clicks bounced: repeat the test; one alone can come from a healthy mouse\n"
         "      at line 10\n"},
        {click + pressBounce, Verdict::kRepeat,
         "    left: 1 of 2 clicks bounced: repeat the test; one alone can come from a healthy mouse\n"
         "      at line 9\n"},
        {click + bounce + bounce, Verdict::kFault,
         "    left: 2 of 3 clicks bounced (shortest hold 6 ms): the switch bounces\n"
         "      at lines 10, 16\n"},
        {sixBounces, Verdict::kFault,
         "    left: 6 of 53 clicks bounced (shortest hold 6 ms): the switch bounces\n"
         "      at lines 8, 14, 20, ...\n"},
        {Clicks(worn), Verdict::kSuspect,
         "    left: 5 of 55 clicks suspect, held 16 to 51 ms: extra clicks of a switch that closes again after a "
         "release?\n"
         "      at lines 26, 48, 70, ...\n"},
        {Clicks(worn), Verdict::kSuspect, "            suspect: 5 held 16 to 51 ms (the median hold 102 ms)\n"},
        {Clicks(healthy), Verdict::kHealthy, "    left: 53 clicks, none bounced\n"},
        {Clicks(healthy), Verdict::kHealthy, "            suspect: 1 held 16 to 52 ms (the median hold 104 ms)\n"},
        {"wheel check down:900ms\n", Verdict::kHealthy, "    wheel: 1 notch, no skip\n"},
        {lead + skip, Verdict::kRepeat,
         "    wheel: 1 skip in 4 notches: repeat the test; one alone can be a quick turn back\n"
         "      at line 7\n"},
        {lead + skip + skip, Verdict::kFault, "    wheel: 2 skips in 6 notches: the wheel skips\n"
         "      at lines 7, 9\n"},
        {"wheel too fast!\nwheel check down:1ms\n" + click, Verdict::kHealthy, "    wheel: 1 notch, no skip\n"},
    };
    for (const auto& c : cases) {
        const std::vector<RunSummary> runs = SummariseLog(kListing + c.events);
        ASSERT_EQ(runs.size(), 1u);
        EXPECT_EQ(RunVerdict(runs[0]), c.verdict) << c.line;
        EXPECT_NE(WriteSummary(runs, "log.txt").find(c.line), std::string::npos) << WriteSummary(runs, "log.txt");
    }
}

TEST(Summary, NotesWhatItCouldNotReadAndWhatMixesTheClicks) {
    const std::string log = std::string("Mouse Button:1\n") + "Mouse: Handle=0x00000003\n  Name=/dev/input/event3\n" +
                            "Mouse: Handle=0x00000004\n  Id=3, Buttons=3, SampleRate=0, HorizontalWheel=2\n" +
                            "RAW INPUT Mouse:\n" + "Mouse Button:3\n" + "Mouse Button:2, 5\x1b[2Jms\n";
    const std::string summary = Summary(log);
    EXPECT_EQ(summary.substr(0, summary.find('\n')), "log.txt: run 1, lines 1 to 8, 2 mice listed");
    EXPECT_EQ(summary.substr(summary.find("  note: ")),
              "  note: 2 mice listed: their clicks mix; unplug all but the one under test, or, where one device is "
              "listed as several (a receiver, a keyboard, a touchpad), keep your hands off the others\n"
              "  note: 4 unknown lines, the first (line 1): Mouse Button:1\n");
    EXPECT_NE(Summary(std::string(kListing) + "Mouse Button:2, 5\x1b[2Jms\n").find("(line 5): Mouse Button:2, 5?[2Jms\n"),
              std::string::npos);
    EXPECT_NE(Summary(std::string(kListing) + std::string(100, 'x') + "\n").find("(line 5): " + std::string(60, 'x') + "...\n"),
              std::string::npos);
    // A mouse plugged in while the run went on, said on standard error: listed once, however
    // often it came again; a name that ends like the line, or another error, adds none.
    const std::string plugged = "mousecheck: /dev/input/event7 (b) plugged in; it is watched\n";
    const std::vector<RunSummary> came = SummariseLog(
        std::string(kListing) + plugged + "mousecheck: /dev/input/event12 (plugged in; it is watched) plugged in; it is watched\n" +
        plugged + "mousecheck: /dev/input/event7 can be opened now; it is watched\n" +
        "mousecheck: /dev/input/eventX plugged in; it is watched\n" + kListing + plugged);
    ASSERT_EQ(came.size(), 2u);
    EXPECT_EQ(came[0].mice, 3) << "event7 and event12 came to the listed one";
    EXPECT_EQ(came[1].mice, 2) << "a new run remembers none";
    // A listing that no banner follows, at the end: a monitor that did not start its run.
    EXPECT_NE(Summary(std::string(kListing) + "Mouse: Handle=0x00000005\n  Name=/dev/input/event5\n")
                  .find("  note: 2 unknown lines, the first (line 5): Mouse: Handle=0x00000005\n"),
              std::string::npos);
    EXPECT_NE(Summary(std::string(kListing) + "  Name=\x1b[2J\nX\n").find("2 unknown lines, the first (line 5):   Name=?[2J\n"),
              std::string::npos)
        << "its first line shown as any other, after an unknown line";
}

}  // namespace
