// mousecheck-summary on Windows: reads a log of mousecheck and says what it shows of each button
// and of the wheel. The entry point is wmain (linked with -municode): the C runtime parses the
// command line as UTF-16 (Microsoft's "main function and command-line arguments"), so a log named
// outside the ANSI code page keeps its name, which is then passed on in UTF-8.
#include <cstdio>
#include <string>
#include <vector>

#include "summary/command.h"
#include "summary/console.h"
#include "summary/console_win32.h"

// Runs the command on the process's own streams, and keeps a window that Windows made for it open
// until a key is pressed.
int wmain(int argc, wchar_t** argv) {
    PrepareConsole();
    std::vector<std::string> arguments = Utf8Arguments(argc, argv);
    if (ShowsHelpInstead(ProcessesOnConsole(), IsConsole(stdin), arguments.size())) {
        arguments.push_back("--help");
    }
    std::vector<const char*> pointers;
    for (const std::string& argument : arguments) {
        pointers.push_back(argument.c_str());
    }
    std::FILE* out = ConsoleStream(stdout);
    std::FILE* err = ConsoleStream(stderr);
    const int status = RunSummaryCommand(static_cast<int>(pointers.size()), pointers.data(), stdin, out, err);
    FinishConsole();
    return status;
}
