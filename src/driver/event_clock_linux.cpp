// The clock of an event device's timestamps; a file of its own, so that tests, whose nodes are
// plain files and pipes, can link their own.
#include <linux/input.h>
#include <sys/ioctl.h>
#include <time.h>

#include "driver/frames_linux.h"

// Switches the event device to CLOCK_MONOTONIC (EVIOCSCLOCKID); false when it cannot be.
bool SetEventClock(int fd) {
    int clock = CLOCK_MONOTONIC;
    return ioctl(fd, EVIOCSCLOCKID, &clock) == 0;
}
