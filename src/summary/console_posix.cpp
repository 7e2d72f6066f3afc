// The summary's standard input on POSIX systems: SIGINT ignored when it reads a pipe or a file.
// SIGTERM and SIGHUP keep their dispositions (the default ends it), and an inherited ignore of
// SIGINT is kept either way.
#include "summary/console.h"

#include <unistd.h>

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
