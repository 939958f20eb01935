#pragma once

#include <windows.h>

#include <cstdint>

#include "port_table.h"

namespace vellamoor {

struct UsbPortEntry {
    int32_t readTimeoutMs;  // 0: reads wait without a limit
    HANDLE writeHandle;     // synchronous
    HANDLE readHandle;      // overlapped
};

enum UsbOpenResult : int32_t {
    kUsbNoPrinter = -1,           // no accepted printer, or its handles did not open
    kUsbDetailQueryFailed = -2,   // the device path of a candidate could not be read
    kUsbNoDeviceList = -3,        // SetupAPI gave no device information list
    kUsbTableFull = -4,           // the USB table could not grow
};

enum UsbWriteResult : int32_t {
    kUsbWriteNoEntry = -1,
};

PortTable<UsbPortEntry>& usbPortTable();

// Opens the first present USB printer-class interface whose vendor token is
// accepted. Returns the new entry's 1-based index or a UsbOpenResult.
int32_t openUsbPort(int32_t readTimeoutMs);

// Bytes written, 0 when WriteFile fails, kUsbWriteNoEntry without an entry.
int32_t writeUsbPort(uint16_t index, const void* bytes, uint32_t count);

// Bytes read within the entry's read time-out; 0 on time-out, failure or
// without an entry.
int32_t readUsbPort(uint16_t index, void* buffer, uint32_t capacity);

// Takes what the printer has already answered without waiting for more, and
// discards it: a read that completes at once is repeated, a pending one is
// cancelled. Bounded to a few reads, so a printer that keeps talking cannot
// hold the caller up. PurgeComm cannot do this: a USB printer is no COM port.
void drainUsbPort(uint16_t index);

// Result of closing the read handle; 0 without change when nothing resolves.
int32_t closeUsbPort(uint16_t index);

}  // namespace vellamoor
