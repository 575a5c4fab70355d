#include "editor/GfxPrimitives.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <string>

#include "editor/CBitmap.h"
#include "editor/CDrawContext.h"
#include "editor/CFontDesc.h"
#include "editor/CVeSTEditor.h"
#include "host/CVeST.h"
#include "runtime/platform/Platform.h"

namespace {

CDrawContext* contextOf(CVeST* adapter) { return adapter ? adapter->drawContext : nullptr; }

// Truncation to a pixel for the integer calls; values no screen can hold
// (and NaN) are pinned so the conversion stays defined.
int pixel(double v) {
    if (!(v > -1e9)) return v != v ? 0 : -1000000000;
    if (!(v < 1e9)) return 1000000000;
    return static_cast<int>(v);
}

// Single precision for the calls that take floats.
double singlePrecision(double v) { return static_cast<double>(static_cast<float>(v)); }

std::string textOf(const char* text) {
    if (text == nullptr) return {};
    std::string s(text);
    return gfx::isValidUtf8(s) ? s : std::string();
}

bool drawTextAt(CDrawContext& context, const std::string& text, double x, double y, bool antialias) {
    gfx::BackendGraphics* graphics = context.graphics();
    CFontDesc* font = context.getFont();
    gfx::BackendFont* platformFont = font ? font->platformFont() : nullptr;
    if (!graphics || !platformFont) return false;
    const double height = graphics->fontHeight(*platformFont);
    graphics->drawText(*platformFont, text, singlePrecision(x), singlePrecision(y + 1 - height),
                       context.getFontColor(), antialias);
    return true;
}

bool equalsIgnoringCase(const std::string& a, const std::string& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
    });
}

// Style 1 fills, 0 strokes, 2 does both.
bool fills(int style) { return style == 1 || style == 2; }
bool strokes(int style) { return style == 0 || style == 2; }

struct Box {
    double left, top, width, height;
};

Box normalised(double left, double top, double right, double bottom) {
    const double l = std::min(left, right), t = std::min(top, bottom);
    return {l, t, std::max(left, right) - l, std::max(top, bottom) - t};
}

}  // namespace

int gfxGetEditorSize(CVeST* adapter, int* width, int* height) {
    auto* editor = adapter ? dynamic_cast<CVeSTEditor*>(adapter->getEditor()) : nullptr;
    if (!editor) return 0;
    if (width) *width = editor->width;
    if (height) *height = editor->height;
    return 1;
}

int gfxSetDrawMode(CVeST* adapter, int mode) {
    CDrawContext* context = contextOf(adapter);
    if (!context) return 0;
    context->setDrawMode(mode == 3 ? 3 : 0);
    return 1;
}

int gfxSetFontColor(CVeST* adapter, int red, int green, int blue, int alpha) {
    CDrawContext* context = contextOf(adapter);
    if (!context) return 0;
    context->setFontColor(gfx::Colour::fromInts(red, green, blue, alpha));
    return 1;
}

int gfxSetFillColor(CVeST* adapter, int red, int green, int blue, int alpha) {
    CDrawContext* context = contextOf(adapter);
    if (!context) return 0;
    context->setFillColor(gfx::Colour::fromInts(red, green, blue, alpha));
    return 1;
}

int gfxSetFrameColor(CVeST* adapter, int red, int green, int blue, int alpha) {
    CDrawContext* context = contextOf(adapter);
    if (!context) return 0;
    context->setFrameColor(gfx::Colour::fromInts(red, green, blue, alpha));
    return 1;
}

double gfxGetStringWidth(CVeST* adapter, const char* text) {
    CDrawContext* context = contextOf(adapter);
    if (!context) return 0;
    CFontDesc* font = context->getFont();
    gfx::BackendFont* platformFont = font ? font->platformFont() : nullptr;
    if (!context->graphics() || !font) return -1;
    if (!platformFont) return 0;  // a face that was not found measures nothing
    return context->graphics()->textWidth(*platformFont, textOf(text));
}

int gfxGetFontSize(CVeST* adapter) {
    CDrawContext* context = contextOf(adapter);
    if (!context || !context->getFont()) return 0;
    return pixel(context->getFont()->size);
}

int gfxMoveTo(CVeST* adapter, double x, double y) {
    CDrawContext* context = contextOf(adapter);
    if (!context) return 0;
    context->moveTo(x, y);
    return 1;
}

int gfxLineTo(CVeST* adapter, double x, double y) {
    CDrawContext* context = contextOf(adapter);
    if (!context) return 0;
    if (gfx::BackendGraphics* graphics = context->graphics())
        graphics->drawLine(pixel(context->getPenX()), pixel(context->getPenY()), pixel(x), pixel(y),
                           context->getFrameColor(), context->getLineWidth());
    context->moveTo(x, y);
    return 1;
}

int gfxDrawArc(CVeST* adapter, double left, double top, double right, double bottom, double startAngle,
               double endAngle, int style) {
    CDrawContext* context = contextOf(adapter);
    if (!context) return 0;
    gfx::BackendGraphics* graphics = context->graphics();
    if (!graphics) return 1;
    const double end = endAngle < startAngle ? endAngle + 360 : endAngle;
    const double sweep = std::fabs(end - startAngle);
    const gfx::Colour fill = context->getFillColor(), frame = context->getFrameColor();
    const bool filled = fills(style), stroked = strokes(style);
    graphics->drawArc(singlePrecision(left), singlePrecision(top), singlePrecision(right - left),
                      singlePrecision(bottom - top), singlePrecision(startAngle), singlePrecision(sweep),
                      filled ? &fill : nullptr, stroked ? &frame : nullptr, context->getLineWidth());
    return 1;
}

int gfxDrawRect(CVeST* adapter, double left, double top, double right, double bottom, int style) {
    CDrawContext* context = contextOf(adapter);
    if (!context) return 0;
    gfx::BackendGraphics* graphics = context->graphics();
    if (!graphics) return 1;
    const Box box = normalised(left, top, right, bottom);
    if (fills(style))
        graphics->fillRect(singlePrecision(box.left), singlePrecision(box.top), singlePrecision(box.width),
                           singlePrecision(box.height), context->getFillColor());
    if (strokes(style))
        graphics->strokeRect(singlePrecision(box.left), singlePrecision(box.top), singlePrecision(box.width - 1),
                             singlePrecision(box.height - 1), context->getFrameColor(), context->getLineWidth());
    return 1;
}

int gfxDrawEllipse(CVeST* adapter, double left, double top, double right, double bottom, int style) {
    CDrawContext* context = contextOf(adapter);
    if (!context) return 0;
    gfx::BackendGraphics* graphics = context->graphics();
    if (!graphics) return 1;
    const Box box = normalised(left, top, right, bottom);
    const int x = pixel(box.left), y = pixel(box.top), w = pixel(box.width) - 1, h = pixel(box.height) - 1;
    if (fills(style)) graphics->fillEllipse(x, y, w, h, context->getFillColor());
    if (strokes(style)) graphics->strokeEllipse(x, y, w, h, context->getFrameColor(), context->getLineWidth());
    return 1;
}

int gfxDrawStringInRect(CVeST* adapter, const char* text, double left, double top, double right, double bottom,
                        int, int alignment) {
    return gfxDrawStringAligned(adapter, text, left, top, right, bottom, alignment, 1);
}

int gfxDrawStringAt(CVeST* adapter, const char* text, double x, double y, int antialias) {
    CDrawContext* context = contextOf(adapter);
    if (!context) return 0;
    return drawTextAt(*context, textOf(text), x, y, antialias != 0) ? 1 : 0;
}

int gfxDrawStringAligned(CVeST* adapter, const char* text, double left, double top, double right, double bottom,
                         int alignment, int antialias) {
    CDrawContext* context = contextOf(adapter);
    if (!context) return 0;
    const std::string utf8 = textOf(text);
    double x = left;
    if (alignment == 1 || alignment == 2) {
        const double w = std::max(0.0, gfxGetStringWidth(adapter, utf8.c_str()));
        x = alignment == 1 ? left + (right - left) * 0.5 - 0.5 * w : right - w;
    }
    const double size = context->getFont() ? context->getFont()->size : 0.0;
    const double baseline = bottom - ((bottom - top) * 0.5 - size * 0.5 + 1);

    const gfx::IntRect previous = context->getClipRect();
    gfx::IntRect clip{std::max(pixel(left), previous.left), std::max(pixel(top), previous.top),
                      std::min(pixel(right), previous.right), std::min(pixel(bottom), previous.bottom)};
    if (clip.right < clip.left) clip.right = clip.left;
    if (clip.bottom < clip.top) clip.bottom = clip.top;
    context->setClipRect(clip);
    const bool drawn = drawTextAt(*context, utf8, x, baseline, antialias != 0);
    context->setClipRect(previous);
    return drawn ? 1 : 0;
}

int gfxDrawPoint(CVeST* adapter, double x, double y, int red, int green, int blue, int alpha) {
    CDrawContext* context = contextOf(adapter);
    if (!context) return 0;
    // One pixel in the given colour; the frame colour and width stay as they were.
    if (gfx::BackendGraphics* graphics = context->graphics())
        graphics->fillRect(pixel(x), pixel(y), 1, 1, gfx::Colour::fromInts(red, green, blue, alpha));
    return 1;
}

int gfxGetPoint(CVeST* adapter, double, double, int* red, int* green, int* blue, int* alpha) {
    if (!contextOf(adapter)) return 0;
    if (red) *red = 0;
    if (green) *green = 0;
    if (blue) *blue = 0;
    if (alpha) *alpha = 255;
    return 1;
}

int gfxSetFont(CVeST* adapter, const char* face, int size, int style) {
    CDrawContext* context = contextOf(adapter);
    if (!context || face == nullptr) return 0;
    const std::string name(face);
    CFontDesc* listed = nullptr;
    for (auto it = adapter->fontList.rbegin(); it != adapter->fontList.rend(); ++it)
        if (*it && equalsIgnoringCase((*it)->face, name)) {
            listed = *it;
            break;
        }
    if (!listed) {
        listed = new CFontDesc(name, 0, 0);  // the list's reference
        adapter->fontList.push_back(listed);
    }
    const bool sameSize = size < 1 || static_cast<double>(size) == listed->size;
    const bool sameStyle = style == -1 || style == listed->style;
    if (sameSize && sameStyle) {
        context->setFont(listed);
    } else {
        auto* variant = new CFontDesc(listed->face, size < 1 ? listed->size : size, style == -1 ? listed->style : style);
        context->setFont(variant);
        variant->forget();  // the context holds the only reference
    }
    return 1;
}

BitmapHandle* gfxBitmapNew(CVeST*) { return new BitmapHandle(); }

int gfxBitmapFree(CVeST*, BitmapHandle* handle) {
    if (!handle) return 0;
    delete handle;
    return 1;
}

namespace {
int takeImage(BitmapHandle* handle, std::shared_ptr<gfx::BackendImage> image) {
    if (!image || image->width() <= 0 || image->height() <= 0) return 0;
    handle->reset(new CBitmap(std::move(image)));
    return 1;
}
}  // namespace

int gfxBitmapLoadFile(CVeST*, BitmapHandle* handle, const char* fileName) {
    if (!handle) return 0;
    handle->reset();
    if (!fileName) return 0;
    return takeImage(handle, gfx::graphicsPlatform().loadImageFile(fileName));
}

// Resources are numbered only; there are no named ones.
int gfxBitmapLoadNamedResource(CVeST*, BitmapHandle* handle, const char*) {
    if (!handle) return 0;
    handle->reset();
    return 0;
}

int gfxBitmapLoadResource(CVeST*, BitmapHandle* handle, int resourceNumber) {
    if (!handle) return 0;
    handle->reset();
    const unsigned char* bytes = nullptr;
    std::size_t size = 0;
    if (!platform::loadDataResource(resourceNumber, &bytes, &size)) return 0;
    return takeImage(handle, gfx::graphicsPlatform().decodeResource(resourceNumber, bytes, size));
}

double gfxBitmapWidth(CVeST*, BitmapHandle* handle) { return handle && handle->bitmap ? handle->bitmap->width : 0.0; }
double gfxBitmapHeight(CVeST*, BitmapHandle* handle) { return handle && handle->bitmap ? handle->bitmap->height : 0.0; }

int gfxBitmapGetTransparentColor(CVeST*, BitmapHandle* handle, int* red, int* green, int* blue, int* alpha) {
    if (!handle || !handle->bitmap) return 0;
    const gfx::Colour c = handle->bitmap->transparentColour;
    if (red) *red = c.red;
    if (green) *green = c.green;
    if (blue) *blue = c.blue;
    if (alpha) *alpha = c.alpha;
    return 1;
}

int gfxBitmapSetTransparentColor(CVeST*, BitmapHandle* handle, int red, int green, int blue, int alpha) {
    if (!handle || !handle->bitmap) return 0;
    handle->bitmap->transparentColour = gfx::Colour::fromInts(red, green, blue, alpha);
    return 1;
}

int gfxBitmapGetNoAlpha(CVeST*, BitmapHandle* handle, int* noAlpha) {
    if (!handle || !handle->bitmap) return 0;
    if (noAlpha) *noAlpha = handle->bitmap->noAlpha ? 1 : 0;
    return 1;
}

int gfxBitmapSetNoAlpha(CVeST*, BitmapHandle* handle, int noAlpha) {
    if (!handle || !handle->bitmap) return 0;
    handle->bitmap->noAlpha = noAlpha != 0;
    return 1;
}

int gfxBitmapDrawAlphaBlend(CVeST* adapter, BitmapHandle* handle, double left, double top, double right,
                            double bottom, double sourceX, double sourceY, int alpha) {
    CDrawContext* context = contextOf(adapter);
    if (!context || !handle || !handle->bitmap || !handle->bitmap->image) return 0;
    const int x = pixel(left), y = pixel(top), w = pixel(right) - x, h = pixel(bottom) - y;
    if (gfx::BackendGraphics* graphics = context->graphics(); graphics && w > 0 && h > 0)
        graphics->drawImage(*handle->bitmap->image, x, y, w, h, pixel(sourceX), pixel(sourceY),
                            static_cast<std::uint8_t>(std::clamp(alpha, 0, 255)));
    return 1;
}

int gfxBitmapDraw(CVeST* adapter, BitmapHandle* handle, double left, double top, double right, double bottom,
                  double sourceX, double sourceY) {
    return gfxBitmapDrawAlphaBlend(adapter, handle, left, top, right, bottom, sourceX, sourceY, 255);
}

int gfxBitmapDrawTransparent(CVeST* adapter, BitmapHandle* handle, double left, double top, double right,
                             double bottom, double sourceX, double sourceY) {
    return gfxBitmapDrawAlphaBlend(adapter, handle, left, top, right, bottom, sourceX, sourceY, 255);
}
