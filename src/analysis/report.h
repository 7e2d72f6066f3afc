// Report lines on standard output, each handed to the C runtime's formatted print in one call.
//
// On Windows that is the C runtime's own printf, not the one mingw-w64's C++ headers put in its
// place: on a console, where standard output is unbuffered, theirs writes a line one character
// at a time, while the runtime's own buffers the stream for the call and writes the line once.
// Files and pipes get the same bytes either way, CRLF through the stream's text mode. The
// runtime's own printf spells the 64-bit conversion %I64d.
#pragma once

#include <cinttypes>

#ifdef _WIN32
#define MOUSECHECK_PRId64 "I64d"
#define MOUSECHECK_PRINTF_FORMAT ms_printf
#else
#define MOUSECHECK_PRId64 PRId64
#define MOUSECHECK_PRINTF_FORMAT printf
#endif

// The error of the first report line that could not be written, or 0 while every write has
// succeeded. Output to a file or a pipe is written in blocks, so a failure shows at the line
// that filled a block, or at the end.
extern int reportError;

// Prints one report line to standard output in a single call of the C runtime; records its
// error in reportError when it fails.
void PrintLine(const char* format, ...) __attribute__((format(MOUSECHECK_PRINTF_FORMAT, 1, 2)));

// Writes out what standard output still holds and closes it; returns reportError, now also
// that of the flush and of the close (a file system may report a failed write only there).
int CloseReport();
