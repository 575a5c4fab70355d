#ifndef NOMINMAX
#define NOMINMAX
#endif
#include "editor/gdiplus/OffscreenPaint.h"

#include <windows.h>
#include <objidl.h>
#include <gdiplus.h>

#include <cwchar>
#include <vector>

#include "editor/EditorScale.h"
#include "host/CVeST.h"

using namespace Gdiplus;
using namespace Gdiplus::DllExports;

OffscreenPaint::OffscreenPaint(CVeST* adapter, int layoutWidth, int layoutHeight, Background background, double scale)
    : adapter(adapter),
      width(editor_scale::scaled(layoutWidth, scale)),
      height(editor_scale::scaled(layoutHeight, scale)) {
    if (session.running() &&
        GdipCreateBitmapFromScan0(width, height, 0, PixelFormat32bppARGB, nullptr, &bitmap) == Ok &&
        GdipGetImageGraphicsContext(bitmap, &bitmapGraphics) == Ok) {
        GdipGraphicsClear(bitmapGraphics, background == Background::Black ? 0xFF000000 : 0x00000000);
        target = std::make_unique<gfx::GdiplusGraphics>(bitmapGraphics,
                                                        editor_scale::usable(scale) > 0 ? scale : 1.0);
    } else {
        bitmapGraphics = nullptr;
    }
    drawContext = std::make_unique<CDrawContext>(target.get(), gfx::IntRect{0, 0, layoutWidth, layoutHeight});
    if (adapter) adapter->drawContext = drawContext.get();
}

OffscreenPaint::~OffscreenPaint() {
    finish();
    if (bitmap) GdipDisposeImage(bitmap);
}

void OffscreenPaint::finish() {
    if (adapter && adapter->drawContext == drawContext.get()) adapter->drawContext = nullptr;
    drawContext.reset();
    target.reset();
    if (bitmapGraphics) {
        GdipFlush(bitmapGraphics, FlushIntentionSync);
        GdipDeleteGraphics(bitmapGraphics);
        bitmapGraphics = nullptr;
    }
}

std::uint32_t OffscreenPaint::pixel(int x, int y) {
    if (!bitmap || x < 0 || y < 0 || x >= width || y >= height) return 0;
    if (bitmapGraphics) GdipFlush(bitmapGraphics, FlushIntentionSync);
    ARGB colour = 0;
    if (GdipBitmapGetPixel(bitmap, x, y, &colour) != Ok) return 0;
    return colour >> 24 == 0 ? 0 : colour;  // one transparent, whatever its colour channels
}

bool OffscreenPaint::writePng(const std::string& path) {
    if (!bitmap) return false;
    if (bitmapGraphics) GdipFlush(bitmapGraphics, FlushIntentionSync);
    UINT count = 0, bytes = 0;
    if (GdipGetImageEncodersSize(&count, &bytes) != Ok || bytes == 0) return false;
    std::vector<unsigned char> storage(bytes);
    auto* encoders = reinterpret_cast<ImageCodecInfo*>(storage.data());
    if (GdipGetImageEncoders(count, bytes, encoders) != Ok) return false;
    for (UINT i = 0; i < count; ++i)
        if (encoders[i].MimeType && std::wcscmp(encoders[i].MimeType, L"image/png") == 0) {
            std::vector<WCHAR> name;
            for (char c : path) name.push_back(static_cast<unsigned char>(c));
            name.push_back(0);
            return GdipSaveImageToFile(bitmap, name.data(), &encoders[i].Clsid, nullptr) == Ok;
        }
    return false;
}
