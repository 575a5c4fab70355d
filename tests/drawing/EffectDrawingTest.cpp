#include "DrawingFixture.h"
#include "editor/CFontDesc.h"
#include "editor/EffectDrawing.h"
#include "editor/GfxPrimitives.h"

using namespace drawing_test;

namespace {

struct Colours {
    double r = 0, g = 0, b = 0, a = 1, slot = 0;
};

}  // namespace

TEST_F(DrawingTest, FillRectFloorsItsCornersAndLeavesThePenAtTheFarCorner) {
    Colours c;
    c.r = 1;
    EffectDrawing draw(*effect, c.r, c.g, c.b, c.a, c.slot);
    OffscreenPaint paint(adapter, 40, 40, OffscreenPaint::Background::Transparent);
    draw.fillRect(10.7, 20.2, 5, 5);
    EXPECT_EQ(effect->penX, 15.7);
    EXPECT_EQ(effect->penY, 25.2);
    for (int y = 19; y <= 25; ++y)
        for (int x = 9; x <= 15; ++x)
            ASSERT_EQ(paint.pixel(x, y) == kRed, x >= 10 && x < 15 && y >= 20 && y < 25) << x << "," << y;

    draw.fillRect(30, 30, -1, 5);  // a negative width is drawn normalised: one pixel
    EXPECT_EQ(paint.pixel(29, 31), kRed);
    EXPECT_EQ(paint.pixel(30, 31), kTransparent);
}

TEST_F(DrawingTest, ColourChannelsBecomeClampedBytes) {
    EXPECT_EQ(EffectDrawing::channelByte(1.0), 255);
    EXPECT_EQ(EffectDrawing::channelByte(1.5), 255);  // the RESET text's yellow
    EXPECT_EQ(EffectDrawing::channelByte(0.5), 127);
    EXPECT_EQ(EffectDrawing::channelByte(0.95), 242);
    EXPECT_EQ(EffectDrawing::channelByte(-0.2), 0);
    EXPECT_EQ(EffectDrawing::channelByte(std::nan("")), 0);
    EXPECT_EQ(EffectDrawing::channelByte(1e300), 255);
}

TEST_F(DrawingTest, LinesMoveThePenAndFollowTheAntialiasSwitch) {
    Colours c;
    c.r = 1;
    EffectDrawing draw(*effect, c.r, c.g, c.b, c.a, c.slot);
    OffscreenPaint paint(adapter, 40, 40, OffscreenPaint::Background::Transparent);
    draw.drawLine(2, 3, 20, 3, 0);
    EXPECT_EQ(effect->penX, 20.0);
    EXPECT_EQ(effect->penY, 3.0);
    EXPECT_EQ(paint.context().getDrawMode(), 0);
    EXPECT_EQ(paint.pixel(2, 3), kRed);
    EXPECT_EQ(paint.pixel(20, 3), kRed);
    EXPECT_EQ(paint.pixel(10, 4), kTransparent);
    draw.drawLine(2, 10, 20, 10, 1);
    EXPECT_EQ(paint.context().getDrawMode(), 3);
}

TEST_F(DrawingTest, SetFontSizesAndStyles) {
    Colours c;
    EffectDrawing draw(*effect, c.r, c.g, c.b, c.a, c.slot);
    OffscreenPaint paint(adapter, 40, 40, OffscreenPaint::Background::Transparent);

    draw.setFont(0, 10000, 13, 0);  // the interface's font: "Courier New"
    EXPECT_EQ(effect->textHeight, 13.0);
    EXPECT_EQ(gfxGetFontSize(adapter), 11);
    EXPECT_EQ(effect->fontSlots[0].face, "Courier New");
    EXPECT_EQ(effect->fontSlots[0].size, 0.85 * 13);

    draw.setFont(2, 10000, 0, 0);
    EXPECT_EQ(effect->textHeight, 18.823529411764707);
    EXPECT_EQ(gfxGetFontSize(adapter), 16);
    EXPECT_EQ(c.slot, 2.0);

    draw.setFont(1, 10000, -20, 'b' | 'i' << 8);
    EXPECT_EQ(effect->textHeight, 20 / 0.85);
    EXPECT_EQ(gfxGetFontSize(adapter), 20);
    EXPECT_EQ(effect->fontSlots[1].style, 3);
    EXPECT_EQ(paint.context().getFont()->style, 3);
    draw.setFont(1, 10000, 0.5, 'u');
    EXPECT_EQ(effect->fontSlots[1].style, 4);
    EXPECT_EQ(gfxGetFontSize(adapter), 1);  // never below one pixel
}

TEST_F(DrawingTest, TwoLineTextMovesThePenDownOneLineAndAcrossTheLastLine) {
    Colours c;
    c.r = c.g = c.b = 1;
    EffectDrawing draw(*effect, c.r, c.g, c.b, c.a, c.slot);
    OffscreenPaint paint(adapter, 300, 100, OffscreenPaint::Background::Transparent);
    draw.setFont(0, 10000, 13, 0);
    effect->setString(20000, "first line\nlast");
    effect->penX = 10;
    effect->penY = 20;
    draw.drawStr(20000);
    const double lastWidth = gfxGetStringWidth(adapter, "last");
    EXPECT_GT(lastWidth, 0);
    EXPECT_EQ(effect->penY, 33.0);
    EXPECT_EQ(effect->penX, 10 + lastWidth);

    effect->penX = 10;
    draw.drawNumber(20241108, 0);
    EXPECT_EQ(effect->penX, 10 + gfxGetStringWidth(adapter, "20241108"));
    effect->penX = 10;
    draw.drawNumber(-2.25, 100);  // an absurd precision is capped, not obeyed
    EXPECT_EQ(effect->penX, 10 + gfxGetStringWidth(adapter, "-2.250000000000000000000000000000"));
    effect->penX = 10;
    draw.drawNumber(-2.25, 1e12);  // beyond 32 bits: no decimals at all
    EXPECT_EQ(effect->penX, 10 + gfxGetStringWidth(adapter, "-2"));
    paint.finish();
    int ink = 0;
    for (int y = 20; y < 50; ++y)
        for (int x = 10; x < 100; ++x) ink += (paint.pixel(x, y) >> 24) > 100;
    EXPECT_GT(ink, 50);
}

TEST_F(DrawingTest, BlitPlacesTheImageAtThePenAndLeavesThePen) {
    Colours c;
    EffectDrawing draw(*effect, c.r, c.g, c.b, c.a, c.slot);
    OffscreenPaint paint(adapter, 200, 100, OffscreenPaint::Background::Transparent);
    effect->penX = 120;
    effect->penY = 30;
    draw.blit(4);  // CLIPPING, unlit: 100 x 20, opaque
    EXPECT_EQ(effect->penX, 120.0);
    EXPECT_EQ(effect->penY, 30.0);
    paint.finish();
    EXPECT_EQ(paint.pixel(120, 30) >> 24, 255u);
    EXPECT_EQ(paint.pixel(199, 49) >> 24, 255u);
    EXPECT_EQ(paint.pixel(119, 30), kTransparent);
    EXPECT_EQ(paint.pixel(120, 50), kTransparent);
}

TEST_F(DrawingTest, AnImageWithoutBitmapShowsAsARedErrorBoxOfItsSlotsSize) {
    Colours c;
    EffectDrawing draw(*effect, c.r, c.g, c.b, c.a, c.slot);
    plexa::ImageSlot& slot = effect->imageSlots[50];
    slot.bitmap = gfxBitmapNew(adapter);  // tried, empty
    slot.width = 60;
    slot.height = 20;
    OffscreenPaint paint(adapter, 200, 100, OffscreenPaint::Background::Transparent);
    effect->penX = 10;
    effect->penY = 10;
    draw.blit(50);
    paint.finish();
    EXPECT_EQ(paint.pixel(10, 10), kRed);
    EXPECT_EQ(paint.pixel(69, 29), kRed);
    EXPECT_EQ(paint.pixel(70, 10), kTransparent);
    int yellow = 0;
    for (int y = 10; y < 30; ++y)
        for (int x = 10; x < 70; ++x) {
            const std::uint32_t p = paint.pixel(x, y);
            yellow += ((p >> 16) & 0xFF) > 200 && ((p >> 8) & 0xFF) > 150 && (p & 0xFF) < 100;
        }
    EXPECT_GT(yellow, 20);  // "ERROR" in yellow
}
