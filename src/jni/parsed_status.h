#pragma once

// The layout of the status array that nativeGetParsedStatus fills, shared by
// the library, the printer tool, the DLL client and the fuzzer:
//   0 cover open, 1 offline, 2 auto-cutter error, 5 paper end,
//   6 paper near end (each 0 or 1), 8 reply count N (1 to 128, 128 stored
//   as 0x80), 9 .. 8+N the reply bytes. Positions 3, 4 and 7 are never
//   written.

#include <net_vellamoor_printerio_IOPort.h>

#include <cstddef>
#include <cstdint>

namespace vellamoor {

enum ParsedStatusPosition : int {
    kCoverOpenPosition = 0,
    kOfflinePosition = 1,
    kAutoCutterErrorPosition = 2,
    kPaperEndPosition = 5,
    kPaperNearEndPosition = 6,
    kReplyCountPosition = 8,
    kReplyBytesPosition = 9,
};

// The most reply bytes one query collects.
constexpr uint32_t kReplyCapacity = 128;

// A status array with room for the flags, the count and a full reply.
constexpr size_t kFullStatusLength = kReplyBytesPosition + kReplyCapacity;

// The Java side reads the same array (PrinterStatus); IOPort names the
// layout and javac -h copies it into the generated header.
static_assert(kCoverOpenPosition == net_vellamoor_printerio_IOPort_STATUS_COVER_OPEN, "IOPort.STATUS_COVER_OPEN");
static_assert(kOfflinePosition == net_vellamoor_printerio_IOPort_STATUS_OFFLINE, "IOPort.STATUS_OFFLINE");
static_assert(kAutoCutterErrorPosition == net_vellamoor_printerio_IOPort_STATUS_AUTO_CUTTER_ERROR,
              "IOPort.STATUS_AUTO_CUTTER_ERROR");
static_assert(kPaperEndPosition == net_vellamoor_printerio_IOPort_STATUS_PAPER_END, "IOPort.STATUS_PAPER_END");
static_assert(kPaperNearEndPosition == net_vellamoor_printerio_IOPort_STATUS_PAPER_NEAR_END,
              "IOPort.STATUS_PAPER_NEAR_END");
static_assert(kReplyCountPosition == net_vellamoor_printerio_IOPort_STATUS_REPLY_COUNT, "IOPort.STATUS_REPLY_COUNT");
static_assert(kReplyBytesPosition == net_vellamoor_printerio_IOPort_STATUS_REPLY_BYTES, "IOPort.STATUS_REPLY_BYTES");
static_assert(kReplyCapacity == net_vellamoor_printerio_IOPort_STATUS_REPLY_CAPACITY, "IOPort.STATUS_REPLY_CAPACITY");

}  // namespace vellamoor
