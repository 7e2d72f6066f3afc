// What the summary's platform sets up before it reads, so that it reads standard input as the
// monitor's pipe gives it: bytes, and through to the end.
#pragma once

// Makes standard input binary (Windows: no CRLF or Ctrl+Z handling, UTF-16 reaches the decoder
// as bytes) and, when it is not a terminal, ignores the terminal's interrupt (Ctrl+C), which in
// "mousecheck | mousecheck-summary" goes to both programs: the monitor ends, writing its last
// lines, and the summary reads on to the end of the pipe. From a terminal, Ctrl+C still ends it.
void PrepareConsole();

#include <cstdio>

// Opens a named log, its path in UTF-8, to read its bytes; nullptr, with errno, when it cannot.
// Windows: the path as UTF-16 to _wfopen, so that a name outside the ANSI code page opens.
std::FILE* OpenLog(const char* path);

// After a read of the stream failed with the error given, waits until it can be read again and
// returns true when the failure only meant "nothing yet" (a standard input left non-blocking by
// the program before, EAGAIN); returns false for any other error, which ends the reading.
// POSIX: waited for with poll(), not made blocking, as O_NONBLOCK belongs to the file
// description that the shell and the pipe's other end share. Windows: the C runtime reads
// pipes, consoles and files blocking, so it never waits.
bool WaitForInput(std::FILE* stream, int error);
