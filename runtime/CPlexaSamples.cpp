#include "runtime/CPlexaSamples.h"

#include <algorithm>

namespace plexa {

namespace {

// Both host buffer arrays must hold `channels` usable buffers; a host that
// passes fewer (null arrays or null channels) gets its frames skipped rather
// than a crash.
template <typename Sample>
bool buffersUsable(Sample** inputs, Sample** outputs, std::int32_t channels) {
    if (channels <= 0) return true;
    if (inputs == nullptr || outputs == nullptr) return false;
    for (std::int32_t j = 0; j < channels; ++j)
        if (inputs[j] == nullptr || outputs[j] == nullptr) return false;
    return true;
}

}  // namespace

template <typename Sample>
void CPlexaSamples::runAudioLoop(Sample** inputs, Sample** outputs, std::int32_t frames, std::int32_t channels) {
    beginProcessing();
    blockSection();  // also for empty blocks: hosts use them to pass time information
    if (frames <= 0 || !buffersUsable(inputs, outputs, channels)) return;

    if (channels == 2) {
        Sample* inLeft = inputs[0];
        Sample* inRight = inputs[1];
        Sample* outLeft = outputs[0];
        Sample* outRight = outputs[1];
        for (std::int32_t i = 0; i < frames; ++i) {
            // Read both inputs before writing: the buffers may be the same memory.
            sampleValues[0] = static_cast<double>(inLeft[i]);
            sampleValues[1] = static_cast<double>(inRight[i]);
            sampleSection();
            outLeft[i] = static_cast<Sample>(sampleValues[0]);
            outRight[i] = static_cast<Sample>(sampleValues[1]);
        }
        return;
    }

    for (std::int32_t i = 0; i < frames; ++i) {
        for (std::int32_t j = 0; j < channels; ++j) sampleValues[j] = static_cast<double>(inputs[j][i]);
        sampleSection();
        for (std::int32_t j = 0; j < channels; ++j) outputs[j][i] = static_cast<Sample>(sampleValues[j]);
    }
}

namespace {
// The channel count of each precision is taken once per process, under the
// language's thread-safe initialisation of function statics: hosts run
// several instances on several audio threads at once.
std::int32_t clampChannels(std::int32_t count) { return std::clamp(count, 0, CPlexaSamples::SampleValueCount); }
}  // namespace

void CPlexaSamples::processReplacing(float** inputs, float** outputs, std::int32_t frames) {
    static const std::int32_t channels = clampChannels(hostInputChannels());
    runAudioLoop(inputs, outputs, frames, channels);
}

void CPlexaSamples::processDoubleReplacing(double** inputs, double** outputs, std::int32_t frames) {
    static const std::int32_t channels = clampChannels(hostInputChannels());
    runAudioLoop(inputs, outputs, frames, channels);
}

}  // namespace plexa
