// First polymorphic layer: the 128 slider values and the slider section.
#pragma once

#include "runtime/CPlexaVeST.h"
#include "runtime/EffectValue.h"

namespace plexa {

class CPlexaSliders : public CPlexaVeST {
public:
    static constexpr int SliderValueCount = 128;

    virtual void sliderSection() {}

    // Slider addressed by a computed number: 128 wraps to 0, -1 to 127.
    double& slider(double number) { return sliderValues[truncInt(number) & (SliderValueCount - 1)]; }

    double sliderValues[SliderValueCount] = {};

protected:
    CPlexaSliders() = default;
    ~CPlexaSliders() = default;
};

}  // namespace plexa
