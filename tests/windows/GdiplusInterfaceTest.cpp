// Whole interface frames on the GDI+ backend, offscreen, under Wine.
#include "GdiplusFixture.h"
#include "runtime/platform/Platform.h"

using namespace gdiplus_test;

namespace {

std::int64_t fixedClock() { return 1'000'000; }
int fixedRandom() { return 0; }

class GdiplusInterface : public GdiplusTest {
protected:
    void SetUp() override {
        GdiplusTest::SetUp();
        platform::Hooks hooks;
        hooks.calendarSeconds = &fixedClock;
        hooks.randomNumber = &fixedRandom;
        previous = platform::setHooks(hooks);
    }
    void TearDown() override {
        paint.reset();
        platform::setHooks(previous);
        GdiplusTest::TearDown();
    }
    OffscreenPaint& frame(double scale = 1.0) {
        OffscreenPaint& p = newPaint(681, 371, OffscreenPaint::Background::Black, scale);
        effect->gfxSection();
        EXPECT_EQ(p.graphics()->lastFailure(), 0);
        p.finish();
        return p;
    }
    platform::Hooks previous;
};

}  // namespace

// The shared interface suite probes the pixels; here every GDI+ call of a
// whole switched-on frame must succeed, and the frame is kept for a look.
TEST_F(GdiplusInterface, WholeFramesDrawWithoutAGdiplusFailure) {
    frame();
    float silence[16] = {};
    float* channels[2] = {silence, silence};
    descriptor->dispatcher(descriptor, vst2::effMainsChanged, 0, 1, nullptr, 0);
    descriptor->processReplacing(descriptor, channels, channels, 16);
    effect->v.clipIndicator = 1;
    frame();
    EXPECT_TRUE(paint->writePng("gdiplus-interface.png"));
    for (auto [scale, name] : {std::pair{1.5, "gdiplus-interface@1.5x.png"}, std::pair{2.0, "gdiplus-interface@2x.png"}}) {
        frame(scale);
        EXPECT_TRUE(paint->writePng(name));
    }
}
