// The Linux USB transport against usblp's awkward answers, on a
// pseudo-terminal standing in for /dev/usb/lp0. read and write are wrapped
// at link time (--wrap) so that a test can make the driver answer as usblp
// does: a read of 0 bytes or one EIO while the printer is about to answer,
// a blocking write that a signal interrupts after the chunk went out, and
// on the non-blocking descriptor a transfer that ends late: the write counts
// it at once, poll shows the descriptor writable only once it ended, a close
// before then kills it, and a printer unplugged meanwhile fails it (the
// driver's ioctls then answer ENODEV).

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdarg>
#include <cstdlib>
#include <fstream>
#include <string>

#include "port_entries.h"
#include "usb_port.h"

namespace {

int wrappedFd = -1;
int emptyReads = 0;      // reads of the printer that answer 0 bytes
int failedReads = 0;     // reads of the printer that fail with EIO
bool interruptWrite = false;  // the next blocking write goes out, then reports EINTR

// A transfer usblp took on the non-blocking descriptor and has not ended.
int transferMs = -1;         // how long each transfer takes; -1: writes go through at once
bool transfersFail = false;  // the printer is unplugged during the transfer
std::string inTransfer;
std::chrono::steady_clock::time_point transferEnds;
bool printerGone = false;

}  // namespace

extern "C" ssize_t __real_read(int fd, void* buffer, size_t count);
extern "C" ssize_t __real_write(int fd, const void* buffer, size_t count);
extern "C" int __real_poll(pollfd* fds, nfds_t count, int timeoutMs);
extern "C" int __real_ioctl(int fd, unsigned long request, void* argument);
extern "C" int __real_close(int fd);

extern "C" ssize_t __wrap_read(int fd, void* buffer, size_t count) {
    if (fd == wrappedFd && emptyReads > 0) {
        --emptyReads;
        return 0;
    }
    if (fd == wrappedFd && failedReads > 0) {
        --failedReads;
        errno = EIO;
        return -1;
    }
    return __real_read(fd, buffer, count);
}

// usblp waits for the transfer only on a blocking descriptor; a signal then
// ends the call with EINTR although the chunk was sent.
extern "C" ssize_t __wrap_write(int fd, const void* buffer, size_t count) {
    if (fd == wrappedFd && interruptWrite && (fcntl(fd, F_GETFL) & O_NONBLOCK) == 0) {
        interruptWrite = false;
        __real_write(fd, buffer, count);
        errno = EINTR;
        return -1;
    }
    if (fd == wrappedFd && transferMs >= 0) {
        if (!inTransfer.empty()) {
            errno = EAGAIN;
            return -1;
        }
        inTransfer.assign(static_cast<const char*>(buffer), count);
        transferEnds = std::chrono::steady_clock::now() + std::chrono::milliseconds(transferMs);
        return static_cast<ssize_t>(count);
    }
    return __real_write(fd, buffer, count);
}

extern "C" int __wrap_poll(pollfd* fds, nfds_t count, int timeoutMs) {
    if (count != 1 || fds[0].fd != wrappedFd || (fds[0].events & POLLOUT) == 0 || inTransfer.empty()) {
        return __real_poll(fds, count, timeoutMs);
    }
    const auto limit = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    if (timeoutMs >= 0 && limit < transferEnds) {
        __real_poll(nullptr, 0, timeoutMs);
        return 0;
    }
    while (std::chrono::steady_clock::now() < transferEnds) __real_poll(nullptr, 0, 5);
    if (transfersFail) printerGone = true;
    else __real_write(fds[0].fd, inTransfer.data(), inTransfer.size());
    inTransfer.clear();
    fds[0].revents = POLLOUT;
    return 1;
}

extern "C" int __wrap_ioctl(int fd, unsigned long request, ...) {
    va_list arguments;
    va_start(arguments, request);
    void* argument = va_arg(arguments, void*);
    va_end(arguments);
    if (fd == wrappedFd && printerGone) {
        errno = ENODEV;
        return -1;
    }
    return __real_ioctl(fd, request, argument);
}

// Releasing the device kills a transfer that has not ended.
extern "C" int __wrap_close(int fd) {
    if (fd == wrappedFd) inTransfer.clear();
    return __real_close(fd);
}

namespace {

using namespace vellamoor;

class UsblpFaults : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/usblp-standin-XXXXXX";
        ASSERT_NE(nullptr, mkdtemp(pattern));
        root = pattern;
        int slave = -1;
        ASSERT_EQ(0, openpty(&printer, &slave, nullptr, nullptr, nullptr));
        termios raw;
        tcgetattr(slave, &raw);
        cfmakeraw(&raw);
        tcsetattr(slave, TCSANOW, &raw);
        std::string lp0 = root + "/sys/class/usbmisc/lp0";
        ASSERT_EQ(0, system(("mkdir -p " + lp0 + "/device " + root + "/dev/usb").c_str()));
        std::ofstream(lp0 + "/idVendor") << "0483\n";
        ASSERT_EQ(0, symlink(ttyname(slave), (root + "/dev/usb/lp0").c_str()));
        close(slave);
        setenv("VELLAMOOR_TEST_USB_ROOT", root.c_str(), 1);
        ASSERT_EQ(1, openUsbPort(500));
        wrappedFd = usbPortTable().entryAt(1)->fd;
    }

    void TearDown() override {
        closeUsbPort(1);
        wrappedFd = -1;
        emptyReads = failedReads = 0;
        interruptWrite = false;
        transferMs = -1;
        transfersFail = printerGone = false;
        inTransfer.clear();
        close(printer);
        ASSERT_EQ(0, system(("rm -rf " + root).c_str()));
    }

    static int64_t millisSince(std::chrono::steady_clock::time_point start) {
        return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
    }

    // What the printer received within 100 ms.
    std::string received() const {
        pollfd watched{printer, POLLIN, 0};
        if (poll(&watched, 1, 100) != 1) return "";
        char bytes[32];
        ssize_t n = read(printer, bytes, sizeof bytes);
        return std::string(bytes, n > 0 ? static_cast<size_t>(n) : 0);
    }

    std::string root;
    int printer = -1;  // the printer's side of the pseudo-terminal
};

TEST_F(UsblpFaults, EmptyReadsAndOneErrorWaitForTheAnswerWithinTheTimeout) {
    struct Case {
        const char* label;
        int empty;
        int failed;
        int32_t expected;
    } cases[] = {
        {"a read of 0 bytes first", 3, 0, 1},
        {"one EIO first", 0, 1, 1},
        {"EIO twice: the printer is gone", 0, 2, 0},
    };
    for (const Case& c : cases) {
        emptyReads = c.empty;
        failedReads = c.failed;
        ASSERT_EQ(1, write(printer, "\x12", 1));
        uint8_t reply[8] = {};
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(c.expected, readUsbPort(1, reply, sizeof reply)) << c.label;
        EXPECT_LT(millisSince(start), 400) << c.label << ": well within the 500 ms time-out";
        if (c.expected == 1) {
            EXPECT_EQ(0x12, reply[0]) << c.label;
        }
        drainUsbPort(1);
    }
}

TEST_F(UsblpFaults, AnInterruptedWriteSendsEachByteOnce) {
    interruptWrite = true;
    EXPECT_EQ(6, writeUsbPort(1, "ABCDEF", 6));
    EXPECT_EQ("ABCDEF", received());
}

TEST_F(UsblpFaults, AWriteReturnsWhenItsTransferEndedAndCountsOnlyWhatArrived) {
    struct Case {
        const char* label;
        bool fails;
        int32_t expected;
        const char* printed;
    } cases[] = {
        {"a printer slow to take the chunk, closed right after", false, 6, "ABCDEF"},
        {"a printer unplugged during the transfer", true, 0, ""},
    };
    for (const Case& c : cases) {
        transferMs = 300;
        transfersFail = c.fails;
        printerGone = false;
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(c.expected, writeUsbPort(1, "ABCDEF", 6)) << c.label;
        EXPECT_GE(millisSince(start), 290) << c.label << ": returns once the transfer ended";
        closeUsbPort(1);
        EXPECT_EQ(c.printed, received()) << c.label;
        ASSERT_EQ(1, openUsbPort(500));
        wrappedFd = usbPortTable().entryAt(1)->fd;
    }
}

}  // namespace
