// Start-up and the whole run of the monitor.
//
// Raw input is registered before the stamps are seeded and before anything is printed, so
// input that arrives during the listing waits in the queue for the first pump pass.
#include "driver/monitor_win32.h"

#include <windows.h>

#include "analysis/report.h"
#include "devices/devices_win32.h"
#include "driver/receiver_win32.h"
#include "timing/timing.h"

// Sets up, lists the mice, prints the banner and monitors; returns the exit status.
int RunMonitor() {
    const HINSTANCE instance = GetModuleHandleA(nullptr);
    if (!SetUpReceiver(instance)) {
        return kExitNoReceiver;
    }
    SeedTimingState();
    ListMouseDevices();
    PrintLine("RAW INPUT Mouse:\n");
    RunPump();
    return kExitStopped;
}
