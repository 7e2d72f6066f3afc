// Runs the real mousecheck.exe for end-to-end tests, or attaches to one started elsewhere:
// standard output and standard error on pipes, input injected with SendInput, stopped by a close
// request or a posted quit.
//
// Standard output on a pipe is fully buffered by the monitor and written in 4 KiB blocks, and a
// posted message overtakes raw input that is still queued. So before it stops the monitor, a test
// calls Settle(): it injects "sentinel" wheel records until one of their lines comes through the
// pipe. Raw input is analysed in order, so that line proves every earlier record was analysed.
#pragma once

#include <windows.h>

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

// Exit status that CloseWindow() and PostQuit() report for a monitor that had to be killed.
constexpr DWORD kKilledStatus = 0xDEAD;

class MonitorProcess {
public:
    MonitorProcess() = default;
    MonitorProcess(const MonitorProcess&) = delete;
    MonitorProcess& operator=(const MonitorProcess&) = delete;
    ~MonitorProcess();

    // Starts the monitor and waits until its pump runs. Returns false, saying on standard error
    // which step it waited for, if it does not. Its standard output goes to a pipe, or, given a
    // file, to that file, with the monitor in a console of its own.
    bool Start(const char* outputFile = nullptr);

    // Finds a monitor started elsewhere, whose output this object does not see, and waits until
    // its pump runs. Returns false, as Start() does, if none appears.
    bool Attach();
    // Lets an attached monitor run on after this object is gone.
    void Detach();

    // Waits until the pump has handled what came before. A monitor that does not answer within
    // the time is killed, so no later wait hangs on it, and reported on standard error.
    bool Sync(DWORD timeoutMs);

    // Injects mouse input records in one call.
    void Inject(const std::vector<INPUT>& records) const;

    // Holds the monitor up, as a paused console or a busy machine holds its pass: once its pump
    // has handled what came before, suspends the thread of its pump and waits until that thread
    // has stopped. Returns false, saying why on standard error, if it cannot.
    bool Hold();
    // Lets a held monitor go on. Returns false, saying why, if it was not held.
    bool LetGo();

    // Injects sentinel wheel-down records until one of their lines has come through the pipe.
    // sentinelLinesBefore: how many "wheel check down" lines the test's own input produces. A
    // monitor that prints none within 10 s is killed and reported.
    bool Settle(size_t sentinelLinesBefore);

    // Asks the monitor to close its window, waits for it to exit, and returns the exit status.
    // A monitor still running 5 s later is killed and reported: kKilledStatus. Its output is
    // read to the end of what it wrote, not to the pipe's close, which may never come.
    DWORD CloseWindow();
    // Posts a quit message to the monitor's thread, waits for it to exit, and returns the status,
    // as CloseWindow() does.
    DWORD PostQuit();
    // Presses Ctrl+C in the monitor's console (started with a file), waits for it to exit, and
    // returns the status, as CloseWindow() does.
    DWORD PressCtrlC();

    HWND Window() const { return window_; }
    HANDLE Process() const { return process_.hProcess; }
    // Everything the monitor wrote to standard output so far (all of it once it has exited).
    std::string Output();
    // Everything the monitor wrote to standard error (complete once it has exited).
    std::string Errors();

private:
    bool FindReceiver();
    DWORD WaitForExit(const char* request);
    void Kill(const char* why);

    PROCESS_INFORMATION process_{};
    HWND window_ = nullptr;
    HANDLE outRead_ = nullptr;
    HANDLE errRead_ = nullptr;
    HANDLE heldThread_ = nullptr;  // the pump's thread while Hold() holds it
    // Threads that read the output pipes; Read() appends what a pipe carries until it closes or
    // the read is cancelled.
    static DWORD WINAPI ReadOutput(void* monitor);
    static DWORD WINAPI ReadErrors(void* monitor);
    void Read(HANDLE pipe, std::string* target);

    HANDLE readers_[2] = {};
    DWORD readerCount_ = 0;
    std::mutex mutex_;
    std::string out_;
    std::string err_;
};

// Names an exit status for a failure message: "0", or an exception such as
// "0xC0000005 (access violation)", or the status a killed monitor gets.
std::string StatusName(DWORD status);

// Path of a program as Windows sees it, from an environment variable holding a Unix or Windows
// path, or the fallback when the variable is not set.
std::string ProgramPath(const char* variable, const char* fallback);

// Waits up to 20 s until a mouse is known: a new Wine prefix may list only the keyboard at first.
// Returns false if none is.
bool WaitForMouse();

// Reads the performance counter in seconds.
double Seconds();

// Waits, spinning, until the counter reaches the given time in seconds: exact to well under a
// millisecond, where Sleep rounds up to the timer's tick.
void SpinUntil(double when);

// Input records for SendInput.
INPUT MouseInput(DWORD flags, DWORD data = 0, LONG dx = 0, LONG dy = 0);

// Splits output into lines, each of which must end in CRLF; a line without it is kept whole.
std::vector<std::string> SplitLines(const std::string& output);

// Tells whether a line is one that the sentinel wheel records of Settle() print.
bool IsSentinelLine(const std::string& line);

// Returns the index of the banner line, or the number of lines when there is none.
size_t BannerIndex(const std::vector<std::string>& lines);

// Matches a line against a pattern in which "#" stands for a run of decimal digits, which are
// appended to numbers.
bool MatchLine(const std::string& pattern, const std::string& line, std::vector<int64_t>* numbers);
