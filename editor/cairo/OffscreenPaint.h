// A paint into an offscreen image instead of a window: sets the adapter's
// drawing context for its lifetime, exactly as the editor view does for a
// window paint. Tests and the command-line tools draw the interface this way.
#pragma once

#include <cairo.h>

#include <cstdint>
#include <memory>
#include <string>

#include "editor/CDrawContext.h"
#include "editor/cairo/CairoGraphics.h"

class CVeST;

class OffscreenPaint {
public:
    // The image starts opaque black, like the editor window's back buffer
    // (the interface paints no background of its own), or transparent.
    enum class Background { Black, Transparent };
    // width x height in layout pixels; the image is that times the scale.
    OffscreenPaint(CVeST* adapter, int width, int height, Background background = Background::Black,
                   double scale = 1.0);
    ~OffscreenPaint();
    OffscreenPaint(const OffscreenPaint&) = delete;
    OffscreenPaint& operator=(const OffscreenPaint&) = delete;

    CDrawContext& context() { return *drawContext; }
    // Ends the paint (the adapter's context is cleared) but keeps the pixels.
    void finish();
    // 0xAARRGGBB of a device pixel, unpremultiplied; 0 outside the image.
    std::uint32_t pixel(int x, int y);
    bool writePng(const std::string& path);
    cairo_surface_t* surface() const { return image; }

private:
    CVeST* adapter;
    cairo_surface_t* image;
    cairo_t* cr;
    std::unique_ptr<gfx::CairoGraphics> graphics;
    std::unique_ptr<CDrawContext> drawContext;
};
