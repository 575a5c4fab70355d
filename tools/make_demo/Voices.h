// The demo's instruments. Each adds one note or hit into a stereo mix at a
// sample position; everything is plain arithmetic, so equal inputs give
// equal samples.
#pragma once

#include <cstddef>
#include <vector>

#include "tools/make_demo/Random.h"

namespace demo {

struct StereoMix {
    std::vector<double> left;
    std::vector<double> right;
    int sampleRate;

    StereoMix(std::size_t frames, int rate) : left(frames, 0.0), right(frames, 0.0), sampleRate(rate) {}
    std::size_t frames() const { return left.size(); }
    // pan 0 = left, 0.5 = centre, 1 = right, equal power.
    void add(std::size_t frame, double sample, double pan);
};

double noteFrequency(int midiNote);

void addBass(StereoMix& mix, std::size_t start, double seconds, int midiNote, double gain);
void addPluck(StereoMix& mix, Random& random, std::size_t start, int midiNote, double gain, double pan);
void addKick(StereoMix& mix, std::size_t start, double gain);
void addSnare(StereoMix& mix, Random& random, std::size_t start, double gain);
void addHat(StereoMix& mix, Random& random, std::size_t start, double gain, double pan);

}  // namespace demo
