#pragma once

// The measuring loop of the benchmarks on both platforms. Each row prints one
// CSV line:
//   row,bytes_per_call,library_calls,library_seconds,raw_calls,raw_seconds,median_ratio
// where median_ratio is the median over the rounds of library rate / raw rate.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <vector>

namespace vellamoor {

constexpr int kRounds = 9;

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
