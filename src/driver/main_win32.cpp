// mousecheck: lists the mice, then reports every button press, release and wheel notch.
#include "driver/monitor_win32.h"

// Runs the monitor; the command line is ignored.
int main() {
    return RunMonitor();
}
