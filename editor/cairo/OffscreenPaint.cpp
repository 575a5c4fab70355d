#include "editor/cairo/OffscreenPaint.h"

#include "editor/EditorScale.h"
#include "host/CVeST.h"

OffscreenPaint::OffscreenPaint(CVeST* adapter, int width, int height, Background background, double scale)
    : adapter(adapter),
      image(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, editor_scale::scaled(width, scale),
                                       editor_scale::scaled(height, scale))),
      cr(cairo_create(image)) {
    if (background == Background::Black) {
        cairo_set_source_rgb(cr, 0, 0, 0);
        cairo_paint(cr);
    }
    graphics = std::make_unique<gfx::CairoGraphics>(cr, editor_scale::usable(scale) > 0 ? scale : 1.0);
    drawContext = std::make_unique<CDrawContext>(graphics.get(), gfx::IntRect{0, 0, width, height});
    if (adapter) adapter->drawContext = drawContext.get();
}

OffscreenPaint::~OffscreenPaint() {
    finish();
    cairo_destroy(cr);
    cairo_surface_destroy(image);
}

void OffscreenPaint::finish() {
    if (adapter && adapter->drawContext == drawContext.get()) adapter->drawContext = nullptr;
    drawContext.reset();
    graphics.reset();
    cairo_surface_flush(image);
}

std::uint32_t OffscreenPaint::pixel(int x, int y) {
    cairo_surface_flush(image);
    if (x < 0 || y < 0 || x >= cairo_image_surface_get_width(image) || y >= cairo_image_surface_get_height(image))
        return 0;
    const unsigned char* row = cairo_image_surface_get_data(image) + y * cairo_image_surface_get_stride(image);
    const std::uint32_t premultiplied = reinterpret_cast<const std::uint32_t*>(row)[x];
    const std::uint32_t a = premultiplied >> 24;
    if (a == 0) return 0;
    auto channel = [&](int shift) { return (((premultiplied >> shift) & 0xFF) * 255 + a / 2) / a; };
    return a << 24 | channel(16) << 16 | channel(8) << 8 | channel(0);
}

bool OffscreenPaint::writePng(const std::string& path) {
    cairo_surface_flush(image);
    return cairo_surface_write_to_png(image, path.c_str()) == CAIRO_STATUS_SUCCESS;
}
