// Writes a stereo 32-bit float WAV byte by byte, so the file depends on
// nothing but the samples (no library version, no timestamp chunk).
#pragma once

#include <string>
#include <vector>

namespace demo {

// Throws std::runtime_error when the file cannot be written.
void writeStereoFloatWav(const std::string& path, int sampleRate, const std::vector<float>& left,
                         const std::vector<float>& right);

}  // namespace demo
