// Pointer events of X11 in the view's terms: modifier and button masks to
// view button bits, and the double-click rule. No Xlib calls, so tests run
// it without a display.
#pragma once

#include <X11/X.h>

#include <cstdint>
#include <cstdlib>

namespace x11_editor {

// Presses of the same button closer than this in time and space make a
// double click (the Windows defaults the effect was drawn against).
constexpr std::uint32_t kDoubleClickMs = 300;
constexpr int kDoubleClickDistance = 4;

// View button bits.
constexpr std::int32_t kViewLeft = 2, kViewMiddle = 4, kViewRight = 8, kViewShift = 16, kViewControl = 32,
                       kViewAlt = 64, kViewExtra1 = 256, kViewExtra2 = 512, kViewDoubleClick = 1024;

// X buttons 4 to 7 are wheel steps, which the view ignores; 8 and 9 are the
// side buttons.
inline bool isWheel(unsigned int button) { return button >= 4 && button <= 7; }

// The core state mask bit of a button; 0 for buttons X keeps no bit for.
inline unsigned int buttonMask(unsigned int button) {
    switch (button) {
        case Button1: return Button1Mask;
        case Button2: return Button2Mask;
        case Button3: return Button3Mask;
        default: return 0;
    }
}

// The side buttons have no bit in the core state, so the window keeps them.
inline std::int32_t extraButtonBit(unsigned int button) {
    return button == 8 ? kViewExtra1 : button == 9 ? kViewExtra2 : 0;
}

// Buttons and modifiers of a core state mask; Mod1 is Alt on every common
// keyboard map.
inline std::int32_t viewButtons(unsigned int state) {
    std::int32_t bits = 0;
    if (state & Button1Mask) bits |= kViewLeft;
    if (state & Button2Mask) bits |= kViewMiddle;
    if (state & Button3Mask) bits |= kViewRight;
    if (state & ShiftMask) bits |= kViewShift;
    if (state & ControlMask) bits |= kViewControl;
    if (state & Mod1Mask) bits |= kViewAlt;
    return bits;
}

class ClickTracker {
public:
    // True when this press completes a double click. A third press starts
    // over, as on Windows, so a triple click is a double click and a click.
    bool press(unsigned int button, std::uint32_t timeMs, int x, int y) {
        const bool twice = button == lastButton && static_cast<std::uint32_t>(timeMs - lastTime) <= kDoubleClickMs &&
                           std::abs(x - lastX) <= kDoubleClickDistance && std::abs(y - lastY) <= kDoubleClickDistance;
        lastButton = twice ? 0 : button;
        lastTime = timeMs;
        lastX = x;
        lastY = y;
        return twice;
    }

private:
    unsigned int lastButton = 0;
    std::uint32_t lastTime = 0;
    int lastX = 0, lastY = 0;
};

}  // namespace x11_editor
