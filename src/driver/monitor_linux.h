// Start-up and the whole run of the monitor.
#pragma once

// Exit status after the monitor has stopped with every line written.
constexpr int kExitStopped = 0;
// Exit status when a report line could not be written (said once on standard error).
constexpr int kExitWriteFailed = 1;

// The file system's own root, under which /sys and /dev/input lie; tests use a folder of theirs.
constexpr char kSystemRoot[] = "";

// Opens the mice, seeds the clock stamps, lists the mice, prints the banner and monitors until
// SIGINT, SIGTERM or SIGHUP, or until a line cannot be written; closes the report. Returns the
// process exit status.
int RunMonitor(const char* root);
