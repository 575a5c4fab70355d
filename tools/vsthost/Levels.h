// Per-channel peak levels for the render summary.
#pragma once

#include <string>
#include <vector>

namespace vhost {

class PeakMeter {
public:
    explicit PeakMeter(int channels) : peaks_(static_cast<std::size_t>(channels), 0.0) {}

    template <typename Sample>
    void addInterleaved(const Sample* samples, long long frames) {
        const std::size_t channels = peaks_.size();
        for (long long f = 0; f < frames; ++f)
            for (std::size_t c = 0; c < channels; ++c) add(c, static_cast<double>(samples[f * channels + c]));
    }

    template <typename Sample>
    void addChannel(std::size_t channel, const Sample* samples, long long frames) {
        for (long long f = 0; f < frames; ++f) add(channel, static_cast<double>(samples[f]));
    }

    const std::vector<double>& peaks() const { return peaks_; }

private:
    void add(std::size_t channel, double sample) {
        const double magnitude = sample < 0.0 ? -sample : sample;
        // NaN compares false and is left out: it has no level.
        if (magnitude > peaks_[channel]) peaks_[channel] = magnitude;
    }

    std::vector<double> peaks_;
};

// "-6.02 dBFS", "+6.00 dBFS", "-inf dBFS" for silence.
std::string formatDbfs(double peak);

// "L -6.02 dBFS, R -5.98 dBFS" for two channels, "1 ..., 2 ..., 3 ..." otherwise.
std::string formatPeaks(const std::vector<double>& peaks);

}  // namespace vhost
