// End to end under Wine: "mousecheck.exe | mousecheck-summary.exe" in a console of its own,
// clicks injected, then Ctrl+C in that console, which goes to every process on it. The monitor
// ends and its C runtime writes out what its buffer holds; the summary, which ignores Ctrl+C,
// reads the pipe to its end and prints. Run only under Wine: injected input clicks wherever a
// real desktop's cursor is.
//
// The program is its own pipeline's parent: started with "--pipeline OUTPUT", in a new console,
// it ignores Ctrl+C, starts both programs on that console with a pipe between them (the
// summary's standard output to OUTPUT), waits for both, and writes their statuses to
// OUTPUT.status.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "monitor_process.h"

namespace {

constexpr char kOutputFile[] = "summary_pipe_test-output.txt";
constexpr DWORD kPipelineTimeoutMs = 10000;
constexpr DWORD kHoldMs = 60;
constexpr DWORD kGapMs = 150;

// Starts a program on this console with the given standard handles; returns its process.
HANDLE StartOnThisConsole(const std::string& program, HANDLE in, HANDLE out) {
    STARTUPINFOA startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = in;
    startup.hStdOutput = out;
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION process{};
    std::string commandLine = "\"" + program + "\"";
    if (!CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process)) {
        return nullptr;
    }
    CloseHandle(process.hThread);
    return process.hProcess;
}

// Keeps the pipeline's parent alive through Ctrl+C. A handler, not SetConsoleCtrlHandler(NULL,
// TRUE), whose ignore its children would inherit.
BOOL WINAPI KeepRunning(DWORD) {
    return TRUE;
}

// Lets the next child inherit the handle, or not.
void Inheritable(HANDLE handle, bool inherit) {
    SetHandleInformation(handle, HANDLE_FLAG_INHERIT, inherit ? HANDLE_FLAG_INHERIT : 0);
}

// The pipeline's parent: runs the monitor into the summary and writes their statuses. Each child
// inherits only its own end of the pipe, so the summary sees the end of the pipe once the
// monitor has ended.
int RunPipeline(const char* output) {
    SetConsoleCtrlHandler(KeepRunning, TRUE);
    HANDLE read = nullptr;
    HANDLE write = nullptr;
    HANDLE file = CreateFileA(output, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    HANDLE nul = CreateFileA("NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (!CreatePipe(&read, &write, nullptr, 0) || file == INVALID_HANDLE_VALUE) {
        return 1;
    }
    Inheritable(read, true);
    Inheritable(file, true);
    HANDLE summary = StartOnThisConsole(ProgramPath("MOUSECHECK_SUMMARY_EXE", "mousecheck-summary.exe"), read, file);
    Inheritable(read, false);
    Inheritable(file, false);
    Inheritable(write, true);
    Inheritable(nul, true);
    HANDLE monitor = StartOnThisConsole(ProgramPath("MOUSECHECK_EXE", "mousecheck.exe"), nul, write);
    CloseHandle(read);
    CloseHandle(write);
    CloseHandle(file);
    DWORD monitorStatus = kKilledStatus;
    DWORD summaryStatus = kKilledStatus;
    if (monitor != nullptr && summary != nullptr) {
        WaitForSingleObject(monitor, INFINITE);  // the test kills it if it does not end
        if (WaitForSingleObject(summary, kPipelineTimeoutMs) == WAIT_TIMEOUT) {
            TerminateProcess(summary, kKilledStatus);
        }
        GetExitCodeProcess(monitor, &monitorStatus);
        GetExitCodeProcess(summary, &summaryStatus);
    }
    std::FILE* status = std::fopen((std::string(output) + ".status").c_str(), "w");
    std::fprintf(status, "%s %s\n", StatusName(monitorStatus).c_str(), StatusName(summaryStatus).c_str());
    std::fclose(status);
    return 0;
}

// Returns a file's contents, or "" when there is none.
std::string ReadFileText(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

// Returns the text with CR LF made LF.
std::string WithoutCr(std::string text) {
    for (size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at)) {
        text.erase(at, 1);
    }
    return text;
}

TEST(SummaryPipe, PrintsTheSummaryWhenCtrlCStopsTheMonitor) {
    ASSERT_TRUE(WaitForMouse()) << "Wine listed no mouse within 20 s";
    char self[MAX_PATH];
    GetModuleFileNameA(nullptr, self, sizeof(self));
    std::string commandLine = std::string("\"") + self + "\" --pipeline " + kOutputFile;
    STARTUPINFOA startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION parent{};
    ASSERT_TRUE(CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, CREATE_NEW_CONSOLE, nullptr,
                               nullptr, &startup, &parent));
    CloseHandle(parent.hThread);
    MonitorProcess monitor;
    ASSERT_TRUE(monitor.Attach()) << "the pipeline's monitor did not start";
    // The first press comes well after the stamps that the start seeds, as a person's would: a
    // press within 15 ms of them is a fast click by the monitor's rules.
    Sleep(kGapMs);
    for (int click = 0; click < 3; ++click) {
        monitor.Inject({MouseInput(MOUSEEVENTF_LEFTDOWN)});
        Sleep(kHoldMs);
        monitor.Inject({MouseInput(MOUSEEVENTF_LEFTUP)});
        Sleep(kGapMs);
    }
    // A press and a release in one pass, stamped together: held 0 ms, a fast click, so that the
    // summary's status (1) is not the one a Ctrl+C leaves under Wine (0).
    monitor.Inject({MouseInput(MOUSEEVENTF_LEFTDOWN), MouseInput(MOUSEEVENTF_LEFTUP)});
    EXPECT_TRUE(monitor.Sync(5000)) << "the monitor's pump did not answer within 5 s";
    Sleep(kGapMs);  // the output cannot be watched: it is buffered until the monitor ends
    const DWORD status = monitor.PressCtrlC();
    EXPECT_TRUE(status == static_cast<DWORD>(STATUS_CONTROL_C_EXIT) || status == 0) << StatusName(status);
    EXPECT_EQ(WaitForSingleObject(parent.hProcess, kPipelineTimeoutMs + 5000), WAIT_OBJECT_0)
        << "the summary had not ended 10 s after the monitor";
    CloseHandle(parent.hProcess);

    const std::string statuses = WithoutCr(ReadFileText(std::string(kOutputFile) + ".status"));
    EXPECT_TRUE(statuses == "0 1\n" || statuses == "0xC000013A (ended by Ctrl+C) 1\n")
        << "the monitor's and the summary's statuses: " << statuses;
    std::string summary = WithoutCr(ReadFileText(kOutputFile));
    // The shortest hold and the holds' ranges follow Wine's timing: masked.
    const auto mask = [&summary](const std::string& from, const std::string& to) {
        const size_t begin = summary.find(from);
        const size_t end = begin == std::string::npos ? begin : summary.find(to, begin + from.size());
        if (end == std::string::npos) {
            return false;
        }
        summary.replace(begin + from.size(), end - begin - from.size(), "#");
        return true;
    };
    ASSERT_TRUE(mask("shortest hold ", " ms\n")) << "no summary, or no shortest hold in it: \"" << summary << "\"";
    ASSERT_TRUE(mask("holds (ms): ", "\n")) << summary;
    EXPECT_EQ(summary,
              "standard input: run 1, lines 1 to 13, 1 mouse listed\n"
              "  left      4 presses, 4 releases, shortest hold # ms\n"
              "            warnings: 0 closed again within 15 ms of a release, 1 held 15 ms or less\n"
              "            holds (ms): #\n"
              "            suspect: too few holds to judge (10 needed)\n"
              "  right     not tested\n"
              "  middle    not tested\n"
              "  button 4  not tested\n"
              "  button 5  not tested\n"
              "  wheel     not tested\n"
              "  verdict:\n"
              "    left: 1 of 4 clicks bounced: repeat the test; one alone can come from a healthy mouse\n"
              "      at line 13\n"
              "    right, middle, button 4, button 5, wheel: not tested\n");
    DeleteFileA(kOutputFile);
    DeleteFileA((std::string(kOutputFile) + ".status").c_str());
}

}  // namespace

// Runs the tests, or, with "--pipeline OUTPUT", the pipeline's parent.
int main(int argc, char** argv) {
    if (argc == 3 && std::string(argv[1]) == "--pipeline") {
        return RunPipeline(argv[2]);
    }
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
