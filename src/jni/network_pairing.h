#pragma once

#include <cstdint>

namespace vellamoor {

// Network-table index of the status connection (TCP 4000) of the network
// printer opened last; -1 at load, and the failed open's code when a status
// connection did not open. Negative values name no entry.
extern int32_t statusSocketIndex;

// The status connection that belongs to the data connection at dataIndex.
// A printer's two connections are appended together and removed together, so
// its status connection is the entry right after its data connection; when
// that entry is not a port-4000 connection to the same address (or the index
// is 0) the most recently opened printer's status connection is used.
uint32_t statusConnectionFor(uint32_t dataIndex);

}  // namespace vellamoor
