#pragma once

// The records of the three port tables on Linux: file descriptors where
// Windows keeps handles and sockets. Only the transports include this.

#include <cstdint>

#include "network_input.h"
#include "port_table.h"

namespace vellamoor {

struct SerialPortEntry {
    char name[16];           // "COM<n>", kept for reference only
    int fd;                  // the tty, blocking
    uint32_t readTimeoutMs;  // each read waits at most this long; 0: no limit
};

struct UsbPortEntry {
    int32_t readTimeoutMs;  // 0: reads wait without a limit
    int fd;                 // the usblp device, read and written
};

struct NetworkPortEntry {
    uint32_t address;  // IPv4, first octet in the most significant byte
    int32_t tcpPort;
    int socket;          // non-blocking; -1 after a connection could not be made again
    int32_t timeoutMs;   // of the open: each wait on the connection, and a connection made again
    int64_t lastLookMs;  // tickMs() when the connection was made or last found open
    NetworkInput input;  // what the printer sent that nobody took yet
};

PortTable<SerialPortEntry>& serialPortTable();
PortTable<UsbPortEntry>& usbPortTable();
PortTable<NetworkPortEntry>& networkPortTable();

}  // namespace vellamoor
