// The drawing layer on the GDI+ backend, offscreen, under Wine: the pixel
// probes of the Linux drawing tests where GDI+ must give the same pixels,
// and what only this backend has (GDI+ start-up, stream and file decoding,
// the colour-matrix alpha route).
#define NOMINMAX
#include <windows.h>
#include <objidl.h>
#include <gdiplus.h>

#include <algorithm>
#include <fstream>
#include <string>

#include "GdiplusFixture.h"
#include "editor/CBitmap.h"
#include "editor/CFontDesc.h"
#include "editor/EffectDrawing.h"
#include "editor/GfxPrimitives.h"
#include "runtime/platform/Platform.h"

using namespace gdiplus_test;

namespace {

struct Ink {
    int top = 1 << 30, bottom = -1, left = 1 << 30, right = -1, count = 0;
};

// Where anything at least half opaque was drawn.
Ink inkOf(OffscreenPaint& paint, int width, int height) {
    Ink ink;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            if ((paint.pixel(x, y) >> 24) > 128) {
                ink.top = std::min(ink.top, y);
                ink.bottom = std::max(ink.bottom, y);
                ink.left = std::min(ink.left, x);
                ink.right = std::max(ink.right, x);
                ++ink.count;
            }
    return ink;
}

struct Colours {
    double r = 0, g = 0, b = 0, a = 1, slot = 0;
};

std::string tempFile(const char* name) {
    char folder[MAX_PATH];
    const DWORD length = GetTempPathA(MAX_PATH, folder);
    return std::string(folder, length) + name;
}

std::string resourceBytes(int number) {
    const unsigned char* bytes = nullptr;
    std::size_t size = 0;
    if (!platform::loadDataResource(number, &bytes, &size)) return {};
    return std::string(reinterpret_cast<const char*>(bytes), size);
}

}  // namespace

TEST_F(GdiplusTest, OutsideAPaintNothingIsDrawnAndEveryPrimitiveAnswersZero) {
    ASSERT_EQ(adapter->drawContext, nullptr);
    EXPECT_EQ(gfxSetDrawMode(adapter, 3), 0);
    EXPECT_EQ(gfxSetFontColor(adapter, 1, 2, 3, 4), 0);
    EXPECT_EQ(gfxSetFillColor(adapter, 1, 2, 3, 4), 0);
    EXPECT_EQ(gfxSetFrameColor(adapter, 1, 2, 3, 4), 0);
    EXPECT_EQ(gfxGetStringWidth(adapter, "text"), 0.0);
    EXPECT_EQ(gfxGetFontSize(adapter), 0);
    EXPECT_EQ(gfxMoveTo(adapter, 1, 1), 0);
    EXPECT_EQ(gfxLineTo(adapter, 2, 2), 0);
    EXPECT_EQ(gfxDrawArc(adapter, 0, 0, 10, 10, 0, 90, 2), 0);
    EXPECT_EQ(gfxDrawRect(adapter, 0, 0, 10, 10, 1), 0);
    EXPECT_EQ(gfxDrawEllipse(adapter, 0, 0, 10, 10, 1), 0);
    EXPECT_EQ(gfxDrawStringInRect(adapter, "a", 0, 0, 10, 10, 0, 0), 0);
    EXPECT_EQ(gfxDrawStringAt(adapter, "a", 0, 0, 1), 0);
    EXPECT_EQ(gfxDrawStringAligned(adapter, "a", 0, 0, 10, 10, 1, 1), 0);
    EXPECT_EQ(gfxDrawPoint(adapter, 1, 1, 1, 1, 1, 1), 0);
    int r = -1, g = -1, b = -1, a = -1;
    EXPECT_EQ(gfxGetPoint(adapter, 1, 1, &r, &g, &b, &a), 0);
    EXPECT_EQ(r, -1);
    EXPECT_EQ(gfxSetFont(adapter, "Courier New", 11, 0), 0);
    EXPECT_TRUE(adapter->fontList.empty());

    // Bitmaps load without a paint, and do not draw without one.
    BitmapHandle* handle = gfxBitmapNew(adapter);
    EXPECT_EQ(gfxBitmapLoadResource(adapter, handle, 3), 1);
    EXPECT_EQ(gfxBitmapWidth(adapter, handle), 50.0);
    EXPECT_EQ(gfxBitmapDraw(adapter, handle, 0, 0, 50, 50, 0, 0), 0);
    EXPECT_EQ(gfxBitmapDrawAlphaBlend(adapter, handle, 0, 0, 50, 50, 0, 0, 100), 0);
    EXPECT_EQ(gfxBitmapFree(adapter, handle), 1);
}

TEST_F(GdiplusTest, GdiplusRunsOnlyWhileSomethingOfTheBackendExists) {
    // Set up opens the effect and loads nothing: GDI+ has not been started.
    EXPECT_EQ(gfx::GdiplusSession::holders(), 0);
    {
        std::unique_ptr<gfx::BackendFont> font = gfx::gdiplusGraphicsPlatform().createFont("Courier New", 12, 0);
        ASSERT_NE(font, nullptr);
        EXPECT_EQ(gfx::GdiplusSession::holders(), 1);
        const std::string png = resourceBytes(4);
        std::shared_ptr<gfx::BackendImage> image = gfx::gdiplusGraphicsPlatform().decodeImage(
            reinterpret_cast<const unsigned char*>(png.data()), png.size());
        ASSERT_NE(image, nullptr);
        EXPECT_EQ(gfx::GdiplusSession::holders(), 2);
        font.reset();
        EXPECT_EQ(gfx::GdiplusSession::holders(), 1);
    }
    EXPECT_EQ(gfx::GdiplusSession::holders(), 0);
    // A failed attempt keeps nothing running.
    EXPECT_EQ(gfx::gdiplusGraphicsPlatform().createFont("No Such Face Anywhere", 12, 0), nullptr);
    EXPECT_EQ(gfx::gdiplusGraphicsPlatform().loadImageFile("Z:\\no\\such\\file.png"), nullptr);
    EXPECT_EQ(gfx::GdiplusSession::holders(), 0);

    // A paint holds it for its graphics; the adapter's fonts and the effect's
    // images hold it until they go.
    newPaint(10, 10);
    gfxSetFont(adapter, "Courier New", 11, 0);
    EXPECT_GT(gfxGetStringWidth(adapter, "x"), 0.0);
    effect->imageAt(3);
    paint.reset();
    // The 11-pixel variant went with the paint's context; the listed
    // description never made a GDI+ font; the effect's image remains.
    EXPECT_EQ(gfx::GdiplusSession::holders(), 1);
    descriptor->dispatcher(descriptor, vst2::effClose, 0, 0, nullptr, 0);
    descriptor = nullptr;
    EXPECT_EQ(gfx::GdiplusSession::holders(), 0);
}

TEST_F(GdiplusTest, FillsCoverExactlyTheirPixelsInEitherDirection) {
    OffscreenPaint& paint = newPaint(100, 100);
    EXPECT_EQ(gfxSetFillColor(adapter, 255, 0, 0, 255), 1);
    EXPECT_EQ(gfxDrawRect(adapter, 10, 20, 15, 25, 1), 1);
    expectExactBox(paint, 10, 20, 15, 25, kRed);
    gfxSetFillColor(adapter, 0, 0, 0, 255);
    gfxDrawRect(adapter, 60, 70, 50, 40, 1);  // right to left, bottom to top
    expectExactBox(paint, 50, 40, 60, 70, kBlack);
    EXPECT_EQ(paint.graphics()->lastFailure(), 0);
}

TEST_F(GdiplusTest, FillRectFloorsItsCornersAndLeavesThePenAtTheFarCorner) {
    Colours c;
    c.r = 1;
    EffectDrawing draw(*effect, c.r, c.g, c.b, c.a, c.slot);
    OffscreenPaint& paint = newPaint(40, 40);
    draw.fillRect(10.7, 20.2, 5, 5);
    EXPECT_EQ(effect->penX, 15.7);
    EXPECT_EQ(effect->penY, 25.2);
    expectExactBox(paint, 10, 20, 15, 25, kRed);

    draw.fillRect(30, 30, -1, 5);  // a negative width is drawn normalised: one pixel
    EXPECT_EQ(paint.pixel(29, 31), kRed);
    EXPECT_EQ(paint.pixel(30, 31), kTransparent);
}

TEST_F(GdiplusTest, OnePixelLinesAndOutlinesLandOnWholePixels) {
    OffscreenPaint& paint = newPaint(100, 100);
    gfxSetFrameColor(adapter, 255, 0, 0, 255);
    gfxMoveTo(adapter, 5, 30);
    gfxLineTo(adapter, 50, 30);
    expectExactBox(paint, 5, 30, 51, 31, kRed);  // both end pixels belong to the line

    gfxSetFrameColor(adapter, 0, 0, 0, 255);
    gfxMoveTo(adapter, 70.9, 5.2);  // integer calls truncate
    gfxLineTo(adapter, 70, 20);
    EXPECT_EQ(paint.context().getPenX(), 70.0);
    expectExactBox(paint, 70, 5, 71, 21, kBlack);

    // An outline of a w x h box covers its border pixels and nothing else.
    gfxSetFrameColor(adapter, 255, 0, 0, 255);
    gfxDrawRect(adapter, 20, 50, 30, 56, 0);
    for (int x = 19; x <= 30; ++x)
        for (int y = 49; y <= 56; ++y) {
            const bool border = (x == 20 || x == 29) ? (y >= 50 && y <= 55) : (x > 20 && x < 29 && (y == 50 || y == 55));
            ASSERT_EQ(paint.pixel(x, y) == kRed, border) << x << "," << y;
        }

    // The effect's lines: the pen follows, the switch sets the smoothing.
    Colours c;
    c.r = 1;
    EffectDrawing draw(*effect, c.r, c.g, c.b, c.a, c.slot);
    draw.drawLine(2, 90, 20, 90, 0);
    EXPECT_EQ(effect->penX, 20.0);
    EXPECT_EQ(paint.pixel(2, 90), kRed);
    EXPECT_EQ(paint.pixel(20, 90), kRed);
    EXPECT_EQ(paint.pixel(10, 91), kTransparent);
    draw.drawLine(2, 95, 20, 95, 1);
    EXPECT_EQ(paint.context().getDrawMode(), 3);
    EXPECT_EQ(paint.graphics()->lastFailure(), 0);
}

TEST_F(GdiplusTest, PointsEllipsesAndArcs) {
    OffscreenPaint& paint = newPaint(100, 100);
    gfxSetFrameColor(adapter, 0, 0, 255, 255);
    EXPECT_EQ(gfxDrawPoint(adapter, 3, 4, 255, 0, 0, 255), 1);
    expectExactBox(paint, 3, 4, 4, 5, kRed);
    EXPECT_EQ(paint.context().getFrameColor(), (gfx::Colour{0, 0, 255, 255}));

    // A filled ellipse inside its box: the centre is covered, the corners not.
    gfxSetFillColor(adapter, 255, 0, 0, 255);
    EXPECT_EQ(gfxDrawEllipse(adapter, 20, 20, 41, 41, 1), 1);
    EXPECT_EQ(paint.pixel(30, 30), kRed);
    EXPECT_EQ(paint.pixel(20, 30), kRed);
    EXPECT_EQ(paint.pixel(21, 21), kTransparent);
    EXPECT_EQ(paint.pixel(39, 39), kTransparent);
    EXPECT_EQ(paint.pixel(30, 41), kTransparent);

    // A quarter arc from 0 to 90 degrees runs clockwise on screen through the
    // lower right of its box; filled, it covers the chord's segment only.
    gfxSetFillColor(adapter, 0, 0, 0, 255);
    EXPECT_EQ(gfxDrawArc(adapter, 50, 50, 90, 90, 0, 90, 2), 1);
    EXPECT_EQ(paint.pixel(82, 82), kBlack);  // inside the segment, near the curve
    EXPECT_EQ(paint.pixel(60, 60), kTransparent);  // upper left: no part of the arc
    EXPECT_EQ(paint.pixel(72, 72), kTransparent);  // the centre side of the chord
    EXPECT_EQ(paint.graphics()->lastFailure(), 0);
}

TEST_F(GdiplusTest, FontsResolveByFaceAndAMissingFaceMeasuresAndDrawsNothing) {
    OffscreenPaint& paint = newPaint(200, 40);
    EXPECT_EQ(paint.context().getFont()->face, "Arial");
    EXPECT_EQ(gfxSetFont(adapter, "Courier New", 11, 0), 1);
    EXPECT_EQ(gfxGetFontSize(adapter), 11);
    gfxSetFont(adapter, "COURIER NEW", 0, -1);
    EXPECT_EQ(paint.context().getFont(), adapter->fontList[0]);

    // Courier New's characters are 0.6 em wide; GDI+ measures with a
    // sixth of an em of padding on either side.
    gfxSetFont(adapter, "Courier New", 20, 0);
    EXPECT_NEAR(gfxGetStringWidth(adapter, "MMMMM"), 5 * 0.6 * 20 + 20.0 / 3, 0.5);
    // UTF-8 is decoded: three two-byte characters are three cells wide.
    EXPECT_DOUBLE_EQ(gfxGetStringWidth(adapter, "\xc3\xa9\xc3\xa9\xc3\xa9"), gfxGetStringWidth(adapter, "MMM"));
    EXPECT_EQ(gfxGetStringWidth(adapter, "\xff\xfe"), 0.0);  // not UTF-8: empty text
    EXPECT_EQ(gfxGetStringWidth(adapter, ""), 0.0);

    gfxSetFont(adapter, "No Such Face Anywhere", 20, 0);
    EXPECT_EQ(gfxGetStringWidth(adapter, "MMMMM"), 0.0);
    EXPECT_EQ(gfxDrawStringAt(adapter, "MMMMM", 10, 30, 1), 0);
    EXPECT_EQ(gfxDrawStringAligned(adapter, "MMMMM", 0, 0, 200, 40, 0, 1), 0);
    paint.finish();
    EXPECT_EQ(inkOf(paint, 200, 40).count, 0);
}

TEST_F(GdiplusTest, TextSitsOnItsBaselineInTheFontColour) {
    OffscreenPaint& paint = newPaint(200, 60);
    gfxSetFont(adapter, "Courier New", 20, 0);
    gfxSetFontColor(adapter, 255, 255, 0, 255);
    ASSERT_EQ(gfxDrawStringAt(adapter, "HHH", 10, 40, 0), 1);
    EXPECT_EQ(paint.graphics()->lastFailure(), 0);
    paint.finish();
    // The layout box's top is y + 1 - line height, so capitals stand just
    // above y.
    const Ink ink = inkOf(paint, 200, 60);
    EXPECT_GE(ink.bottom, 30);
    EXPECT_LE(ink.bottom, 42);
    EXPECT_GE(ink.top, 20);
    EXPECT_NEAR(ink.left, 13, 3);  // the layout's padding is a sixth of an em
    int yellow = 0;
    for (int y = ink.top; y <= ink.bottom; ++y)
        for (int x = ink.left; x <= ink.right; ++x) {
            const std::uint32_t p = paint.pixel(x, y);
            yellow += p == 0xFFFFFF00;
        }
    EXPECT_GT(yellow, 30);
}

TEST_F(GdiplusTest, OneStyleOnlyUnderlineBeforeItalicBeforeBold) {
    const auto styleOf = [](int style) {
        std::unique_ptr<gfx::BackendFont> font = gfx::gdiplusGraphicsPlatform().createFont("Courier New", 20, style);
        INT chosen = -1;
        if (font) Gdiplus::DllExports::GdipGetFontStyle(gfx::gdiplusFontOf(*font), &chosen);
        return chosen;
    };
    EXPECT_EQ(styleOf(0), Gdiplus::FontStyleRegular);
    EXPECT_EQ(styleOf(gfx::kBold), Gdiplus::FontStyleBold);
    EXPECT_EQ(styleOf(gfx::kBold | gfx::kItalic), Gdiplus::FontStyleItalic);
    EXPECT_EQ(styleOf(gfx::kBold | gfx::kItalic | gfx::kUnderline), Gdiplus::FontStyleUnderline);

    const auto inkWith = [&](int style) {
        OffscreenPaint& paint = newPaint(200, 60);
        gfxSetFont(adapter, "Courier New", 20, style);
        gfxSetFontColor(adapter, 255, 255, 255, 255);
        gfxDrawStringAt(adapter, "HHH", 10, 40, 1);
        paint.finish();
        return inkOf(paint, 200, 60);
    };
    const Ink plain = inkWith(0), bold = inkWith(gfx::kBold), underlined = inkWith(gfx::kUnderline | gfx::kBold);
    EXPECT_GT(bold.count, plain.count * 5 / 4);
    // Not bold. (Wine's GDI+ draws no underline at all, so the line itself
    // under the baseline is not looked for.)
    EXPECT_LT(underlined.count, bold.count);
}

TEST_F(GdiplusTest, AlignedTextIsClippedToItsRectangleAndTheClipIsRestored) {
    OffscreenPaint& paint = newPaint(200, 60);
    gfxSetFont(adapter, "Courier New", 20, 0);
    gfxSetFontColor(adapter, 255, 255, 255, 255);
    EXPECT_EQ(gfxDrawStringAligned(adapter, "WWWWWWWWWW", 50, 10, 80, 40, 0, 1), 1);
    EXPECT_EQ(paint.context().getClipRect(), (gfx::IntRect{0, 0, 200, 60}));
    gfxSetFillColor(adapter, 255, 0, 0, 255);
    gfxDrawRect(adapter, 150, 50, 160, 60, 1);  // outside the text's box: the clip is gone
    paint.finish();
    int inside = 0;
    for (int y = 0; y < 60; ++y)
        for (int x = 0; x < 200; ++x) {
            const std::uint32_t p = paint.pixel(x, y);
            if (x >= 150 && y >= 50 && x < 160) {
                ASSERT_EQ(p, kRed) << x << "," << y;
            } else if (x < 50 || x >= 80 || y < 10 || y >= 40) {
                ASSERT_EQ(p >> 24, 0u) << x << "," << y;
            } else {
                inside += (p >> 24) > 128;
            }
        }
    EXPECT_GT(inside, 50);
}

TEST_F(GdiplusTest, BuiltInImagesDecodeToTheirSizesAndDrawOneToOne) {
    const double sizes[8][2] = {{99, 99}, {99, 99}, {99, 99}, {50, 50}, {100, 20}, {100, 20}, {100, 20}, {100, 20}};
    for (int number = 0; number < 8; ++number) {
        BitmapHandle handle;
        ASSERT_EQ(gfxBitmapLoadResource(adapter, &handle, number), 1) << number;
        EXPECT_EQ(gfxBitmapWidth(adapter, &handle), sizes[number][0]) << number;
        EXPECT_EQ(gfxBitmapHeight(adapter, &handle), sizes[number][1]) << number;
    }

    OffscreenPaint& paint = newPaint(120, 40);
    BitmapHandle* handle = gfxBitmapNew(adapter);
    ASSERT_EQ(gfxBitmapLoadResource(adapter, handle, 5), 1);  // CLIPPING, lit: opaque 100 x 20
    Gdiplus::GpBitmap* source = gfx::gdiplusBitmapOf(*handle->bitmap->image);
    EXPECT_EQ(gfxBitmapDraw(adapter, handle, 10, 10, 110, 30, 0, 0), 1);
    // A part of it, from a source offset.
    EXPECT_EQ(gfxBitmapDraw(adapter, handle, 0, 32, 30, 40, 40, 6), 1);
    EXPECT_EQ(paint.graphics()->lastFailure(), 0);
    paint.finish();
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 120; ++x) {
            Gdiplus::ARGB expected = 0;
            if (x >= 10 && x < 110 && y >= 10 && y < 30)
                Gdiplus::DllExports::GdipBitmapGetPixel(source, x - 10, y - 10, &expected);
            else if (x < 30 && y >= 32)
                Gdiplus::DllExports::GdipBitmapGetPixel(source, x + 40, y - 32 + 6, &expected);
            ASSERT_EQ(paint.pixel(x, y), expected) << x << "," << y;
        }
    gfxBitmapFree(adapter, handle);

    BitmapHandle empty;
    EXPECT_EQ(gfxBitmapLoadResource(adapter, &empty, 99), 0);
    EXPECT_EQ(gfxBitmapLoadFile(adapter, &empty, "Z:\\no\\such\\file.png"), 0);
    EXPECT_EQ(empty.bitmap, nullptr);
    // Not an image at all.
    const unsigned char junk[] = "not a PNG, not any image";
    EXPECT_EQ(gfx::gdiplusGraphicsPlatform().decodeImage(junk, sizeof junk), nullptr);
}

TEST_F(GdiplusTest, AConstantAlphaScalesTheImageOverWhatIsBelow) {
    OffscreenPaint& paint = newPaint(100, 20, OffscreenPaint::Background::Black);
    BitmapHandle* handle = gfxBitmapNew(adapter);
    ASSERT_EQ(gfxBitmapLoadResource(adapter, handle, 5), 1);
    Gdiplus::GpBitmap* source = gfx::gdiplusBitmapOf(*handle->bitmap->image);
    EXPECT_EQ(gfxBitmapDrawAlphaBlend(adapter, handle, 0, 0, 100, 20, 0, 0, 102), 1);  // 0.4
    EXPECT_EQ(paint.graphics()->lastFailure(), 0);
    paint.finish();
    int compared = 0;
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 100; ++x) {
            Gdiplus::ARGB s = 0;
            Gdiplus::DllExports::GdipBitmapGetPixel(source, x, y, &s);
            const Rgb drawn = rgbOf(paint.pixel(x, y)), original = rgbOf(s);
            ASSERT_EQ(paint.pixel(x, y) >> 24, 255u);
            ASSERT_NEAR(drawn.r, original.r * 0.4, 2) << x << "," << y;
            ASSERT_NEAR(drawn.g, original.g * 0.4, 2) << x << "," << y;
            ASSERT_NEAR(drawn.b, original.b * 0.4, 2) << x << "," << y;
            compared += original.r + original.g + original.b > 100;
        }
    EXPECT_GT(compared, 100);  // enough of the picture is bright to tell
    gfxBitmapFree(adapter, handle);
}

TEST_F(GdiplusTest, AFileLoadsAsACopySoTheFileIsNotKeptOpen) {
    const std::string path = tempFile("tonarvo-gdiplus-image.png");
    const std::string png = resourceBytes(6);
    ASSERT_FALSE(png.empty());
    std::ofstream(path, std::ios::binary).write(png.data(), static_cast<std::streamsize>(png.size()));
    BitmapHandle handle;
    ASSERT_EQ(gfxBitmapLoadFile(adapter, &handle, path.c_str()), 1);
    EXPECT_EQ(gfxBitmapWidth(adapter, &handle), 100.0);
    EXPECT_EQ(gfxBitmapHeight(adapter, &handle), 20.0);
    EXPECT_TRUE(DeleteFileA(path.c_str())) << "the file is still in use";

    // Still drawable after its file is gone.
    OffscreenPaint& paint = newPaint(100, 20);
    EXPECT_EQ(gfxBitmapDraw(adapter, &handle, 0, 0, 100, 20, 0, 0), 1);
    paint.finish();
    EXPECT_EQ(paint.pixel(50, 10) >> 24, 255u);
}

TEST_F(GdiplusTest, BlitPlacesTheImageAtThePenAndAnEmptySlotShowsTheErrorBox) {
    Colours c;
    EffectDrawing draw(*effect, c.r, c.g, c.b, c.a, c.slot);
    OffscreenPaint& paint = newPaint(200, 100);
    effect->penX = 120;
    effect->penY = 30;
    draw.blit(4);  // CLIPPING, unlit: 100 x 20, opaque
    EXPECT_EQ(effect->penX, 120.0);
    EXPECT_EQ(effect->penY, 30.0);

    plexa::ImageSlot& slot = effect->imageSlots[50];
    slot.bitmap = gfxBitmapNew(adapter);  // tried, empty
    slot.width = 60;
    slot.height = 20;
    effect->penX = 10;
    effect->penY = 10;
    draw.blit(50);
    paint.finish();

    EXPECT_EQ(paint.pixel(120, 30) >> 24, 255u);
    EXPECT_EQ(paint.pixel(199, 49) >> 24, 255u);
    EXPECT_EQ(paint.pixel(119, 30), kTransparent);
    EXPECT_EQ(paint.pixel(120, 50), kTransparent);

    EXPECT_EQ(paint.pixel(10, 10), kRed);
    EXPECT_EQ(paint.pixel(69, 29), kRed);
    EXPECT_EQ(paint.pixel(70, 10), kTransparent);
    EXPECT_EQ(paint.pixel(10, 30), kTransparent);
    int yellow = 0;
    for (int y = 10; y < 30; ++y)
        for (int x = 10; x < 70; ++x) {
            const Rgb p = rgbOf(paint.pixel(x, y));
            yellow += p.r > 200 && p.g > 150 && p.b < 100;
        }
    EXPECT_GT(yellow, 20);  // "ERROR" in yellow, in the context's Arial
}

TEST_F(GdiplusTest, TwoLineTextMovesThePenDownOneLineAndAcrossTheLastLine) {
    Colours c;
    c.r = c.g = c.b = 1;
    EffectDrawing draw(*effect, c.r, c.g, c.b, c.a, c.slot);
    OffscreenPaint& paint = newPaint(300, 100);
    draw.setFont(0, 10000, 13, 0);  // the interface's font: "Courier New"
    EXPECT_EQ(gfxGetFontSize(adapter), 11);
    effect->setString(20000, "first line\nlast");
    effect->penX = 10;
    effect->penY = 20;
    draw.drawStr(20000);
    const double lastWidth = gfxGetStringWidth(adapter, "last");
    EXPECT_GT(lastWidth, 0);
    EXPECT_EQ(effect->penY, 33.0);
    EXPECT_EQ(effect->penX, 10 + lastWidth);
    paint.finish();
    int ink = 0;
    for (int y = 20; y < 50; ++y)
        for (int x = 10; x < 100; ++x) ink += (paint.pixel(x, y) >> 24) > 100;
    EXPECT_GT(ink, 50);
}
