// Where the summary's console relay may cut a block of UTF-8: never inside a sequence. When it
// waits for a key and how it converts text are checked under Wine (wine/summary_test.sh).
#include <gtest/gtest.h>

#include <string>

#include "summary/console_win32.h"

namespace {

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
