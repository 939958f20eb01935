#pragma once

// What the parameter array of nativeOpenPort holds, by port type: serial
// {COM number, speed index}, network the four IPv4 octets, USB nothing read.

#include <cstddef>
#include <cstdint>

namespace vellamoor {

constexpr size_t kSerialParameterBytes = 2;
constexpr size_t kNetworkParameterBytes = 4;

// Bits per second by 1-based speed index.
constexpr uint32_t BaudRateTable[] = {9600, 19200, 38400, 115200};
constexpr int kSpeedIndices = sizeof BaudRateTable / sizeof BaudRateTable[0];

}  // namespace vellamoor
