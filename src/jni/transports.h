#pragma once

#include <jni.h>

#include <cstdint>

#include "../ports/transport.h"

namespace vellamoor {

// How a transport's status reply maps onto the flags.
enum class ReplyLayout {
    kRealTimeStatus,       // bytes 0-3 answer DLE EOT 1-4
    kAutomaticStatusBack,  // the first three bytes of the automatic status back
};

// The operations of one transport, as the entry points use them.
struct Transport {
    // Opens from the Java parameter array; the transport's open result.
    int32_t (*open)(const jbyte* parameters, jsize length, jint timeoutMs);
    int32_t (*write)(PortIndex index, const void* bytes, uint32_t count);
    int32_t (*exchangeStatus)(PortIndex index, uint8_t* reply, uint32_t capacity);
    int32_t (*close)(PortIndex index);
    int32_t (*readData)(PortIndex index, void* buffer, uint32_t capacity, int32_t timeoutMs);
    ReplyLayout replyLayout;
};

// The transport of a port type (1 USB, 2 serial, 3 network), or nullptr.
const Transport* transportFor(uint32_t portType);

}  // namespace vellamoor
