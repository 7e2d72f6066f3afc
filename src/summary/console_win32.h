// The summary's Windows console: the arguments as UTF-8, text shown on a console as UTF-16, and
// the wait for a key on a console that Windows made for the program alone. The decisions and the
// conversions take no system call, so the unit tests run them on every case.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>
#include <vector>

// The arguments of wmain in UTF-8, the program's name first.
std::vector<std::string> Utf8Arguments(int argc, wchar_t** argv);

// Counts the processes on this process's console (GetConsoleProcessList); 0 without a console.
unsigned long ProcessesOnConsole();

// Tells whether the C stream is a console (GetConsoleMode succeeds on its handle).
bool IsConsole(std::FILE* stream);

// The stream for the command to write standard output's or standard error's text to: the stream
// itself, unless it is a console; then a pipe whose UTF-8 a thread shows with WriteConsoleW, so
// that every character appears whatever the console's code page (the C runtime's bytes would be
// read in that code page, the OEM one, where a name such as 日志.txt does not exist).
std::FILE* ConsoleStream(std::FILE* stream);

// Shows what the streams of ConsoleStream() still hold, then, when WaitsForKey(), says "Press any
// key to close this window." and waits for a key on the console.
void FinishConsole();

// Tells whether to wait for a key before exiting: when the process is the only one on its console
// (processesOnConsole, from GetConsoleProcessList) and standard output is that console. Explorer
// makes a console for a program it starts (a double click, a log dropped on it), and that console
// closes with the program; from cmd or PowerShell the shell is on the console too (2 or more), and
// with no console at all the count is 0.
bool WaitsForKey(unsigned long processesOnConsole, bool outputIsConsole);

// Tells whether a run without arguments shows the help instead of reading standard input: when
// that input is a console made for the process alone (a double click), where nobody is about to
// paste a log.
bool ShowsHelpInstead(unsigned long processesOnConsole, bool inputIsConsole, size_t argumentCount);

// The UTF-8 form of a UTF-16 string (an unpaired surrogate becomes U+FFFD).
std::string Utf8FromWide(const std::wstring& wide);

// The UTF-16 form of UTF-8 bytes (an invalid byte becomes U+FFFD).
std::wstring WideFromUtf8(const char* bytes, size_t size);

// The length of the longest start of the bytes that does not end inside a UTF-8 sequence: text
// that arrives in blocks is converted up to there, and the rest waits for the next block.
size_t WholeUtf8Length(const char* bytes, size_t size);
