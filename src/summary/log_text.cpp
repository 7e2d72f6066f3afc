// The bytes of a log turned into UTF-8 text, block by block as they come, and the text into lines.
//
//   "RAW..."                     -> as it is (UTF-8 or ASCII; invalid bytes kept as they are)
//   EF BB BF "RAW..."            -> "RAW..." (the mark dropped)
//   FF FE 52 00 41 00 ...        -> "RA..." (UTF-16LE, the mark dropped)
//   FE FF 00 52 00 41 ...        -> "RA..." (UTF-16BE)
//   FF FE 3D D8 00 DE            -> F0 9F 98 80 (a surrogate pair: one character of 4 bytes)
//   FF FE 00 D8 41 00            -> EF BF BD "A" (a high surrogate alone: U+FFFD)
//   FF FE 52 00 41               -> "R" (the odd last byte dropped)
//   "...\n" EF BB BF "RAW..."    -> "...\nRAW..." (two logs joined: the second's mark dropped)
//   FF FE ... 0A 00 FF FE 52 00  -> "...\nR" (two UTF-16 logs joined: U+FEFF at a line start)
//   "...\n" FF FE 52 00          -> "...\nR" (a UTF-16 log joined after a UTF-8 one)
//   "a\r\nb"                     -> lines "a", "b" (the last line without its line end counts)
#include "summary/log_text.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr uint32_t kReplacementCharacter = 0xFFFD;
constexpr uint32_t kByteOrderMark = 0xFEFF;
constexpr uint32_t kHighSurrogateFirst = 0xD800;
constexpr uint32_t kLowSurrogateFirst = 0xDC00;
constexpr uint32_t kSurrogateLast = 0xDFFF;

constexpr char kUtf8Mark[] = "\xEF\xBB\xBF";
constexpr char kUtf16LeMark[] = "\xFF\xFE";
constexpr char kUtf16BeMark[] = "\xFE\xFF";

// Tells whether the bytes begin with the given mark.
bool StartsWith(const std::string& bytes, const char* mark, size_t size) {
    return bytes.size() >= size && bytes.compare(0, size, mark, size) == 0;
}

// Tells whether the bytes are the start of the mark, or all of it.
bool BeginsMark(const std::string& bytes, const char* mark) {
    return bytes.size() <= std::strlen(mark) && std::strncmp(mark, bytes.data(), bytes.size()) == 0;
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

// Decodes one UTF-16 unit.
void DecodeUnit(LogDecoder* decoder, uint32_t unit, std::string* text) {
    if (decoder->highSurrogate != 0) {
        const uint32_t high = decoder->highSurrogate;
        decoder->highSurrogate = 0;
        if (unit >= kLowSurrogateFirst && unit <= kSurrogateLast) {
            AppendUtf8(0x10000 + ((high - kHighSurrogateFirst) << 10) + (unit - kLowSurrogateFirst), text);
            return;
        }
        AppendUtf8(kReplacementCharacter, text);
    }
    const bool lineStart = decoder->lineStart;
    decoder->lineStart = unit == '\n';
    if (unit >= kHighSurrogateFirst && unit < kLowSurrogateFirst) {
        decoder->highSurrogate = unit;
    } else if (unit >= kLowSurrogateFirst && unit <= kSurrogateLast) {
        AppendUtf8(kReplacementCharacter, text);
    } else if (!(lineStart && unit == kByteOrderMark)) {
        AppendUtf8(unit, text);
    }  // else a mark at a line's start: dropped
}

// Decodes UTF-16 bytes, a unit's first byte kept until its second comes.
void DecodeUtf16(LogDecoder* decoder, const char* bytes, size_t size, std::string* text) {
    text->reserve(text->size() + size / 2 + 4);
    for (size_t at = 0; at < size; ++at) {
        const auto byte = static_cast<uint32_t>(static_cast<unsigned char>(bytes[at]));
        if (decoder->oddByte < 0) {
            decoder->oddByte = static_cast<int>(byte);
            continue;
        }
        const auto first = static_cast<uint32_t>(decoder->oddByte);
        decoder->oddByte = -1;
        DecodeUnit(decoder, decoder->littleEndian ? first | (byte << 8) : (first << 8) | byte, text);
    }
}

// Takes the first bytes of a line of UTF-8 while they may be a mark; returns how many it took,
// and says when a UTF-16 mark switched the decoder.
size_t ReadLineStart(LogDecoder* decoder, const char* bytes, size_t size, std::string* text) {
    size_t at = 0;
    while (at < size && decoder->lineStart) {
        std::string& head = decoder->head;
        head.push_back(bytes[at++]);
        if (head == kUtf8Mark) {
            head.clear();
            decoder->lineStart = false;
        } else if (head == kUtf16LeMark || head == kUtf16BeMark) {
            decoder->utf16 = true;
            decoder->littleEndian = head == kUtf16LeMark;
            head.clear();
            return at;
        } else if (!BeginsMark(head, kUtf8Mark) && !BeginsMark(head, kUtf16LeMark) && !BeginsMark(head, kUtf16BeMark)) {
            text->append(head);
            decoder->lineStart = head.back() == '\n';
            head.clear();
        }
    }
    return at;
}

}  // namespace

// Tells which form the bytes are in, from their first bytes.
LogEncoding DetectLogEncoding(const std::string& bytes) {
    if (StartsWith(bytes, kUtf8Mark, 3)) {
        return LogEncoding::kUtf8WithMark;
    }
    if (StartsWith(bytes, kUtf16LeMark, 2)) {
        return LogEncoding::kUtf16LeWithMark;
    }
    if (StartsWith(bytes, kUtf16BeMark, 2)) {
        return LogEncoding::kUtf16BeWithMark;
    }
    return LogEncoding::kUtf8;
}

// Appends the UTF-8 text of the next bytes of the log.
void DecodeLogBytes(LogDecoder* decoder, const char* bytes, size_t size, std::string* text) {
    size_t at = 0;
    while (at < size && !decoder->utf16) {
        if (decoder->lineStart) {
            at += ReadLineStart(decoder, bytes + at, size - at, text);
            continue;
        }
        const void* lineEnd = std::memchr(bytes + at, '\n', size - at);
        const size_t end = lineEnd == nullptr ? size : static_cast<size_t>(static_cast<const char*>(lineEnd) - bytes) + 1;
        text->append(bytes + at, end - at);
        decoder->lineStart = lineEnd != nullptr;
        at = end;
    }
    if (at < size) {
        DecodeUtf16(decoder, bytes + at, size - at, text);
    }
}

// Appends what the decoder still holds at the log's end.
void FinishDecoding(LogDecoder* decoder, std::string* text) {
    text->append(decoder->head);
    decoder->head.clear();
    if (decoder->highSurrogate != 0) {
        AppendUtf8(kReplacementCharacter, text);
        decoder->highSurrogate = 0;
    }
    decoder->oddByte = -1;
}

// Returns the text of the whole log in UTF-8, its marks dropped.
std::string DecodeLog(const std::string& bytes) {
    LogDecoder decoder;
    std::string text;
    DecodeLogBytes(&decoder, bytes.data(), bytes.size(), &text);
    FinishDecoding(&decoder, &text);
    return text;
}

namespace {

// Gives a whole line to sink, without the CRs at its end, and starts the next.
void GiveLine(LineSplitter* splitter, std::string_view line, LineSink sink, void* context) {
    while (!line.empty() && line.back() == '\r') {
        line.remove_suffix(1);
    }
    sink(context, line, ++splitter->number);
    splitter->line.clear();
    splitter->pending = false;
}

}  // namespace

// Gives each whole line of the text to sink, without its LF and the CRs before it.
void SplitLines(LineSplitter* splitter, std::string_view text, LineSink sink, void* context) {
    while (!text.empty()) {
        const size_t end = text.find('\n');
        std::string_view part = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        if (splitter->pending || end == std::string_view::npos) {
            // Gathered across blocks, up to the cap; a whole line in this block is read in place.
            const size_t room = kLineBytesMax - std::min(kLineBytesMax, splitter->line.size());
            splitter->line.append(part.substr(0, room));
            splitter->pending = true;
            if (end == std::string_view::npos) {
                break;
            }
            part = splitter->line;
        }
        GiveLine(splitter, part.substr(0, kLineBytesMax), sink, context);
    }
}

// Gives the last line, when the log ends without a line end after it.
void FinishLines(LineSplitter* splitter, LineSink sink, void* context) {
    if (splitter->pending) {
        GiveLine(splitter, splitter->line, sink, context);
    }
}
