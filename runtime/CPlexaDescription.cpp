#include "runtime/CPlexaDescription.h"

#include <cmath>
#include <cstdio>

#include "runtime/SharedValue.h"

namespace plexa {

void CPlexaDescription::addSlider(std::int32_t number, double* boundVariable, double defaultValue, double minimum,
                                  double maximum, double step, const std::string& folder,
                                  const std::string& extraText, const std::string& label, const std::string& name) {
    sliderValues[number & (SliderValueCount - 1)] = defaultValue;
    SliderRecord record;
    record.number = number & (SliderValueCount - 1);
    record.boundVariable = boundVariable;
    record.defaultValue = defaultValue;
    record.minimum = minimum;
    record.maximum = maximum;
    record.step = step;
    record.folder = folder;
    record.extraText = extraText;
    record.label = label;
    record.name = name;
    sliderRecords.push_back(std::move(record));
    sliderRecords.back().applyFolderRule();
}

double CPlexaDescription::normalizedValue(std::int32_t index) const {
    if (!isSliderIndex(index)) return 0.0;
    const SliderRecord& r = sliderRecords[static_cast<std::size_t>(index)];
    return (readShared(sliderValues[r.number]) - r.minimum) / (r.maximum - r.minimum);
}

bool CPlexaDescription::setNormalizedValue(std::int32_t index, double x) {
    if (!isSliderIndex(index)) return false;
    // A host value that is not a number cannot name a position; storing it
    // would put NaN into the simulation.
    if (!std::isfinite(x)) return false;
    const SliderRecord& r = sliderRecords[static_cast<std::size_t>(index)];
    return writeStepped(r, (r.maximum - r.minimum) * x + r.minimum);
}

bool CPlexaDescription::setSliderValue(std::int32_t index, double value) {
    if (!isSliderIndex(index) || !std::isfinite(value)) return false;
    return writeStepped(sliderRecords[static_cast<std::size_t>(index)], value);
}

double CPlexaDescription::stepped(const SliderRecord& r, double value) {
    const double v = (value + r.step / 2) / r.step;
    return std::floor(v) * r.step;
}

double CPlexaDescription::steppedNormalized(std::int32_t index, double x) const {
    if (!isSliderIndex(index) || !std::isfinite(x)) return 0.0;
    const SliderRecord& r = sliderRecords[static_cast<std::size_t>(index)];
    return stepped(r, (r.maximum - r.minimum) * x + r.minimum);
}

double CPlexaDescription::steppedValue(std::int32_t index, double value) const {
    if (!isSliderIndex(index) || !std::isfinite(value)) return 0.0;
    return stepped(sliderRecords[static_cast<std::size_t>(index)], value);
}

bool CPlexaDescription::writeStepped(const SliderRecord& r, double value) {
    const double v = stepped(r, value);
    if (valuesEqual(v, readShared(sliderValues[r.number]))) return false;
    writeShared(sliderValues[r.number], v);
    if (r.boundVariable) *r.boundVariable = v;
    sliderSection();
    return true;
}

std::string CPlexaDescription::displayText(std::int32_t index) const {
    if (!isSliderIndex(index)) return {};
    return displayTextAt(index, readShared(sliderValues[sliderRecords[static_cast<std::size_t>(index)].number]));
}

std::string CPlexaDescription::displayTextAt(std::int32_t index, double v) const {
    if (!isSliderIndex(index)) return {};
    const SliderRecord& r = sliderRecords[static_cast<std::size_t>(index)];
    const std::size_t n = r.optionTexts.size();
    if (n == 0) {
        char text[512];  // "%.2f" of the largest double needs 312 characters
        std::snprintf(text, sizeof text, "%.2f", v);
        return text;
    }
    const double p = static_cast<double>(n - 1) * (v - r.minimum) / (r.maximum - r.minimum);
    const std::int32_t k = (p > -2147483649.0 && p < 2147483648.0) ? static_cast<std::int32_t>(p) : INT32_MIN;
    if (k < 0) return r.optionTexts.front();
    if (static_cast<std::size_t>(k) > n - 1) return r.optionTexts.back();
    return r.optionTexts[static_cast<std::size_t>(k)];
}

std::string CPlexaDescription::sliderName(std::int32_t index) const {
    return isSliderIndex(index) ? sliderRecords[static_cast<std::size_t>(index)].name : std::string();
}

std::string CPlexaDescription::sliderLabel(std::int32_t index) const {
    return isSliderIndex(index) ? sliderRecords[static_cast<std::size_t>(index)].label : std::string();
}

}  // namespace plexa
