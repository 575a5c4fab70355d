#include "tools/vsthost/Spectrum.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <stdexcept>
#include <string>

#include "runtime/spectral/Fft.h"

namespace vhost {

WelchSpectrum::WelchSpectrum(std::size_t channels, int size)
    : size_(size), channels_(std::max<std::size_t>(channels, 1)) {
    if (size < 16 || size > 32768 || (size & (size - 1)) != 0)
        throw std::invalid_argument("spectrum size " + std::to_string(size) + " is not a power of two in 16..32768");
    const auto n = static_cast<std::size_t>(size);
    window_.resize(n);
    double windowSum = 0.0;
    for (std::size_t i = 0; i < n; ++i) {
        // Periodic Hann: its half-overlapped copies sum to a constant, so
        // every sample weighs the same in the average.
        window_[i] = 0.5 - 0.5 * std::cos(2.0 * std::numbers::pi * static_cast<double>(i) / static_cast<double>(n));
        windowSum += window_[i];
    }
    // A bin-centred sine of amplitude A gives |X| = A * sum(w) / 2.
    scale_ = 4.0 / (windowSum * windowSum);
    pending_.assign(channels_, std::vector<double>(n, 0.0));
    sum_.assign(n / 2 + 1, 0.0);
    work_.resize(2 * n);
}

void WelchSpectrum::analyse(const std::vector<double>& segment, std::vector<double>& sum) const {
    const auto n = static_cast<std::size_t>(size_);
    for (std::size_t i = 0; i < n; ++i) {
        work_[2 * i] = segment[i] * window_[i];
        work_[2 * i + 1] = 0.0;
    }
    plexa::spectral::fftComplex(work_.data(), size_, false);
    plexa::spectral::fftPermute(work_.data(), size_);
    for (std::size_t k = 0; k < sum.size(); ++k) {
        const double re = work_[2 * k], im = work_[2 * k + 1];
        sum[k] += (re * re + im * im) * scale_;
    }
}

void WelchSpectrum::addPlanar(const double* const* channels, std::int64_t frames) {
    const auto n = static_cast<std::size_t>(size_);
    const std::size_t hop = n / 2;
    std::int64_t done = 0;
    while (done < frames) {
        const std::size_t take = std::min<std::size_t>(n - filled_, static_cast<std::size_t>(frames - done));
        for (std::size_t c = 0; c < channels_; ++c)
            std::copy_n(channels[c] + done, take, pending_[c].begin() + static_cast<std::ptrdiff_t>(filled_));
        filled_ += take;
        done += static_cast<std::int64_t>(take);
        if (filled_ < n) break;
        for (std::size_t c = 0; c < channels_; ++c) {
            analyse(pending_[c], sum_);
            // The second half starts the next segment.
            std::copy(pending_[c].begin() + static_cast<std::ptrdiff_t>(hop), pending_[c].end(), pending_[c].begin());
        }
        ++segments_;
        filled_ = hop;
    }
}

std::vector<double> WelchSpectrum::power() const {
    std::vector<double> result(sum_.size(), 0.0);
    if (segments_ > 0) {
        const double count = static_cast<double>(segments_) * static_cast<double>(channels_);
        for (std::size_t k = 0; k < result.size(); ++k) result[k] = sum_[k] / count;
        return result;
    }
    if (filled_ == 0) return result;
    std::vector<double> padded(static_cast<std::size_t>(size_));
    for (const auto& channel : pending_) {
        std::fill(padded.begin(), padded.end(), 0.0);
        std::copy_n(channel.begin(), filled_, padded.begin());
        analyse(padded, result);
    }
    for (double& p : result) p /= static_cast<double>(channels_);
    return result;
}

}  // namespace vhost
