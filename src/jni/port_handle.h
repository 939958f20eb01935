#pragma once

#include <jni.h>

#include <cstdint>

namespace vellamoor {

enum PortType : uint32_t {
    kUsbPortType = 1,
    kSerialPortType = 2,
    kNetworkPortType = 3,
};

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
