// Short deterministic test signals, stereo, as the host would deliver them.
#pragma once

#include <cmath>
#include <cstdint>
#include <vector>

namespace dsptest {

enum class Kind { Music, Step, Noise, Sweep, Clipping, SilenceAndBurst, Silence };

struct Stereo {
    std::vector<float> left, right;
    int frames() const { return static_cast<int>(left.size()); }
};

class Noise {
public:
    explicit Noise(std::uint64_t seed) : state_(seed * 0x9E3779B97F4A7C15ull + 1) {}
    // Uniform in [-1, 1).
    double next() {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 7;
        state_ ^= state_ << 17;
        return static_cast<double>(state_ >> 11) * (2.0 / 9007199254740992.0) - 1.0;
    }

private:
    std::uint64_t state_;
};

// Chords with a plucked envelope and a little noise: dense in slope changes,
// like a record, with the two channels correlated but not equal.
inline double musicSample(double t, int channel, Noise& noise) {
    const double notes[] = {110.0, 164.81, 220.0, 277.18, 329.63, 440.0, 659.25, 1318.5};
    const double beat = std::fmod(t, 0.25);
    const double envelope = std::exp(-beat * 9.0) * 0.8 + 0.2;
    double s = 0;
    for (int k = 0; k < 8; ++k)
        s += std::sin(6.283185307179586 * notes[k] * t * (1.0 + 0.001 * channel) + k) / (k + 2);
    return 0.3 * envelope * s + 0.01 * noise.next();
}

inline Stereo makeSignal(Kind kind, double sampleRate, double seconds, std::uint64_t seed = 1) {
    const int n = static_cast<int>(sampleRate * seconds);
    Stereo s;
    s.left.resize(static_cast<std::size_t>(n));
    s.right.resize(static_cast<std::size_t>(n));
    Noise noise(seed);
    for (int i = 0; i < n; ++i) {
        const double t = i / sampleRate;
        double l = 0, r = 0;
        switch (kind) {
            case Kind::Music:
                l = musicSample(t, 0, noise);
                r = musicSample(t, 1, noise);
                break;
            case Kind::Step:
                l = t < seconds * 0.2 ? 0.0 : 0.7;
                r = t < seconds * 0.5 ? 0.0 : -0.9;
                break;
            case Kind::Noise:
                l = 0.5 * noise.next();
                r = 0.5 * noise.next();
                break;
            case Kind::Sweep: {
                // Exponential sweep from 20 Hz to 0.45 of the rate.
                const double f1 = 20.0, f2 = 0.45 * sampleRate, k = std::log(f2 / f1) / seconds;
                const double phase = 6.283185307179586 * f1 * (std::exp(k * t) - 1.0) / k;
                l = 0.5 * std::sin(phase);
                r = 0.5 * std::cos(phase);
                break;
            }
            case Kind::Clipping:
                l = 6.0 * musicSample(t, 0, noise);
                r = -6.0 * musicSample(t, 1, noise);
                break;
            case Kind::SilenceAndBurst:
                if (t >= seconds * 0.3 && t < seconds * 0.5) {
                    l = musicSample(t, 0, noise);
                    r = musicSample(t, 1, noise);
                }
                break;
            case Kind::Silence: break;
        }
        s.left[static_cast<std::size_t>(i)] = static_cast<float>(l);
        s.right[static_cast<std::size_t>(i)] = static_cast<float>(r);
    }
    return s;
}

}  // namespace dsptest
