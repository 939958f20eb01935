#include "network_pairing.h"

#include "../ports/network_port.h"

namespace vellamoor {

int32_t statusSocketIndex = -1;

uint32_t statusConnectionFor(uint32_t dataIndex) {
    PortTable<NetworkPortEntry>& table = networkPortTable();
    if (dataIndex != 0) {
        const NetworkPortEntry* data = table.entryAt(dataIndex);
        const NetworkPortEntry* next = table.entryAt(dataIndex + 1);
        if (data != nullptr && next != nullptr && next->tcpPort == kPrinterStatusTcpPort &&
            next->address == data->address) {
            return dataIndex + 1;
        }
    }
    return static_cast<uint32_t>(statusSocketIndex);
}

}  // namespace vellamoor
