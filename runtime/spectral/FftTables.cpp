#include "runtime/spectral/FftTables.h"

#include <atomic>
#include <cmath>
#include <memory>
#include <mutex>
#include <numbers>

namespace plexa::spectral {

namespace {

// Output position of frequency x for a transform of n points: the even bins
// come from the half-size transform, the odd ones from two quarter-size
// transforms over the conjugate pair of twiddles.
std::int32_t frequencyAt(std::int32_t x, std::int32_t n) {
    if (n <= 2) return x;
    const std::int32_t m = n / 2;
    if (x < m) return 2 * frequencyAt(x, m);
    const std::int32_t xr = x - m;
    const std::int32_t q = n / 4;
    if (xr < q) return 4 * frequencyAt(xr, q) + 1;
    return (4 * frequencyAt(xr - q, q) - 1) & (n - 1);
}

std::unique_ptr<FftTables> gTables;
std::once_flag gTablesOnce;
std::atomic<int> gTablesReady{0};

void buildTables() {
    auto tables = std::make_unique<FftTables>();
    for (std::int32_t n = kMinFftSize; n <= kMaxFftSize; n *= 2) {
        std::int32_t* segment = tables->permutation + (n - 2);
        segment[0] = 0;
        for (std::int32_t x = 1; x < n; ++x) segment[n - frequencyAt(x, n)] = x;

        const int bits = log2OfPowerOfTwo(n);
        if (n >= 4) {
            std::vector<bool> seen(static_cast<std::size_t>(n), false);
            for (std::int32_t start = 0; start < n; ++start) {
                if (seen[static_cast<std::size_t>(start)]) continue;
                std::int32_t length = 0;
                for (std::int32_t j = start; !seen[static_cast<std::size_t>(j)]; j = segment[j]) {
                    seen[static_cast<std::size_t>(j)] = true;
                    ++length;
                }
                if (length > 1) tables->cycleLeaders[bits].push_back(start);
            }
        }
        if (n >= 8) {
            std::vector<double>& w = tables->twiddles[bits];
            w.resize(static_cast<std::size_t>(n / 2));
            for (std::int32_t k = 0; k < n / 4; ++k) {
                const double angle = 2.0 * std::numbers::pi * k / n;
                w[static_cast<std::size_t>(2 * k)] = std::cos(angle);
                w[static_cast<std::size_t>(2 * k + 1)] = std::sin(angle);
            }
        }
    }
    gTables = std::move(tables);
    gTablesReady.store(1, std::memory_order_release);
}

}  // namespace

int log2OfPowerOfTwo(std::int64_t n) {
    if (n < 1 || n > (std::int64_t{1} << 30) || (n & (n - 1)) != 0) return -1;
    int bits = 0;
    while ((std::int64_t{1} << bits) < n) ++bits;
    return bits;
}

void fftInit() { std::call_once(gTablesOnce, buildTables); }

int fftTablesReady() { return gTablesReady.load(std::memory_order_acquire); }

const FftTables& fftTables() {
    fftInit();
    return *gTables;
}

}  // namespace plexa::spectral
