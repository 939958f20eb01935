#pragma once

#include <windows.h>
#include <winsock.h>

#include <cstdint>

#include "port_table.h"

namespace vellamoor {

constexpr int32_t kPrinterDataTcpPort = 9100;
constexpr int32_t kPrinterStatusTcpPort = 4000;

struct NetworkPortEntry {
    uint32_t address;  // IPv4, first octet in the most significant byte
    int32_t tcpPort;
    SOCKET socket;
};

enum NetworkOpenResult : int32_t {
    kNetworkNoSocket = -1,          // socket() failed (Winsock not started?)
    kNetworkModeSwitchFailed = -2,  // FIONBIO on or off was refused
    kNetworkNotConnected = -3,      // no connection within the time-out, or refused
    kNetworkWaitFailed = -4,        // select() failed
    kNetworkTableFull = -5,         // the network table could not grow
};

enum NetworkCloseResult : int32_t {
    kNetworkCloseFailed = 0,  // closesocket reported an error; the entry is gone
    kNetworkClosed = 1,
    kNetworkNoEntry = -2,
};

PortTable<NetworkPortEntry>& networkPortTable();

// Connects to address:tcpPort within timeoutMs, which then also bounds every
// send and receive on the connection (0: no limit). Returns the new entry's
// 1-based index or a NetworkOpenResult.
int32_t openNetworkPort(int32_t timeoutMs, uint32_t address, int32_t tcpPort);

// Discards what the connection already holds (a late answer to an earlier
// query that timed out, say) without waiting, and at most a few hundred
// bytes, so a printer that keeps sending cannot hold the caller up.
void drainNetworkPort(uint32_t index);

// Closes the entry's socket and removes it. Takes a 32-bit index compared
// unsigned, so negative indices name nothing.
int32_t closeNetworkPort(uint32_t index);

}  // namespace vellamoor
