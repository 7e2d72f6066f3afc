// The bytes of a log as they come, turned into UTF-8 text and then into lines.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// The forms a log comes in, told apart by the mark at its start.
enum class LogEncoding {
    kUtf8,            // no mark: UTF-8 or plain ASCII, as a shell's ">" writes it
    kUtf8WithMark,    // EF BB BF, as some editors and PowerShell 7's "-Encoding utf8BOM" write
    kUtf16LeWithMark, // FF FE, as Windows PowerShell 5.1's ">" writes it
    kUtf16BeWithMark, // FE FF
};

// Tells which form the bytes are in, from their first bytes.
LogEncoding DetectLogEncoding(const std::string& bytes);

// The decoder's state between blocks of bytes.
struct LogDecoder {
    bool utf16 = false;
    bool littleEndian = true;
    bool lineStart = true;   // the next byte or unit begins a line (a mark there is dropped)
    std::string head;        // UTF-8: the first bytes of a line, while they may still be a mark
    int oddByte = -1;        // UTF-16: the first byte of a unit whose second has not come
    uint32_t highSurrogate = 0;  // UTF-16: a high surrogate waiting for its low one
};

// Appends the UTF-8 text of the next bytes of the log. A mark at the start of any line is dropped
// (logs joined with cat or type carry the second one's mark in the middle); FF FE or FE FF at the
// start of a line of UTF-8 switches to UTF-16 from there. UTF-16: a surrogate without its partner
// becomes U+FFFD.
void DecodeLogBytes(LogDecoder* decoder, const char* bytes, size_t size, std::string* text);

// Appends what the decoder still holds at the log's end; an odd last byte of UTF-16 (a log cut in
// the middle of a unit) is dropped.
void FinishDecoding(LogDecoder* decoder, std::string* text);

// Returns the text of the whole log in UTF-8, its marks dropped. Line ends are left as they are.
std::string DecodeLog(const std::string& bytes);

// Lines longer than this are cut to it (no line of the monitor comes near it); memory stays bounded.
constexpr size_t kLineBytesMax = 4096;

// The splitter's state: the line being gathered and its number.
struct LineSplitter {
    std::string line;
    bool pending = false;  // a line has begun (it has a byte, or a CR)
    size_t number = 0;     // of the latest whole line given
};
using LineSink = void (*)(void* context, std::string_view line, size_t number);

// Gives each whole line of the text to sink, without its LF and the CRs before it.
void SplitLines(LineSplitter* splitter, std::string_view text, LineSink sink, void* context);

// Gives the last line, when the log ends without a line end after it.
void FinishLines(LineSplitter* splitter, LineSink sink, void* context);
