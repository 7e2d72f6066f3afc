// The summary's console on Windows.
//
// - Standard input is binary: the C runtime's text mode would make CRLF LF and take a byte 0x1A
//   (Ctrl+Z) for the end of the input, and UTF-16 holds that byte in characters such as К
//   (U+041A) or 业 (U+4E1A). Ctrl+C is ignored when that input is a pipe or a file:
//   SetConsoleCtrlHandler(NULL, TRUE) makes the process ignore CTRL_C_EVENT (Microsoft's
//   documentation of SetConsoleCtrlHandler); Ctrl+Break and a closed console still end it.
// - Arguments come as UTF-16 (wmain) and a log opens by its UTF-16 name (_wfopen): the ANSI code
//   page of an English Windows has no 日志.txt.
// - Text for a console is shown with WriteConsoleW; text for a file or a pipe stays UTF-8 bytes,
//   which is what the summary itself reads and what PowerShell 7 and editors take for text.
// - Alone on a console that Windows made for it (Explorer: a double click, a log dropped on the
//   exe), with standard output on it, the program waits for a key before it ends, or the window
//   would close with the verdict. Without arguments there it shows the help: nobody is about to
//   paste a log into that window.
#include "summary/console.h"
#include "summary/console_win32.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr DWORD kRelayBlockBytes = 4096;
constexpr size_t kLongestUtf8Sequence = 4;

// A stream of the command whose text goes to a console through a pipe.
struct ConsoleRelay {
    std::FILE* stream = nullptr;  // the pipe's write end, as the command's stream
    HANDLE read = nullptr;        // the pipe's read end, drained by the thread
    HANDLE console = nullptr;     // the console it stands for
    HANDLE thread = nullptr;
};

// Standard output's and standard error's relays, when they are consoles.
struct ConsoleState {
    ConsoleRelay relays[2];
    int relayCount = 0;
};

ConsoleState console;

// Shows UTF-8 on a console.
void WriteConsoleText(HANDLE target, const char* bytes, size_t size) {
    const std::wstring wide = WideFromUtf8(bytes, size);
    DWORD written = 0;
    WriteConsoleW(target, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
}

// Drains a relay's pipe to its console until the command's stream is closed; a UTF-8 sequence
// cut by a block waits for the rest.
DWORD WINAPI RelayToConsole(void* parameter) {
    const ConsoleRelay& relay = *static_cast<const ConsoleRelay*>(parameter);
    char block[kRelayBlockBytes + kLongestUtf8Sequence];
    size_t kept = 0;
    DWORD got = 0;
    while (ReadFile(relay.read, block + kept, kRelayBlockBytes, &got, nullptr) && got > 0) {
        const size_t size = kept + got;
        const size_t whole = WholeUtf8Length(block, size);
        WriteConsoleText(relay.console, block, whole);
        kept = size - whole;
        std::memmove(block, block + whole, kept);
    }
    WriteConsoleText(relay.console, block, kept);
    return 0;
}

}  // namespace

bool WaitsForKey(unsigned long processesOnConsole, bool outputIsConsole) {
    return processesOnConsole == 1 && outputIsConsole;
}

bool ShowsHelpInstead(unsigned long processesOnConsole, bool inputIsConsole, size_t argumentCount) {
    return processesOnConsole == 1 && inputIsConsole && argumentCount == 1;
}

std::string Utf8FromWide(const std::wstring& wide) {
    if (wide.empty()) {
        return {};
    }
    const int length = static_cast<int>(wide.size());
    const int size = WideCharToMultiByte(CP_UTF8, 0, wide.data(), length, nullptr, 0, nullptr, nullptr);
    std::string text(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), length, text.data(), size, nullptr, nullptr);
    return text;
}

std::wstring WideFromUtf8(const char* bytes, size_t size) {
    if (size == 0) {
        return {};
    }
    const int length = static_cast<int>(size);
    const int count = MultiByteToWideChar(CP_UTF8, 0, bytes, length, nullptr, 0);
    std::wstring wide(static_cast<size_t>(count), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, bytes, length, wide.data(), count);
    return wide;
}

size_t WholeUtf8Length(const char* bytes, size_t size) {
    // Looks back over the continuation bytes (10xxxxxx) at the end for the lead byte they follow.
    size_t lead = size;
    while (lead > 0 && size - lead < kLongestUtf8Sequence - 1 &&
           (static_cast<unsigned char>(bytes[lead - 1]) & 0xC0) == 0x80) {
        --lead;
    }
    if (lead == 0) {
        return size;
    }
    const auto first = static_cast<unsigned char>(bytes[lead - 1]);
    const size_t needed = first >= 0xF0 ? 4 : first >= 0xE0 ? 3 : first >= 0xC0 ? 2 : 1;
    return needed > size - lead + 1 ? lead - 1 : size;
}

std::vector<std::string> Utf8Arguments(int argc, wchar_t** argv) {
    std::vector<std::string> arguments;
    for (int i = 0; i < argc; ++i) {
        arguments.push_back(Utf8FromWide(argv[i]));
    }
    return arguments;
}

unsigned long ProcessesOnConsole() {
    // The count is returned even when the list is too short for every process.
    DWORD processes[2];
    return GetConsoleProcessList(processes, 2);
}

bool IsConsole(std::FILE* stream) {
    DWORD mode = 0;
    const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
    return handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode) != 0;
}

std::FILE* ConsoleStream(std::FILE* stream) {
    if (!IsConsole(stream) || console.relayCount == 2) {
        return stream;
    }
    ConsoleRelay& relay = console.relays[console.relayCount];
    HANDLE write = nullptr;
    if (!CreatePipe(&relay.read, &write, nullptr, 0)) {
        return stream;
    }
    // Text mode, as the standard streams have it: LF goes to the console as CR LF.
    const int descriptor = _open_osfhandle(reinterpret_cast<intptr_t>(write), _O_TEXT | _O_WRONLY);
    relay.stream = descriptor >= 0 ? _fdopen(descriptor, "w") : nullptr;
    relay.console = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
    relay.thread = relay.stream != nullptr ? CreateThread(nullptr, 0, RelayToConsole, &relay, 0, nullptr) : nullptr;
    if (relay.thread == nullptr) {
        if (relay.stream != nullptr) {
            std::fclose(relay.stream);
        } else if (descriptor >= 0) {
            _close(descriptor);
        } else {
            CloseHandle(write);
        }
        CloseHandle(relay.read);
        relay = ConsoleRelay{};
        return stream;
    }
    if (stream == stderr) {
        setvbuf(relay.stream, nullptr, _IONBF, 0);
    }
    ++console.relayCount;
    return relay.stream;
}

void FinishConsole() {
    for (; console.relayCount > 0; --console.relayCount) {
        ConsoleRelay& relay = console.relays[console.relayCount - 1];
        std::fclose(relay.stream);  // the thread reads the pipe to its end and returns
        WaitForSingleObject(relay.thread, INFINITE);
        CloseHandle(relay.thread);
        CloseHandle(relay.read);
        relay = ConsoleRelay{};
    }
    if (!WaitsForKey(ProcessesOnConsole(), IsConsole(stdout))) {
        return;
    }
    // The console's own handles: standard input may be a pipe or a file.
    HANDLE input = CreateFileW(L"CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                               nullptr, OPEN_EXISTING, 0, nullptr);
    HANDLE output = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, 0, nullptr);
    if (input == INVALID_HANDLE_VALUE || output == INVALID_HANDLE_VALUE) {
        return;
    }
    // Keys pressed while the log was read are dropped: the verdict stays until a key comes after it.
    FlushConsoleInputBuffer(input);
    constexpr wchar_t kPrompt[] = L"Press any key to close this window.";
    DWORD written = 0;
    WriteConsoleW(output, kPrompt, static_cast<DWORD>(sizeof(kPrompt) / sizeof(kPrompt[0]) - 1), &written, nullptr);
    INPUT_RECORD record{};
    DWORD got = 0;
    while (ReadConsoleInputW(input, &record, 1, &got) &&
           !(got == 1 && record.EventType == KEY_EVENT && record.Event.KeyEvent.bKeyDown)) {
    }
    CloseHandle(input);
    CloseHandle(output);
}

// Makes standard input binary, and ignores Ctrl+C unless it is a console.
void PrepareConsole() {
    _setmode(_fileno(stdin), _O_BINARY);
    if (_isatty(_fileno(stdin)) == 0) {
        SetConsoleCtrlHandler(nullptr, TRUE);
    }
}

std::FILE* OpenLog(const char* path) {
    const std::string name = path;
    // The name must be UTF-8, as the arguments are: a byte that is not becomes no file.
    if (MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, name.data(), static_cast<int>(name.size()), nullptr, 0) == 0 &&
        !name.empty()) {
        errno = EINVAL;
        return nullptr;
    }
    return _wfopen(WideFromUtf8(name.data(), name.size()).c_str(), L"rb");
}

// Never waits: every failed read ends the reading.
bool WaitForInput(std::FILE* /*stream*/, int /*error*/) {
    return false;
}
