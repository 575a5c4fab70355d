// Tables shared by every effect object in the process: the output order of
// the complex transform per size, the leaders of that order's cycles, and the
// twiddle factors. Built once, read-only afterwards.
#pragma once

#include <cstdint>
#include <vector>

namespace plexa::spectral {

constexpr int kMinFftSize = 2;
constexpr int kMaxFftSize = 32768;
constexpr int kPermutationEntries = 2 * kMaxFftSize - 2;  // segments of 2, 4, ..., 32768

struct FftTables {
    // Segment of size N starts at N - 2; entry k is where bin k ends up.
    std::int32_t permutation[kPermutationEntries];
    // Smallest element of each cycle longer than 1, per size (index log2 N).
    std::vector<std::int32_t> cycleLeaders[16];
    // (cos, sin) of 2*pi*k/N for k = 0 .. N/4 - 1, per size (index log2 N, N >= 8).
    std::vector<double> twiddles[16];
};

// Builds the tables on first call; safe to call from any number of threads
// at once (effects are created on several host threads).
void fftInit();
// 1 once the tables exist.
int fftTablesReady();
// The tables; builds them when needed.
const FftTables& fftTables();

// log2 of n when n is a power of two from 1 to 2^30, else -1.
int log2OfPowerOfTwo(std::int64_t n);

}  // namespace plexa::spectral
