#pragma once

#include <cstdint>

#include "transport.h"

namespace vellamoor {

constexpr int32_t kPrinterDataTcpPort = 9100;
constexpr int32_t kPrinterStatusTcpPort = 4000;

// A data connection found open this recently is taken as usable without a
// new look: printers close data connections they found idle for seconds, and
// a look costs a system call, as much as a small send itself. A status
// connection is looked at before every query: some printers close it after
// each answer, and a query is a round trip anyway.
constexpr int32_t kDataLookAgainAfterMs = 20;

enum NetworkOpenResult : int32_t {
    kNetworkNoSocket = -1,          // no socket (sockets not started, or none left)
    kNetworkModeSwitchFailed = -2,  // non-blocking mode on or off was refused
    kNetworkNotConnected = -3,      // no connection within the time-out, or refused
    kNetworkWaitFailed = -4,        // the wait for the connection failed
    kNetworkTableFull = -5,         // the network table could not grow
    kNetworkBeyondHandles = -6,     // the connection's index could not be named by a handle
};

enum NetworkCloseResult : int32_t {
    kNetworkCloseFailed = 0,  // closing reported an error; the entry is gone
    kNetworkClosed = 1,
    kNetworkNoEntry = -2,
};

// One TCP connection of the network table. Connects to address:tcpPort
// within timeoutMs, which then also bounds every send and receive on the
// connection (0: no limit). Returns the new entry's 1-based index or a
// NetworkOpenResult.
int32_t openNetworkPort(int32_t timeoutMs, uint32_t address, int32_t tcpPort);

// What a look at a connection found.
enum class NetworkLook {
    // The connection can no longer carry data: the printer closed or reset
    // it, or (Windows) an earlier receive on it timed out, which leaves a
    // socket in an undefined state. Also the answer without an entry.
    kClosed,
    kOpen,          // open, and nothing waiting to be read was seen
    kInputWaiting,  // open, with bytes waiting: a late answer to an earlier query, say
};

// Looks at the entry's connection without waiting. Looks only when the
// connection was made or last found open lookAgainAfterMs or more ago (0:
// always); until then it is taken as open.
NetworkLook lookAtNetworkPort(PortIndex index, int32_t lookAgainAfterMs);

// Replaces the entry's socket with a new connection to the same address and
// port, made within the entry's time-out. The entry keeps its place, so every
// handle stays valid. On failure the entry keeps its old socket, to be tried
// again on its next use, and nothing else is left open.
bool reconnectNetworkPort(PortIndex index);

// One send on the connection: bytes the connection took (a partial send
// reports its own count; a connection that had no room within the time-out
// took 0), or a negative result (kNetworkNoEntry without an entry).
int32_t sendNetworkPort(PortIndex index, const void* bytes, uint32_t count);

// One receive into buffer: bytes received, 0 when the printer closed the
// connection, negative on error, time-out or without an entry.
int32_t receiveNetworkPort(PortIndex index, void* buffer, uint32_t capacity);

// Discards what the connection already holds (a late answer to an earlier
// query that timed out, say) without waiting, and at most a few hundred
// bytes, so a printer that keeps sending cannot hold the caller up.
void drainNetworkPort(PortIndex index);

// Closes the entry's socket and removes it. Indices compare unsigned, so the
// negative values of statusSocketIndex name nothing.
int32_t closeNetworkPort(PortIndex index);

}  // namespace vellamoor
