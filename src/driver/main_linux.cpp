// mousecheck: lists the mice, then reports every button press, release and wheel notch.
#include "driver/monitor_linux.h"

// Runs the monitor on this system's own devices; the command line is ignored.
int main() {
    return RunMonitor(kSystemRoot);
}
