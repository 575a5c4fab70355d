// The GDI+-only tests' fixture: the shared drawing fixture, which builds the
// effect in-process on GDI+, plus one paint kept for probing.
#pragma once

#include <memory>

#include "DrawingFixture.h"

namespace gdiplus_test {

using namespace pixel_probes;

// The shared drawing fixture (GDI+ on Windows) with a paint kept for probing.
class GdiplusTest : public drawing_test::DrawingTest {
protected:
    void TearDown() override {
        paint.reset();  // the paint refers to the adapter, which goes next
        DrawingTest::TearDown();
    }

    OffscreenPaint& newPaint(int width, int height,
                             OffscreenPaint::Background background = OffscreenPaint::Background::Transparent,
                             double scale = 1.0) {
        paint.reset();
        paint = std::make_unique<OffscreenPaint>(adapter, width, height, background, scale);
        return *paint;
    }

    std::unique_ptr<OffscreenPaint> paint;
};

}  // namespace gdiplus_test
