// One declared slider: range, step, host texts and optional option texts.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace plexa {

struct SliderRecord {
    std::vector<std::string> optionTexts;
    bool scanned = false;
    std::int32_t number = 0;
    double* boundVariable = nullptr;  // not owned
    double defaultValue = 0.0;
    double minimum = 0.0;
    double maximum = 0.0;
    double step = 0.0;
    std::string folder;
    std::string extraText;
    std::string label;
    std::string name;

    // Turns the file names of `folder` (beside the library) into option texts;
    // applied once, when the slider is added.
    void applyFolderRule();
};

}  // namespace plexa
