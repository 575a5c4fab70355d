// Effect texts and image file names, addressed by number.
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "runtime/CPlexaDescription.h"

namespace plexa {

class CPlexaStrings : public CPlexaDescription {
public:
    void setString(std::int32_t handle, const std::string& text) { stringTable[handle] = text; }
    // Never-registered handles read as an empty text (and get an entry).
    std::string& stringAt(std::int32_t handle) { return stringTable[handle]; }
    void setImageName(std::int32_t handle, const std::string& name) { imageNames[handle] = name; }

    std::map<std::int32_t, std::string> stringTable;
    std::map<std::int32_t, std::string> imageNames;

protected:
    CPlexaStrings() = default;
    ~CPlexaStrings() = default;
};

}  // namespace plexa
