// mousecheck-summary: reads a log of mousecheck and says what it shows of each button and of the
// wheel.
#include <cstdio>

#include "summary/command.h"
#include "summary/console.h"

// Runs the command on the process's own streams.
int main(int argc, char** argv) {
    PrepareConsole();
    return RunSummaryCommand(argc, argv, stdin, stdout, stderr);
}
