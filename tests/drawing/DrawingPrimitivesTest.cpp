#include "DrawingFixture.h"
#include "editor/CBitmap.h"
#include "editor/CFontDesc.h"
#include "editor/GfxPrimitives.h"

using namespace drawing_test;


TEST_F(DrawingTest, OutsideAPaintNothingIsDrawnAndEveryPrimitiveAnswersZero) {
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
    EXPECT_EQ(gfxGetStringWidth(nullptr, "x"), 0.0);
    EXPECT_EQ(gfxDrawRect(nullptr, 0, 0, 1, 1, 1), 0);

    // These need no paint: the editor's size and bitmaps.
    int width = 0, height = 0;
    EXPECT_EQ(gfxGetEditorSize(adapter, &width, &height), 1);
    EXPECT_EQ(width, 681);
    EXPECT_EQ(height, 371);
    EXPECT_EQ(gfxGetEditorSize(nullptr, &width, &height), 0);
    BitmapHandle* handle = gfxBitmapNew(adapter);
    EXPECT_EQ(gfxBitmapLoadResource(adapter, handle, 3), 1);
    EXPECT_EQ(gfxBitmapWidth(adapter, handle), 50.0);
    EXPECT_EQ(gfxBitmapDraw(adapter, handle, 0, 0, 50, 50, 0, 0), 0);
    EXPECT_EQ(gfxBitmapFree(adapter, handle), 1);
}

TEST_F(DrawingTest, FillsCoverExactlyTheirPixelsInEitherDirection) {
    OffscreenPaint paint(adapter, 100, 100, OffscreenPaint::Background::Transparent);
    EXPECT_EQ(gfxSetFillColor(adapter, 255, 0, 0, 255), 1);
    EXPECT_EQ(gfxDrawRect(adapter, 10, 20, 15, 25, 1), 1);
    expectExactBox(paint, 10, 20, 15, 25, kRed);
    gfxSetFillColor(adapter, 0, 0, 0, 255);
    gfxDrawRect(adapter, 60, 70, 50, 40, 1);  // right to left, bottom to top
    expectExactBox(paint, 50, 40, 60, 70, kBlack);
}

TEST_F(DrawingTest, OnePixelLinesAndOutlinesLandOnWholePixels) {
    OffscreenPaint paint(adapter, 100, 100, OffscreenPaint::Background::Transparent);
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
}

TEST_F(DrawingTest, PointsAndPixelReads) {
    OffscreenPaint paint(adapter, 20, 20, OffscreenPaint::Background::Transparent);
    gfxSetFrameColor(adapter, 0, 0, 255, 255);
    EXPECT_EQ(gfxDrawPoint(adapter, 3, 4, 255, 0, 0, 255), 1);
    expectExactBox(paint, 3, 4, 4, 5, kRed);
    EXPECT_EQ(paint.context().getFrameColor(), (gfx::Colour{0, 0, 255, 255}));
    int r = 9, g = 9, b = 9, a = 9;
    EXPECT_EQ(gfxGetPoint(adapter, 3, 4, &r, &g, &b, &a), 1);
    EXPECT_EQ(r + g + b, 0);
    EXPECT_EQ(a, 255);
}

TEST_F(DrawingTest, DrawModeAndUnchangedSettersAreSkipped) {
    OffscreenPaint paint(adapter, 20, 20, OffscreenPaint::Background::Transparent);
    gfxSetDrawMode(adapter, 3);
    gfxSetDrawMode(adapter, 3);
    gfxSetDrawMode(adapter, 7);  // anything but 3 is aliased
    EXPECT_EQ(paint.context().getDrawMode(), 0);
    EXPECT_EQ(paint.context().antialiasChanges, 2);
    EXPECT_EQ(gfx::Colour::fromInts(1, 2, 3, 4).packed(), 0x04030201u);
    EXPECT_EQ(gfx::Colour::fromInts(256 + 7, 0, 0, 255).red, 7);
}

TEST_F(DrawingTest, FontsResolveThroughTheAdaptersListByFaceIgnoringCase) {
    OffscreenPaint paint(adapter, 200, 40, OffscreenPaint::Background::Transparent);
    EXPECT_EQ(paint.context().getFont()->face, "Arial");  // the toolkit's default
    EXPECT_EQ(gfxSetFont(adapter, "Courier New", 11, 0), 1);
    ASSERT_EQ(adapter->fontList.size(), 1u);
    EXPECT_EQ(adapter->fontList[0]->size, 0.0);  // the listed description; the context has an 11-pixel one
    EXPECT_EQ(gfxGetFontSize(adapter), 11);
    gfxSetFont(adapter, "courier new", 13, 0);
    EXPECT_EQ(adapter->fontList.size(), 1u);
    EXPECT_EQ(gfxGetFontSize(adapter), 13);
    gfxSetFont(adapter, "COURIER NEW", 0, -1);  // no size, no style: the listed description itself
    EXPECT_EQ(paint.context().getFont(), adapter->fontList[0]);

    // Courier New has a metric twin: every character is 0.6 em wide (the
    // difference of two widths, since GDI+ pads a measured text on both sides).
    gfxSetFont(adapter, "Courier New", 20, 0);
    EXPECT_NEAR(gfxGetStringWidth(adapter, "MMMMMMMMMM") - gfxGetStringWidth(adapter, "MMMMM"), 5 * 0.6 * 20, 0.5);
    EXPECT_EQ(gfxGetStringWidth(adapter, "\xff\xfe"), 0.0);  // not UTF-8: empty text

    gfxSetFont(adapter, "No Such Face Anywhere", 20, 0);
    EXPECT_EQ(adapter->fontList.size(), 2u);
    EXPECT_EQ(gfxGetStringWidth(adapter, "MMMMM"), 0.0);
    EXPECT_EQ(gfxDrawStringAt(adapter, "MMMMM", 10, 30, 1), 0);
    paint.finish();
    for (int x = 0; x < 200; ++x)
        for (int y = 0; y < 40; ++y) ASSERT_EQ(paint.pixel(x, y), kTransparent);
}

TEST_F(DrawingTest, TextSitsOnItsBaselineInTheFontColour) {
    OffscreenPaint paint(adapter, 200, 60, OffscreenPaint::Background::Transparent);
    gfxSetFont(adapter, "Courier New", 20, 0);
    gfxSetFontColor(adapter, 255, 255, 255, 255);
    ASSERT_EQ(gfxDrawStringAt(adapter, "HHH", 10, 40, 0), 1);
    paint.finish();
    // The layout box's top is y + 1 - line height, so capitals stand just
    // above y: ink in the rows above 40, none below the descent.
    int inkTop = 100, inkBottom = -1, inkLeft = 1000;
    for (int y = 0; y < 60; ++y)
        for (int x = 0; x < 200; ++x)
            if ((paint.pixel(x, y) >> 24) > 128) {
                inkTop = std::min(inkTop, y);
                inkBottom = std::max(inkBottom, y);
                inkLeft = std::min(inkLeft, x);
            }
    EXPECT_GE(inkBottom, 30);
    EXPECT_LE(inkBottom, 42);
    EXPECT_GE(inkTop, 20);
    EXPECT_NEAR(inkLeft, 12, 3);
}

TEST_F(DrawingTest, AlignedTextIsClippedToItsRectangle) {
    OffscreenPaint paint(adapter, 200, 60, OffscreenPaint::Background::Transparent);
    gfxSetFont(adapter, "Courier New", 20, 0);
    gfxSetFontColor(adapter, 255, 255, 255, 255);
    EXPECT_EQ(gfxDrawStringAligned(adapter, "WWWWWWWWWW", 50, 10, 80, 40, 0, 1), 1);
    EXPECT_EQ(paint.context().getClipRect(), (gfx::IntRect{0, 0, 200, 60}));  // restored
    paint.finish();
    for (int y = 0; y < 60; ++y)
        for (int x = 0; x < 200; ++x)
            if (x < 50 || x >= 80 || y < 10 || y >= 40) {
                ASSERT_EQ(paint.pixel(x, y) >> 24, 0u) << x << "," << y;
            }
}

TEST_F(DrawingTest, BitmapsDrawOneToOneFromTheirSourceOffset) {
    OffscreenPaint paint(adapter, 120, 40, OffscreenPaint::Background::Transparent);
    BitmapHandle* handle = gfxBitmapNew(adapter);
    ASSERT_EQ(gfxBitmapLoadResource(adapter, handle, 5), 1);  // CLIPPING, lit: opaque 100 x 20
    EXPECT_EQ(gfxBitmapHeight(adapter, handle), 20.0);
    int noAlpha = 0;
    EXPECT_EQ(gfxBitmapGetNoAlpha(adapter, handle, &noAlpha), 1);
    EXPECT_EQ(noAlpha, 1);
    int r, g, b, a;
    EXPECT_EQ(gfxBitmapGetTransparentColor(adapter, handle, &r, &g, &b, &a), 1);
    EXPECT_EQ(r + g + b + a, 765);
    EXPECT_EQ(gfxBitmapDraw(adapter, handle, 10, 10, 110, 30, 0, 0), 1);
    paint.finish();
    for (int y = 9; y <= 30; ++y)
        for (int x = 9; x <= 110; ++x) {
            const bool inside = x >= 10 && x < 110 && y >= 10 && y < 30;
            ASSERT_EQ(paint.pixel(x, y) >> 24, inside ? 255u : 0u) << x << "," << y;
        }
    gfxBitmapFree(adapter, handle);

    BitmapHandle empty;
    EXPECT_EQ(gfxBitmapWidth(adapter, &empty), 0.0);
    EXPECT_EQ(gfxBitmapLoadResource(adapter, &empty, 99), 0);
    EXPECT_EQ(gfxBitmapLoadFile(adapter, &empty, "/no/such/file.png"), 0);
    EXPECT_EQ(gfxBitmapLoadNamedResource(adapter, &empty, "DATA"), 0);
    EXPECT_EQ(empty.bitmap, nullptr);
}
