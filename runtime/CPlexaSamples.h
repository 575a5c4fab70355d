// The per-frame sample values and the audio loop that moves host buffers
// through them, running the block section once per call and the sample
// section once per frame.
#pragma once

#include <cstdint>

#include "runtime/CPlexaSliders.h"

namespace plexa {

class CPlexaSamples : public CPlexaSliders {
public:
    static constexpr int SampleValueCount = 64;

    virtual void blockSection() {}
    virtual void sampleSection() {}

    void processReplacing(float** inputs, float** outputs, std::int32_t frames);
    void processDoubleReplacing(double** inputs, double** outputs, std::int32_t frames);

    double sampleValues[SampleValueCount] = {};

protected:
    CPlexaSamples() = default;
    ~CPlexaSamples() = default;

    // Work handed to the audio thread, done at the start of each processing
    // call before the block section.
    virtual void beginProcessing() {}

private:
    template <typename Sample>
    void runAudioLoop(Sample** inputs, Sample** outputs, std::int32_t frames, std::int32_t channels);
};

}  // namespace plexa
