// Start-up and the whole run of the monitor.
#pragma once

// Exit status after the monitor has stopped.
constexpr int kExitStopped = 0;
// Exit status when the receiver class cannot be registered.
constexpr int kExitNoReceiver = -1;

// Sets up the receiver, seeds the clock stamps, lists the mice, prints the banner and monitors
// until a quit message arrives. Returns the process exit status.
int RunMonitor();
