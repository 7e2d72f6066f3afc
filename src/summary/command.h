// The mousecheck-summary command: its arguments, the reading of the log, its output and status.
#pragma once

#include <cstdio>

// Exit statuses, as cmp and diff have them.
constexpr int kSummaryHealthy = 0;  // what was tested shows nothing, in every run
constexpr int kSummaryFault = 1;    // a fault, a suspect or a test to repeat, in any run
constexpr int kSummaryTrouble = 2;  // the log cannot be read, holds no run or nothing tested; a wrong command line

// Runs the command: reads the log named on the command line, or the input when none is named
// or it is "-", and writes the summary to out and any error to err. Returns the exit status.
int RunSummaryCommand(int argc, const char* const* argv, std::FILE* in, std::FILE* out, std::FILE* err);
