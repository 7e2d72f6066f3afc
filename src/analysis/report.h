// Report lines on standard output.
//
// On Windows each line is handed to the C runtime's own printf in one call, not the one
// mingw-w64's C++ headers put in its place: on a console, where standard output is unbuffered,
// theirs writes a line one character at a time, while the runtime's own buffers the stream for
// the call and writes the line once. Files and pipes get the same bytes either way, CRLF through
// the stream's text mode, in the C runtime's blocks. The runtime's own printf spells the 64-bit
// conversion %I64d.
//
// On Linux each line is formatted into a buffer and written whole, with one write(2), as it is
// printed, once standard output has room for it; a quit ends a wait for room within
// kQuitGraceMs (report_posix.cpp).
#pragma once

#include <cinttypes>
#include <cstddef>

#ifndef _WIN32
#include <signal.h>

#include <csignal>
#endif

#ifdef _WIN32
#define MOUSECHECK_PRId64 "I64d"
#define MOUSECHECK_PRINTF_FORMAT ms_printf
#else
#define MOUSECHECK_PRId64 PRId64
#define MOUSECHECK_PRINTF_FORMAT printf
#endif

// The longest line written whole on Linux, its end included: PIPE_BUF, what a pipe takes in one
// piece. Every line the monitor prints is far shorter (a device name is cut to 255 bytes as it
// is read); a longer one would be cut to this, its last byte the line's end.
constexpr size_t kReportLineMax = 4096;

// The error of the first report line that could not be written, or 0 while every write has
// succeeded. On Linux a failure shows at the line that failed; on Windows, where output to a
// file or a pipe is written in blocks, at the line that filled a block, or at the end.
extern int reportError;

// Prints one report line to standard output in a single call; records its error in reportError
// when it fails.
void PrintLine(const char* format, ...) __attribute__((format(MOUSECHECK_PRINTF_FORMAT, 1, 2)));

// Prints one line to standard error, written whole in one write (Linux; the Windows monitor
// writes nothing there).
void PrintErrorLine(const char* format, ...) __attribute__((format(printf, 1, 2)));

#ifndef _WIN32
// How long a line that waits for its reader may still wait once a quit was requested, in all,
// on the monotonic clock: a reader that reads within it gets every line whole.
constexpr int kQuitGraceMs = 1000;

// Linux: makes a line that waits for its reader give way to a quit: *requested is set (by one of
// the signals, which the wait blocks while it looks at it), the line waits at most what is left
// of kQuitGraceMs, then it and every line after it are given up whole. requested must live for
// the whole run.
void WatchQuitForReport(const volatile std::sig_atomic_t* requested, const sigset_t& signals);
#endif

// Closes standard output, on Windows writing out first what its stream still holds; returns
// reportError, now also that of the flush and of the close (a file system may report a failed
// write only there).
int CloseReport();
