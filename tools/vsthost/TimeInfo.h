// The musical clock the host reports to the plug-in through audioMasterGetTime.
// Position only moves as blocks are processed, so a plug-in sees the same
// timeline whatever the wall-clock speed of the render.
#pragma once

#include <cstdint>

#include "host/vst2_abi.h"

namespace vhost {

struct TransportSettings {
    double tempo = 120.0;
    int timeSigNumerator = 4;
    int timeSigDenominator = 4;
    bool playing = false;
    bool recording = false;
};

class Transport {
public:
    explicit Transport(TransportSettings settings = {}) : settings_(settings) {}

    void setSampleRate(double sampleRate) { sampleRate_ = sampleRate; }
    double sampleRate() const { return sampleRate_; }
    std::int64_t samplePosition() const { return samplePos_; }
    const TransportSettings& settings() const { return settings_; }

    void advance(std::int64_t frames) { samplePos_ += frames; }
    void rewind() { samplePos_ = 0; }

    // Refreshes the record from the current position and returns it; the
    // pointer stays valid for the transport's lifetime, as plug-ins may keep
    // reading it until their next request.
    const vst2::VstTimeInfo& snapshot();

private:
    TransportSettings settings_;
    double sampleRate_ = 44100.0;
    std::int64_t samplePos_ = 0;
    vst2::VstTimeInfo info_{};
};

// Quarter notes per bar for a time signature: 6/8 is three quarters long.
double quartersPerBar(int numerator, int denominator);

}  // namespace vhost
