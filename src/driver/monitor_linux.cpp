// Start-up and the whole run of the monitor.
//
// The mice are opened before the stamps are seeded and before anything is printed, so reports
// that arrive during the listing wait in the kernel's queue for the first pump pass.
//
// Each line reaches standard output as it is printed (report_posix.cpp). Ends, as Unix tools do:
//
//   SIGINT, SIGTERM, SIGHUP          -> ends after the report being printed: status 0
//   a write fails (a full disk)      -> "mousecheck: cannot write the report: ...": status 1
//   the reader went away (| head)    -> SIGPIPE ends the process quietly (a shell shows 141);
//                                       where SIGPIPE is ignored, a failed write as above
#include "driver/monitor_linux.h"

#include <cstdio>
#include <cstring>

#include "analysis/report.h"
#include "devices/devices_linux.h"
#include "driver/receiver_linux.h"
#include "timing/timing.h"

// Sets up, lists the mice, prints the banner and monitors; returns the exit status.
int RunMonitor(const char* root) {
    const std::vector<MouseDevice> present = SetUpReceiver(root);
    SeedTimingState();
    ListMouseDevices(present);
    PrintLine("RAW INPUT Mouse:\n");
    RunPump();
    if (const int error = CloseReport()) {
        PrintErrorLine("mousecheck: cannot write the report: %s\n", std::strerror(error));
        return kExitWriteFailed;
    }
    return kExitStopped;
}
