// The effect opened in-process, with frames drawn into offscreen images.
#pragma once

#include <memory>

#include "DrawingFixture.h"
#include "runtime/platform/Platform.h"

namespace interface_test {

using namespace pixel_probes;

inline std::int64_t gNow = 1'000'000;
inline int gRandom = 0;
inline int gRandomCalls = 0;
inline std::int64_t fixedClock() { return gNow; }
inline int fixedRandom() {
    ++gRandomCalls;
    return gRandom;
}

class InterfaceTest : public drawing_test::DrawingTest {
protected:
    void SetUp() override {
        DrawingTest::SetUp();
        platform::Hooks hooks;
        hooks.calendarSeconds = &fixedClock;
        hooks.randomNumber = &fixedRandom;
        previous = platform::setHooks(hooks);
        gRandom = 0;
        gRandomCalls = 0;
    }
    void TearDown() override {
        paint.reset();  // the paint refers to the adapter, which goes next
        platform::setHooks(previous);
        DrawingTest::TearDown();
    }

    // Draws one frame (at a scale: that many device pixels per layout
    // pixel); the picture stays for probing until the next.
    OffscreenPaint& frame(double scale = 1.0) {
        paint.reset();
        paint = std::make_unique<OffscreenPaint>(adapter, 681, 371, OffscreenPaint::Background::Black, scale);
        effect->gfxSection();
        paint->finish();
        return *paint;
    }
    Rgb at(int x, int y) { return rgbOf(paint->pixel(x, y)); }

    void press(double x, double y, int buttons) { adapter->callbacks.mouseDown(adapter, x, y, buttons); }
    void release(double x, double y) { adapter->callbacks.mouseUp(adapter, x, y, 0); }
    void move(double x, double y) { adapter->callbacks.mouseMoved(adapter, x, y, 0); }

    std::unique_ptr<OffscreenPaint> paint;
    platform::Hooks previous;
};

}  // namespace interface_test
