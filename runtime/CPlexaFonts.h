// Font slots selected by the effect's drawing code, and the current line advance.
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "runtime/CPlexaFiles.h"

namespace plexa {

struct FontSlot {
    std::string face;
    double size = 0.0;        // pixels
    std::int32_t style = 0;   // 1 bold, 2 italic, 4 underline
};

class CPlexaFonts : public CPlexaFiles {
public:
    std::map<std::int32_t, FontSlot> fontSlots;
    double textHeight = 0.0;

protected:
    CPlexaFonts() = default;
    ~CPlexaFonts() = default;
};

}  // namespace plexa
