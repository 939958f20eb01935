// The five port entry points of net.vellamoor.printerio.IOPort. The status
// query lives in status_query.cpp. Each turns its Java arrays into plain
// bytes, finds the transport of the handle's port type once and calls it. No
// entry point throws, logs or raises a Java exception: every failure is a
// result value.

#include <net_vellamoor_printerio_IOPort.h>

#include <cstdint>

#include "../ports/port_table.h"
#include "java_arrays.h"
#include "port_handle.h"
#include "transports.h"

namespace vellamoor {
namespace {

constexpr jint kOpenFailed = 0;
constexpr jint kWriteFailed = 0;
constexpr jint kWriteSucceeded = 1;
constexpr jint kAlwaysDone = 1;
constexpr jint kNothingRead = 0;

// Turns a transport's open result into a handle. An index that does not fit
// in the handle's byte could never be named by Java, so that port is closed
// again instead of being left open without a name.
jint admitOpenedPort(uint32_t portType, const Transport& transport, int32_t index) {
    if (index <= 0) return kOpenFailed;
    if (static_cast<uint32_t>(index) > kMaxHandleIndex) {
        transport.close(static_cast<PortIndex>(index));
        return kOpenFailed;
    }
    return makePortHandle(portType, static_cast<uint32_t>(index));
}

}  // namespace
}  // namespace vellamoor

using namespace vellamoor;

JNIEXPORT jint JNICALL Java_net_vellamoor_printerio_IOPort_nativeOpenPort(JNIEnv* env, jclass, jint portType,
                                                                           jbyteArray parameters, jint timeoutMs) {
    ByteArrayElements elements(env, parameters);
    if (!elements) return kOpenFailed;
    const Transport* transport = transportFor(static_cast<uint32_t>(portType));
    if (transport == nullptr) return kOpenFailed;
    int32_t index = transport->open(elements.get(), elements.length(), timeoutMs);
    return admitOpenedPort(static_cast<uint32_t>(portType), *transport, index);
}

JNIEXPORT jint JNICALL Java_net_vellamoor_printerio_IOPort_nativeClosePort(JNIEnv*, jclass, jint handle) {
    DecodedHandle port = decodePortHandle(handle);
    if (const Transport* transport = transportFor(port.portType)) transport->close(port.index);
    return kAlwaysDone;
}

// Sends the first to - from bytes of data, starting at element 0 (from
// shortens the count; it does not move the start), and stores the count sent
// in result[0].
VELLAMOOR_PER_CALL
JNIEXPORT jint JNICALL Java_net_vellamoor_printerio_IOPort_nativeWritePort(JNIEnv* env, jclass, jint handle,
                                                                            jbyteArray data, jint from, jint to,
                                                                            jintArray result) {
    ByteArrayElements bytes(env, data);
    if (bytes.refused()) return kWriteFailed;
    IntArrayElements written(env, result);
    if (written.refused()) return kWriteFailed;
    const int64_t count = static_cast<int64_t>(to) - from;
    int32_t sent = 0;
    DecodedHandle port = decodePortHandle(handle);
    const Transport* transport = transportFor(port.portType);
    if (transport != nullptr && bytes && written.length() > 0 && count >= 0 && count <= bytes.length()) {
        sent = transport->write(port.index, bytes.get(), static_cast<uint32_t>(count));
    }
    if (written.length() > 0) written.get()[0] = sent > 0 ? sent : 0;
    return sent > 0 ? kWriteSucceeded : kWriteFailed;
}

JNIEXPORT jint JNICALL Java_net_vellamoor_printerio_IOPort_nativeReadPort(JNIEnv*, jclass, jint, jint, jint, jint,
                                                                           jint) {
    return kNothingRead;
}

JNIEXPORT jint JNICALL Java_net_vellamoor_printerio_IOPort_nativeResetDevice(JNIEnv*, jclass, jint) {
    return kAlwaysDone;
}
