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

    struct FrameMouse {
        double x, y, cap;
    };
    // The mouse as the frame about to be drawn sees it; call once per frame.
    // Frames poll the mouse, so a click pressed and released between two
    // frames (a tap, a fast click) would never be seen: the next frame gets
    // its press instead, at the press's position and buttons, and the frame
    // after sees the mouse as it is. Otherwise this is mouseX, mouseY and
    // mouseCap as they stand.
    FrameMouse takeFrameMouse();

    // A click older than this when a frame comes is dropped: the editor was
    // closed or not drawn meanwhile, and a late click would surprise.
    static constexpr std::uint32_t kUnseenClickLifeMs = 1000;

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

    FrameMouse lastPress{0.0, 0.0, 0.0};
    std::int32_t lastPressMs = 0;  // frame clock at that press
    bool pressUnseen = false;      // no frame has seen the last press yet
    bool clickUnseen = false;      // ... and it has been released already
};

}  // namespace plexa
