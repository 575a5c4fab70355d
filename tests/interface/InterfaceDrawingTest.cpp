#include <cmath>

#include "InterfaceFixture.h"

using namespace interface_test;

TEST_F(InterfaceTest, BarsAtZeroFillToTheirOrigins) {
    for (double& value : effect->sliderValues) value = 0;
    frame();
    EXPECT_TRUE(blueFill(at(339, 33)));  // input gain: 101 to 340
    EXPECT_TRUE(black(at(341, 33)));
    EXPECT_TRUE(blueFill(at(101, 33)));
    EXPECT_TRUE(greyFill(at(579, 222)));  // slew rows: 101 to 580
    EXPECT_TRUE(greyFill(at(579, 252)));
    EXPECT_TRUE(black(at(101, 285)));  // tracking: one pixel, on the frame's own column
    EXPECT_TRUE(black(at(102, 285)));
    EXPECT_TRUE(black(at(630, 314)));  // cartridge column: empty
    EXPECT_TRUE(black(at(630, 316)));

    effect->setSliderValue(TPlexaEffect::kInputTrim, 24);
    effect->setSliderValue(TPlexaEffect::kCartridgeResponse, 2);
    effect->setSliderValue(TPlexaEffect::kSlewLimit, 48);
    frame();
    EXPECT_TRUE(blueFill(at(578, 33)));  // to 580 at +24
    EXPECT_TRUE(blueFill(at(578, 285)));
    EXPECT_TRUE(blueFill(at(630, 16)));  // the column's full 300 pixels, 16 to 315,
    EXPECT_TRUE(blueFill(at(630, 314)));  // under the frame line at 315

    effect->setSliderValue(TPlexaEffect::kInputTrim, -24);
    frame();
    EXPECT_TRUE(black(at(102, 33)));  // width -1: one pixel at the frame
}

TEST_F(InterfaceTest, ClipFlagLightsAllFourIndicators) {
    // Probed above the lettering, right of the squares that cover the
    // first picture's left end.
    frame();
    const int unlit = brightness(at(105, 193));
    effect->v.clipIndicator = 1;
    frame();
    for (int x : {105, 205, 425, 525}) EXPECT_GT(at(x, 193).r, 100) << x;
    EXPECT_GT(brightness(at(105, 193)), unlit + 100);
    effect->v.clipIndicator = 0.5;  // anything but 1 is off
    frame();
    EXPECT_EQ(brightness(at(105, 193)), unlit);
}

TEST_F(InterfaceTest, ExperimentalIndicatorFlickersThenGlowsThenGoes) {
    effect->v.inMeterSlowShown = 0;  // loud enough not to restart the countdown
    const auto lit = [&] { return at(295, 195).r > 150; };

    effect->v.quietTime = static_cast<double>(gNow - 3);
    gRandom = 0;  // 0 / 32767 + 0 is not above 0.9: no overlay
    frame();
    EXPECT_TRUE(lit());
    EXPECT_EQ(effect->v.flickerBias, 0.0);
    gRandom = 32767;  // above 0.9: dark, and the bias makes it likelier to stay dark
    frame();
    EXPECT_FALSE(lit());
    EXPECT_EQ(effect->v.flickerBias, 0.5);
    gRandom = 14746;  // 0.45 + 0.5 > 0.9: still dark
    frame();
    EXPECT_FALSE(lit());
    gRandom = 13106;  // 0.39996 + 0.5 is not: lit again
    frame();
    EXPECT_TRUE(lit());

    effect->v.quietTime = static_cast<double>(gNow - 10);
    gRandomCalls = 0;
    frame();
    EXPECT_TRUE(lit());
    EXPECT_EQ(gRandomCalls, 0);  // steady: no flicker draw

    effect->v.quietTime = static_cast<double>(gNow - 15);
    frame();
    EXPECT_TRUE(black(at(295, 195)));
    EXPECT_TRUE(black(at(385, 205)));

    effect->v.inMeterSlowShown = -19.5;  // a quiet input restarts it now
    frame();
    EXPECT_EQ(effect->v.quietTime, static_cast<double>(gNow));
}

TEST_F(InterfaceTest, SquaresLightWithTheSlopePeaks) {
    const auto centre = [&](int x, int y) { return brightness(at(x + 25, y + 25)); };
    frame();
    const int dimmed = centre(0, 300);
    effect->v.slopePeakLeft = 12000.5;  // bottom left square: overlay alpha 0.5
    frame();
    const int half = centre(0, 300);
    EXPECT_GT(half, dimmed * 2);
    EXPECT_EQ(centre(0, 250), dimmed);
    EXPECT_EQ(centre(50, 300), dimmed);

    effect->v.slopePeakLeft = 24001;  // past every threshold: the whole column lit
    frame();
    const int full = centre(0, 300);
    EXPECT_GT(full, half);
    for (int y = 100; y <= 300; y += 50) EXPECT_EQ(centre(0, y), full) << y;
    EXPECT_EQ(centre(50, 100), dimmed);
}

TEST_F(InterfaceTest, LogoPulsesWithThePhase) {
    // The label's teal under the overlay: teal * (1 - alpha). The teal itself
    // is read at the lightest phase (alpha 0.2), where an 8-bit reading is
    // least magnified.
    frame();
    EXPECT_LT(at(49, 36).g, 60);  // the first frame after an open is the darkest, alpha 0.8
    effect->v.glowPhase = 3.141592653589793;
    frame();
    const double teal = at(49, 36).g / 0.8;
    for (int n : {1, 44, 100}) {
        effect->onOpen();
        for (int i = 0; i < n; ++i) frame();
        frame();  // the frame after n frames
        const double phase = std::fmod(0.07 * n, 6.283185307179586);
        const double alpha = 0.5 + 0.3 * std::cos(phase);
        EXPECT_NEAR(at(49, 36).g, teal * (1 - alpha), 3.0) << n;
        EXPECT_NEAR(effect->v.glowPhase, std::fmod(0.07 * (n + 1), 6.283185307179586), 1e-9);
    }
}

TEST_F(InterfaceTest, BorderNeedsTheSampleSectionsSize) {
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
    // Switched on, the version and the cartridge's derived frequency show,
    // the latter as text below its column where nothing else is drawn.
    EXPECT_EQ(effect->v.buildDate, 20241108.0);
    int ink = 0;
    for (int y = 322; y < 360; ++y)
        for (int x = 595; x < 670; ++x) ink += brightness(at(x, y)) > 150;
    EXPECT_GT(ink, 40);
}
