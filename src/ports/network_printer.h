#pragma once

#include <atomic>
#include <cstdint>

#include "transport.h"

namespace vellamoor {

// Network-table index of the status connection (TCP 4000) of the network
// printer opened last; -1 at load, and the failed open's code when a status
// connection did not open. Negative values name no entry. Atomic: a status
// query on one printer may read it while another printer opens.
extern std::atomic<int32_t> statusSocketIndex;

// A network printer is two connections of the network table: print data on
// TCP 9100 and, right after it, status on TCP 4000. Both open or neither
// stays open. Returns the data connection's index, which names the printer,
// or a NetworkOpenResult.
int32_t openNetworkPrinter(int32_t timeoutMs, uint32_t address);

// One send on the data connection.
int32_t writeNetworkPrinter(PortIndex index, const void* bytes, uint32_t count);

// Drops late answers on the status connection, sends ESC v 0 and returns
// the first bytes that come within the connection's time-out (the
// automatic-status-back bytes), or 0.
int32_t exchangeNetworkStatus(PortIndex index, uint8_t* reply, uint32_t capacity);

// Closes the status connection, then the data connection. An index that
// names no connection closes nothing.
int32_t closeNetworkPrinter(PortIndex index);

// The status connection that belongs to the data connection at dataIndex:
// the entry right after it when that is a port-4000 connection to the same
// address; otherwise (and for index 0) the printer opened last.
PortIndex statusConnectionFor(PortIndex dataIndex);

}  // namespace vellamoor
