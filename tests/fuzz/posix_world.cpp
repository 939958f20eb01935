// A POSIX layer for the Linux library's fuzzer, put in place with the
// linker's --wrap: serial ports, usblp printers and sockets that exist only
// here, each call's fate (success, EINTR, EAGAIN, an error, a short count)
// taken from the fuzzer's input, and a clock that moves only when a wait
// times out, so no run ever sleeps. Descriptors from 1000 up are the world's;
// every other call goes to the system, which libFuzzer itself needs.

#include "posix_world.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <stdarg.h>
#include <stdio.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <map>

extern "C" {
int __real_open(const char* path, int flags, ...);
int __real_close(int fd);
ssize_t __real_read(int fd, void* buffer, size_t count);
ssize_t __real_write(int fd, const void* buffer, size_t count);
int __real_poll(struct pollfd* fds, nfds_t count, int timeoutMs);
int __real_clock_gettime(clockid_t clock, struct timespec* now);
int __real_ioctl(int fd, unsigned long request, ...);
int __real_fcntl(int fd, int command, ...);
FILE* __real_fopen(const char* path, const char* mode);
}

namespace posix_world {
namespace {

constexpr int kFirstDescriptor = 1000;

enum Fate { kOk, kInterrupted, kWouldBlock, kFails, kShort, kEnd };

FuzzedDataProvider* input = nullptr;
std::map<int, int> descriptors;  // each open descriptor's file status flags
int nextDescriptor = kFirstDescriptor;
int64_t clockMs = 0;
char vendor[8];

bool ours(int fd) { return input != nullptr && descriptors.count(fd) != 0; }

// The next call's fate; an input that has run out lets every call succeed.
Fate fate() { return static_cast<Fate>(input->ConsumeIntegralInRange<int>(0, 9) % 6); }

int failWith(int error) {
    errno = error;
    return -1;
}

// A failure of the kind the fate names: EINTR, EAGAIN or a hard error.
int failed(Fate f, int hardError) {
    return failWith(f == kInterrupted ? EINTR : f == kWouldBlock ? EAGAIN : hardError);
}

// A call that moves no bytes: a short count or an end counts as success.
int settled(Fate f, int hardError) {
    return f == kOk || f == kEnd || f == kShort ? 0 : failed(f, hardError);
}

ssize_t transfer(void* into, size_t count, bool reading) {
    Fate f = fate();
    if (f == kInterrupted || f == kWouldBlock || f == kFails) return failed(f, EIO);
    if (f == kEnd && reading) return 0;
    size_t n = f == kShort && count > 1 ? input->ConsumeIntegralInRange<size_t>(1, count - 1) : count;
    if (reading) {
        n = std::min(n, static_cast<size_t>(input->ConsumeIntegralInRange<size_t>(1, 8)));
        for (size_t i = 0; i < n; ++i) static_cast<uint8_t*>(into)[i] = input->ConsumeIntegral<uint8_t>();
    }
    return static_cast<ssize_t>(n);
}

int opened(int flags) {
    int fd = nextDescriptor++;
    descriptors[fd] = flags;
    return fd;
}

}  // namespace

void begin(FuzzedDataProvider& data) {
    input = &data;
    descriptors.clear();
    nextDescriptor = kFirstDescriptor;
    clockMs = 0;
}

size_t end() {
    size_t left = descriptors.size();
    descriptors.clear();
    input = nullptr;
    return left;
}

}  // namespace posix_world

using namespace posix_world;

extern "C" {

int __wrap_open(const char* path, int flags, ...) {
    mode_t mode = 0;
    if (flags & O_CREAT) {
        va_list arguments;
        va_start(arguments, flags);
        mode = va_arg(arguments, mode_t);
        va_end(arguments);
    }
    if (input == nullptr || strncmp(path, "/dev/", 5) != 0) return __real_open(path, flags, mode);
    Fate f = fate();
    if (f == kInterrupted) return failWith(EINTR);
    if (f == kFails || f == kWouldBlock) return failWith(f == kFails ? ENOENT : EACCES);
    return opened(flags);
}

int __wrap_close(int fd) {
    if (!ours(fd)) return __real_close(fd);
    descriptors.erase(fd);
    return fate() == kFails ? failWith(EIO) : 0;  // closed all the same, as close(2) does
}

ssize_t __wrap_read(int fd, void* buffer, size_t count) {
    return ours(fd) ? transfer(buffer, count, true) : __real_read(fd, buffer, count);
}

ssize_t __wrap_write(int fd, const void* buffer, size_t count) {
    return ours(fd) ? transfer(const_cast<void*>(buffer), count, false) : __real_write(fd, buffer, count);
}

ssize_t __wrap_send(int fd, const void*, size_t count, int) {
    if (!ours(fd)) return failWith(EBADF);
    return transfer(nullptr, count, false);
}

ssize_t __wrap_recv(int fd, void* buffer, size_t count, int) {
    if (!ours(fd)) return failWith(EBADF);
    return transfer(buffer, count, true);
}

// Ready or not as the input says; a wait that finds nothing lets its time
// pass on the world's clock.
int __wrap_poll(struct pollfd* fds, nfds_t count, int timeoutMs) {
    if (count == 0 && input != nullptr) {  // a pause: it passes on the world's clock, not the real one
        clockMs += timeoutMs > 0 ? timeoutMs : 0;
        return 0;
    }
    if (count == 0 || !ours(fds[0].fd)) return __real_poll(fds, count, timeoutMs);
    Fate f = fate();
    if (f == kInterrupted) return failWith(EINTR);
    if (f == kFails) {
        fds[0].revents = POLLERR;
        return 1;
    }
    if (f == kWouldBlock || f == kShort) {
        if (timeoutMs > 0) clockMs += timeoutMs;
        if (timeoutMs < 0) clockMs += 60000;  // "no limit" ends when the input says so
        fds[0].revents = 0;
        return 0;
    }
    fds[0].revents = static_cast<short>(fds[0].events & (POLLIN | POLLOUT));
    if (f == kEnd) fds[0].revents |= POLLHUP;
    return 1;
}

int __wrap_clock_gettime(clockid_t clock, struct timespec* now) {
    if (input == nullptr || (clock != CLOCK_MONOTONIC && clock != CLOCK_MONOTONIC_COARSE)) {
        return __real_clock_gettime(clock, now);
    }
    now->tv_sec = clockMs / 1000;
    now->tv_nsec = (clockMs % 1000) * 1000000;
    return 0;
}

int __wrap_ioctl(int fd, unsigned long request, ...) {
    va_list arguments;
    va_start(arguments, request);
    void* argument = va_arg(arguments, void*);
    va_end(arguments);
    if (!ours(fd)) return __real_ioctl(fd, request, argument);
    if (fate() == kFails) return failWith(EIO);
    if (request == FIONREAD) *static_cast<int*>(argument) = input->ConsumeIntegralInRange<int>(0, 300);
    return 0;
}

int __wrap_fcntl(int fd, int command, ...) {
    va_list arguments;
    va_start(arguments, command);
    long argument = va_arg(arguments, long);
    va_end(arguments);
    if (!ours(fd)) return __real_fcntl(fd, command, argument);
    if (fate() == kFails) return failWith(EIO);
    if (command == F_GETFL) return descriptors[fd];
    if (command == F_SETFL) descriptors[fd] = static_cast<int>(argument);
    return 0;
}

int __wrap_flock(int fd, int) {
    return ours(fd) ? settled(fate(), EWOULDBLOCK) : failWith(EBADF);
}

int __wrap_tcgetattr(int fd, struct termios* settings) {
    if (!ours(fd) || fate() == kFails) return failWith(ENOTTY);
    memset(settings, 0, sizeof *settings);
    return 0;
}

int __wrap_tcsetattr(int fd, int, const struct termios*) {
    return ours(fd) ? settled(fate(), EINVAL) : failWith(EBADF);
}

int __wrap_tcflush(int fd, int) { return ours(fd) && fate() != kFails ? 0 : failWith(EIO); }

int __wrap_socket(int, int, int) {
    if (input == nullptr || fate() == kFails) return failWith(EMFILE);
    return opened(0);
}

int __wrap_connect(int fd, const struct sockaddr*, socklen_t) {
    if (!ours(fd)) return failWith(EBADF);
    static const int outcomes[] = {0, EINPROGRESS, EINTR, ECONNREFUSED, ENETUNREACH, EHOSTUNREACH, EACCES};
    int outcome = outcomes[input->ConsumeIntegralInRange<int>(0, 6)];
    return outcome == 0 ? 0 : failWith(outcome);
}

int __wrap_getsockopt(int fd, int, int, void* value, socklen_t* length) {
    if (!ours(fd) || *length < sizeof(int)) return failWith(EBADF);
    *static_cast<int*>(value) = input->ConsumeBool() ? 0 : ECONNREFUSED;
    return 0;
}

int __wrap_setsockopt(int fd, int, int, const void*, socklen_t) { return ours(fd) ? 0 : failWith(EBADF); }

int __wrap_getpeername(int fd, struct sockaddr* address, socklen_t* length) {
    if (!ours(fd) || fate() == kFails) return failWith(ENOTCONN);
    memset(address, 0, *length);
    return 0;
}

// sysfs: the vendor of /sys/class/usbmisc/lpN, one the library accepts or not.
FILE* __wrap_fopen(const char* path, const char* mode) {
    if (input == nullptr || strstr(path, "idVendor") == nullptr) return __real_fopen(path, mode);
    static const char* const vendors[] = {"0483", "067B", "1234", "04", ""};
    int choice = input->ConsumeIntegralInRange<int>(0, 5);
    if (choice == 5) return nullptr;
    snprintf(vendor, sizeof vendor, "%s\n", vendors[choice]);
    return fmemopen(vendor, strlen(vendor), "r");
}

}  // extern "C"
