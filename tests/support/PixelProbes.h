// Pixel predicates shared by the drawing, interface and editor tests of every
// backend: the interface's colours at half alpha over the black background.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <utility>

namespace pixel_probes {

constexpr std::uint32_t kRed = 0xFFFF0000, kBlack = 0xFF000000, kTransparent = 0;

struct Rgb {
    int r, g, b;
};

inline Rgb rgbOf(std::uint32_t pixel) {
    return {static_cast<int>((pixel >> 16) & 0xFF), static_cast<int>((pixel >> 8) & 0xFF),
            static_cast<int>(pixel & 0xFF)};
}

inline bool red(Rgb p) { return p.r > 240 && p.g < 15 && p.b < 15; }
inline bool blueFill(Rgb p) { return p.r < 20 && p.g > 50 && p.g < 80 && p.b > 110 && p.b < 140; }
inline bool greyFill(Rgb p) { return p.r > 50 && p.r < 80 && p.r == p.g && p.g == p.b; }
inline bool reddish(Rgb p) { return p.r > 100 && p.g < 15 && p.b < 15; }
inline bool black(Rgb p) { return p.r < 10 && p.g < 10 && p.b < 10; }
inline int brightness(Rgb p) { return p.r + p.g + p.b; }

// Every pixel of the box [x0, x1) x [y0, y1) has the colour, and the ring of
// pixels around it does not. Paint: anything with pixel(x, y) -> 0xAARRGGBB.
template <typename Paint>
void expectExactBox(Paint& paint, int x0, int y0, int x1, int y1, std::uint32_t colour) {
    for (int y = y0 - 1; y <= y1; ++y)
        for (int x = x0 - 1; x <= x1; ++x) {
            const bool inside = x >= x0 && x < x1 && y >= y0 && y < y1;
            ASSERT_EQ(paint.pixel(x, y) == colour, inside) << "pixel " << x << "," << y;
        }
}

// A window's picture shows the interface: the red border's corners, the
// input gain bar filled to its centre and black past it. Picture: anything
// with at(x, y) -> Rgb.
template <typename Picture>
testing::AssertionResult showsInterface(Picture& picture) {
    testing::AssertionResult result = testing::AssertionSuccess();
    const auto expect = [&](bool (*test)(Rgb), const char* what, int x, int y) {
        const Rgb p = picture.at(x, y);
        if (!test(p)) {
            result = testing::AssertionFailure();
            result << what << " expected at (" << x << ", " << y << "), found " << p.r << "," << p.g << "," << p.b
                   << "; ";
        }
    };
    for (auto [x, y] : {std::pair{680, 0}, std::pair{0, 370}, std::pair{0, 0}, std::pair{680, 370}})
        expect(&red, "red", x, y);
    expect(&blueFill, "blue fill", 339, 33);
    expect(&black, "black", 341, 33);
    return result;
}

// The same at scale s in a width x height window: the border in the window's
// corners (a rasteriser puts a line a fraction of a device pixel wide, or
// one whole ones wide, on the corner pixel or the next one inside, in full
// or in part), the input gain bar
// (101 to 340 at 1) filled and black past it, each where the layout puts it
// times s.
template <typename Picture>
testing::AssertionResult showsInterfaceAt(Picture& picture, double s, int width, int height) {
    testing::AssertionResult result = testing::AssertionSuccess();
    const auto expect = [&](bool (*test)(Rgb), const char* what, int x, int y) {
        const Rgb p = picture.at(x, y);
        if (!test(p)) {
            result = testing::AssertionFailure();
            result << what << " expected at (" << x << ", " << y << ") at scale " << s << ", found " << p.r << ","
                   << p.g << "," << p.b << "; ";
        }
    };
    for (auto [x, y] : {std::pair{width - 1, 0}, std::pair{0, height - 1}, std::pair{0, 0}, std::pair{width - 1, height - 1}}) {
        const int inX = x == 0 ? 1 : x - 1, inY = y == 0 ? 1 : y - 1;
        const auto redHere = [&](int px, int py) { return reddish(picture.at(px, py)); };
        if (!(redHere(x, y) || redHere(inX, y) || redHere(x, inY) || redHere(inX, inY))) expect(&reddish, "red", x, y);
    }
    expect(&blueFill, "blue fill", static_cast<int>(300 * s), static_cast<int>(33 * s));
    expect(&black, "black", static_cast<int>(360 * s), static_cast<int>(33 * s));
    return result;
}

}  // namespace pixel_probes
