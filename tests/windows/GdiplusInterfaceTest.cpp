// The effect's whole interface drawn on the GDI+ backend, offscreen, under
// Wine: the red border, the bar fills, the pictures and the text land where
// the Linux interface tests find them.
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
    OffscreenPaint& frame() {
        OffscreenPaint& p = newPaint(681, 371, OffscreenPaint::Background::Black);
        effect->gfxSection();
        EXPECT_EQ(p.graphics()->lastFailure(), 0);
        p.finish();
        return p;
    }
    Rgb at(int x, int y) { return rgbOf(paint->pixel(x, y)); }
    platform::Hooks previous;
};

}  // namespace

TEST_F(GdiplusInterface, BorderPicturesAndTextOnceSwitchedOn) {
    frame();  // straight after an open: the border collapses to the corner
    EXPECT_TRUE(black(at(680, 0)));
    EXPECT_TRUE(black(at(680, 370)));
    EXPECT_TRUE(black(at(0, 370)));

    float silence[16] = {};
    float* channels[2] = {silence, silence};
    descriptor->dispatcher(descriptor, vst2::effMainsChanged, 0, 1, nullptr, 0);
    descriptor->processReplacing(descriptor, channels, channels, 16);
    frame();
    for (auto [x, y] : {std::pair{680, 0}, std::pair{680, 370}, std::pair{0, 370}, std::pair{340, 0}})
        EXPECT_GT(at(x, y).r, 200) << x << "," << y;
    const int unlit = brightness(at(105, 193));

    effect->v.clipIndicator = 1;
    frame();
    for (int x : {105, 205, 425, 525}) EXPECT_GT(at(x, 193).r, 100) << x;
    EXPECT_GT(brightness(at(105, 193)), unlit + 100);
    EXPECT_GT(at(49, 36).g, 0);  // the logo's teal under its overlay

    // The cartridge's derived frequency, in Courier New below its column,
    // where nothing but text is drawn.
    int ink = 0;
    for (int y = 322; y < 360; ++y)
        for (int x = 595; x < 670; ++x) ink += brightness(at(x, y)) > 150;
    EXPECT_GT(ink, 40);

    // Written for a look at what GDI+ made of it.
    EXPECT_TRUE(paint->writePng("gdiplus-interface.png"));
}
