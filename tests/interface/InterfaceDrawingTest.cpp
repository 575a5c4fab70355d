#include <algorithm>
#include <cmath>
#include <vector>

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

namespace {

// A frame's pixels, kept past the paint.
struct Picture {
    int width, height;
    std::vector<Rgb> pixels;
    Rgb at(int x, int y) const { return pixels[static_cast<std::size_t>(y * width + x)]; }
};

Picture grab(OffscreenPaint& paint, int width, int height) {
    Picture picture{width, height, {}};
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) picture.pixels.push_back(rgbOf(paint.pixel(x, y)));
    return picture;
}

// The device picture averaged back onto the layout's pixels, each device
// pixel weighted by how much of it lies in the layout pixel.
Picture shrink(const Picture& big, double scale, int width, int height) {
    Picture small{width, height, {}};
    const auto span = [&](int i, int limit) {
        std::vector<std::pair<int, double>> weights;
        for (int k = static_cast<int>(i * scale); k < std::min(limit, static_cast<int>(std::ceil((i + 1) * scale))); ++k)
            weights.emplace_back(k, std::min<double>(k + 1, (i + 1) * scale) - std::max<double>(k, i * scale));
        return weights;
    };
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            double r = 0, g = 0, b = 0, total = 0;
            for (auto [row, wy] : span(y, big.height))
                for (auto [column, wx] : span(x, big.width)) {
                    const Rgb p = big.at(column, row);
                    r += p.r * wx * wy;
                    g += p.g * wx * wy;
                    b += p.b * wx * wy;
                    total += wx * wy;
                }
            small.pixels.push_back({static_cast<int>(std::lround(r / total)), static_cast<int>(std::lround(g / total)),
                                    static_cast<int>(std::lround(b / total))});
        }
    return small;
}

// Pixels a step between dark and light along rows spends between 10 % and
// 90 % of the box's brightest value, per step: about 0 to 1 for a sharp edge
// at any scale, about s times that for a picture enlarged afterwards.
double edgeWidth(const Picture& picture, int x0, int y0, int x1, int y1) {
    const auto level = [](Rgb p) { return std::max({p.r, p.g, p.b}); };
    int top = 0;
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x) top = std::max(top, level(picture.at(x, y)));
    int steps = 0, between = 0;
    for (int y = y0; y < y1; ++y) {
        int last = -1, side = 0;  // where the last pixel at either end was, and which end
        for (int x = x0; x < x1; ++x) {
            const int v = level(picture.at(x, y));
            const int here = v * 10 <= top ? -1 : v * 10 >= top * 9 ? 1 : 0;
            if (here == 0) continue;
            if (side == -here) {
                ++steps;
                between += x - last - 1;
            }
            side = here;
            last = x;
        }
    }
    return steps ? static_cast<double>(between) / steps : -1;
}

// The 1x picture enlarged with bilinear interpolation: what a stretched
// bitmap of it would look like.
Picture stretched(const Picture& small, double scale) {
    Picture big{static_cast<int>(std::lround(small.width * scale)), static_cast<int>(std::lround(small.height * scale)),
                {}};
    for (int y = 0; y < big.height; ++y)
        for (int x = 0; x < big.width; ++x) {
            const double u = std::clamp((x + 0.5) / scale - 0.5, 0.0, small.width - 1.0);
            const double v = std::clamp((y + 0.5) / scale - 0.5, 0.0, small.height - 1.0);
            const int i = std::min(static_cast<int>(u), small.width - 2), j = std::min(static_cast<int>(v), small.height - 2);
            const double fu = u - i, fv = v - j;
            const auto mix = [&](int Rgb::*c) {
                return static_cast<int>(std::lround(
                    (small.at(i, j).*c * (1 - fu) + small.at(i + 1, j).*c * fu) * (1 - fv) +
                    (small.at(i, j + 1).*c * (1 - fu) + small.at(i + 1, j + 1).*c * fu) * fv));
            };
            big.pixels.push_back({mix(&Rgb::r), mix(&Rgb::g), mix(&Rgb::b)});
        }
    return big;
}

}  // namespace

// The layout drawn at 1.5 and 2: the same picture once shrunk back to 1, with
// edges and text as sharp in device pixels as at 1, unlike a 1x picture
// enlarged afterwards.
TEST_F(InterfaceTest, ScaledFramesShowTheSameLayoutSharply) {
    frame();
    const Picture one = grab(*paint, 681, 371);
    const double textAtOne = edgeWidth(one, 105, 305, 370, 323), barAtOne = edgeWidth(one, 330, 26, 350, 34);
    for (double scale : {1.5, 2.0}) {
        const int w = static_cast<int>(std::lround(681 * scale)), h = static_cast<int>(std::lround(371 * scale));
        frame(scale);
        const Picture big = grab(*paint, w, h);
        EXPECT_EQ(paint->pixel(w, h - 1), 0u);  // nothing past the scaled size
        const Picture back = shrink(big, scale, 681, 371);
        double difference = 0;
        int far = 0;
        for (std::size_t i = 0; i < one.pixels.size(); ++i) {
            const Rgb a = one.pixels[i], b = back.pixels[i];
            const int d = std::max({std::abs(a.r - b.r), std::abs(a.g - b.g), std::abs(a.b - b.b)});
            difference += (std::abs(a.r - b.r) + std::abs(a.g - b.g) + std::abs(a.b - b.b)) / 3.0;
            far += d > 96;
        }
        const double mean = difference / static_cast<double>(one.pixels.size());
        const auto at = [&](int v) { return static_cast<int>(v * scale); };
        const double text = edgeWidth(big, at(105), at(305), at(370), at(323));
        const double bar = edgeWidth(big, at(330), at(26), at(350), at(34));
        const double blurred = edgeWidth(stretched(one, scale), at(105), at(305), at(370), at(323));
        // At 2 a layout pixel is 2 x 2 device pixels: only glyphs, hinted at
        // the device's size, fall on other pixels. At 1.5 a one-pixel line
        // covers one and a half device pixels and snaps to one or two, so
        // every line's average moves too.
        const bool whole = scale == 2.0;
        EXPECT_LT(mean, whole ? 3.0 : 5.0) << scale;
        EXPECT_LT(far, static_cast<int>(one.pixels.size()) / (whole ? 100 : 60)) << scale;
        EXPECT_LE(bar, std::max(barAtOne, 1.0)) << scale;
        EXPECT_LT(text, textAtOne + 0.5) << scale;
        EXPECT_LT(text, blurred / 2) << scale;
    }
}
