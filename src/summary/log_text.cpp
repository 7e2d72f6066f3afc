// Decoding of a log's bytes into UTF-8 text.
//
//   "RAW..."                     -> as it is (UTF-8 or ASCII; invalid bytes kept as they are)
//   EF BB BF "RAW..."            -> "RAW..." (the mark dropped)
//   FF FE 52 00 41 00 ...        -> "RA..." (UTF-16LE, the mark dropped)
//   FE FF 00 52 00 41 ...        -> "RA..." (UTF-16BE)
//   FF FE 3D D8 00 DE            -> F0 9F 98 80 (a surrogate pair: one character of 4 bytes)
//   FF FE 00 D8 41 00            -> EF BF BD "A" (a high surrogate alone: U+FFFD)
//   FF FE 52 00 41               -> "R" (the odd last byte dropped)
#include "summary/log_text.h"

#include <cstddef>
#include <cstdint>

namespace {

constexpr uint32_t kReplacementCharacter = 0xFFFD;
constexpr uint32_t kHighSurrogateFirst = 0xD800;
constexpr uint32_t kLowSurrogateFirst = 0xDC00;
constexpr uint32_t kSurrogateLast = 0xDFFF;

// Tells whether the bytes begin with the given mark.
bool StartsWith(const std::string& bytes, const char* mark, size_t size) {
    return bytes.size() >= size && bytes.compare(0, size, mark, size) == 0;
}

// Appends one code point to the text in UTF-8.
void AppendUtf8(uint32_t code, std::string* text) {
    if (code < 0x80) {
        text->push_back(static_cast<char>(code));
    } else if (code < 0x800) {
        text->push_back(static_cast<char>(0xC0 | (code >> 6)));
        text->push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else if (code < 0x10000) {
        text->push_back(static_cast<char>(0xE0 | (code >> 12)));
        text->push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
        text->push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else {
        text->push_back(static_cast<char>(0xF0 | (code >> 18)));
        text->push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
        text->push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
        text->push_back(static_cast<char>(0x80 | (code & 0x3F)));
    }
}

// Decodes UTF-16 from the byte after the mark, in the byte order given.
std::string DecodeUtf16(const std::string& bytes, bool littleEndian) {
    std::string text;
    text.reserve(bytes.size() / 2);
    // Reads the unit at the byte offset.
    const auto unit = [&bytes, littleEndian](size_t at) {
        const auto first = static_cast<uint32_t>(static_cast<unsigned char>(bytes[at]));
        const auto second = static_cast<uint32_t>(static_cast<unsigned char>(bytes[at + 1]));
        return littleEndian ? first | (second << 8) : (first << 8) | second;
    };
    for (size_t at = 2; at + 1 < bytes.size(); at += 2) {
        const uint32_t code = unit(at);
        if (code < kHighSurrogateFirst || code > kSurrogateLast) {
            AppendUtf8(code, &text);
        } else if (code < kLowSurrogateFirst && at + 3 < bytes.size() && unit(at + 2) >= kLowSurrogateFirst &&
                   unit(at + 2) <= kSurrogateLast) {
            AppendUtf8(0x10000 + ((code - kHighSurrogateFirst) << 10) + (unit(at + 2) - kLowSurrogateFirst), &text);
            at += 2;
        } else {
            AppendUtf8(kReplacementCharacter, &text);
        }
    }
    return text;
}

}  // namespace

// Tells which form the bytes are in, from their first bytes.
LogEncoding DetectLogEncoding(const std::string& bytes) {
    if (StartsWith(bytes, "\xEF\xBB\xBF", 3)) {
        return LogEncoding::kUtf8WithMark;
    }
    if (StartsWith(bytes, "\xFF\xFE", 2)) {
        return LogEncoding::kUtf16LeWithMark;
    }
    if (StartsWith(bytes, "\xFE\xFF", 2)) {
        return LogEncoding::kUtf16BeWithMark;
    }
    return LogEncoding::kUtf8;
}

// Returns the text of the log in UTF-8, without its mark.
std::string DecodeLog(const std::string& bytes) {
    switch (DetectLogEncoding(bytes)) {
    case LogEncoding::kUtf8WithMark:
        return bytes.substr(3);
    case LogEncoding::kUtf16LeWithMark:
        return DecodeUtf16(bytes, true);
    case LogEncoding::kUtf16BeWithMark:
        return DecodeUtf16(bytes, false);
    case LogEncoding::kUtf8:
        break;
    }
    return bytes;
}
