// The summary's Windows console decisions and conversions, each on a table of cases.
#include <gtest/gtest.h>

#include <string>

#include "summary/console_win32.h"

namespace {

struct PauseCase {
    unsigned long processes;  // GetConsoleProcessList's count
    bool outputIsConsole;
    bool waits;
    const char* what;
};

TEST(ConsoleWin32, WaitsForAKeyOnlyAloneOnItsConsoleWithTheOutputOnIt) {
    const PauseCase cases[] = {
        {1, true, true, "started from Explorer: a double click, a log dropped on it"},
        {2, true, false, "started from cmd or PowerShell, which share the console"},
        {1, false, false, "alone on a console, its output to a file or a pipe"},
        {0, true, false, "no console at all (GetConsoleProcessList fails)"},
    };
    for (const PauseCase& c : cases) {
        EXPECT_EQ(WaitsForKey(c.processes, c.outputIsConsole), c.waits) << c.what;
    }
}

struct HelpCase {
    unsigned long processes;
    bool inputIsConsole;
    size_t arguments;  // the program's name counts
    bool help;
    const char* what;
};

TEST(ConsoleWin32, ShowsTheHelpOnlyForADoubleClick) {
    const HelpCase cases[] = {
        {1, true, 1, true, "a double click: nothing named, input the console made for it"},
        {1, true, 2, false, "a log dropped on it"},
        {2, true, 1, false, "typed in cmd: the user may paste a log, ending it with Ctrl+Z"},
        {1, false, 1, false, "alone on a console, a log on standard input"},
    };
    for (const HelpCase& c : cases) {
        EXPECT_EQ(ShowsHelpInstead(c.processes, c.inputIsConsole, c.arguments), c.help) << c.what;
    }
}

TEST(ConsoleWin32, ConvertsBetweenUtf16AndUtf8) {
    const struct {
        std::wstring wide;
        std::string utf8;
    } cases[] = {
        {L"", ""},
        {L"C:\\Users\\\u7528\u6237\\\u65e5\u5fd7.txt", "C:\\Users\\\xe7\x94\xa8\xe6\x88\xb7\\\xe6\x97\xa5\xe5\xbf\x97.txt"},
        {L"\U0001F5B1.txt", "\xf0\x9f\x96\xb1.txt"},  // a surrogate pair, the mouse emoji
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Utf8FromWide(c.wide), c.utf8);
        EXPECT_EQ(WideFromUtf8(c.utf8.data(), c.utf8.size()), c.wide) << c.utf8;
    }
    EXPECT_EQ(Utf8FromWide(std::wstring(1, wchar_t{0xD800})), "\xef\xbf\xbd") << "an unpaired surrogate";
    EXPECT_EQ(WideFromUtf8("a\xff", 2), L"a\uFFFD") << "a byte that is not UTF-8";
}

TEST(ConsoleWin32, ConvertsABlockUpToItsLastWholeSequence) {
    const struct {
        std::string bytes;
        size_t whole;
    } cases[] = {
        {"abc", 3},
        {"a\xe6\x97\xa5", 4},          // 日 whole
        {"a\xe6\x97", 1},              // 日 cut after two of its three bytes
        {"a\xe6", 1},                  // cut after its lead byte
        {"a\xf0\x9f\x96", 1},          // four bytes cut after three
        {"a\xf0\x9f\x96\xb1", 5},      // and whole
        {"\x97\xa5", 2},               // continuation bytes alone: passed on, shown as U+FFFD
        {"a\x80\x80\x80\x80", 5},      // more continuation bytes than any sequence has
    };
    for (const auto& c : cases) {
        EXPECT_EQ(WholeUtf8Length(c.bytes.data(), c.bytes.size()), c.whole) << testing::PrintToString(c.bytes);
    }
}

}  // namespace
