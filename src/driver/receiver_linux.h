// The mice being watched, and the pump that drains their reports into the analysis.
#pragma once

#include <csignal>
#include <vector>

#include "devices/devices_linux.h"
#include "driver/frames_linux.h"

// Set by SIGINT, SIGTERM and SIGHUP: the pump ends its drain at once and returns after the pass.
extern volatile std::sig_atomic_t quitRequested;

// Makes SIGINT, SIGTERM and SIGHUP quit requests (each unless it is ignored already), watches
// root/dev/input for mice plugged in later and root/dev for root/dev/input to come and go, and
// opens the mice now present, saying on standard error which cannot be opened and why, and when
// mice plugged in later cannot be watched. Returns the mice present, to be listed. root must
// live for the whole run.
std::vector<MouseDevice> SetUpReceiver(const char* root);

// Runs pump passes (poll, drain what has something to read, sleep 1 ms, stamp the pump) until
// a quit is requested or a report line cannot be written.
void RunPump();
