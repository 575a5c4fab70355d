#include "tools/vststress/Audio.h"

#include <algorithm>

namespace stress {

namespace {
constexpr double kTwoPi = 6.283185307179586;
}

Music::Music(double sampleRate, std::uint32_t seed) : rate_(sampleRate), noise_(seed * 2654435761u + 1u) {}

double Music::step() {
    // Three partials and a bass note below a slow swell, panned apart.
    static constexpr double kFrequencies[4] = {110.0, 277.2, 659.3, 1318.5};
    static constexpr double kLevels[4] = {0.30, 0.18, 0.10, 0.05};
    lfo_ += 0.7 / rate_;
    if (lfo_ >= 1.0) lfo_ -= 1.0;
    const double swell = 0.55 + 0.45 * std::sin(kTwoPi * lfo_);
    double l = 0.0, r = 0.0;
    for (int k = 0; k < 4; ++k) {
        // Above Nyquist at the lowest rates a partial just stays silent.
        const double f = kFrequencies[k] < 0.45 * rate_ ? kFrequencies[k] : 0.0;
        phase_[k] += f / rate_;
        if (phase_[k] >= 1.0) phase_[k] -= 1.0;
        const double s = kLevels[k] * std::sin(kTwoPi * phase_[k]);
        l += s * (k % 2 == 0 ? 1.0 : 0.6);
        r += s * (k % 2 == 0 ? 0.6 : 1.0);
    }
    noise_ = noise_ * 1664525u + 1013904223u;
    const double n = (static_cast<double>(noise_ >> 8) / 16777216.0 - 0.5) * 0.04;
    left_ = swell * l + n;
    right_ = swell * r - n;
    return left_;
}

template <typename Sample>
Buffers<Sample>::Buffers(int inputs, int outputs, int frames)
    : frames_(frames),
      in_(static_cast<std::size_t>(std::max(inputs, 0)), std::vector<Sample>(static_cast<std::size_t>(frames))),
      out_(static_cast<std::size_t>(std::max(outputs, 0)), std::vector<Sample>(static_cast<std::size_t>(frames))),
      copy_(in_) {
    for (auto& channel : in_) inPointers_.push_back(channel.data());
    for (auto& channel : out_) outPointers_.push_back(channel.data());
    // Some plug-ins index channel 0 even when they announce none.
    if (inPointers_.empty()) inPointers_.push_back(nullptr);
    if (outPointers_.empty()) outPointers_.push_back(nullptr);
}

template <typename Sample>
void Buffers<Sample>::keepInputs(int frames) {
    for (std::size_t c = 0; c < in_.size(); ++c)
        std::copy(in_[c].begin(), in_[c].begin() + frames, copy_[c].begin());
}

template <typename Sample>
void Buffers<Sample>::markOutputs(int frames) {
    for (auto& channel : out_) std::fill(channel.begin(), channel.begin() + frames, sentinel<Sample>());
}

template <typename Sample>
long Buffers<Sample>::unwritten(int frames) const {
    long count = 0;
    for (const auto& channel : out_)
        for (int i = 0; i < frames; ++i) count += isSentinel(channel[static_cast<std::size_t>(i)]) ? 1 : 0;
    return count;
}

template <typename Sample>
bool Buffers<Sample>::inputsUntouched(int frames) const {
    for (std::size_t c = 0; c < in_.size(); ++c)
        if (std::memcmp(in_[c].data(), copy_[c].data(), sizeof(Sample) * static_cast<std::size_t>(frames)) != 0)
            return false;
    return true;
}

template <typename Sample>
void Buffers<Sample>::fillInputs(Sample value, int from, int n) {
    for (auto& channel : in_) std::fill(channel.begin() + from, channel.begin() + from + n, value);
}

template class Buffers<float>;
template class Buffers<double>;

void Levels::merge(const Levels& other) {
    samples += other.samples;
    nonFinite += other.nonFinite;
    overBound += other.overBound;
    atBound += other.atBound;
    unwritten += other.unwritten;
    peak = std::max(peak, other.peak);
    if (other.longestRun > longestRun) {
        longestRun = other.longestRun;
        runValue = other.runValue;
    }
}

}  // namespace stress
