#include "tools/vsthost/TimeInfo.h"

#include <cmath>

namespace vhost {

double quartersPerBar(int numerator, int denominator) {
    return static_cast<double>(numerator) * 4.0 / static_cast<double>(denominator);
}

const vst2::VstTimeInfo& Transport::snapshot() {
    info_ = vst2::VstTimeInfo{};
    info_.samplePos = static_cast<double>(samplePos_);
    info_.sampleRate = sampleRate_;
    info_.tempo = settings_.tempo;
    // A sample rate of 0 is what a scanning host reports; the position then
    // stays at the start rather than becoming infinite.
    const double seconds = sampleRate_ > 0.0 ? info_.samplePos / sampleRate_ : 0.0;
    info_.ppqPos = seconds * settings_.tempo / 60.0;
    const double barLength = quartersPerBar(settings_.timeSigNumerator, settings_.timeSigDenominator);
    info_.barStartPos = std::floor(info_.ppqPos / barLength) * barLength;
    info_.timeSigNumerator = settings_.timeSigNumerator;
    info_.timeSigDenominator = settings_.timeSigDenominator;
    info_.flags = vst2::kVstTempoValid | vst2::kVstTimeSigValid | vst2::kVstPpqPosValid | vst2::kVstBarsValid;
    if (settings_.playing) info_.flags |= vst2::kVstTransportPlaying;
    if (settings_.recording) info_.flags |= vst2::kVstTransportRecording;
    return info_;
}

}  // namespace vhost
