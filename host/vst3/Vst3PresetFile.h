// The .vstpreset container hosts read preset files from: a 48-byte header
// (chunk ID 'VST3', version 1, the processor's class ID as 32 hex digits,
// the list's offset), the chunks' bytes, then the list of chunks. All numbers
// are little-endian on every platform.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vst3face {

struct PresetFile {
    std::string classId;                        // 32 upper-case hex digits
    std::vector<std::uint8_t> componentState;   // 'Comp': what IComponent::getState wrote
    std::vector<std::uint8_t> controllerState;  // 'Cont': empty when the file has none
};

// The file's bytes: Comp (and Cont when not empty), in that order. Empty when
// the class ID is not 32 hex digits.
std::vector<std::uint8_t> writePresetFile(const PresetFile& preset);

// Reads a file as hosts do: false for anything that is not a well-formed
// container with a Comp chunk (a short or damaged file, offsets outside it).
bool readPresetFile(const std::uint8_t* data, std::size_t size, PresetFile& preset);

}  // namespace vst3face
