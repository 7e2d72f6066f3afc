// Runs the real mousecheck.exe for end-to-end tests.
#include "monitor_process.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace {

constexpr DWORD kStartTimeoutMs = 50000;  // a first start: 10 s in a new prefix, over 20 s beside two busy loops
constexpr DWORD kExitTimeoutMs = 5000;
constexpr DWORD kSettleTimeoutMs = 10000;  // a 20,000-record burst settles in about 1.3 s
constexpr int kSentinelBatch = 200;        // about 5 KiB of output, more than one stdio buffer
constexpr DWORD kSettlePollMs = 10;
constexpr int kSettlePollsPerBatch = 20;
constexpr char kSentinelLine[] = "wheel check down:";
constexpr DWORD kFirstErrorStatus = 0xC0000000;  // an exception code, as a process's exit status

// Creates a pipe whose write end the child inherits.
bool ChildWritePipe(HANDLE* read, HANDLE* write) {
    SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
    return CreatePipe(read, write, &inherit, 0) && SetHandleInformation(*read, HANDLE_FLAG_INHERIT, 0);
}

}  // namespace

MonitorProcess::~MonitorProcess() {
    if (heldThread_ != nullptr) {
        CloseHandle(heldThread_);
    }
    if (process_.hProcess != nullptr) {
        TerminateProcess(process_.hProcess, kKilledStatus);
        WaitForExit("end of the test");
    }
}

void MonitorProcess::Kill(const char* why) {
    std::fprintf(stderr, "mousecheck killed: %s\n", why);
    std::fflush(stderr);
    TerminateProcess(process_.hProcess, kKilledStatus);
}

bool MonitorProcess::Start(const char* outputFile) {
    SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
    HANDLE outWrite = nullptr;
    HANDLE errWrite = nullptr;
    if (outputFile != nullptr) {
        outWrite = CreateFileA(outputFile, GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
    }
    if ((outputFile == nullptr && !ChildWritePipe(&outRead_, &outWrite)) ||
        outWrite == INVALID_HANDLE_VALUE || !ChildWritePipe(&errRead_, &errWrite)) {
        return false;
    }
    HANDLE nul = CreateFileA("NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                             OPEN_EXISTING, 0, nullptr);
    STARTUPINFOA startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = nul;
    startup.hStdOutput = outWrite;
    startup.hStdError = errWrite;
    std::string commandLine = "\"" + ProgramPath("MOUSECHECK_EXE", "mousecheck.exe") + "\"";
    const DWORD console = outputFile != nullptr ? CREATE_NEW_CONSOLE : 0;
    const BOOL started = CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, TRUE, console,
                                        nullptr, nullptr, &startup, &process_);
    CloseHandle(outWrite);
    CloseHandle(errWrite);
    CloseHandle(nul);
    if (!started) {
        return false;
    }
    if (outRead_ != nullptr) {
        readers_[readerCount_++] = CreateThread(nullptr, 0, ReadOutput, this, 0, nullptr);
    }
    readers_[readerCount_++] = CreateThread(nullptr, 0, ReadErrors, this, 0, nullptr);

    return FindReceiver();
}

bool MonitorProcess::Attach() {
    return FindReceiver();
}

void MonitorProcess::Detach() {
    CloseHandle(process_.hProcess);
    process_ = {};
}

bool MonitorProcess::FindReceiver() {
    // The receiver exists before the listing; a sent message is handled only by the pump. A
    // monitor that is still starting may refuse the message at once: ask again until the limit.
    const ULONGLONG deadline = GetTickCount64() + kStartTimeoutMs;
    DWORD_PTR ignored = 0;
    for (;;) {
        const ULONGLONG now = GetTickCount64();
        if (now >= deadline) {
            Kill("its pump did not answer within 50 s of its start");
            return false;
        }
        window_ = FindWindowExA(HWND_MESSAGE, nullptr, "CorvelTestSuiteWin32", nullptr);
        DWORD owner = 0;
        const DWORD thread = window_ != nullptr ? GetWindowThreadProcessId(window_, &owner) : 0;
        if (window_ != nullptr && process_.hProcess == nullptr) {  // attaching: any monitor
            process_.hProcess = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION |
                                            PROCESS_TERMINATE, FALSE, owner);
            process_.dwProcessId = owner;
            process_.dwThreadId = thread;
        }
        if (window_ != nullptr && owner == process_.dwProcessId &&
            SendMessageTimeoutA(window_, WM_NULL, 0, 0, SMTO_BLOCK, static_cast<UINT>(deadline - now),
                                &ignored) != 0) {
            return true;
        }
        Sleep(10);
    }
}

bool MonitorProcess::Sync(DWORD timeoutMs) {
    DWORD_PTR ignored = 0;
    if (SendMessageTimeoutA(window_, WM_NULL, 0, 0, SMTO_BLOCK, timeoutMs, &ignored) != 0) {
        return true;
    }
    if (WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT) {
        Kill("its pump did not handle a sent message in time");
    }
    return false;
}

void MonitorProcess::Inject(const std::vector<INPUT>& records) const {
    std::vector<INPUT> copy = records;
    SendInput(static_cast<UINT>(copy.size()), copy.data(), sizeof(INPUT));
}

bool MonitorProcess::Hold() {
    if (heldThread_ != nullptr || !Sync(5000)) {
        std::fprintf(stderr, "mousecheck not held: %s\n",
                     heldThread_ != nullptr ? "it is held already" : "its pump did not answer");
        return false;
    }
    DWORD owner = 0;
    const DWORD pump = GetWindowThreadProcessId(window_, &owner);
    heldThread_ = OpenThread(THREAD_SUSPEND_RESUME | THREAD_GET_CONTEXT, FALSE, pump);
    // Suspension may take effect later; reading the thread's registers waits until it has.
    CONTEXT registers{};
    registers.ContextFlags = CONTEXT_CONTROL;
    if (heldThread_ == nullptr || SuspendThread(heldThread_) == static_cast<DWORD>(-1) ||
        !GetThreadContext(heldThread_, &registers)) {
        std::fprintf(stderr, "mousecheck's pump thread could not be suspended: error %lu\n", GetLastError());
        LetGo();
        return false;
    }
    return true;
}

bool MonitorProcess::LetGo() {
    const bool held = heldThread_ != nullptr && ResumeThread(heldThread_) != static_cast<DWORD>(-1);
    if (heldThread_ != nullptr) {
        CloseHandle(heldThread_);
        heldThread_ = nullptr;
    }
    if (!held) {
        std::fprintf(stderr, "mousecheck could not be let go: error %lu\n", GetLastError());
    }
    return held;
}

bool MonitorProcess::Settle(size_t sentinelLinesBefore) {
    const std::vector<INPUT> batch(kSentinelBatch, MouseInput(MOUSEEVENTF_WHEEL, static_cast<DWORD>(-WHEEL_DELTA)));
    const ULONGLONG deadline = GetTickCount64() + kSettleTimeoutMs;
    size_t seen = 0;  // sentinel lines found so far
    size_t from = 0;  // where the search goes on
    while (GetTickCount64() < deadline) {
        Inject(batch);
        for (int poll = 0; poll < kSettlePollsPerBatch; ++poll) {
            {
                // Searched in place and only once: a monitor gone wrong may write hundreds of MB.
                const std::lock_guard<std::mutex> lock(mutex_);
                for (size_t at = out_.find(kSentinelLine, from); at != std::string::npos;
                     at = out_.find(kSentinelLine, from)) {
                    ++seen;
                    from = at + 1;
                }
                // The output may end in the first part of a sentinel line.
                const size_t partial = std::min(out_.size(), sizeof(kSentinelLine) - 2);
                from = std::max(from, out_.size() - partial);
            }
            if (seen > sentinelLinesBefore) {
                return true;
            }
            if (WaitForSingleObject(process_.hProcess, 0) == WAIT_OBJECT_0) {
                DWORD status = kKilledStatus;
                GetExitCodeProcess(process_.hProcess, &status);
                std::fprintf(stderr, "mousecheck ended, with status %s, before a line of its sentinel "
                                     "wheel records came through the pipe\n", StatusName(status).c_str());
                return false;
            }
            Sleep(kSettlePollMs);
        }
    }
    Kill("no line of its sentinel wheel records came through the pipe within 10 s");
    return false;
}

DWORD MonitorProcess::CloseWindow() {
    PostMessageA(window_, WM_CLOSE, 0, 0);
    return WaitForExit("close request");
}

DWORD MonitorProcess::PostQuit() {
    PostThreadMessageA(process_.dwThreadId, WM_QUIT, 0, 0);
    return WaitForExit("quit message");
}

DWORD MonitorProcess::PressCtrlC() {
    // The event goes to every process on the console, this one too while it is attached.
    FreeConsole();
    if (!AttachConsole(process_.dwProcessId)) {
        std::fprintf(stderr, "the monitor's console could not be attached: error %lu\n", GetLastError());
    }
    SetConsoleCtrlHandler(nullptr, TRUE);
    GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0);
    const DWORD status = WaitForExit("Ctrl+C");
    FreeConsole();
    SetConsoleCtrlHandler(nullptr, FALSE);
    return status;
}

DWORD MonitorProcess::WaitForExit(const char* request) {
    if (WaitForSingleObject(process_.hProcess, kExitTimeoutMs) == WAIT_TIMEOUT) {
        const std::string why = std::string("it had not exited 5 s after its ") + request;
        Kill(why.c_str());
        if (WaitForSingleObject(process_.hProcess, kExitTimeoutMs) == WAIT_TIMEOUT) {
            std::fprintf(stderr, "mousecheck still ran 5 s after it was killed\n");
        }
    }
    DWORD status = kKilledStatus;
    GetExitCodeProcess(process_.hProcess, &status);
    if (status >= kFirstErrorStatus && status != static_cast<DWORD>(STATUS_CONTROL_C_EXIT)) {
        std::fprintf(stderr, "mousecheck crashed after its %s: %s\n", request, StatusName(status).c_str());
    }
    // The pipes close when the last process holding them ends; one that the monitor started
    // (Wine's services, for the first program of a session) may hold them for ever.
    if (readerCount_ > 0 &&
        WaitForMultipleObjects(readerCount_, readers_, TRUE, kExitTimeoutMs) == WAIT_TIMEOUT) {
        std::fprintf(stderr, "mousecheck's output pipes were still open 5 s after it ended; "
                             "reading stopped there\n");
        for (DWORD i = 0; i < readerCount_; ++i) {
            CancelSynchronousIo(readers_[i]);
        }
        WaitForMultipleObjects(readerCount_, readers_, TRUE, kExitTimeoutMs);
    }
    for (; readerCount_ > 0; --readerCount_) {
        CloseHandle(readers_[readerCount_ - 1]);
    }
    for (HANDLE* handle : {&outRead_, &errRead_, &process_.hThread}) {
        if (*handle != nullptr) {
            CloseHandle(*handle);
            *handle = nullptr;
        }
    }
    CloseHandle(process_.hProcess);
    process_ = {};
    return status;
}

DWORD WINAPI MonitorProcess::ReadOutput(void* monitor) {
    auto* self = static_cast<MonitorProcess*>(monitor);
    self->Read(self->outRead_, &self->out_);
    return 0;
}

DWORD WINAPI MonitorProcess::ReadErrors(void* monitor) {
    auto* self = static_cast<MonitorProcess*>(monitor);
    self->Read(self->errRead_, &self->err_);
    return 0;
}

void MonitorProcess::Read(HANDLE pipe, std::string* target) {
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(pipe, buffer, sizeof(buffer), &got, nullptr) && got > 0) {
        const std::lock_guard<std::mutex> lock(mutex_);
        target->append(buffer, got);
    }
}

std::string MonitorProcess::Output() {
    const std::lock_guard<std::mutex> lock(mutex_);
    return out_;
}

std::string MonitorProcess::Errors() {
    const std::lock_guard<std::mutex> lock(mutex_);
    return err_;
}

bool WaitForMouse() {
    for (int attempt = 0; attempt < 200; ++attempt) {
        RAWINPUTDEVICELIST devices[32];
        UINT count = 32;
        const UINT listed = GetRawInputDeviceList(devices, &count, sizeof(RAWINPUTDEVICELIST));
        for (UINT i = 0; listed != static_cast<UINT>(-1) && i < listed; ++i) {
            if (devices[i].dwType == RIM_TYPEMOUSE) {
                return true;
            }
        }
        Sleep(100);
    }
    return false;
}

std::string StatusName(DWORD status) {
    const struct {
        DWORD code;
        const char* name;
    } known[] = {
        {0, "0"},
        {kKilledStatus, "0xDEAD (killed by the test)"},
        {static_cast<DWORD>(STATUS_ACCESS_VIOLATION), "0xC0000005 (access violation)"},
        {static_cast<DWORD>(STATUS_INTEGER_DIVIDE_BY_ZERO), "0xC0000094 (integer division by zero)"},
        {static_cast<DWORD>(STATUS_ILLEGAL_INSTRUCTION), "0xC000001D (illegal instruction)"},
        {static_cast<DWORD>(STATUS_STACK_OVERFLOW), "0xC00000FD (stack overflow)"},
        {0xC0000409, "0xC0000409 (stack buffer overrun, or abort)"},
        {static_cast<DWORD>(STATUS_CONTROL_C_EXIT), "0xC000013A (ended by Ctrl+C)"},
        {static_cast<DWORD>(STATUS_BREAKPOINT), "0x80000003 (breakpoint)"},
    };
    for (const auto& k : known) {
        if (k.code == status) {
            return k.name;
        }
    }
    char text[64];
    std::snprintf(text, sizeof(text), status >= kFirstErrorStatus ? "0x%08lX (an exception)" : "%lu", status);
    return text;
}

std::string ProgramPath(const char* variable, const char* fallback) {
    const char* path = std::getenv(variable);
    std::string windowsPath = path != nullptr ? path : fallback;
    if (!windowsPath.empty() && windowsPath[0] == '/') {
        windowsPath = "Z:" + windowsPath;  // Wine's drive for the Unix root
    }
    for (char& c : windowsPath) {
        c = c == '/' ? '\\' : c;
    }
    return windowsPath;
}

double Seconds() {
    LARGE_INTEGER counter;
    LARGE_INTEGER frequency;
    QueryPerformanceCounter(&counter);
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

void SpinUntil(double when) {
    while (Seconds() < when) {
        YieldProcessor();
    }
}

INPUT MouseInput(DWORD flags, DWORD data, LONG dx, LONG dy) {
    INPUT input{};
    input.type = INPUT_MOUSE;
    input.mi.dwFlags = flags;
    input.mi.mouseData = data;
    input.mi.dx = dx;
    input.mi.dy = dy;
    return input;
}

std::vector<std::string> SplitLines(const std::string& output) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < output.size()) {
        const size_t end = output.find("\r\n", start);
        if (end == std::string::npos) {
            lines.push_back(output.substr(start));  // no CRLF: kept whole, so it fails to match
            break;
        }
        lines.push_back(output.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

bool IsSentinelLine(const std::string& line) {
    return line == "wheel too fast!" || MatchLine("wheel check down:#ms", line, nullptr);
}

size_t BannerIndex(const std::vector<std::string>& lines) {
    size_t banner = 0;
    while (banner < lines.size() && lines[banner] != "RAW INPUT Mouse:") {
        ++banner;
    }
    return banner;
}

bool MatchLine(const std::string& pattern, const std::string& line, std::vector<int64_t>* numbers) {
    size_t at = 0;
    for (const char p : pattern) {
        if (p != '#') {
            if (at >= line.size() || line[at] != p) {
                return false;
            }
            ++at;
            continue;
        }
        const size_t digits = at;
        while (at < line.size() && line[at] >= '0' && line[at] <= '9') {
            ++at;
        }
        if (at == digits || at - digits > 18) {
            return false;
        }
        if (numbers != nullptr) {
            numbers->push_back(std::stoll(line.substr(digits, at - digits)));
        }
    }
    return at == line.size();
}
