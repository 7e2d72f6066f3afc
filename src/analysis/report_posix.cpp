// Report lines on standard output, each written whole with one write(2) as it is printed.
//
// Standard output is not the C library's stream here: a line reaches a pipe or a file when it
// is printed, whatever standard output is connected to, so a reader such as tee has it at once
// and keeps it when Ctrl+C ends both; and since each line, and each line on standard error, is
// one write of at most PIPE_BUF bytes, a standard-error line never lands inside a report line
// (2>&1).
//
// A line is written once poll says the output has room. A pipe takes a write of at most PIPE_BUF
// bytes whole or not at all (POSIX; pipe(7)), and with room it takes it at once: so a line that
// waits for its reader has none of its bytes in the pipe. A quit (SIGINT, SIGTERM, SIGHUP, with
// no SA_RESTART) ends the wait, which is done with the quit signals blocked while the flag is
// looked at, so that one that comes just before the wait still ends it:
//
//   room, no quit                              -> written at once
//   no room, no quit                           -> waited for, however long: a reader paused with
//                                                 Ctrl+S, or read later, gets every line
//   no room, a quit comes (or came)            -> waited for until kQuitGraceMs after the first
//                                                 wait that saw the quit; a reader that reads by
//                                                 then gets this line and those after it whole
//   no room when the grace ends                -> the line given up whole, and every line after
//                                                 it; not an error: the run ends as a quit
//   interrupted by a signal (EINTR)            -> waited for and written again
//   short (a terminal or a socket with room    -> the rest waited for and written; so only there
//   for part of it)                               can a line given up at the grace's end be cut
//   would block (O_NONBLOCK, EAGAIN: another   -> waited for again
//   writer took the room)
//   fails otherwise (a full disk, EPIPE)       -> recorded in reportError, once
#include "analysis/report.h"

#include <poll.h>
#include <signal.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>

int reportError = 0;

namespace {

constexpr int64_t kMsPerSecond = 1000;
constexpr int64_t kNsPerMs = 1000000;

const volatile std::sig_atomic_t kNeverQuits = 0;

// The quit that a wait for room gives way to, and the reader's grace after it.
struct Output {
    const volatile std::sig_atomic_t* quit = &kNeverQuits;  // set once a quit is requested
    sigset_t quitSignals{};      // blocked while the wait looks at *quit
    int64_t graceEndsMs = -1;    // on the monotonic clock; -1 until a wait sees the quit
    bool givenUp = false;        // the grace ended with a line waiting: nothing more is written
};

Output output;

// Returns the monotonic clock in milliseconds: the grace is real time, whatever clock the
// reports are stamped with.
int64_t GraceClockMs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<int64_t>(now.tv_sec) * kMsPerSecond + now.tv_nsec / kNsPerMs;
}

// Waits until the descriptor has room for a line (or has an error, which the write then gives);
// after a quit, no longer than the grace: false, with everything given up, when it ended first.
bool WaitForRoom(int fd) {
    for (;;) {
        pollfd room{fd, POLLOUT, 0};
        int ready = 0;
        if (*output.quit == 0) {
            sigset_t unblocked;
            sigprocmask(SIG_BLOCK, &output.quitSignals, &unblocked);
            const bool quit = *output.quit != 0;
            ready = quit ? 0 : ppoll(&room, 1, nullptr, &unblocked);
            sigprocmask(SIG_SETMASK, &unblocked, nullptr);
            if (quit) {
                continue;  // it came just now: the grace begins
            }
        } else {
            const int64_t now = GraceClockMs();
            if (output.graceEndsMs < 0) {
                output.graceEndsMs = now + kQuitGraceMs;
            }
            const int64_t left = output.graceEndsMs - now;
            ready = left > 0 ? poll(&room, 1, static_cast<int>(left)) : 0;
            if (ready == 0) {
                output.givenUp = true;
                return false;
            }
        }
        if (ready > 0 || errno != EINTR) {
            return true;
        }
    }
}

// Writes all of the text to the descriptor once it has room; returns 0, or the error that
// stopped it. Text given up after a quit is no error.
int WriteWhole(int fd, const char* text, size_t size) {
    while (size > 0 && !output.givenUp) {
        if (!WaitForRoom(fd)) {
            return 0;
        }
        const ssize_t written = write(fd, text, size);
        if (written >= 0) {
            text += written;
            size -= static_cast<size_t>(written);
        } else if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
            return errno;
        }
    }
    return 0;
}

// Formats one line into the buffer and writes it whole; returns 0 or the error of the write.
// A line longer than the buffer is cut to it, its last byte the line's end.
__attribute__((format(printf, 2, 0))) int WriteLine(int fd, const char* format, va_list arguments) {
    char line[kReportLineMax];
    const int length = std::vsnprintf(line, sizeof(line), format, arguments);
    if (length < 0) {
        return EINVAL;
    }
    size_t size = static_cast<size_t>(length);
    if (size >= sizeof(line)) {
        size = sizeof(line) - 1;
        line[size - 1] = '\n';
    }
    return WriteWhole(fd, line, size);
}

}  // namespace

// Makes a wait for room give way to the quit.
void WatchQuitForReport(const volatile std::sig_atomic_t* requested, const sigset_t& signals) {
    output = {};
    output.quit = requested;
    output.quitSignals = signals;
}

// Prints one report line to standard output in one write.
void PrintLine(const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    const int error = WriteLine(STDOUT_FILENO, format, arguments);
    va_end(arguments);
    if (error != 0 && reportError == 0) {
        reportError = error;
    }
}

// Prints one line to standard error in one write; a failure there has nowhere to be said.
void PrintErrorLine(const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    WriteLine(STDERR_FILENO, format, arguments);
    va_end(arguments);
}

// Closes standard output; a failure counts as a line that could not be written.
int CloseReport() {
    if (close(STDOUT_FILENO) != 0 && errno != EINTR && reportError == 0) {
        reportError = errno;
    }
    return reportError;
}
