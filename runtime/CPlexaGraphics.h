// Image slots, the pen and the requested editor frame rate.
#pragma once

#include <cstdint>
#include <map>

#include "runtime/CPlexaFonts.h"

#include <string>

struct BitmapHandle;

namespace plexa {

struct ImageSlot {
    BitmapHandle* bitmap = nullptr;  // absent until the first load attempt
    double width = 0.0;
    double height = 0.0;
};

class CPlexaGraphics : public CPlexaFonts {
public:
    // The slot of an image handle, its bitmap loaded on first use: the
    // library's built-in image of that number, else the registered file name
    // beside the library, else one trace line and an empty slot that is not
    // tried again. A handle with no registered name gives an empty slot.
    ImageSlot& imageAt(std::int32_t handle);

    std::map<std::int32_t, ImageSlot> imageSlots;
    double penX = 0.0;
    double penY = 0.0;
    double frameRate = 0.0;

protected:
    CPlexaGraphics() = default;
    ~CPlexaGraphics();
};

}  // namespace plexa
