// The plot's analysis: Welch spectra (level, bin placement, averaging) and
// the per-column waveform envelope.
#include "tools/vsthost/Spectrum.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <stdexcept>
#include <vector>

#include <gtest/gtest.h>

#include "tools/vsthost/Plot.h"

using namespace vhost;

namespace {

std::vector<double> sine(double hz, double amplitude, double rate, std::int64_t frames) {
    std::vector<double> s(static_cast<std::size_t>(frames));
    for (std::size_t i = 0; i < s.size(); ++i)
        s[i] = amplitude * std::sin(2.0 * std::numbers::pi * hz * static_cast<double>(i) / rate + 0.3);
    return s;
}

// Uniform in [-1, 1): variance 1/3. A fixed generator, so the test sees the
// same noise on every platform.
std::vector<double> noise(std::int64_t frames, std::uint32_t seed) {
    std::vector<double> s(static_cast<std::size_t>(frames));
    for (double& v : s) {
        seed = seed * 1664525u + 1013904223u;
        v = static_cast<double>(seed >> 8) / 8388608.0 - 1.0;
    }
    return s;
}

std::vector<double> powerOfMono(const std::vector<double>& samples, int size = 4096) {
    WelchSpectrum spectrum(1, size);
    const double* channels[] = {samples.data()};
    spectrum.addPlanar(channels, static_cast<std::int64_t>(samples.size()));
    return spectrum.power();
}

std::size_t loudestBin(const std::vector<double>& power) {
    return static_cast<std::size_t>(std::max_element(power.begin(), power.end()) - power.begin());
}

double db(double power) { return 10.0 * std::log10(power); }

}  // namespace

TEST(WelchSpectrum, BinCentredSineReadsItsPowerInItsBinWithHannNeighbours) {
    // Bin 100 of 4096 at 48 kHz: whole periods in every segment, no leakage.
    const double rate = 48000.0, hz = 100.0 * rate / 4096.0;
    const auto power = powerOfMono(sine(hz, 0.5, rate, 48000));
    ASSERT_EQ(power.size(), 2049u);
    EXPECT_EQ(loudestBin(power), 100u);
    EXPECT_NEAR(power[100], 0.25, 1e-9);
    // A Hann window spreads a centred tone over exactly three bins, the
    // outer two at half the amplitude.
    EXPECT_NEAR(power[99], 0.25 / 4.0, 1e-9);
    EXPECT_NEAR(power[101], 0.25 / 4.0, 1e-9);
    for (std::size_t k = 0; k < power.size(); ++k) {
        if (k >= 99 && k <= 101) continue;
        ASSERT_LT(power[k], 1e-18) << "bin " << k;
    }
}

TEST(WelchSpectrum, OffBinSineLandsAtItsFrequency) {
    for (const double hz : {50.0, 1000.0, 12345.0}) {
        SCOPED_TRACE(hz);
        const double rate = 44100.0;
        WelchSpectrum spectrum(1);
        const auto samples = sine(hz, 1.0, rate, 88200);
        const double* channels[] = {samples.data()};
        spectrum.addPlanar(channels, 88200);
        const auto power = spectrum.power();
        const auto k = loudestBin(power);
        EXPECT_NEAR(spectrum.binFrequency(static_cast<int>(k), rate), hz, rate / 4096.0 / 2.0);
        // Between bins a Hann window loses at most 1.42 dB.
        EXPECT_LE(db(power[k]), 0.01);
        EXPECT_GE(db(power[k]), -1.43);
    }
}

TEST(WelchSpectrum, WhiteNoiseIsFlatAtItsExpectedLevel) {
    // 2^20 samples make 511 half-overlapping segments. Each bin of an
    // averaged periodogram scatters by about 1/sqrt(0.95 * 511) = 4.6 %
    // (0.2 dB); across 2047 bins the worst stays near 4.5 sigma, 0.9 dB. A
    // 1.5 dB bound never trips on sound code, yet a wrong window, overlap or
    // normalisation moves every bin by more.
    const int size = 4096;
    const auto power = powerOfMono(noise(1 << 20, 7u), size);
    // Variance 1/3 spread over the bins: E|X|^2 = var * sum(w^2) = var * 3n/8,
    // scaled by 4 / sum(w)^2 = 16 / n^2, gives var * 6 / n.
    const double expected = (1.0 / 3.0) * 6.0 / size;
    double sum = 0.0;
    for (std::size_t k = 1; k + 1 < power.size(); ++k) {
        ASSERT_NEAR(db(power[k] / expected), 0.0, 1.5) << "bin " << k;
        sum += power[k];
    }
    // The mean of ~2000 bins scatters by well under 0.5 %.
    EXPECT_NEAR(sum / static_cast<double>(power.size() - 2) / expected, 1.0, 0.02);
}

TEST(WelchSpectrum, AveragesChannelsAndSegmentsWhateverTheBlocks) {
    const double rate = 48000.0, hz = 200.0 * rate / 4096.0;
    const auto left = sine(hz, 1.0, rate, 20000);
    const std::vector<double> right(20000, 0.0);
    const double* both[] = {left.data(), right.data()};

    WelchSpectrum whole(2);
    whole.addPlanar(both, 20000);
    // (20000 - 4096) / 2048 + 1 full segments; the partial tail is left out.
    EXPECT_EQ(whole.segments(), 8);
    const auto power = whole.power();
    EXPECT_NEAR(db(power[200]), db(0.5), 1e-6);  // a tone in one of two channels

    for (const std::int64_t block : {1, 333, 2048, 5000}) {
        SCOPED_TRACE(block);
        WelchSpectrum pieces(2);
        for (std::int64_t f = 0; f < 20000; f += block) {
            const double* at[] = {left.data() + f, right.data() + f};
            pieces.addPlanar(at, std::min<std::int64_t>(block, 20000 - f));
        }
        EXPECT_EQ(pieces.power(), power);
    }
}

TEST(WelchSpectrum, ShortAndEmptyStreamsAndBadSizes) {
    WelchSpectrum empty(2, 1024);
    const auto none = empty.power();
    ASSERT_EQ(none.size(), 513u);
    EXPECT_TRUE(std::all_of(none.begin(), none.end(), [](double p) { return p == 0.0; }));

    // Shorter than a segment: analysed zero-padded rather than dropped.
    const auto shortTone = sine(64.0 * 48000.0 / 1024.0, 1.0, 48000.0, 600);
    const auto power = powerOfMono(shortTone, 1024);
    EXPECT_EQ(loudestBin(power), 64u);

    EXPECT_THROW(WelchSpectrum(1, 3000), std::invalid_argument);
    EXPECT_THROW(WelchSpectrum(1, 8), std::invalid_argument);
    EXPECT_THROW(WelchSpectrum(1, 65536), std::invalid_argument);
}

TEST(WaveformEnvelope, MinimumAndMaximumOfAllChannelsPerColumn) {
    // 100 frames in 10 columns: a rising left channel and a falling right one.
    std::vector<double> left(100), right(100);
    for (int i = 0; i < 100; ++i) {
        left[static_cast<std::size_t>(i)] = i / 100.0;
        right[static_cast<std::size_t>(i)] = -i / 50.0;
    }
    WaveformEnvelope envelope(10, 100);
    // Uneven blocks: a column's frames may arrive in several calls.
    for (int f = 0; f < 100; f += 7) {
        const double* at[] = {left.data() + f, right.data() + f};
        envelope.addPlanar(at, 2, std::min(7, 100 - f));
    }
    const auto low = envelope.low(), high = envelope.high();
    ASSERT_EQ(low.size(), 10u);
    for (std::size_t c = 0; c < 10; ++c) {
        SCOPED_TRACE(c);
        EXPECT_DOUBLE_EQ(high[c], (10.0 * c + 9.0) / 100.0);
        EXPECT_DOUBLE_EQ(low[c], -(10.0 * c + 9.0) / 50.0);
    }
}

TEST(WaveformEnvelope, ShortStreamsAndSurplusFrames) {
    EXPECT_TRUE(WaveformEnvelope(10, 100).low().empty());

    // Three frames across ten columns: the gaps repeat the column before.
    const std::vector<double> three = {0.5, -0.25, 1.0};
    const double* channel[] = {three.data()};
    WaveformEnvelope sparse(10, 3);
    sparse.addPlanar(channel, 1, 3);
    EXPECT_EQ(sparse.high(), (std::vector<double>{0.5, 0.5, 0.5, -0.25, -0.25, -0.25, 1.0, 1.0, 1.0, 1.0}));

    // More frames than announced: the surplus joins the last column.
    WaveformEnvelope over(2, 2);
    const std::vector<double> four = {0.1, 0.2, 0.3, 0.9};
    const double* longer[] = {four.data()};
    over.addPlanar(longer, 1, 4);
    EXPECT_EQ(over.high(), (std::vector<double>{0.1, 0.9}));
    EXPECT_EQ(over.low(), (std::vector<double>{0.1, 0.2}));
}
