// The summary's platform on POSIX systems: SIGINT ignored when it reads a pipe or a file (SIGTERM
// and SIGHUP keep their dispositions, the default ends it, and an inherited ignore of SIGINT is
// kept either way); a log opened by its path's bytes; a non-blocking input waited for.
#include "summary/console.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

// Ignores SIGINT unless standard input is a terminal; POSIX input is bytes already.
void PrepareConsole() {
    if (isatty(STDIN_FILENO) == 0) {
        std::signal(SIGINT, SIG_IGN);
    }
}

// Opens the log with the C runtime: POSIX paths are bytes.
std::FILE* OpenLog(const char* path) {
    return std::fopen(path, "rb");
}

// Waits with poll() after EAGAIN; any other error ends the reading.
bool WaitForInput(std::FILE* stream, int error) {
    if (error != EAGAIN && error != EWOULDBLOCK) {
        return false;
    }
    pollfd waited{fileno(stream), POLLIN, 0};
    int ready = 0;
    do {
        ready = poll(&waited, 1, -1);
    } while (ready < 0 && errno == EINTR);
    if (ready < 0) {
        return false;
    }
    std::clearerr(stream);
    return true;
}
