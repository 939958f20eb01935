#pragma once

// The layout of the status array that nativeGetParsedStatus fills, shared by
// the library, the printer tool, the DLL client and the fuzzer:
//   0 cover open, 1 offline, 2 auto-cutter error, 5 paper end,
//   6 paper near end (each 0 or 1), 8 reply count N (1 to 128, 128 stored
//   as 0x80), 9 .. 8+N the reply bytes. Positions 3, 4 and 7 are never
//   written.

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

}  // namespace vellamoor
