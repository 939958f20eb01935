#pragma once

#include <cstdint>

#include "transport.h"

namespace vellamoor {

enum UsbOpenResult : int32_t {
    kUsbNoPrinter = -1,           // no accepted printer, or its device did not open
    kUsbDetailQueryFailed = -2,   // the device path of a candidate could not be read
    kUsbNoDeviceList = -3,        // the system gave no list of printer devices
    kUsbTableFull = -4,           // the USB table could not grow
};

enum UsbWriteResult : int32_t {
    kUsbWriteNoEntry = -1,
};

// Opens the first present USB printer-class device whose vendor is
// accepted. Returns the new entry's 1-based index or a UsbOpenResult.
int32_t openUsbPort(int32_t readTimeoutMs);

// Bytes written, 0 when the write fails, kUsbWriteNoEntry without an entry.
int32_t writeUsbPort(PortIndex index, const void* bytes, uint32_t count);

// Bytes read within the entry's read time-out; 0 on time-out, failure or
// without an entry.
int32_t readUsbPort(PortIndex index, void* buffer, uint32_t capacity);

// The data read of transport.h: the printer's bulk IN, waited for at most
// the caller's time-out.
int32_t readUsbData(PortIndex index, void* buffer, uint32_t capacity, int32_t timeoutMs);

// Takes what the printer has already answered without waiting for more, and
// discards it. Bounded to a few reads, so a printer that keeps talking cannot
// hold the caller up.
void drainUsbPort(PortIndex index);

// Drops late answers, then asks DLE EOT 1 to 4 and lays the replies one
// after the other. Returns their byte count, or 0 when a read got nothing.
int32_t exchangeUsbStatus(PortIndex index, uint8_t* reply, uint32_t capacity);

// Result of closing the device; 0 without change when nothing resolves.
int32_t closeUsbPort(PortIndex index);

}  // namespace vellamoor
