// Start-up and the whole run of the monitor.
//
// The mice are opened before the stamps are seeded and before anything is printed, so reports
// that arrive during the listing wait in the kernel's queue for the first pump pass.
#include "driver/monitor_linux.h"

#include "analysis/report.h"
#include "devices/devices_linux.h"
#include "driver/receiver_linux.h"
#include "timing/timing.h"

// Sets up, lists the mice, prints the banner and monitors; returns the exit status.
int RunMonitor(const char* root) {
    SetUpReceiver(root);
    SeedTimingState();
    ListMouseDevices(root);
    PrintLine("RAW INPUT Mouse:\n");
    RunPump();
    return kExitStopped;
}
