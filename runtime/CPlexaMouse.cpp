#include "runtime/CPlexaMouse.h"

#include "runtime/platform/Platform.h"

namespace plexa {

double CPlexaMouse::mouseCapOf(std::int32_t buttons) {
    int cap = 0;
    if (buttons & kLeftButton) cap += 1;
    if (buttons & kRightButton) cap += 2;
    if (buttons & kControl) cap += 4;
    if (buttons & kShift) cap += 8;
    if (buttons & kAlt) cap += 16;
    if (buttons & kMiddleButton) cap += 64;
    return static_cast<double>(cap);
}

void CPlexaMouse::mouseDown(double x, double y, std::int32_t buttons) {
    mouseX = x;
    mouseY = y;
    mouseCap = mouseCapOf(buttons);
    raiseFrameRate();
    // A second press before any frame (a double click) replaces the first.
    lastPress = {x, y, mouseCap};
    lastPressMs = platform::frameClockMs();
    pressUnseen = true;
    clickUnseen = false;
}

void CPlexaMouse::mouseMoved(double x, double y) {
    mouseX = x;
    mouseY = y;
    raiseFrameRate();
}

void CPlexaMouse::mouseUp(double x, double y) {
    if (pressUnseen) clickUnseen = true;
    pressUnseen = false;
    mouseX = x;
    mouseY = y;
    mouseCap = 0.0;
    raiseFrameRate();
}

CPlexaMouse::FrameMouse CPlexaMouse::takeFrameMouse() {
    const bool showClick = clickUnseen && platform::frameClockMsSince(lastPressMs) <= kUnseenClickLifeMs;
    pressUnseen = false;
    clickUnseen = false;
    return showClick ? lastPress : FrameMouse{mouseX, mouseY, mouseCap};
}

}  // namespace plexa
