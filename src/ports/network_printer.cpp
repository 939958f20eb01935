#include "network_printer.h"

#include "network_port.h"
#include "port_entries.h"

namespace vellamoor {
namespace {

// ESC v 0: transmit paper sensor status. The status port answers in the
// layout of the automatic status back.
const uint8_t kStatusRequest[3] = {0x1B, 0x76, 0x00};

// A connection whose index a handle could not name is closed again at once,
// instead of being left open with no way to reach it.
bool nameable(int32_t index) {
    if (index <= 0 || static_cast<uint32_t>(index) <= kMaxHandleIndex) return true;
    closeNetworkPort(static_cast<PortIndex>(index));
    return false;
}

// Many network printers close a connection they found idle. A send on it
// would be taken by the local stack and never reach the printer, so a
// connection the printer has closed is made again in place first. A printer
// that closes at the very moment of the send still loses that send. False
// only when the connection could not be made again.
VELLAMOOR_PER_CALL bool ensureConnected(PortIndex index, int32_t lookAgainAfterMs) {
    return lookAtNetworkPort(index, lookAgainAfterMs) == NetworkLook::kOpen || reconnectNetworkPort(index);
}

}  // namespace

std::atomic<int32_t> statusSocketIndex{-1};

int32_t openNetworkPrinter(int32_t timeoutMs, uint32_t address) {
    statusSocketIndex = -1;
    const int32_t data = openNetworkPort(timeoutMs, address, kPrinterDataTcpPort);
    if (data <= 0) return data;
    if (!nameable(data)) return kNetworkBeyondHandles;

    const int32_t status = openNetworkPort(timeoutMs, address, kPrinterStatusTcpPort);
    statusSocketIndex = status;
    if (status > 0 && nameable(status)) return data;

    // A status connection beyond the handle range was closed again and names nothing.
    if (status > 0) statusSocketIndex = -1;
    closeNetworkPort(static_cast<PortIndex>(data));
    return status > 0 ? kNetworkBeyondHandles : status;
}

VELLAMOOR_PER_CALL int32_t writeNetworkPrinter(PortIndex index, const void* bytes, uint32_t count) {
    if (networkPortTable().entryAt(index) == nullptr) return kNetworkNoEntry;
    if (!ensureConnected(index, kDataLookAgainAfterMs)) return 0;
    return sendNetworkPort(index, bytes, count);
}

// A handle that names no connection asks nobody, rather than another
// printer. What the status connection held before the request (a late
// answer to an earlier query, an unasked status block) is dropped; the look
// that took it off the connection also saw a close behind it.
VELLAMOOR_PER_CALL int32_t exchangeNetworkStatus(PortIndex index, uint8_t* reply, uint32_t capacity) {
    if (networkPortTable().entryAt(index) == nullptr) return 0;
    const PortIndex status = statusConnectionFor(index);
    NetworkPortEntry* entry = networkPortTable().entryAt(status);
    if (entry == nullptr || !ensureConnected(status, 0)) return 0;
    entry->input.clear();
    if (sendNetworkPort(status, kStatusRequest, sizeof kStatusRequest) != sizeof kStatusRequest) return 0;
    const int32_t received = takeNetworkInput(status, reply, capacity, networkWaitLimit(entry->timeoutMs));
    return received > 0 ? received : 0;
}

// The status connection sits after the data connection, so removing it
// first leaves the data connection's index in place.
int32_t closeNetworkPrinter(PortIndex index) {
    if (networkPortTable().entryAt(index) == nullptr) return kNetworkNoEntry;
    closeNetworkPort(statusConnectionFor(index));
    return closeNetworkPort(index);
}

VELLAMOOR_PER_CALL PortIndex statusConnectionFor(PortIndex dataIndex) {
    PortTable<NetworkPortEntry>& table = networkPortTable();
    if (dataIndex != 0) {
        const NetworkPortEntry* data = table.entryAt(dataIndex);
        const NetworkPortEntry* next = table.entryAt(dataIndex + 1);
        if (data != nullptr && next != nullptr && next->tcpPort == kPrinterStatusTcpPort &&
            next->address == data->address) {
            return dataIndex + 1;
        }
    }
    return static_cast<PortIndex>(statusSocketIndex.load());
}

}  // namespace vellamoor
