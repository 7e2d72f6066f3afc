// Report lines on standard output, each written whole with one write(2) as it is printed.
//
// Standard output is not the C library's stream here: a line reaches a pipe or a file when it
// is printed, whatever standard output is connected to, so a reader such as tee has it at once
// and keeps it when Ctrl+C ends both; and since each line, and each line on standard error, is
// one write of at most PIPE_BUF bytes, a standard-error line never lands inside a report line
// (2>&1). A write is seen through:
//
//   interrupted by a signal (EINTR)            -> written again
//   short (a pipe with little room)            -> the rest written
//   would block (O_NONBLOCK, EAGAIN)           -> waited for with poll(POLLOUT), then written again
//   fails otherwise (a full disk, EPIPE)       -> recorded in reportError, once
#include "analysis/report.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>

int reportError = 0;

namespace {

// Writes all of the text to the descriptor; returns 0, or the error that stopped it.
int WriteWhole(int fd, const char* text, size_t size) {
    while (size > 0) {
        const ssize_t written = write(fd, text, size);
        if (written >= 0) {
            text += written;
            size -= static_cast<size_t>(written);
        } else if (errno == EAGAIN || errno == EWOULDBLOCK) {
            pollfd ready{fd, POLLOUT, 0};
            poll(&ready, 1, -1);  // until there is room, or a signal: either way the write is tried again
        } else if (errno != EINTR) {
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
