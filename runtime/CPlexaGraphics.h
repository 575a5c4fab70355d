// Image slots, the pen and the requested editor frame rate.
#pragma once

#include <cstdint>
#include <map>

#include "runtime/CPlexaFonts.h"

struct BitmapHandle;

namespace plexa {

struct ImageSlot {
    BitmapHandle* bitmap = nullptr;  // absent until the first load attempt
    double width = 0.0;
    double height = 0.0;
};

class CPlexaGraphics : public CPlexaFonts {
public:
    std::map<std::int32_t, ImageSlot> imageSlots;
    double penX = 0.0;
    double penY = 0.0;
    double frameRate = 0.0;

protected:
    CPlexaGraphics() = default;
    ~CPlexaGraphics() = default;
};

}  // namespace plexa
