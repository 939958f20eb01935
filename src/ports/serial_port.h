#pragma once

#include <cstdint>
#include <cstdio>

#include "transport.h"

namespace vellamoor {

// A serial port's short name, "COM<n>" and its terminator: "COM" and at most
// six more characters.
constexpr size_t kComNameBuffer = 10;

inline bool formatComName(int32_t portNumber, char (&name)[kComNameBuffer]) {
    int length = std::snprintf(name, sizeof name, "COM%d", static_cast<int>(portNumber));
    return length > 0 && static_cast<size_t>(length) < sizeof name;
}

enum SerialOpenResult : int32_t {
    kSerialPortNotOpened = -1,        // no such port, already open, access refused
    kSerialNoTimeoutRecord = -2,      // no memory for the time-out record
    kSerialNoLineSettingsRecord = -3, // no memory for the line-settings record
    kSerialTableFull = -4,            // the serial table could not grow
};

// Opens "COM<portNumber>" exclusively at 8N1 with DTR raised and no flow
// control, reads limited to readTimeoutMs (0: no limit). Returns the new
// entry's 1-based index or a SerialOpenResult.
int32_t openSerialPort(int32_t portNumber, uint32_t baudRate, uint32_t readTimeoutMs);

// Writes synchronously. Neither buffer is purged: output the driver still
// holds is the tail of the previous job, and unread input is only looked at
// by the status exchange, which discards it before each request. Returns
// the number of bytes written, 0 on any failure.
int32_t writeSerialPort(PortIndex index, const void* bytes, uint32_t count);

// Reads count bytes, or what arrived within the read time-out. Returns the
// number of bytes read, 0 on failure or without an entry.
int32_t readSerialPort(PortIndex index, void* buffer, uint32_t count);

// The data read of transport.h. Unlike readSerialPort it waits the caller's
// time-out, not the open's, and tells a port that is gone from a quiet one.
int32_t readSerialData(PortIndex index, void* buffer, uint32_t capacity, int32_t timeoutMs);

// Discards what the port has received and nobody read.
void purgeSerialInput(PortIndex index);

// Asks DLE EOT 1 to 4, one reply byte each. Returns 4, or 0 when a reply did
// not come within the read time-out.
int32_t exchangeSerialStatus(PortIndex index, uint8_t* reply, uint32_t capacity);

// Nonzero when the entry was found, removed and its port closed cleanly.
int32_t closeSerialPort(PortIndex index);

}  // namespace vellamoor
