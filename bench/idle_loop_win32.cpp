// The least a polling monitor can do: take queued messages, sleep 1 ms, forever. Its CPU time
// is the yardstick for the monitor's idle cost.
#include <windows.h>

// Polls the message queue every millisecond until a quit message.
int main() {
    MSG message;
    for (;;) {
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT) {
                return 0;
            }
            DispatchMessageA(&message);
        }
        Sleep(1);
    }
}
