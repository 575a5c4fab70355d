#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <complex>
#include <random>
#include <vector>

#include "runtime/TPlexa.h"
#include "runtime/spectral/ComplexProducts.h"
#include "runtime/spectral/Fft.h"
#include "runtime/spectral/FftTables.h"
#include "runtime/spectral/Mdct.h"
#include "runtime/spectral/MemorySpectral.h"

using namespace plexa;
using namespace plexa::spectral;

namespace {

using Complex = std::complex<long double>;
const long double kPi = 3.141592653589793238462643383279502884L;

std::vector<double> randomSignal(std::size_t count, unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> dist(-1.0, 1.0);
    std::vector<double> v(count);
    for (double& x : v) x = dist(rng);
    return v;
}

// Plain O(n^2) transform in extended precision, natural order.
std::vector<Complex> directTransform(const std::vector<double>& data, int n, int sign) {
    std::vector<Complex> roots(static_cast<std::size_t>(n));
    for (int j = 0; j < n; ++j) roots[static_cast<std::size_t>(j)] = std::polar(1.0L, sign * 2 * kPi * j / n);
    std::vector<Complex> out(static_cast<std::size_t>(n));
    for (int k = 0; k < n; ++k) {
        Complex sum = 0;
        for (int t = 0; t < n; ++t)
            sum += Complex(data[2 * t], data[2 * t + 1]) * roots[static_cast<std::size_t>((static_cast<long long>(k) * t) % n)];
        out[static_cast<std::size_t>(k)] = sum;
    }
    return out;
}

// Relative error in the 2-norm, the natural measure for a transform: its
// rounding error grows like eps * log2(n) times the signal's norm.
double relativeError(const std::vector<Complex>& reference, const double* actual, const int* position, int n) {
    long double diff = 0, norm = 0;
    for (int k = 0; k < n; ++k) {
        const int p = position ? position[k] : k;
        diff += std::norm(Complex(actual[2 * p], actual[2 * p + 1]) - reference[static_cast<std::size_t>(k)]);
        norm += std::norm(reference[static_cast<std::size_t>(k)]);
    }
    return static_cast<double>(std::sqrt(diff / norm));
}

double fftTolerance(int n) { return 4.0 * DBL_EPSILON * std::log2(static_cast<double>(n)); }

struct SpectralEffect : TPlexa {};

}  // namespace

TEST(FftOrder, SegmentsMatchTheKnownOrdersAndArePermutations) {
    fftInit();
    EXPECT_EQ(fftTablesReady(), 1);
    EXPECT_EQ(fftPermuteIndex(4, 1), 3);
    EXPECT_EQ(fftPermuteIndex(4, 3), 2);
    EXPECT_EQ(std::vector<int>(fftPermuteSegment(4), fftPermuteSegment(4) + 4), (std::vector<int>{0, 3, 1, 2}));
    EXPECT_EQ(std::vector<int>(fftPermuteSegment(8), fftPermuteSegment(8) + 8),
              (std::vector<int>{0, 6, 3, 5, 1, 7, 2, 4}));
    EXPECT_EQ(std::vector<int>(fftPermuteSegment(16), fftPermuteSegment(16) + 16),
              (std::vector<int>{0, 12, 6, 11, 3, 15, 5, 9, 1, 13, 7, 10, 2, 14, 4, 8}));
    EXPECT_EQ(fftPermuteSegment(2)[1], 1);
    EXPECT_EQ(fftPermuteSegment(3), nullptr);
    EXPECT_EQ(fftPermuteSegment(65536), nullptr);

    for (int n = 2; n <= 32768; n *= 2) {
        std::vector<bool> seen(static_cast<std::size_t>(n));
        for (int k = 0; k < n; ++k) {
            const int p = fftPermuteSegment(n)[k];
            ASSERT_TRUE(p >= 0 && p < n && !seen[static_cast<std::size_t>(p)]) << "size " << n;
            seen[static_cast<std::size_t>(p)] = true;
        }
    }
}

TEST(FftOrder, CycleLeadersPerSize) {
    const FftTables& tables = fftTables();
    const std::size_t expected[] = {0, 0, 1, 1, 2, 1, 3, 5, 7, 7, 7, 8, 9, 19, 5, 18};
    for (int bits = 2; bits <= 15; ++bits) EXPECT_EQ(tables.cycleLeaders[bits].size(), expected[bits]) << (1 << bits);
    EXPECT_EQ(tables.cycleLeaders[4], (std::vector<int>{1, 3}));
    EXPECT_EQ(tables.cycleLeaders[6], (std::vector<int>{1, 3, 9}));
    EXPECT_EQ(tables.cycleLeaders[7], (std::vector<int>{1, 3, 4, 9, 14}));
    EXPECT_EQ(tables.cycleLeaders[14], (std::vector<int>{1, 3, 6, 24, 1219}));
}

TEST(Fft, ImpulseGivesAFlatSpectrumAndPermuteRestoresBinOrder) {
    std::vector<double> x(32, 0.0);
    x[0] = 1;
    fftComplex(x.data(), 16, false);
    for (int k = 0; k < 16; ++k) {
        EXPECT_EQ(x[2 * k], 1.0);
        EXPECT_EQ(x[2 * k + 1], 0.0);
    }
    // A pure tone at bin 3 lands at its table position, and at 3 after permuting.
    std::vector<double> tone(32);
    for (int t = 0; t < 16; ++t) {
        tone[2 * t] = std::cos(2 * M_PI * 3 * t / 16);
        tone[2 * t + 1] = std::sin(2 * M_PI * 3 * t / 16);
    }
    fftComplex(tone.data(), 16, false);
    EXPECT_NEAR(tone[2 * fftPermuteIndex(16, 3)], 16.0, 1e-12);
    fftPermute(tone.data(), 16);
    EXPECT_NEAR(tone[6], 16.0, 1e-12);
    EXPECT_NEAR(tone[0], 0.0, 1e-12);
}

TEST(Fft, MatchesTheDirectTransformInBothDirections) {
    for (int n = 2; n <= 4096; n *= 2) {
        SCOPED_TRACE(n);
        const std::vector<double> input = randomSignal(2 * static_cast<std::size_t>(n), static_cast<unsigned>(n));
        std::vector<double> forward = input;
        fftComplex(forward.data(), n, false);
        EXPECT_LT(relativeError(directTransform(input, n, -1), forward.data(), fftPermuteSegment(n), n),
                  fftTolerance(n));

        // The inverse reads bins at their table positions and writes natural order.
        std::vector<double> placed(input.size());
        for (int k = 0; k < n; ++k) {
            placed[2 * fftPermuteSegment(n)[k]] = input[2 * k];
            placed[2 * fftPermuteSegment(n)[k] + 1] = input[2 * k + 1];
        }
        fftComplex(placed.data(), n, true);
        EXPECT_LT(relativeError(directTransform(input, n, +1), placed.data(), nullptr, n), fftTolerance(n));
    }
}

TEST(Fft, RoundTripMultipliesByTheSizeAtEverySize) {
    for (int n = 2; n <= 32768; n *= 2) {
        const std::vector<double> input = randomSignal(2 * static_cast<std::size_t>(n), 7);
        std::vector<double> data = input;
        fftComplex(data.data(), n, false);
        fftComplex(data.data(), n, true);
        std::vector<Complex> scaled(static_cast<std::size_t>(n));
        for (int k = 0; k < n; ++k) scaled[static_cast<std::size_t>(k)] = Complex(input[2 * k], input[2 * k + 1]) * (long double)n;
        EXPECT_LT(relativeError(scaled, data.data(), nullptr, n), 2 * fftTolerance(n)) << n;
    }
}

TEST(Fft, PermutationsAreInverseOfEachOther) {
    for (int n = 4; n <= 32768; n *= 2) {
        const std::vector<double> input = randomSignal(2 * static_cast<std::size_t>(n), 3);
        std::vector<double> data = input;
        fftIpermute(data.data(), n);
        for (int k = 0; k < n; ++k) ASSERT_EQ(data[2 * fftPermuteIndex(n, k)], input[2 * k]) << n;
        fftPermute(data.data(), n);
        ASSERT_EQ(data, input) << n;
    }
}

TEST(Fft, UnsupportedSizesTouchNothing) {
    std::vector<double> data = randomSignal(64, 1);
    const std::vector<double> before = data;
    for (int n : {0, 1, 3, 12, -8, 65536}) fftComplex(data.data(), n, false);
    fftPermute(data.data(), 2);
    fftIpermute(data.data(), 24);
    EXPECT_EQ(data, before);
}

TEST(ComplexProducts, PairsOnlyAndAllThreeForms) {
    const double a[8] = {1, 2, 3, 4, 5, 6, 7, 8}, b[8] = {2, -1, 0, 1, -1, 0, 0.5, 0.5};
    double out[8] = {};
    complexMultiplyTo(out, a, b, 4);
    const double expected[8] = {4, 3, -4, 3, -5, -6, -0.5, 7.5};
    for (int i = 0; i < 8; ++i) EXPECT_EQ(out[i], expected[i]);
    complexMultiplyAdd(out, a, b, 4);
    EXPECT_EQ(out[1], 6.0);
    double dest[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    complexMultiply(dest, b, 4);
    for (int i = 0; i < 8; ++i) EXPECT_EQ(dest[i], expected[i]);
    double untouched[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    complexMultiply(untouched, b, 3);
    complexMultiply(untouched, b, 0);
    EXPECT_EQ(untouched[0], 1.0);
}

TEST(Mdct, FastPathMatchesTheDirectSumsAtEveryLength) {
    for (int n = 32; n <= 4096; n *= 2) {
        SCOPED_TRACE(n);
        const MdctContext* context = mdctContext(n);
        ASSERT_NE(context, nullptr);
        const std::vector<double> x = randomSignal(static_cast<std::size_t>(n), static_cast<unsigned>(n) + 1);
        std::vector<double> coefficients(static_cast<std::size_t>(n / 2));
        mdctForward(*context, x.data(), coefficients.data());

        // cos(pi/(2n) * j) depends on j mod 4n only.
        std::vector<long double> cosine(static_cast<std::size_t>(4 * n));
        for (int j = 0; j < 4 * n; ++j) cosine[static_cast<std::size_t>(j)] = std::cos(kPi / (2 * n) * j);
        const auto basis = [&](int t, int k) {
            return cosine[static_cast<std::size_t>((static_cast<long long>(2 * t + 1 + n / 2) * (2 * k + 1)) % (4 * n))];
        };
        const double forwardScale = n == 32 ? 1.0 : 4.0 / n;
        long double diff = 0, norm = 0;
        std::vector<long double> direct(static_cast<std::size_t>(n / 2));
        for (int k = 0; k < n / 2; ++k) {
            long double sum = 0;
            for (int t = 0; t < n; ++t)
                sum += x[static_cast<std::size_t>(t)] * basis(t, k);
            direct[static_cast<std::size_t>(k)] = sum;
            diff += std::pow(coefficients[static_cast<std::size_t>(k)] - forwardScale * sum, 2);
            norm += std::pow(forwardScale * sum, 2);
        }
        EXPECT_LT(std::sqrt(diff / norm), fftTolerance(n) * 4);

        std::vector<double> back(static_cast<std::size_t>(n));
        mdctInverse(*context, coefficients.data(), back.data());
        const double inverseScale = n == 32 ? 4.0 / n : 1.0;
        diff = norm = 0;
        for (int t = 0; t < n; ++t) {
            long double sum = 0;
            for (int k = 0; k < n / 2; ++k)
                sum += coefficients[static_cast<std::size_t>(k)] * basis(t, k);
            diff += std::pow(back[static_cast<std::size_t>(t)] - inverseScale * sum, 2);
            norm += std::pow(inverseScale * sum, 2);
        }
        EXPECT_LT(std::sqrt(diff / norm), fftTolerance(n) * 4);
    }
    EXPECT_EQ(mdctContext(16), nullptr);
    EXPECT_EQ(mdctContext(8192), nullptr);
    EXPECT_EQ(mdctContext(100), nullptr);
}

TEST(Mdct, WindowedOverlapAddReconstructsAtEveryLength) {
    // Princen-Bradley: windowed forward, inverse, window again and overlap by
    // half gives the input back exactly (factor 1) at every length.
    for (int n = 32; n <= 4096; n *= 2) {
        const MdctContext& context = *mdctContext(n);
        const std::vector<double> signal = randomSignal(static_cast<std::size_t>(2 * n), 11);
        std::vector<double> sum(static_cast<std::size_t>(2 * n), 0.0);
        for (int start : {-n / 2, 0, n / 2, n}) {
            std::vector<double> frame(static_cast<std::size_t>(n), 0.0), windowed(frame.size()), back(frame.size());
            for (int t = 0; t < n; ++t)
                if (start + t >= 0 && start + t < 2 * n) frame[static_cast<std::size_t>(t)] = signal[static_cast<std::size_t>(start + t)];
            std::vector<double> coefficients(static_cast<std::size_t>(n / 2));
            mdctWindow(context, frame.data(), windowed.data());
            mdctForward(context, windowed.data(), coefficients.data());
            mdctInverse(context, coefficients.data(), back.data());
            mdctWindow(context, back.data(), windowed.data());
            for (int t = 0; t < n; ++t)
                if (start + t >= 0 && start + t < 2 * n) sum[static_cast<std::size_t>(start + t)] += windowed[static_cast<std::size_t>(t)];
        }
        for (int t = n / 2; t < 3 * n / 2; ++t)
            ASSERT_NEAR(sum[static_cast<std::size_t>(t)], signal[static_cast<std::size_t>(t)], 1e-13 * std::log2(n)) << n;
    }
}

TEST(MemorySpectral, SizesModesAndBlockLimits) {
    SpectralEffect effect;
    for (int i = 0; i < 2048; ++i) effect.memoryCell(i) = i % 2 == 0 ? 1.0 : 0.0;

    memFft(effect, 0, 1000, 0);  // 512 complex numbers: all ones transform to an impulse
    EXPECT_NEAR(effect.memoryCell(0), 512.0, 1e-9);
    EXPECT_NEAR(effect.memoryCell(2), 0.0, 1e-9);
    EXPECT_EQ(effect.memoryCell(1024), 1.0);  // beyond 512 complex numbers: untouched

    for (int i = 0; i < 64; ++i) effect.memoryCell(10000 + i) = i;
    const std::vector<double> before(effect.memoryBlocks[0].begin() + 10000, effect.memoryBlocks[0].begin() + 10064);
    memFft(effect, 10000, 8, 0);
    for (double mode : {2.0, 3.0, 6.0, 7.0, 8.0, -1.0}) memFft(effect, 10000, 16, mode);
    memFft(effect, 65536 - 16, 16, 0);  // would run past the block's end
    memFft(effect, 10000, 65536, 0);
    EXPECT_EQ(std::vector<double>(effect.memoryBlocks[0].begin() + 10000, effect.memoryBlocks[0].begin() + 10064), before);

    // A tone at bin 3 through the four modes: the forward transform leaves it
    // at its table position, 4 brings it to index 3, 5 takes it back there,
    // and the inverse returns the tone times 16.
    const auto tone = [](int t) { return std::polar(1.0, 2 * M_PI * 3 * t / 16); };
    for (int t = 0; t < 16; ++t) {
        effect.memoryCell(10000 + 2 * t) = tone(t).real();
        effect.memoryCell(10000 + 2 * t + 1) = tone(t).imag();
    }
    const auto at = [&](int k) { return effect.memoryCell(10000 + 2 * k); };
    memFft(effect, 10000, 16, 0);
    EXPECT_NEAR(at(fftPermuteIndex(16, 3)), 16.0, 1e-12);
    memFft(effect, 10000, 16, 4);
    EXPECT_NEAR(at(3), 16.0, 1e-12);
    memFft(effect, 10000, 16, 5);
    EXPECT_NEAR(at(fftPermuteIndex(16, 3)), 16.0, 1e-12);
    memFft(effect, 10000, 16, 1);
    for (int t = 0; t < 16; ++t) {
        EXPECT_NEAR(at(t), 16 * tone(t).real(), 1e-12) << t;
        EXPECT_NEAR(effect.memoryCell(10000 + 2 * t + 1), 16 * tone(t).imag(), 1e-12) << t;
    }
}

TEST(MemorySpectral, ConvolveMultipliesAnEvenCount) {
    SpectralEffect effect;
    for (int i = 0; i < 16; ++i) {
        effect.memoryCell(100 + i) = 1.0;
        effect.memoryCell(200 + i) = 2.0;
    }
    memConvolve(effect, 100, 200, 7);  // six complex numbers
    EXPECT_EQ(effect.memoryCell(100), 0.0);   // (1+i)(2+2i) = 4i
    EXPECT_EQ(effect.memoryCell(111), 4.0);
    EXPECT_EQ(effect.memoryCell(112), 1.0);   // seventh: untouched
    memConvolve(effect, 100, 65530, 6);       // source would run past its block
    EXPECT_EQ(effect.memoryCell(111), 4.0);
}

TEST(MemorySpectral, MdctWritesHalfAsManyCoefficients) {
    // Two frames of 4096 overlapping by half, each forward and back in place:
    // windowed both ways, their overlap adds up to the signal.
    SpectralEffect effect;
    const std::vector<double> signal = randomSignal(6144, 5);
    for (int t = 0; t < 4096; ++t) {
        effect.memoryCell(t) = signal[static_cast<std::size_t>(t)];
        effect.memoryCell(8192 + t) = signal[static_cast<std::size_t>(2048 + t)];
    }
    effect.memoryCell(4096) = 123.0;
    const double beyond = effect.memoryCell(2048);
    memMdct(effect, 0, 8192, 0);  // too long: nothing
    EXPECT_EQ(effect.memoryCell(2048), beyond);
    for (double frame : {0.0, 8192.0}) memMdct(effect, frame, 4096, 0);
    EXPECT_EQ(effect.memoryCell(2048), beyond);  // coefficients occupy 0..2047 only
    for (double frame : {0.0, 8192.0}) memMdct(effect, frame, 4096, 1);
    EXPECT_EQ(effect.memoryCell(4096), 123.0);
    for (int t = 0; t < 2048; ++t)
        ASSERT_NEAR(effect.memoryCell(2048 + t) + effect.memoryCell(8192 + t), signal[static_cast<std::size_t>(2048 + t)],
                    2e-12) << t;
}
