// Report lines on standard output, each handed to the C runtime's formatted print in one call.
#include "analysis/report.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>

int reportError = 0;

// Prints one report line to standard output in a single call of the C runtime.
void PrintLine(const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    errno = 0;
    const int written = __ms_vfprintf(stdout, format, arguments);
    va_end(arguments);
    if (written < 0 && reportError == 0) {
        reportError = errno != 0 ? errno : EIO;
    }
}

// Flushes and closes standard output; a failure counts as a line that could not be written.
int CloseReport() {
    errno = 0;
    const bool failed = std::ferror(stdout) != 0;
    if ((std::fclose(stdout) != 0 || failed) && reportError == 0) {
        reportError = errno != 0 ? errno : EIO;
    }
    return reportError;
}
