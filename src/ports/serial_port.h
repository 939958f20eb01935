#pragma once

#include <windows.h>

#include <cstdint>

#include "port_table.h"

namespace vellamoor {

struct SerialPortEntry {
    char name[16];  // "COM<n>", kept for reference only
    HANDLE handle;
};

enum SerialOpenResult : int32_t {
    kSerialPortNotOpened = -1,        // no such port, already open, access refused
    kSerialNoTimeoutRecord = -2,      // heap exhausted for COMMTIMEOUTS
    kSerialNoLineSettingsRecord = -3, // heap exhausted for DCB
    kSerialTableFull = -4,            // the serial table could not grow
};

PortTable<SerialPortEntry>& serialPortTable();

// Opens "COM<portNumber>" exclusively at 8N1 with DTR raised and no flow
// control, reads limited to readTimeoutMs (0: no limit). Returns the new
// entry's 1-based index or a SerialOpenResult.
int32_t openSerialPort(int32_t portNumber, uint32_t baudRate, uint32_t readTimeoutMs);

// Discards pending input, then writes synchronously. Returns the
// number of bytes written, 0 on any failure.
uint32_t writeSerialPort(uint16_t index, const void* bytes, uint32_t count);

// Nonzero when the entry was found, removed and its handle closed cleanly.
int32_t closeSerialPort(uint16_t index);

}  // namespace vellamoor
