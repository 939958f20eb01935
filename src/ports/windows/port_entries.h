#pragma once

// The records of the three port tables on Windows. Only the transports and
// the tests that look into the tables include this.

#include <windows.h>
#include <winsock.h>

#include <cstdint>

#include "port_table.h"

namespace vellamoor {

struct SerialPortEntry {
    char name[16];  // "COM<n>", kept for reference only
    HANDLE handle;
    uint32_t readTimeoutMs;  // of the open, put back after each data read
};

struct UsbPortEntry {
    int32_t readTimeoutMs;  // 0: reads wait without a limit
    HANDLE writeHandle;     // synchronous
    HANDLE readHandle;      // overlapped
};

struct NetworkPortEntry {
    uint32_t address;  // IPv4, first octet in the most significant byte
    int32_t tcpPort;
    SOCKET socket;
    int32_t timeoutMs;  // of the open, for a connection made again in place
    bool timedOut;      // a send or receive timed out: the socket's state is undefined
    DWORD lastLookTick; // when the connection was made or last found open
};

PortTable<SerialPortEntry>& serialPortTable();
PortTable<UsbPortEntry>& usbPortTable();
PortTable<NetworkPortEntry>& networkPortTable();

}  // namespace vellamoor
