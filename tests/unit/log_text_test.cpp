#include "summary/log_text.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(LogText, TellsTheFormByItsMark) {
    const struct {
        std::string bytes;
        LogEncoding encoding;
    } cases[] = {
        {"RAW INPUT Mouse:\n", LogEncoding::kUtf8},
        {"", LogEncoding::kUtf8},
        {"\xFF", LogEncoding::kUtf8},
        {"\xEF\xBB\xBFRAW", LogEncoding::kUtf8WithMark},
        {"\xFF\xFER\0", LogEncoding::kUtf16LeWithMark},
        {"\xFE\xFF\0R", LogEncoding::kUtf16BeWithMark},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(DetectLogEncoding(c.bytes), c.encoding) << c.bytes;
    }
}

TEST(LogText, DecodesEachFormToUtf8WithoutItsMark) {
    const struct {
        const char* what;
        std::string bytes;
        std::string text;
    } cases[] = {
        {"UTF-8 as it is", "Mouse Button:1\r\n\xC3\xA9\xFF", "Mouse Button:1\r\n\xC3\xA9\xFF"},
        {"UTF-8, its mark dropped", "\xEF\xBB\xBFRAW\n", "RAW\n"},
        {"UTF-16LE", std::string("\xFF\xFER\0A\0W\0\r\0\n\0", 12), "RAW\r\n"},
        {"UTF-16BE", std::string("\xFE\xFF\0R\0A\0W\0\n", 10), "RAW\n"},
        {"UTF-16LE beyond ASCII", std::string("\xFF\xFE\xE9\0\xAC\x20", 6), "\xC3\xA9\xE2\x82\xAC"},
        {"a surrogate pair", std::string("\xFF\xFE\x3D\xD8\x00\xDE", 6), "\xF0\x9F\x98\x80"},
        {"a high surrogate alone", std::string("\xFF\xFE\x00\xD8\x41\0", 6), "\xEF\xBF\xBD" "A"},
        {"a high surrogate last", std::string("\xFF\xFE\x41\0\x00\xD8", 6), "A\xEF\xBF\xBD"},
        {"a low surrogate alone", std::string("\xFF\xFE\x00\xDC\x41\0", 6), "\xEF\xBF\xBD" "A"},
        {"an odd last byte", std::string("\xFF\xFER\0A", 5), "R"},
        {"the mark alone", "\xFF\xFE", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(DecodeLog(c.bytes), c.text) << c.what;
    }
}

}  // namespace
