// Audio for the tests: a deterministic music-like signal, channel buffers
// whose untouched samples can be recognised, and the checks applied to
// every output (finite, within the bound).
#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>
#include <type_traits>
#include <vector>

#include "host/vst2_abi.h"

namespace stress {

// Partials drifting in level over a little noise, peaks near 0.7: enough
// movement that a slope- or level-dependent plug-in is never idle.
class Music {
public:
    Music(double sampleRate, std::uint32_t seed);
    // Fills frames [from, from + n) of every channel; channel c follows
    // voice c % 2.
    template <typename Sample>
    void fill(Sample* const* channels, int count, int from, int n);

private:
    double step();
    double rate_;
    double phase_[4] = {};
    double lfo_ = 0.0;
    std::uint32_t noise_;
    double left_ = 0.0, right_ = 0.0;
};

template <typename Sample>
void Music::fill(Sample* const* channels, int count, int from, int n) {
    for (int i = from; i < from + n; ++i) {
        step();
        for (int c = 0; c < count; ++c) channels[c][i] = static_cast<Sample>(c % 2 == 0 ? left_ : right_);
    }
}

template <typename Sample>
constexpr bool kIsDouble = std::is_same_v<Sample, double>;

// A quiet NaN with a payload no computation produces: an output still holding
// it was not written.
template <typename Sample>
Sample sentinel() {
    Sample value;
    if constexpr (kIsDouble<Sample>) {
        const std::uint64_t bits = 0x7FF8A5A5A5A5A5A5ull;
        std::memcpy(&value, &bits, sizeof value);
    } else {
        const std::uint32_t bits = 0x7FE5A5A5u;
        std::memcpy(&value, &bits, sizeof value);
    }
    return value;
}

template <typename Sample>
bool isSentinel(Sample value) {
    const Sample mark = sentinel<Sample>();
    return std::memcmp(&value, &mark, sizeof value) == 0;
}

// Channel buffers for one instance: inputs with a copy to compare against,
// outputs pre-filled with the sentinel.
template <typename Sample>
class Buffers {
public:
    Buffers(int inputs, int outputs, int frames);
    int frames() const { return frames_; }
    int inputs() const { return static_cast<int>(in_.size()); }
    int outputs() const { return static_cast<int>(out_.size()); }
    Sample** in() { return inPointers_.data(); }
    Sample** out() { return outPointers_.data(); }

    void keepInputs(int frames);  // copy for inputsUntouched
    void markOutputs(int frames);
    long unwritten(int frames) const;
    bool inputsUntouched(int frames) const;
    void fillInputs(Sample value, int from, int n);

private:
    int frames_;
    std::vector<std::vector<Sample>> in_, out_, copy_;
    std::vector<Sample*> inPointers_, outPointers_;
};

// Runs the plug-in's processing in a precision.
template <typename Sample>
void process(vst2::AEffect* effect, Sample** inputs, Sample** outputs, int frames) {
    if constexpr (kIsDouble<Sample>)
        effect->processDoubleReplacing(effect, inputs, outputs, frames);
    else
        effect->processReplacing(effect, inputs, outputs, frames);
}

template <typename Sample>
bool supports(const vst2::AEffect* effect) {
    if constexpr (kIsDouble<Sample>)
        return effect->processDoubleReplacing != nullptr && (effect->flags & vst2::effFlagsCanDoubleReplacing) != 0;
    else
        return effect->processReplacing != nullptr && (effect->flags & vst2::effFlagsCanReplacing) != 0;
}

template <typename Sample>
const char* precisionName() {
    return kIsDouble<Sample> ? "double" : "float";
}

// Accumulates what the outputs held: non-finite samples, samples beyond the
// bound, the peak, and the longest run of one unchanging value (an output
// stuck silent or pinned at a limit while music plays).
struct Levels {
    static constexpr int kChannels = 8;
    long samples = 0;
    long nonFinite = 0;
    long overBound = 0;
    long atBound = 0;  // reached the bound or beyond
    long unwritten = 0;
    double peak = 0.0;
    long longestRun = 0;
    double runValue = 0.0;  // the value of the longest run
    double last[kChannels] = {};
    long run[kChannels] = {};

    template <typename Sample>
    void add(Sample* const* channels, int count, int from, int n, double bound) {
        for (int c = 0; c < count; ++c)
            for (int i = from; i < from + n; ++i) {
                const double v = static_cast<double>(channels[c][i]);
                ++samples;
                if (c < kChannels) {
                    run[c] = v == last[c] ? run[c] + 1 : 1;
                    last[c] = v;
                    if (run[c] > longestRun) {
                        longestRun = run[c];
                        runValue = v;
                    }
                }
                if (isSentinel(channels[c][i])) {
                    ++unwritten;
                } else if (!std::isfinite(v)) {
                    ++nonFinite;
                } else {
                    const double m = std::fabs(v);
                    if (m > peak) peak = m;
                    if (m > bound) ++overBound;
                    if (m >= bound) ++atBound;
                }
            }
    }
    bool clean() const { return nonFinite == 0 && overBound == 0 && unwritten == 0; }
    // Starts the stuck-run count afresh (a new instance or a new input).
    void restartRuns() {
        for (long& r : run) r = 0;
    }
    void merge(const Levels& other);
};

}  // namespace stress
