// The bytes of a log as the monitor's reader keeps them, turned into UTF-8 text.
#pragma once

#include <string>

// The forms a log comes in, told apart by the mark at its start.
enum class LogEncoding {
    kUtf8,            // no mark: UTF-8 or plain ASCII, as a shell's ">" writes it
    kUtf8WithMark,    // EF BB BF, as some editors and PowerShell 7's "-Encoding utf8BOM" write
    kUtf16LeWithMark, // FF FE, as Windows PowerShell 5.1's ">" writes it
    kUtf16BeWithMark, // FE FF
};

// Tells which form the bytes are in, from their first bytes.
LogEncoding DetectLogEncoding(const std::string& bytes);

// Returns the text of the log in UTF-8, without its mark. UTF-16 is decoded unit by unit; a
// surrogate without its partner becomes U+FFFD, and an odd last byte (a log cut in the middle
// of a unit) is dropped. Line ends are left as they are.
std::string DecodeLog(const std::string& bytes);
