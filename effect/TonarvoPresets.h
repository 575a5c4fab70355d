// The factory presets: one table every face and every generator reads (the
// LV2 bundle's presets.ttl, the VST 3 preset files, CLAP's preset discovery,
// the manual's pictures), so no copy can disagree with another.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace tonarvo {

// The six controls in parameter order, each in its slider's own units (the
// VST 2.4 parameters' units): input trim and output trim in dB, cartridge
// 0 to 2, tone-arm resonance and damping -24 to 24, slew-rate limit 0 to 48.
inline constexpr std::size_t kPresetValueCount = 6;

struct FactoryPreset {
    const char* name;         // what hosts list; also the VST 3 preset's file name
    const char* key;          // a stable ASCII token (LV2 URI fragment, CLAP load key)
    const char* description;  // one line
    double values[kPresetValueCount];
};

inline constexpr std::size_t kFactoryPresetCount = 10;

// Every value is a float (LV2 ports and the VST 2.4 chunk keep floats) and on
// its slider's step grid, so each face's own write stores exactly it.
std::span<const FactoryPreset> factoryPresets();

// The preset whose key is `key`, or -1.
std::int32_t findPreset(std::string_view key);

}  // namespace tonarvo
