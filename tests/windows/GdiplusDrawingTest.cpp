// What only the GDI+ backend has, offscreen under Wine: GDI+ start-up and
// shut-down, ellipses and arcs, the single font style, stream and file
// decoding, the colour-matrix alpha route. The shared drawing and interface
// suites (tests/drawing, tests/interface) run on this backend too.
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

