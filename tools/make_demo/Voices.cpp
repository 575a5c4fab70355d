#include "tools/make_demo/Voices.h"

#include <cmath>
#include <numbers>

namespace demo {

namespace {

constexpr double kTwoPi = 2.0 * std::numbers::pi;

// Frames a sound lasts, cut at the end of the mix.
std::size_t lengthWithin(const StereoMix& mix, std::size_t start, double seconds) {
    const auto wanted = static_cast<std::size_t>(seconds * mix.sampleRate);
    if (start >= mix.frames()) return 0;
    return std::min(wanted, mix.frames() - start);
}

}  // namespace

void StereoMix::add(std::size_t frame, double sample, double pan) {
    const double angle = pan * std::numbers::pi / 2.0;
    left[frame] += sample * std::cos(angle);
    right[frame] += sample * std::sin(angle);
}

double noteFrequency(int midiNote) { return 440.0 * std::pow(2.0, (midiNote - 69) / 12.0); }

void addBass(StereoMix& mix, std::size_t start, double seconds, int midiNote, double gain) {
    const double freq = noteFrequency(midiNote);
    const std::size_t length = lengthWithin(mix, start, seconds);
    const double rate = mix.sampleRate;
    for (std::size_t i = 0; i < length; ++i) {
        const double t = static_cast<double>(i) / rate;
        const double attack = std::min(1.0, t / 0.004);
        const double release = std::min(1.0, static_cast<double>(length - i) / (0.01 * rate));
        const double env = attack * release * std::exp(-t / 0.35);
        const double phase = kTwoPi * freq * t;
        // A few harmonics give a round, slightly growling bass.
        const double tone = std::sin(phase) + 0.35 * std::sin(2.0 * phase) + 0.15 * std::sin(3.0 * phase);
        mix.add(start + i, gain * env * tone, 0.5);
    }
}

void addPluck(StereoMix& mix, Random& random, std::size_t start, int midiNote, double gain, double pan) {
    // Karplus-Strong: a noise burst circulating through a damped delay line.
    const double freq = noteFrequency(midiNote);
    const auto period = static_cast<std::size_t>(std::lround(mix.sampleRate / freq));
    std::vector<double> line(period);
    for (double& x : line) x = random.bipolar();
    const std::size_t length = lengthWithin(mix, start, 1.6);
    std::size_t pos = 0;
    double previous = 0.0;
    for (std::size_t i = 0; i < length; ++i) {
        const double current = line[pos];
        const double next = line[(pos + 1) % period];
        line[pos] = 0.4975 * (current + next);
        previous = 0.7 * previous + 0.3 * current;  // soften the attack's hiss
        const double release = std::min(1.0, static_cast<double>(length - i) / (0.02 * mix.sampleRate));
        mix.add(start + i, gain * release * previous, pan);
        pos = (pos + 1) % period;
    }
}

void addKick(StereoMix& mix, std::size_t start, double gain) {
    const std::size_t length = lengthWithin(mix, start, 0.45);
    const double rate = mix.sampleRate;
    double phase = 0.0;
    for (std::size_t i = 0; i < length; ++i) {
        const double t = static_cast<double>(i) / rate;
        const double freq = 45.0 + 110.0 * std::exp(-t / 0.04);  // the pitch drop makes the thump
        phase += kTwoPi * freq / rate;
        const double env = std::min(1.0, t / 0.001) * std::exp(-t / 0.14);
        mix.add(start + i, gain * env * std::sin(phase), 0.5);
    }
}

void addSnare(StereoMix& mix, Random& random, std::size_t start, double gain) {
    const std::size_t length = lengthWithin(mix, start, 0.3);
    const double rate = mix.sampleRate;
    double last = 0.0;
    for (std::size_t i = 0; i < length; ++i) {
        const double t = static_cast<double>(i) / rate;
        const double noise = random.bipolar();
        const double bright = noise - 0.6 * last;  // tilt the noise towards the top
        last = noise;
        const double body = std::sin(kTwoPi * 185.0 * t) * std::exp(-t / 0.05);
        const double env = std::min(1.0, t / 0.0015) * std::exp(-t / 0.07);
        mix.add(start + i, gain * (0.7 * env * bright + 0.5 * body), 0.42);
    }
}

void addHat(StereoMix& mix, Random& random, std::size_t start, double gain, double pan) {
    const std::size_t length = lengthWithin(mix, start, 0.08);
    const double rate = mix.sampleRate;
    double last = 0.0;
    for (std::size_t i = 0; i < length; ++i) {
        const double t = static_cast<double>(i) / rate;
        const double noise = random.bipolar();
        const double hiss = noise - last;  // first difference: only the highs remain
        last = noise;
        mix.add(start + i, gain * std::exp(-t / 0.018) * hiss, pan);
    }
}

}  // namespace demo
