#pragma once

// The records of the three port tables on Windows. Only the transports and
// the tests that look into the tables include this.

// Windows Sockets 2 before windows.h, which the build keeps lean (without
// Winsock 1.1 of its own).
#include <winsock2.h>
#include <windows.h>

#include <cstdint>

#include "network_input.h"
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
    SOCKET socket;       // non-blocking; INVALID_SOCKET after a connection could not be made again
    int32_t timeoutMs;   // of the open: each wait on the connection, and a connection made again
    DWORD lastLookTick;  // when the connection was made or last found open
    NetworkInput input;  // what the printer sent that nobody took yet
};

PortTable<SerialPortEntry>& serialPortTable();
PortTable<UsbPortEntry>& usbPortTable();
PortTable<NetworkPortEntry>& networkPortTable();

}  // namespace vellamoor
