// make-demo OUT.wav: a 14-second stereo demo for trying plug-ins on - seven
// bars of a minor-key progression with bass, plucked arpeggios and drums.
// Bar 5 is pushed to about +6 dBFS so clip indicators have something to show.
// Identical output on every run: fixed seeds, no clock, no environment.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <exception>

#include "tools/make_demo/Random.h"
#include "tools/make_demo/Voices.h"
#include "tools/make_demo/WavWriter.h"

namespace {

constexpr int kSampleRate = 44100;
constexpr double kTempo = 120.0;
constexpr int kBars = 7;
constexpr int kLoudBar = 4;            // 0-based: seconds 8 to 10
constexpr double kNormalPeak = 0.5;    // -6 dBFS for the rest of the piece
constexpr double kLoudPeak = 1.995;    // about +6 dBFS

struct Chord {
    int root;        // bass note
    int tones[3];    // arpeggio notes
};

// Am, F, C, G, Am, F, E.
constexpr Chord kProgression[kBars] = {
    {45, {57, 60, 64}}, {41, {57, 60, 65}}, {48, {55, 60, 64}}, {43, {55, 59, 62}},
    {45, {57, 60, 64}}, {41, {57, 60, 65}}, {40, {56, 59, 64}},
};

std::size_t frameAt(double beats) {
    return static_cast<std::size_t>(std::lround(beats * 60.0 / kTempo * kSampleRate));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make-demo OUT.wav\n");
        return 2;
    }
    const std::size_t barFrames = frameAt(4.0);
    demo::StereoMix mix(barFrames * kBars, kSampleRate);
    demo::Random plucks(0x7D1Au);
    demo::Random drums(0x5EEDu);

    static constexpr int kArpeggio[8] = {0, 1, 2, 1, 0, 2, 1, 2};
    for (int bar = 0; bar < kBars; ++bar) {
        const Chord& chord = kProgression[bar];
        const double barBeat = 4.0 * bar;
        for (int eighth = 0; eighth < 8; ++eighth) {
            const double beat = barBeat + 0.5 * eighth;
            // Octave jump on the off-beat of 4 walks into the next bar.
            const int bassNote = eighth == 7 ? chord.root + 12 : chord.root;
            demo::addBass(mix, frameAt(beat), 0.24, bassNote, 0.30);
            const int tone = chord.tones[kArpeggio[eighth]] + (eighth >= 4 && bar % 2 == 1 ? 12 : 0);
            demo::addPluck(mix, plucks, frameAt(beat), tone, 0.32, eighth % 2 == 0 ? 0.25 : 0.75);
            demo::addHat(mix, drums, frameAt(beat), eighth % 2 == 1 ? 0.22 : 0.12, 0.68);
        }
        for (int note : chord.tones) demo::addPluck(mix, plucks, frameAt(barBeat), note - 12, 0.22, 0.5);
        demo::addKick(mix, frameAt(barBeat), 0.9);
        demo::addKick(mix, frameAt(barBeat + 2.0), 0.9);
        if (bar % 2 == 1) demo::addKick(mix, frameAt(barBeat + 2.5), 0.6);
        demo::addSnare(mix, drums, frameAt(barBeat + 1.0), 0.55);
        demo::addSnare(mix, drums, frameAt(barBeat + 3.0), 0.55);
    }

    // The last note rings out instead of stopping dead.
    const std::size_t frames = mix.frames();
    const std::size_t fadeFrames = frameAt(1.0);
    for (std::size_t i = frames - fadeFrames; i < frames; ++i) {
        const double g = static_cast<double>(frames - i) / static_cast<double>(fadeFrames);
        mix.left[i] *= g;
        mix.right[i] *= g;
    }

    double peak = 0.0;
    for (std::size_t i = 0; i < frames; ++i) peak = std::max({peak, std::fabs(mix.left[i]), std::fabs(mix.right[i])});
    const double normal = kNormalPeak / peak;
    const std::size_t loudStart = barFrames * kLoudBar;
    const std::size_t loudEnd = loudStart + barFrames;
    // Short ramps keep the gain change from clicking. The ramp up ends on the
    // bar's downbeat, so the downbeat hit gets the full gain, and the peak is
    // measured over everything the raised gain touches.
    const std::size_t ramp = kSampleRate / 50;
    double loudPeak = 0.0;
    for (std::size_t i = loudStart - ramp; i < loudEnd; ++i)
        loudPeak = std::max({loudPeak, std::fabs(mix.left[i]), std::fabs(mix.right[i])});
    const double loud = kLoudPeak / loudPeak;

    std::vector<float> left(frames);
    std::vector<float> right(frames);
    for (std::size_t i = 0; i < frames; ++i) {
        double gain = normal;
        if (i >= loudStart - ramp && i < loudEnd) {
            const double in = static_cast<double>(i - (loudStart - ramp)) / static_cast<double>(ramp);
            const double out = static_cast<double>(loudEnd - i) / static_cast<double>(ramp);
            const double w = std::min({1.0, in, out});
            gain = normal + (loud - normal) * w;
        }
        left[i] = static_cast<float>(mix.left[i] * gain);
        right[i] = static_cast<float>(mix.right[i] * gain);
    }

    try {
        demo::writeStereoFloatWav(argv[1], kSampleRate, left, right);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "make-demo: %s\n", error.what());
        return 1;
    }
    return 0;
}
