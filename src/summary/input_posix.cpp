// A non-blocking standard input on POSIX systems: waited for with poll(), not made blocking, as
// O_NONBLOCK belongs to the file description that the shell and the pipe's other end share.
#include "summary/input.h"

#include <poll.h>

#include <cerrno>

// Waits with poll() after EAGAIN; any other error ends the reading.
bool WaitForInput(std::FILE* stream, int error) {
    if (error != EAGAIN && error != EWOULDBLOCK) {
        return false;
    }
    pollfd waited{fileno(stream), POLLIN, 0};
    int ready = 0;
    do {
        ready = poll(&waited, 1, -1);
    } while (ready < 0 && errno == EINTR);
    if (ready < 0) {
        return false;
    }
    std::clearerr(stream);
    return true;
}
