#pragma once

#include <jni.h>
#include <net_vellamoor_printerio_IOPort.h>

#include <cstdint>

namespace vellamoor {

enum PortType : uint32_t {
    kUsbPortType = 1,
    kSerialPortType = 2,
    kNetworkPortType = 3,
};

// The Java side names the port types too; javac -h copies its constants
// into the generated header, so the two cannot drift apart unnoticed.
static_assert(kUsbPortType == net_vellamoor_printerio_IOPort_USB, "IOPort.USB");
static_assert(kSerialPortType == net_vellamoor_printerio_IOPort_SERIAL, "IOPort.SERIAL");
static_assert(kNetworkPortType == net_vellamoor_printerio_IOPort_NETWORK, "IOPort.NETWORK");

// A port handle as Java sees it: port type in bits 8-15, 1-based table index
// in bits 0-7; higher bits are ignored when decoding.
struct DecodedHandle {
    uint32_t portType;
    uint32_t index;
};

inline DecodedHandle decodePortHandle(jint handle) {
    uint32_t bits = static_cast<uint32_t>(handle);
    return DecodedHandle{(bits >> 8) & 0xFF, bits & 0xFF};
}

inline jint makePortHandle(uint32_t portType, uint32_t index) {
    return static_cast<jint>(portType * 256 + index);
}

}  // namespace vellamoor
