#include "editor/EffectDrawing.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "editor/GfxPrimitives.h"
#include "runtime/TPlexa.h"

using plexa::sanitize;
using plexa::truncInt;

int EffectDrawing::channelByte(double channel) {
    const double v = channel * 255;
    if (!(v == v)) return 0;
    const double biased = v < 0 ? v - 0.0001 : v + 0.0001;
    if (biased <= 0) return 0;
    if (biased >= 255) return 255;
    return static_cast<int>(biased);
}

void EffectDrawing::drawText(const std::string& text) {
    CVeST* adapter = effect.adapter;
    gfxSetFontColor(adapter, colourByte(colorR), colourByte(colorG), colourByte(colorB), colourByte(colorA));
    gfxSetDrawMode(adapter, 3);
    double width = 0;
    std::size_t start = 0;
    for (bool first = true;; first = false) {
        const std::size_t end = text.find('\n', start);
        const std::string line = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (!first) effect.penY = sanitize(effect.penY + effect.textHeight);
        width = gfxGetStringWidth(adapter, line.c_str());
        gfxDrawStringInRect(adapter, line.c_str(), effect.penX, effect.penY, effect.penX + width,
                            effect.penY + effect.textHeight + 2, 0, 0);
        if (end == std::string::npos) break;
        start = end + 1;
    }
    effect.penX = sanitize(effect.penX + width);
}

void EffectDrawing::drawStr(double handle) { drawText(effect.stringAt(truncInt(handle))); }

void EffectDrawing::drawNumber(double value, double decimals) {
    // Precision is capped: an effect value can ask for a billion digits.
    const int precision = std::clamp(truncInt(decimals), 0, 30);
    char text[400];
    std::snprintf(text, sizeof text, "%.*f", precision, value);
    drawText(text);
}

void EffectDrawing::setFont(double slot, double faceHandle, double size, double styleLetters) {
    fontSlot = sanitize(slot);
    double pixels;
    if (size > 0) {
        pixels = std::max(0.85 * size, 1.0);
        effect.textHeight = sanitize(size);
    } else if (size < 0) {
        pixels = std::max(-size, 1.0);
        effect.textHeight = sanitize(-size / 0.85);
    } else {
        pixels = 16;
        effect.textHeight = 16 / 0.85;
    }
    pixels = sanitize(pixels);

    const std::int32_t letters = truncInt(styleLetters);
    int style = 0;
    for (int shift = 0; shift < 32; shift += 8) {
        const char letter = static_cast<char>((static_cast<std::uint32_t>(letters) >> shift) & 0xFF);
        if (letter == 'b') style |= 1;
        if (letter == 'i') style |= 2;
        if (letter == 'u') style |= 4;
    }
    const std::string face = effect.stringAt(truncInt(faceHandle));
    plexa::FontSlot& entry = effect.fontSlots[truncInt(slot)];
    entry.face = face;
    entry.size = pixels;
    entry.style = style;

    const int pixelSize = truncInt(pixels);
    if (!gfxSetFont(effect.adapter, face.c_str(), pixelSize, style))
        gfxSetFont(effect.adapter, "verdana", pixelSize, style);
}

void EffectDrawing::blit(double handle, double, double) {
    CVeST* adapter = effect.adapter;
    plexa::ImageSlot& slot = effect.imageAt(truncInt(handle));
    const double left = effect.penX, top = effect.penY;
    const double right = left + sanitize(slot.width), bottom = top + sanitize(slot.height);
    if (gfxBitmapDraw(adapter, slot.bitmap, left, top, right, bottom, 0, 0)) return;
    // What could not be loaded shows as a red box saying so.
    gfxSetFillColor(adapter, 255, 0, 0, 255);
    gfxDrawRect(adapter, left, top, right, bottom, 1);
    gfxSetFontColor(adapter, 255, 255, 0, 255);
    gfxDrawStringInRect(adapter, "ERROR", left, top, right, bottom, 0, 1);
}

void EffectDrawing::drawLine(double x1, double y1, double x2, double y2, double antialias) {
    CVeST* adapter = effect.adapter;
    gfxSetFrameColor(adapter, colourByte(colorR), colourByte(colorG), colourByte(colorB), colourByte(colorA));
    gfxSetDrawMode(adapter, antialias < 0.5 ? 0 : 3);
    gfxMoveTo(adapter, x1, y1);
    effect.penX = x2;
    effect.penY = y2;
    gfxLineTo(adapter, x2, y2);
}

void EffectDrawing::fillRect(double x, double y, double width, double height) {
    CVeST* adapter = effect.adapter;
    effect.penX = sanitize(x + width);
    effect.penY = sanitize(y + height);
    gfxSetFillColor(adapter, colourByte(colorR), colourByte(colorG), colourByte(colorB), colourByte(colorA));
    gfxSetDrawMode(adapter, 0);
    gfxDrawRect(adapter, std::floor(x), std::floor(y), std::floor(effect.penX), std::floor(effect.penY), 1);
}
