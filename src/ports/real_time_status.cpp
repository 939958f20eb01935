// The status exchange of serial and USB printers: ESC/POS DLE EOT n
// (transmit real-time status) for n = 1 to 4 (printer, offline cause, error
// cause, roll paper sensor), built on each transport's own write and read.

#include "serial_port.h"
#include "usb_port.h"

namespace vellamoor {
namespace {

constexpr uint8_t kRealTimeStatusRequests = 4;

struct RealTimeStatusRequest {
    explicit RealTimeStatusRequest(uint8_t n) : bytes{0x10, 0x04, n} {}  // DLE EOT n
    uint8_t bytes[3];
};

}  // namespace

// One reply byte per request. Unread input is discarded before each
// request, so neither a late answer to an earlier request nor bytes the
// printer sent on its own are taken for this one's reply. A lost request
// shows as a missing reply, so the write's result is not looked at.
VELLAMOOR_PER_CALL int32_t exchangeSerialStatus(PortIndex index, uint8_t* reply, uint32_t capacity) {
    if (capacity < kRealTimeStatusRequests) return 0;
    for (uint8_t n = 1; n <= kRealTimeStatusRequests; ++n) {
        purgeSerialInput(index);
        RealTimeStatusRequest request(n);
        writeSerialPort(index, request.bytes, sizeof request.bytes);
        if (readSerialPort(index, reply + n - 1, 1) != 1) return 0;
    }
    return kRealTimeStatusRequests;
}

// A USB printer may answer a request with more or fewer bytes than asked;
// the replies are laid one after the other and each read is offered only the
// room left.
VELLAMOOR_PER_CALL int32_t exchangeUsbStatus(PortIndex index, uint8_t* reply, uint32_t capacity) {
    drainUsbPort(index);
    uint32_t count = 0;
    for (uint8_t n = 1; n <= kRealTimeStatusRequests; ++n) {
        RealTimeStatusRequest request(n);
        writeUsbPort(index, request.bytes, sizeof request.bytes);
        const uint32_t room = capacity - count;
        int32_t read = readUsbPort(index, reply + count, room);
        if (read <= 0 || static_cast<uint32_t>(read) > room) return 0;
        count += static_cast<uint32_t>(read);
    }
    return static_cast<int32_t>(count);
}

}  // namespace vellamoor
