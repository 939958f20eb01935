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
    kNetworkWaitFailed = -4,        // the wait for the connection failed, or the time-out was negative
    kNetworkTableFull = -5,         // the network table could not grow
    kNetworkBeyondHandles = -6,     // the connection's index could not be named by a handle
};

enum NetworkCloseResult : int32_t {
    kNetworkCloseFailed = 0,  // closing reported an error; the entry is gone
    kNetworkClosed = 1,
    kNetworkNoEntry = -2,
};

// The longest any wait on a connection may take: its time-out, 0 meaning
// no limit (-1).
inline int32_t networkWaitLimit(int32_t timeoutMs) { return timeoutMs == 0 ? -1 : timeoutMs; }

// One TCP connection of the network table. Connects to address:tcpPort
// within timeoutMs (0: no limit but the system's own; negative: refused).
// The time-out then also bounds every wait for room to send and for bytes
// to arrive on the connection, and how long the printer may leave sent
// bytes unacknowledged before the connection counts as gone (a printer
// switched off or unplugged sends no close). Returns the new entry's
// 1-based index or a NetworkOpenResult.
int32_t openNetworkPort(int32_t timeoutMs, uint32_t address, int32_t tcpPort);

// What a look at a connection found.
enum class NetworkLook {
    // The connection can no longer carry data: the printer closed or reset
    // it, it vanished, or it could not be made again. Also the answer
    // without an entry.
    kClosed,
    kOpen,
};

// Looks at the entry's connection without waiting, and takes what the
// printer sent on it into the entry's input (see NetworkInput), so that a
// close behind those bytes is seen. Looks only when the connection was made
// or last found open lookAgainAfterMs or more ago (0: always); until then it
// is taken as open.
NetworkLook lookAtNetworkPort(PortIndex index, int32_t lookAgainAfterMs);

// Replaces the entry's socket with a new connection to the same address and
// port, made within the entry's time-out. The old socket is closed first: a
// printer that serves one session at a time would refuse the new one while
// the old lives. The entry keeps its place, so every handle stays valid, and
// its input. On failure the entry holds no socket and is made again on its
// next use.
bool reconnectNetworkPort(PortIndex index);

// Sends within the entry's time-out, counted from the start of the call:
// bytes the connection took (a partial send reports its own count; a
// connection that had no room within the time-out took 0), or a negative
// result (kNetworkNoEntry without an entry).
int32_t sendNetworkPort(PortIndex index, const void* bytes, uint32_t count);

// The data read of the network transport: takes up to capacity bytes of
// what the printer sent on the connection, the entry's input first; with
// none held, waits at most waitMs (0: only what has come, negative: no
// limit) for bytes to arrive. Returns the count taken, kDataPathNothingCame,
// or kDataPathGone when the printer closed or reset the connection, it
// vanished, or the index names none.
int32_t takeNetworkInput(PortIndex index, void* buffer, uint32_t capacity, int32_t waitMs);

// Closes the entry's socket and removes it. Indices compare unsigned, so the
// negative values of statusSocketIndex name nothing.
int32_t closeNetworkPort(PortIndex index);

}  // namespace vellamoor
