#pragma once

// What the benchmarks on both platforms share: their settings, the command
// line's address, and the measuring loop. Each row prints one CSV line:
//   row,bytes_per_call,library_calls,library_seconds,raw_calls,raw_seconds,median_ratio
// where median_ratio is the median over the rounds of library rate / raw rate.

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <vector>

namespace vellamoor {

constexpr int kRounds = 9;
constexpr int32_t kTimeoutMs = 2000;
constexpr size_t kWriteSizes[] = {64, 1024, 65536};  // bytes per write, one row each
constexpr uint8_t kFastestSpeed = 4;  // speed index of 115200 baud, as the raw opens set

// Reads a dotted IPv4 address into its four octets.
inline bool parseIpv4(const char* text, uint8_t (&address)[4]) {
    unsigned parts[4];
    if (std::sscanf(text, "%u.%u.%u.%u", &parts[0], &parts[1], &parts[2], &parts[3]) != 4) return false;
    for (int i = 0; i < 4; ++i) address[i] = static_cast<uint8_t>(parts[i]);
    return true;
}

struct Side {
    long calls = 0;
    double seconds = 0;
};

using Body = std::function<bool()>;  // one call; false stops the row

// Runs library and raw bodies in alternating slices so that drift in the
// machine's load hits both alike, and swaps which goes first every round: a
// slow sink lets the first slice fill its buffers and the second pay for it.
inline void measure(const char* row, size_t bytesPerCall, double secondsPerSide, const Body& library,
                    const Body& raw) {
    Side sides[2];
    const Body* bodies[2] = {&library, &raw};
    std::vector<double> ratios;
    for (int round = 0; round < kRounds; ++round) {
        Side slice[2];
        for (int turn = 0; turn < 2; ++turn) {
            const int side = (turn + round) % 2;
            auto start = std::chrono::steady_clock::now();
            double elapsed = 0;
            while (elapsed < secondsPerSide / kRounds) {
                if (!(*bodies[side])()) {
                    std::fprintf(stderr, "bench: %s stopped: a %s call failed\n", row, side ? "raw" : "library");
                    std::exit(1);
                }
                ++slice[side].calls;
                elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            }
            slice[side].seconds = elapsed;
            sides[side].calls += slice[side].calls;
            sides[side].seconds += elapsed;
        }
        ratios.push_back((slice[0].calls / slice[0].seconds) / (slice[1].calls / slice[1].seconds));
    }
    std::sort(ratios.begin(), ratios.end());
    std::printf("%s,%zu,%ld,%.6f,%ld,%.6f,%.4f\n", row, bytesPerCall, sides[0].calls, sides[0].seconds, sides[1].calls,
                sides[1].seconds, ratios[ratios.size() / 2]);
    std::fflush(stdout);
}

}  // namespace vellamoor
