// Cairo drawing backend: a paint target over any Cairo surface (an offscreen
// image for tests and tools, an X11 window for the editor), and the platform
// fonts (fontconfig) and images (PNG) it draws with.
#pragma once

#include <cairo.h>

#include "editor/GraphicsBackend.h"

namespace gfx {

class CairoGraphics final : public BackendGraphics {
public:
    // Draws on cr, which must stay valid; the graphics state of cr is saved
    // and restored around the paint. At a scale above 1 the layout's pixel
    // (i, j) covers the device square from (i, j) * scale to (i + 1, j + 1) *
    // scale: shapes and text are drawn at that size, images are resampled
    // once per scale and copied pixel for pixel.
    explicit CairoGraphics(cairo_t* cr, double scale = 1.0);
    ~CairoGraphics() override;

    void setAntialias(bool on) override;
    void setClip(const IntRect& clip) override;
    void drawLine(int x1, int y1, int x2, int y2, Colour colour, double width) override;
    void fillRect(double x, double y, double width, double height, Colour colour) override;
    void strokeRect(double x, double y, double width, double height, Colour colour, double lineWidth) override;
    void fillEllipse(int x, int y, int width, int height, Colour colour) override;
    void strokeEllipse(int x, int y, int width, int height, Colour colour, double lineWidth) override;
    void drawArc(double x, double y, double width, double height, double startDegrees, double sweepDegrees,
                 const Colour* fill, const Colour* frame, double lineWidth) override;
    double fontHeight(BackendFont& font) override;
    double textWidth(BackendFont& font, const std::string& utf8) override;
    void drawText(BackendFont& font, const std::string& utf8, double x, double top, Colour colour,
                  bool antialias) override;
    void drawImage(BackendImage& image, int x, int y, int width, int height, int sourceX, int sourceY,
                   std::uint8_t alpha) override;

private:
    void source(Colour colour);
    void ellipsePath(int x, int y, int width, int height);
    cairo_scaled_font_t* layoutFont(BackendFont& font);

    cairo_t* cr;
    double scale;
    cairo_matrix_t device;  // cr's own transform, before the scale
    cairo_antialias_t shapes = CAIRO_ANTIALIAS_NONE;
};

// Fonts through fontconfig (a face fontconfig can only replace by a generic
// fallback counts as not found; metric-compatible aliases such as Liberation
// Mono for Courier New count as found), PNG images through Cairo.
GraphicsPlatform& cairoGraphicsPlatform();

// An image decoded by this backend, for drawing it elsewhere (tools).
cairo_surface_t* cairoSurfaceOf(BackendImage& image);
// The image resampled to round(size * scale), made on first use at that scale
// and kept with the image; the image itself at scale 1.
cairo_surface_t* cairoScaledSurfaceOf(BackendImage& image, double scale);

}  // namespace gfx
