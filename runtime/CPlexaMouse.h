// Mouse state as the effect's frame code polls it.
#pragma once

#include <cstdint>

#include "runtime/CPlexaGraphics.h"
#include "runtime/SharedValue.h"

namespace plexa {

class CPlexaMouse : public CPlexaGraphics {
public:
    // Toolkit button bits as the editor view reports them.
    enum ViewButton : std::int32_t {
        kLeftButton = 2,
        kMiddleButton = 4,
        kRightButton = 8,
        kShift = 16,
        kControl = 32,
        kAlt = 64,
        kDoubleClick = 1024,
    };

    void mouseDown(double x, double y, std::int32_t buttons);
    void mouseMoved(double x, double y);
    void mouseUp(double x, double y);

    // Effect's button word: left 1, right 2, control 4, shift 8, alt 16, middle 64.
    static double mouseCapOf(std::int32_t buttons);

    double mouseCap = 0.0;
    double mouseX = 0.0;
    double mouseY = 0.0;

protected:
    CPlexaMouse() = default;
    ~CPlexaMouse() = default;

private:
    // Keeps the editor redrawing while the user works with the mouse.
    // The rate is shared with the initialisation, which may run elsewhere.
    void raiseFrameRate() {
        const double rate = readShared(frameRate);
        writeShared(frameRate, rate < 30.0 ? 30.0 : rate);  // NaN stays NaN
    }
};

}  // namespace plexa
