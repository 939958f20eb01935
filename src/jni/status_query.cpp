// nativeGetParsedStatus: asks the printer behind a handle for its state
// through its transport's status exchange and lays the answer out in the
// caller's array (parsed_status.h). A failed query writes nothing.

#include <net_vellamoor_printerio_IOPort.h>

#include <cstdint>
#include <cstring>

#include "java_arrays.h"
#include "parsed_status.h"
#include "port_handle.h"
#include "transports.h"

namespace vellamoor {
namespace {

constexpr jint kStatusFailed = 0;
constexpr jint kStatusFilled = 1;

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

// The first three bytes of the automatic status back.
PrinterFlags flagsFromStatusBack(const StatusReply& reply) {
    return PrinterFlags{bitSet(reply.bytes[0], 5), bitSet(reply.bytes[0], 3), bitSet(reply.bytes[1], 3),
                        (reply.bytes[2] & 0x0C) != 0, (reply.bytes[2] & 0x03) != 0};
}

PrinterFlags flagsFrom(ReplyLayout layout, const StatusReply& reply) {
    return layout == ReplyLayout::kRealTimeStatus ? flagsFromRealTimeStatus(reply) : flagsFromStatusBack(reply);
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

// Handle 0, the result of a failed open, names no transport: it must not
// read as an online printer with paper, so it fails like any other handle
// that names no printer.
VELLAMOOR_PER_CALL
JNIEXPORT jint JNICALL Java_net_vellamoor_printerio_IOPort_nativeGetParsedStatus(JNIEnv* env, jclass, jint handle,
                                                                                  jbyteArray status) {
    ByteArrayElements array(env, status);
    if (!array || array.length() < kReplyBytesPosition) return kStatusFailed;
    DecodedHandle port = decodePortHandle(handle);
    const Transport* transport = transportFor(port.portType);
    if (transport == nullptr) return kStatusFailed;
    StatusReply reply{};
    int32_t received = transport->exchangeStatus(port.index, reply.bytes, kReplyCapacity);
    if (received <= 0) return kStatusFailed;
    reply.count = static_cast<uint32_t>(received);
    storeParsedStatus(array.get(), array.length(), flagsFrom(transport->replyLayout, reply), reply);
    return kStatusFilled;
}
