// The five port entry points of net.vellamoor.printerio.IOPort. The status
// query lives in status_query.cpp. No entry point throws, logs or raises a
// Java exception: every failure is a result value.

#include <net_vellamoor_printerio_IOPort.h>

#include <cstdint>

#include "../ports/network_port.h"
#include "../ports/serial_port.h"
#include "../ports/usb_port.h"
#include "java_arrays.h"
#include "network_pairing.h"
#include "port_handle.h"

namespace vellamoor {
namespace {

constexpr jint kOpenFailed = 0;
constexpr jint kWriteFailed = 0;
constexpr jint kWriteSucceeded = 1;
constexpr jint kAlwaysDone = 1;
constexpr jint kNothingRead = 0;

constexpr jsize kSerialParameterBytes = 2;
constexpr jsize kNetworkParameterBytes = 4;

// Bits per second by 1-based speed index.
constexpr uint32_t BaudRateTable[] = {9600, 19200, 38400, 115200};

// Turns a transport's open result into a handle. An index that does not fit
// in the handle's byte could never be named by Java, so that connection is
// closed again instead of being left open without a name.
template <typename Close>
jint admitOpenedPort(uint32_t portType, int32_t index, Close close) {
    if (index <= 0) return kOpenFailed;
    if (static_cast<uint32_t>(index) > kMaxHandleIndex) {
        close(static_cast<uint32_t>(index));
        return kOpenFailed;
    }
    return makePortHandle(portType, static_cast<uint32_t>(index));
}

jint openUsbHandle(jint timeoutMs) {
    return admitOpenedPort(kUsbPortType, openUsbPort(timeoutMs),
                           [](uint32_t index) { closeUsbPort(static_cast<uint16_t>(index)); });
}

jint openSerialHandle(const ByteArrayElements& parameters, jint timeoutMs) {
    if (parameters.length() < kSerialParameterBytes) return kOpenFailed;
    const int32_t portNumber = parameters.get()[0];
    const int32_t speedIndex = parameters.get()[1];
    if (speedIndex < 1 || speedIndex > 4) return kOpenFailed;
    int32_t index = openSerialPort(portNumber, BaudRateTable[speedIndex - 1], static_cast<uint32_t>(timeoutMs));
    return admitOpenedPort(kSerialPortType, index,
                           [](uint32_t opened) { closeSerialPort(static_cast<uint16_t>(opened)); });
}

uint32_t addressFromOctets(const jbyte* octets) {
    return static_cast<uint32_t>(static_cast<uint8_t>(octets[0])) << 24 |
           static_cast<uint32_t>(static_cast<uint8_t>(octets[1])) << 16 |
           static_cast<uint32_t>(static_cast<uint8_t>(octets[2])) << 8 |
           static_cast<uint32_t>(static_cast<uint8_t>(octets[3]));
}

// A network printer is two connections to one address: print data on 9100,
// then status on 4000, appended one after the other. Both open or neither
// stays open.
jint openNetworkHandle(const ByteArrayElements& parameters, jint timeoutMs) {
    if (parameters.length() < kNetworkParameterBytes) return kOpenFailed;
    const uint32_t address = addressFromOctets(parameters.get());
    statusSocketIndex = -1;

    int32_t data = openNetworkPort(timeoutMs, address, kPrinterDataTcpPort);
    jint handle = admitOpenedPort(kNetworkPortType, data, closeNetworkPort);
    if (handle == kOpenFailed) return kOpenFailed;

    int32_t status = openNetworkPort(timeoutMs, address, kPrinterStatusTcpPort);
    statusSocketIndex = status;
    if (admitOpenedPort(kNetworkPortType, status, closeNetworkPort) != kOpenFailed) return handle;

    // A status connection beyond the handle range was closed again and names nothing.
    if (status > 0) statusSocketIndex = -1;
    closeNetworkPort(static_cast<uint32_t>(data));
    return kOpenFailed;
}

int32_t sendOnNetworkPort(uint32_t index, const jbyte* bytes, uint32_t count) {
    NetworkPortEntry* entry = networkPortTable().entryAt(index);
    if (entry == nullptr) return kNetworkNoEntry;
    // One send; a partial send reports its own count to the caller.
    return send(entry->socket, reinterpret_cast<const char*>(bytes), static_cast<int>(count), 0);
}

int32_t writeToPort(DecodedHandle port, const jbyte* bytes, uint32_t count) {
    switch (port.portType) {
    case kUsbPortType:
        return writeUsbPort(static_cast<uint16_t>(port.index), bytes, count);
    case kSerialPortType:
        return static_cast<int32_t>(writeSerialPort(static_cast<uint16_t>(port.index), bytes, count));
    case kNetworkPortType:
        return sendOnNetworkPort(port.index, bytes, count);
    default:
        return 0;
    }
}

// Closes a network printer's status connection before its data connection:
// the status connection sits after it, so removing it first leaves the data
// connection's index in place. A handle that names no connection closes
// nothing, not even another printer's status connection.
void closeNetworkPrinter(uint32_t index) {
    if (networkPortTable().entryAt(index) == nullptr) return;
    closeNetworkPort(statusConnectionFor(index));
    closeNetworkPort(index);
}

}  // namespace
}  // namespace vellamoor

using namespace vellamoor;

JNIEXPORT jint JNICALL Java_net_vellamoor_printerio_IOPort_nativeOpenPort(JNIEnv* env, jclass, jint portType,
                                                                           jbyteArray parameters, jint timeoutMs) {
    ByteArrayElements elements(env, parameters);
    if (!elements) return kOpenFailed;
    switch (portType) {
    case kUsbPortType:
        return openUsbHandle(timeoutMs);
    case kSerialPortType:
        return openSerialHandle(elements, timeoutMs);
    case kNetworkPortType:
        return openNetworkHandle(elements, timeoutMs);
    default:
        return kOpenFailed;
    }
}

JNIEXPORT jint JNICALL Java_net_vellamoor_printerio_IOPort_nativeClosePort(JNIEnv*, jclass, jint handle) {
    DecodedHandle port = decodePortHandle(handle);
    switch (port.portType) {
    case kUsbPortType:
        closeUsbPort(static_cast<uint16_t>(port.index));
        break;
    case kSerialPortType:
        closeSerialPort(static_cast<uint16_t>(port.index));
        break;
    case kNetworkPortType:
        closeNetworkPrinter(port.index);
        break;
    default:
        break;
    }
    return kAlwaysDone;
}

// Sends the first to - from bytes of data, starting at element 0 (from
// shortens the count; it does not move the start), and stores the count sent
// in result[0].
JNIEXPORT jint JNICALL Java_net_vellamoor_printerio_IOPort_nativeWritePort(JNIEnv* env, jclass, jint handle,
                                                                            jbyteArray data, jint from, jint to,
                                                                            jintArray result) {
    ByteArrayElements bytes(env, data);
    if (bytes.refused()) return kWriteFailed;
    IntArrayElements written(env, result);
    if (written.refused()) return kWriteFailed;
    const int64_t count = static_cast<int64_t>(to) - from;
    int32_t sent = 0;
    if (bytes && written.length() > 0 && count >= 0 && count <= bytes.length()) {
        sent = writeToPort(decodePortHandle(handle), bytes.get(), static_cast<uint32_t>(count));
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
