#include "summary/log_text.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

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
        {"a mark at the start of a later line", "a\n\xEF\xBB\xBF" "b\r\n\xEF\xBB\xBF", "a\nb\r\n"},
        {"a mark within a line is kept", "a\xEF\xBB\xBF" "b", "a\xEF\xBB\xBF" "b"},
        {"bytes that begin a mark, then not", "\xEF\xBB" "a\n\xFF" "b\n\xEF\n", "\xEF\xBB" "a\n\xFF" "b\n\xEF\n"},
        {"two UTF-16LE logs joined", std::string("\xFF\xFE" "a\0\n\0\xFF\xFE" "b\0", 10), "a\nb"},
        {"U+FEFF within a UTF-16 line is kept", std::string("\xFF\xFE" "a\0\xFF\xFE", 6), "a\xEF\xBB\xBF"},
        {"UTF-16LE after UTF-8", std::string("a\r\n\xFF\xFE" "b\0", 7), "a\r\nb"},
        {"UTF-16BE after UTF-8", std::string("a\n\xFE\xFF\0" "b", 6), "a\nb"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(DecodeLog(c.bytes), c.text) << c.what;
        // Fed a byte at a time, as a slow pipe gives it: the same text.
        LogDecoder decoder;
        std::string text;
        for (const char byte : c.bytes) {
            DecodeLogBytes(&decoder, &byte, 1, &text);
        }
        FinishDecoding(&decoder, &text);
        EXPECT_EQ(text, c.text) << c.what << ", a byte at a time";
    }
}

TEST(LogText, GivesEachLineTheLastOneWithoutItsLineEndToo) {
    const struct {
        std::string text;
        const char* lines;  // each followed by "|"
    } cases[] = {
        {"a\nb\n", "a|b|"},
        {"a\r\nb", "a|b|"},  // the last line without its line end counts
        {"a\r\r\n\r", "a||"},
        {"", ""},
        {"\n\n", "||"},
    };
    for (const auto& c : cases) {
        for (const size_t block : {c.text.size() + 1, size_t{1}}) {
            std::string lines;
            LineSplitter splitter;
            const auto sink = [](void* context, std::string_view line, size_t) {
                *static_cast<std::string*>(context) += std::string(line) + "|";
            };
            for (size_t at = 0; at < c.text.size(); at += block) {
                SplitLines(&splitter, std::string_view(c.text).substr(at, block), sink, &lines);
            }
            FinishLines(&splitter, sink, &lines);
            EXPECT_EQ(lines, c.lines) << c.text << ", in blocks of " << block;
        }
    }
}

}  // namespace
