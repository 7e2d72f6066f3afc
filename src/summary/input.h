// What the summary's reading of a stream needs of its platform.
#pragma once

#include <cstdio>

// After a read of the stream failed with the error given, waits until it can be read again and
// returns true when the failure only meant "nothing yet" (a standard input left non-blocking by
// the program before, EAGAIN); returns false for any other error, which ends the reading.
bool WaitForInput(std::FILE* stream, int error);
