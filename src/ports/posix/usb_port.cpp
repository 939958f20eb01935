#include "usb_port.h"

#include <fcntl.h>
#include <sys/ioctl.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "port_entries.h"
#include "posix_io.h"
#include "usb_vendors.h"

namespace vellamoor {
namespace {

PortTable<UsbPortEntry> table;

// Where sysfs and /dev are: the root of this machine, or for the tests a
// tree of their own named by VELLAMOOR_TEST_USB_ROOT, with a pseudo-terminal
// standing in for the printer.
const char* searchRoot() {
    const char* root = std::getenv("VELLAMOOR_TEST_USB_ROOT");
    return root != nullptr ? root : "";
}

// The vendor ID sits in the USB device's directory, the parent of the
// printer interface that the usblp class device points to.
bool readVendorId(uint32_t number, char (&vendor)[kUsbVendorIdLength + 1]) {
    char path[PATH_MAX];
    std::snprintf(path, sizeof path, "%s/sys/class/usbmisc/lp%u/device/../idVendor", searchRoot(), number);
    FILE* file = std::fopen(path, "re");
    if (file == nullptr) return false;
    size_t read = std::fread(vendor, 1, kUsbVendorIdLength, file);
    std::fclose(file);
    vendor[read] = '\0';
    return read == kUsbVendorIdLength;
}

// The first printer whose vendor is accepted, or -1. The usblp driver numbers
// its printers lp0, lp1 ...; printers that are unplugged leave gaps in the
// numbering, so a missing number is skipped.
int findAcceptedPrinter() {
    for (uint32_t number = 0; number < kMaxUsbCandidates; ++number) {
        char vendor[kUsbVendorIdLength + 1];
        if (readVendorId(number, vendor) && isAcceptedUsbVendor(vendor)) return static_cast<int>(number);
    }
    return -1;
}

// One descriptor for both directions: usblp lets a printer be opened only
// once. The lock keeps a second open through this library out even where
// the device would allow it (the stand-in of the tests does). Non-blocking,
// so that every write and read returns what the driver did (see writeChunks).
int openPrinter(int number) {
    char path[PATH_MAX];
    std::snprintf(path, sizeof path, "%s/dev/usb/lp%d", searchRoot(), number);
    UniqueFd printer(retryOnSignal([&] { return open(path, O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK); }));
    if (!printer.valid()) return -1;
    if (!lockExclusively(printer.get())) return -1;
    return printer.release();
}

// How long to wait before reading again after usblp answered a read with
// nothing although poll called the printer readable.
constexpr int64_t kEmptyReadPauseMs = 10;

// One read of what the printer has, waited for at most waitMs (negative: no
// limit). usblp may answer a read with 0 bytes, or once with EIO after a
// transfer error, while the printer is still about to answer, so both only
// end the read when the time is up (a second EIO ends it at once: the
// printer is gone). Returns the bytes read, kDataPathNothingCame on
// time-out, kDataPathGone when the printer is gone (unplugged: ENODEV).
VELLAMOOR_PER_CALL int32_t readWithin(int fd, void* buffer, uint32_t capacity, int64_t waitMs) {
    const int64_t deadline = monotonicMs() + waitMs;
    bool hadError = false;
    for (;;) {
        const int64_t left = waitMs < 0 ? -1 : std::max<int64_t>(0, deadline - monotonicMs());
        const int ready = waitForEvents(fd, POLLIN, left);
        if (ready == 0) return kDataPathNothingCame;
        if (ready < 0) return kDataPathGone;
        ssize_t n = read(fd, buffer, capacity);
        if (n > 0) return static_cast<int32_t>(n);
        if (n < 0 && errno == EIO) {
            if (hadError) return kDataPathGone;
            hadError = true;
        } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
            return kDataPathGone;
        }
        if (left == 0) return 0;
        poll(nullptr, 0, static_cast<int>(left < 0 ? kEmptyReadPauseMs : std::min(left, kEmptyReadPauseMs)));
    }
}

// usblp's question "is the printer still there", which asks the driver and
// not the printer: IOCNR_GET_VID_PID of its 'P' ioctls fails with ENODEV
// once the printer is unplugged, and costs no transfer.
const unsigned long kUsblpGetVidPid = _IOC(_IOC_READ, 'P', 6, 2 * sizeof(int));

// Waits until usblp has ended the transfer of the chunk it took last: it
// marks the descriptor writable only then. A transfer ends without reaching
// the printer when the printer goes away (the driver then kills it), so a
// printer found gone afterwards did not get that chunk.
VELLAMOOR_PER_CALL bool transferEnded(int fd) {
    if (waitForEvents(fd, POLLOUT, -1) < 0) return false;
    int ids[2];
    return ioctl(fd, kUsblpGetVidPid, ids) == 0 || errno != ENODEV;
}

// When a signal lands while usblp waits for a transfer, the driver may still
// send that chunk, and making the whole call again would print it twice. On
// the non-blocking descriptor each write returns at once with what the
// driver took, which is counted exactly once. But on such a descriptor usblp
// counts a chunk as written as soon as it submitted it, and kills a transfer
// still pending when the descriptor closes: so each chunk is waited for until
// its transfer ended, and counted only when the printer is still there. A
// write therefore returns when the driver finished it, as WriteFile does, and
// a close never cuts the end of a job. Returns the count taken.
VELLAMOOR_PER_CALL uint32_t writeChunks(int fd, const void* bytes, uint32_t count) {
    const uint8_t* next = static_cast<const uint8_t*>(bytes);
    uint32_t written = 0;
    while (written < count) {
        ssize_t n = write(fd, next + written, count - written);
        if (n > 0) {
            if (!transferEnded(fd)) break;
            written += static_cast<uint32_t>(n);
            continue;
        }
        if (n == 0 || (errno != EAGAIN && errno != EINTR)) break;
        if (waitForEvents(fd, POLLOUT, -1) < 0) break;
    }
    return written;
}

}  // namespace

PortTable<UsbPortEntry>& usbPortTable() { return table; }

int32_t openUsbPort(int32_t readTimeoutMs) {
    int number = findAcceptedPrinter();
    if (number < 0) return kUsbNoPrinter;
    UniqueFd printer(openPrinter(number));
    if (!printer.valid()) return kUsbNoPrinter;
    uint32_t index = table.append(UsbPortEntry{readTimeoutMs, printer.get()});
    if (index == 0) return kUsbTableFull;
    printer.release();
    return static_cast<int32_t>(index);
}

VELLAMOOR_PER_CALL int32_t writeUsbPort(PortIndex index, const void* bytes, uint32_t count) {
    UsbPortEntry* entry = table.entryAt(index);
    if (entry == nullptr) return kUsbWriteNoEntry;
    return static_cast<int32_t>(writeChunks(entry->fd, bytes, count));
}

// Time-out 0, and negative time-outs as on Windows (an unsigned count of
// milliseconds beyond any wait), read without a limit.
VELLAMOOR_PER_CALL int32_t readUsbPort(PortIndex index, void* buffer, uint32_t capacity) {
    UsbPortEntry* entry = table.entryAt(index);
    if (entry == nullptr) return 0;
    const int64_t waitMs = entry->readTimeoutMs <= 0 ? -1 : entry->readTimeoutMs;
    return std::max(readWithin(entry->fd, buffer, capacity, waitMs), 0);
}

int32_t readUsbData(PortIndex index, void* buffer, uint32_t capacity, int32_t timeoutMs) {
    UsbPortEntry* entry = table.entryAt(index);
    if (entry == nullptr) return kDataPathGone;
    return readWithin(entry->fd, buffer, capacity, timeoutMs);
}

VELLAMOOR_PER_CALL void drainUsbPort(PortIndex index) {
    UsbPortEntry* entry = table.entryAt(index);
    if (entry == nullptr) return;
    uint8_t scrap[kDrainChunkBytes];
    for (int read = 0; read < kMaxDrainReads; ++read) {
        if (readWithin(entry->fd, scrap, sizeof scrap, 0) <= 0) return;
    }
}

int32_t closeUsbPort(PortIndex index) {
    UsbPortEntry* entry = table.entryAt(index);
    if (entry == nullptr) return 0;
    const int fd = entry->fd;
    table.removeAt(index);
    return close(fd) == 0 ? 1 : 0;
}

}  // namespace vellamoor
