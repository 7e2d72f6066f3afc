// Report lines on standard output, each handed to the C runtime's formatted print in one call.
#include "analysis/report.h"

#include <cstdarg>
#include <cstdio>

// Prints one report line to standard output in a single call of the C runtime.
void PrintLine(const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
#ifdef _WIN32
    __ms_vfprintf(stdout, format, arguments);
#else
    std::vfprintf(stdout, format, arguments);
#endif
    va_end(arguments);
}
