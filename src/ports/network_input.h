#pragma once

#include <cstdint>
#include <cstring>

namespace vellamoor {

// How many bytes a network connection keeps of what the printer sent and
// nobody took yet: several automatic status blocks or answers to commands
// inside a job (a few bytes each).
constexpr uint32_t kNetworkInputBytes = 512;

// What a printer sent on a connection and nobody took yet. The look before a
// send takes the connection's waiting bytes off the socket and keeps them
// here: left on the socket, they would stand ahead of the printer's close and
// hide it. A plain record (the port tables copy their entries); when it is
// full, the oldest bytes make room and are counted in dropped.
struct NetworkInput {
    uint8_t bytes[kNetworkInputBytes];
    uint32_t start;    // position of the oldest byte held
    uint32_t count;    // bytes held
    uint32_t dropped;  // bytes dropped, oldest first, since the connection was opened

    void keep(const uint8_t* from, uint32_t length) {
        for (uint32_t i = 0; i < length; ++i) {
            if (count == kNetworkInputBytes) {
                start = (start + 1) % kNetworkInputBytes;
                --count;
                ++dropped;
            }
            bytes[(start + count) % kNetworkInputBytes] = from[i];
            ++count;
        }
    }

    // Moves up to capacity of the oldest bytes into buffer; returns how many.
    uint32_t take(void* buffer, uint32_t capacity) {
        uint8_t* into = static_cast<uint8_t*>(buffer);
        uint32_t taken = 0;
        while (taken < capacity && count > 0) {
            into[taken++] = bytes[start];
            start = (start + 1) % kNetworkInputBytes;
            --count;
        }
        return taken;
    }

    void clear() { start = count = 0; }
};

}  // namespace vellamoor
