#pragma once

// File-descriptor helpers shared by the Linux transports.

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <time.h>
#include <unistd.h>

#include <cstdint>

#include "transport.h"
#include "unique_resource.h"

namespace vellamoor {

struct FdTraits {
    using Value = int;
    static int empty() { return -1; }
    static bool valid(int fd) { return fd >= 0; }
    static void close(int fd) { ::close(fd); }
};

// A file descriptor, closed on every early return of an open.
using UniqueFd = UniqueResource<FdTraits>;

// The JVM uses signals of its own, so a system call interrupted by one is
// routine: it is made again, never reported as a failure.
template <typename Call>
auto retryOnSignal(Call call) -> decltype(call()) {
    decltype(call()) result;
    do {
        result = call();
    } while (result == -1 && errno == EINTR);
    return result;
}

// Writes until the driver has taken every byte or refuses more; returns the
// count taken.
inline uint32_t writeAll(int fd, const void* bytes, uint32_t count) {
    const uint8_t* next = static_cast<const uint8_t*>(bytes);
    uint32_t written = 0;
    while (written < count) {
        ssize_t n = retryOnSignal([&] { return write(fd, next + written, count - written); });
        if (n <= 0) break;
        written += static_cast<uint32_t>(n);
    }
    return written;
}

inline bool setNonBlocking(int fd, bool nonBlocking) {
    int flags = fcntl(fd, F_GETFL);
    if (flags == -1) return false;
    flags = nonBlocking ? (flags | O_NONBLOCK) : (flags & ~O_NONBLOCK);
    return fcntl(fd, F_SETFL, flags) == 0;
}

// Keeps every other open of the same device through this library out, as
// share mode 0 does on Windows. The lock is advisory, so root is kept out
// too, and it goes away with the descriptor.
inline bool lockExclusively(int fd) {
    return retryOnSignal([&] { return flock(fd, LOCK_EX | LOCK_NB); }) == 0;
}

inline int64_t millisecondsOn(clockid_t clock) {
    timespec now;
    clock_gettime(clock, &now);
    return static_cast<int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

inline int64_t monotonicMs() { return millisecondsOn(CLOCK_MONOTONIC); }

// The monotonic time at the kernel's last tick, like GetTickCount on
// Windows: only as exact as a tick (1 to 10 ms), but read from memory
// alone, where the exact clock also reads the clock device, which under a
// hypervisor can cost as much as the rest of a small write. For windows of
// tens of milliseconds that every call checks.
inline int64_t tickMs() { return millisecondsOn(CLOCK_MONOTONIC_COARSE); }

// A point in monotonicMs() time that a wait may not pass.
constexpr int64_t kNoDeadline = INT64_MAX;

inline int64_t deadlineAfter(int64_t waitMs) { return waitMs < 0 ? kNoDeadline : monotonicMs() + waitMs; }

// Waits until fd shows one of events or the deadline passes, going on with
// the time that is left after a signal: a signal neither shortens nor
// lengthens the wait. Returns poll's result: above 0 ready, 0 time-out, -1
// error.
inline int waitForEventsUntil(int fd, short events, int64_t deadline) {
    for (;;) {
        pollfd watched{fd, events, 0};
        int64_t left = deadline == kNoDeadline ? -1 : deadline - monotonicMs();
        if (deadline != kNoDeadline && left < 0) left = 0;
        int ready = poll(&watched, 1, left > INT32_MAX ? INT32_MAX : static_cast<int>(left));
        if (ready == -1 && errno == EINTR) continue;
        if (ready == 0 && deadline != kNoDeadline && deadline - monotonicMs() > 0) continue;  // a wait longer than poll takes
        return ready;
    }
}

// The same for a wait of timeoutMs (negative: no limit).
inline int waitForEvents(int fd, short events, int64_t timeoutMs) {
    return waitForEventsUntil(fd, events, deadlineAfter(timeoutMs));
}

// One read of what a terminal holds, waiting up to timeoutMs for it: the
// count read, kDataPathNothingCame, or kDataPathGone when the line hung up
// or failed (a pseudo-terminal whose other side closed reads EIO, an
// unplugged adapter ENODEV, a hang-up the end of the file).
inline int32_t readTerminalWithin(int fd, void* buffer, uint32_t capacity, int32_t timeoutMs) {
    const int ready = waitForEvents(fd, POLLIN, timeoutMs);
    if (ready == 0) return kDataPathNothingCame;
    if (ready < 0) return kDataPathGone;
    const ssize_t n = retryOnSignal([&] { return read(fd, buffer, capacity); });
    if (n > 0) return static_cast<int32_t>(n);
    if (n < 0 && errno == EAGAIN) return kDataPathNothingCame;
    return kDataPathGone;
}

}  // namespace vellamoor
