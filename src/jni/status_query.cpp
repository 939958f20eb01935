// nativeGetParsedStatus: asks the printer behind a handle for its state with
// the ESC/POS status requests and lays the answer out as ParsedStatus:
//   0 cover open, 1 offline, 2 auto-cutter error, 5 paper end,
//   6 paper near end (each 0 or 1), 8 reply count N, 9.. the N reply bytes.
// Positions 3, 4 and 7 are never written; a failed query writes nothing.

#include <net_vellamoor_printerio_IOPort.h>

#include <cstdint>
#include <cstring>

#include "../ports/network_port.h"
#include "../ports/serial_port.h"
#include "../ports/usb_port.h"
#include "java_arrays.h"
#include "network_pairing.h"
#include "port_handle.h"

namespace vellamoor {
namespace {

constexpr jint kStatusFailed = 0;
constexpr jint kStatusFilled = 1;

constexpr uint32_t kReplyCapacity = 128;
constexpr uint8_t kRealTimeStatusRequests = 4;

enum ParsedStatusPosition : jsize {
    kCoverOpenPosition = 0,
    kOfflinePosition = 1,
    kAutoCutterErrorPosition = 2,
    kPaperEndPosition = 5,
    kPaperNearEndPosition = 6,
    kReplyCountPosition = 8,
    kReplyBytesPosition = 9,
};

struct StatusReply {
    uint8_t bytes[kReplyCapacity];  // bytes that never arrived read as 0
    uint32_t count;
};

struct PrinterFlags {
    bool coverOpen;
    bool offline;
    bool autoCutterError;
    bool paperEnd;
    bool paperNearEnd;
};

bool bitSet(uint8_t value, int bit) { return (value >> bit) & 1; }

// Bytes 0-3 answer DLE EOT 1 (printer), 2 (offline cause), 3 (error cause)
// and 4 (roll paper sensor).
PrinterFlags flagsFromRealTimeStatus(const StatusReply& reply) {
    return PrinterFlags{bitSet(reply.bytes[1], 2), bitSet(reply.bytes[0], 3), bitSet(reply.bytes[2], 3),
                        (reply.bytes[3] & 0x60) != 0, (reply.bytes[3] & 0x0C) != 0};
}

// The status port answers in the layout of the first three bytes of the
// automatic status back.
PrinterFlags flagsFromStatusBack(const StatusReply& reply) {
    return PrinterFlags{bitSet(reply.bytes[0], 5), bitSet(reply.bytes[0], 3), bitSet(reply.bytes[1], 3),
                        (reply.bytes[2] & 0x0C) != 0, (reply.bytes[2] & 0x03) != 0};
}

void sendRealTimeRequest(HANDLE port, uint8_t n) {
    const uint8_t request[3] = {0x10, 0x04, n};  // DLE EOT n
    DWORD written = 0;
    WriteFile(port, request, sizeof request, &written, nullptr);  // a lost request shows as a missing reply
}

// Each request is preceded by a purge of the input, so a late answer to the
// previous request is discarded instead of being taken for this one. The
// output is left alone: it may still hold the end of the last receipt.
bool querySerialPrinter(uint16_t index, StatusReply& reply) {
    PortTable<SerialPortEntry>& table = serialPortTable();
    if (SerialPortEntry* entry = table.entryAt(index)) PurgeComm(entry->handle, PURGE_RXCLEAR);
    for (uint8_t n = 1; n <= kRealTimeStatusRequests; ++n) {
        SerialPortEntry* entry = table.entryAt(index);
        if (entry == nullptr || entry->handle == nullptr) return false;
        PurgeComm(entry->handle, PURGE_RXCLEAR);
        sendRealTimeRequest(entry->handle, n);
        DWORD read = 0;
        if (!ReadFile(entry->handle, reply.bytes + reply.count, 1, &read, nullptr) || read == 0) return false;
        reply.count += read;
    }
    return true;
}

// A USB printer may answer a request with more or fewer bytes than asked;
// the replies are laid one after the other and each read is offered only the
// room left in the buffer.
bool queryUsbPrinter(uint16_t index, StatusReply& reply) {
    PortTable<UsbPortEntry>& table = usbPortTable();
    drainUsbPort(index);
    for (uint8_t n = 1; n <= kRealTimeStatusRequests; ++n) {
        UsbPortEntry* entry = table.entryAt(index);
        if (entry != nullptr && entry->writeHandle != nullptr) sendRealTimeRequest(entry->writeHandle, n);
        const uint32_t room = kReplyCapacity - reply.count;
        int32_t read = readUsbPort(index, reply.bytes + reply.count, room);
        if (read <= 0 || static_cast<uint32_t>(read) > room) return false;
        reply.count += static_cast<uint32_t>(read);
    }
    return true;
}

// One ESC v 0 on the printer's status connection; whatever a single recv
// returns is the whole reply. A handle that names no connection asks nobody,
// rather than another printer. What the status connection already holds is a
// late answer to an earlier query and is dropped first.
bool queryNetworkPrinter(uint32_t index, StatusReply& reply) {
    if (networkPortTable().entryAt(index) == nullptr) return false;
    const uint32_t statusIndex = statusConnectionFor(index);
    NetworkPortEntry* entry = networkPortTable().entryAt(statusIndex);
    if (entry == nullptr) return false;
    drainNetworkPort(statusIndex);
    const char request[3] = {0x1B, 0x76, 0x00};
    send(entry->socket, request, sizeof request, 0);
    int received = recv(entry->socket, reinterpret_cast<char*>(reply.bytes), kReplyCapacity, 0);
    if (received <= 0) return false;
    reply.count = static_cast<uint32_t>(received);
    return true;
}

bool queryPrinter(DecodedHandle port, StatusReply& reply, PrinterFlags& flags) {
    switch (port.portType) {
    case kUsbPortType:
        if (!queryUsbPrinter(static_cast<uint16_t>(port.index), reply)) return false;
        flags = flagsFromRealTimeStatus(reply);
        return true;
    case kSerialPortType:
        if (!querySerialPrinter(static_cast<uint16_t>(port.index), reply)) return false;
        flags = flagsFromRealTimeStatus(reply);
        return true;
    case kNetworkPortType:
        if (!queryNetworkPrinter(port.index, reply)) return false;
        flags = flagsFromStatusBack(reply);
        return true;
    default:
        // Handle 0, the result of a failed open, lands here: it names no
        // printer, so it must not read as an online printer with paper.
        return false;
    }
}

// Writes the flags and count, and as many reply bytes as the array holds.
void storeParsedStatus(jbyte* status, jsize length, const PrinterFlags& flags, const StatusReply& reply) {
    status[kCoverOpenPosition] = flags.coverOpen;
    status[kOfflinePosition] = flags.offline;
    status[kAutoCutterErrorPosition] = flags.autoCutterError;
    status[kPaperEndPosition] = flags.paperEnd;
    status[kPaperNearEndPosition] = flags.paperNearEnd;
    status[kReplyCountPosition] = static_cast<jbyte>(static_cast<uint8_t>(reply.count));
    jsize room = length - kReplyBytesPosition;
    jsize stored = static_cast<jsize>(reply.count) < room ? static_cast<jsize>(reply.count) : room;
    std::memcpy(status + kReplyBytesPosition, reply.bytes, static_cast<size_t>(stored));
}

}  // namespace
}  // namespace vellamoor

using namespace vellamoor;

JNIEXPORT jint JNICALL Java_net_vellamoor_printerio_IOPort_nativeGetParsedStatus(JNIEnv* env, jclass, jint handle,
                                                                                  jbyteArray status) {
    ByteArrayElements array(env, status);
    if (!array || array.length() < kReplyBytesPosition) return kStatusFailed;
    StatusReply reply{};
    PrinterFlags flags{};
    if (!queryPrinter(decodePortHandle(handle), reply, flags)) return kStatusFailed;
    storeParsedStatus(array.get(), array.length(), flags, reply);
    return kStatusFilled;
}
