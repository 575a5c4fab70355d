// Long-term average spectrum of a multichannel stream by Welch's method:
// Hann-windowed segments overlapping by half, their power averaged over the
// whole stream and over the channels. Fed block by block, so a file of any
// length needs only one segment of memory per channel.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vhost {

class WelchSpectrum {
public:
    // size: points per segment, a power of two from 16 to 32768.
    // Throws std::invalid_argument otherwise.
    WelchSpectrum(std::size_t channels, int size = 4096);

    // One pointer per channel, each to `frames` samples.
    void addPlanar(const double* const* channels, std::int64_t frames);

    // Power of bins 0 .. size/2, scaled so that a sine of amplitude A whose
    // frequency falls on a bin centre reads A^2 there: a full-scale sine is
    // 1.0, 0 dB. A stream shorter than one segment is analysed as one
    // zero-padded segment; otherwise a partial last segment is left out, as
    // Welch's method does. All zeros before any sample arrives.
    std::vector<double> power() const;

    int size() const { return size_; }
    std::int64_t segments() const { return segments_; }
    // Centre frequency of bin k at the given sample rate.
    double binFrequency(int k, double sampleRate) const { return k * sampleRate / size_; }

private:
    void analyse(const std::vector<double>& segment, std::vector<double>& sum) const;

    int size_;
    std::size_t channels_;
    std::vector<double> window_;
    double scale_ = 0.0;                       // makes a bin-centred sine read A^2
    std::vector<std::vector<double>> pending_;  // per channel, up to `size_` samples
    std::size_t filled_ = 0;
    std::vector<double> sum_;  // power summed over segments and channels
    std::int64_t segments_ = 0;
    mutable std::vector<double> work_;  // complex FFT buffer
};

}  // namespace vhost
