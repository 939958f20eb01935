#pragma once

// What the parameter array of nativeOpenPort holds, by port type: serial
// {COM number, speed index}, network the four IPv4 octets, USB nothing read.

#include <net_vellamoor_printerio_IOPort.h>

#include <cstddef>
#include <cstdint>

namespace vellamoor {

constexpr size_t kSerialParameterBytes = 2;
constexpr size_t kNetworkParameterBytes = 4;

// Bits per second by 1-based speed index.
constexpr uint32_t BaudRateTable[] = {9600, 19200, 38400, 115200};
constexpr int kSpeedIndices = sizeof BaudRateTable / sizeof BaudRateTable[0];

// Printer (Java) offers the same speeds; javac -h copies IOPort's names for them.
static_assert(BaudRateTable[0] == net_vellamoor_printerio_IOPort_SPEED_INDEX_1_BPS, "IOPort.SPEED_INDEX_1_BPS");
static_assert(BaudRateTable[1] == net_vellamoor_printerio_IOPort_SPEED_INDEX_2_BPS, "IOPort.SPEED_INDEX_2_BPS");
static_assert(BaudRateTable[2] == net_vellamoor_printerio_IOPort_SPEED_INDEX_3_BPS, "IOPort.SPEED_INDEX_3_BPS");
static_assert(BaudRateTable[3] == net_vellamoor_printerio_IOPort_SPEED_INDEX_4_BPS, "IOPort.SPEED_INDEX_4_BPS");

}  // namespace vellamoor
