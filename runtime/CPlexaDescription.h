// The effect's identity and its slider records, with the conversions the
// host's parameter interface needs.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "runtime/CPlexaSamples.h"
#include "runtime/SliderRecord.h"

namespace plexa {

class CPlexaDescription : public CPlexaSamples {
public:
    void addSlider(std::int32_t number, double* boundVariable, double defaultValue, double minimum, double maximum,
                   double step, const std::string& folder, const std::string& extraText, const std::string& label,
                   const std::string& name);

    std::int32_t sliderCount() const { return static_cast<std::int32_t>(sliderRecords.size()); }
    bool isSliderIndex(std::int32_t index) const { return index >= 0 && index < sliderCount(); }

    // Parameter index = record index. Indexes outside the records answer 0,
    // change nothing and give empty texts: hosts do probe past the count.
    double normalizedValue(std::int32_t index) const;
    // Quantises x to the slider's step grid (anchored at 0) and runs the slider
    // section when the value changed. Returns whether it changed.
    bool setNormalizedValue(std::int32_t index, double x);
    // The same write for a value in the slider's own units, for hosts whose
    // controls carry those units: no round trip through a normalised number.
    bool setSliderValue(std::int32_t index, double value);
    std::string displayText(std::int32_t index) const;
    // The same text for another value in the slider's units (hosts format
    // values they hold themselves).
    std::string displayTextAt(std::int32_t index, double value) const;
    // What setNormalizedValue(index, x) would store; 0 where it stores nothing.
    double steppedNormalized(std::int32_t index, double x) const;
    // What setSliderValue(index, value) would store; 0 where it stores nothing.
    double steppedValue(std::int32_t index, double value) const;
    std::string sliderName(std::int32_t index) const;
    std::string sliderLabel(std::int32_t index) const;

    std::vector<SliderRecord> sliderRecords;
    std::string effectName;
    std::string productString;
    std::string vendorString;
    std::string programName;
    std::int32_t vendorVersion = 0;
    std::int32_t uniqueId = 0;
    std::int32_t channelCount = 0;

protected:
    CPlexaDescription() = default;
    ~CPlexaDescription() = default;

private:
    // x on the slider's step grid, anchored at 0.
    static double stepped(const SliderRecord& r, double x);
    // Quantises to the step grid, drops changes under the equality tolerance,
    // stores and runs the slider section.
    bool writeStepped(const SliderRecord& record, double value);
};

}  // namespace plexa
