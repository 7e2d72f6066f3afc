// The summary's standard input on Windows: binary, and the console's Ctrl+C ignored when it
// reads a pipe or a file. SetConsoleCtrlHandler(NULL, TRUE) makes the process ignore CTRL_C_EVENT
// (Microsoft's documentation of SetConsoleCtrlHandler); Ctrl+Break and a closed console still
// end it.
#include "summary/console.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>

// Makes standard input binary, and ignores Ctrl+C unless it is a console.
void PrepareConsole() {
    _setmode(_fileno(stdin), _O_BINARY);
    if (_isatty(_fileno(stdin)) == 0) {
        SetConsoleCtrlHandler(nullptr, TRUE);
    }
}
