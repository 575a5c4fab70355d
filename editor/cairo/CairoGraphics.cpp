#include "editor/cairo/CairoGraphics.h"

#include <cairo-ft.h>
#include <fontconfig/fontconfig.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <mutex>
#include <vector>

namespace gfx {

namespace {

constexpr double kPi = 3.14159265358979323846;

class CairoFont final : public BackendFont {
public:
    CairoFont(cairo_font_face_t* face, double size, bool underline) : face(face), size(size), underline(underline) {}
    ~CairoFont() override { cairo_font_face_destroy(face); }
    cairo_font_face_t* const face;
    const double size;
    const bool underline;
};

class CairoImage final : public BackendImage {
public:
    explicit CairoImage(cairo_surface_t* surface) : surface(surface) {}
    ~CairoImage() override {
        for (const auto& [s, copy] : scaled) cairo_surface_destroy(copy);
        cairo_surface_destroy(surface);
    }
    int width() const override { return cairo_image_surface_get_width(surface); }
    int height() const override { return cairo_image_surface_get_height(surface); }

    cairo_surface_t* at(double s) {
        if (s == 1.0) return surface;
        std::lock_guard<std::mutex> lock(mutex);  // two editors may share a decoded image
        for (const auto& [made, copy] : scaled)
            if (made == s) return copy;
        const int w = std::max(1, static_cast<int>(std::lround(width() * s)));
        const int h = std::max(1, static_cast<int>(std::lround(height() * s)));
        cairo_surface_t* copy = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
        cairo_t* cr = cairo_create(copy);
        cairo_scale(cr, static_cast<double>(w) / width(), static_cast<double>(h) / height());
        cairo_set_source_surface(cr, surface, 0, 0);
        // The best filter Cairo has, once; the edges continue the edge
        // pixels instead of fading into transparency.
        cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_BEST);
        cairo_pattern_set_extend(cairo_get_source(cr), CAIRO_EXTEND_PAD);
        cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
        cairo_paint(cr);
        cairo_destroy(cr);
        cairo_surface_flush(copy);
        scaled.emplace_back(s, copy);
        return copy;
    }

    cairo_surface_t* const surface;

private:
    std::mutex mutex;
    std::vector<std::pair<double, cairo_surface_t*>> scaled;
};

bool sameFamily(const FcChar8* a, const FcChar8* b) { return FcStrCmpIgnoreCase(a, b) == 0; }

class CairoPlatform final : public GraphicsPlatform {
public:
    std::unique_ptr<BackendFont> createFont(const std::string& face, double sizePixels, int style) override {
        if (face.empty()) return nullptr;
        // One style only, in the toolkit's order of precedence.
        const bool underline = style & kUnderline;
        const bool italic = !underline && (style & kItalic);
        const bool bold = !underline && !italic && (style & kBold);

        std::lock_guard<std::mutex> lock(fontconfigMutex);  // fontconfig's default config is not thread-safe
        FcPattern* match = matchFace(face.c_str(), bold, italic, sizePixels);
        if (!match) return nullptr;
        // fontconfig always finds something. The face counts as found when
        // the match is the face itself, or a face the configuration puts in
        // for it (a metric twin, such as Liberation Mono for Courier New)
        // rather than the fallback any unknown name gets.
        FcChar8* matched = nullptr;
        FcPatternGetString(match, FC_FAMILY, 0, &matched);
        const bool found = matched && (sameFamily(matched, reinterpret_cast<const FcChar8*>(face.c_str())) ||
                                       !sameFamily(matched, fallbackFamily(bold, italic)));
        if (!found) {
            FcPatternDestroy(match);
            return nullptr;
        }
        cairo_font_face_t* fontFace = cairo_ft_font_face_create_for_pattern(match);
        FcPatternDestroy(match);
        if (cairo_font_face_status(fontFace) != CAIRO_STATUS_SUCCESS) {
            cairo_font_face_destroy(fontFace);
            return nullptr;
        }
        return std::make_unique<CairoFont>(fontFace, sizePixels, underline);
    }

    std::shared_ptr<BackendImage> decodeImage(const unsigned char* bytes, std::size_t size) override {
        if (!bytes || size == 0) return nullptr;
        struct Reader {
            const unsigned char* bytes;
            std::size_t size, at;
        } reader{bytes, size, 0};
        auto read = [](void* closure, unsigned char* data, unsigned int length) -> cairo_status_t {
            auto* r = static_cast<Reader*>(closure);
            if (r->size - r->at < length) return CAIRO_STATUS_READ_ERROR;
            std::memcpy(data, r->bytes + r->at, length);
            r->at += length;
            return CAIRO_STATUS_SUCCESS;
        };
        return adopt(cairo_image_surface_create_from_png_stream(read, &reader));
    }

    std::shared_ptr<BackendImage> loadImageFile(const std::string& path) override {
        return adopt(cairo_image_surface_create_from_png(path.c_str()));
    }

private:
    static FcPattern* matchFace(const char* family, bool bold, bool italic, double sizePixels) {
        FcPattern* pattern = FcPatternCreate();
        FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family));
        FcPatternAddInteger(pattern, FC_WEIGHT, bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
        FcPatternAddInteger(pattern, FC_SLANT, italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
        FcPatternAddDouble(pattern, FC_PIXEL_SIZE, sizePixels > 0 ? sizePixels : 12.0);
        FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
        FcDefaultSubstitute(pattern);
        FcResult result = FcResultNoMatch;
        FcPattern* match = FcFontMatch(nullptr, pattern, &result);
        FcPatternDestroy(pattern);
        return match;
    }

    // The family an unknown name ends up with, per style.
    const FcChar8* fallbackFamily(bool bold, bool italic) {
        std::string& family = fallback[(bold ? 1 : 0) + (italic ? 2 : 0)];
        if (family.empty()) {
            FcPattern* match = matchFace("tonarvo-no-such-face", bold, italic, 12.0);
            FcChar8* name = nullptr;
            if (match && FcPatternGetString(match, FC_FAMILY, 0, &name) == FcResultMatch)
                family = reinterpret_cast<const char*>(name);
            if (match) FcPatternDestroy(match);
            if (family.empty()) family = "\x01";  // nothing matches it
        }
        return reinterpret_cast<const FcChar8*>(family.c_str());
    }

    static std::shared_ptr<BackendImage> adopt(cairo_surface_t* surface) {
        if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
            cairo_surface_destroy(surface);
            return nullptr;
        }
        return std::make_shared<CairoImage>(surface);
    }

    std::mutex fontconfigMutex;
    std::string fallback[4];
};

}  // namespace

GraphicsPlatform& cairoGraphicsPlatform() {
    static CairoPlatform platform;
    return platform;
}

cairo_surface_t* cairoSurfaceOf(BackendImage& image) { return static_cast<CairoImage&>(image).surface; }

cairo_surface_t* cairoScaledSurfaceOf(BackendImage& image, double scale) {
    return static_cast<CairoImage&>(image).at(scale);
}

CairoGraphics::CairoGraphics(cairo_t* cr, double scale) : cr(cr), scale(scale) {
    cairo_save(cr);
    cairo_get_matrix(cr, &device);
    // Left out at 1, so the pictures there stay exactly what they were.
    if (scale != 1.0) cairo_scale(cr, scale, scale);
    // Pixel centres on whole coordinates: one-pixel lines on whole
    // coordinates cover whole pixels, and fills from x to x + w cover w pixels.
    cairo_translate(cr, 0.5, 0.5);
    cairo_set_antialias(cr, shapes);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_MITER);
}

CairoGraphics::~CairoGraphics() { cairo_restore(cr); }

void CairoGraphics::source(Colour c) {
    cairo_set_source_rgba(cr, c.red / 255.0, c.green / 255.0, c.blue / 255.0, c.alpha / 255.0);
}

void CairoGraphics::setAntialias(bool on) {
    shapes = on ? CAIRO_ANTIALIAS_DEFAULT : CAIRO_ANTIALIAS_NONE;
    cairo_set_antialias(cr, shapes);
}

void CairoGraphics::setClip(const IntRect& clip) {
    cairo_reset_clip(cr);
    cairo_rectangle(cr, clip.left - 0.5, clip.top - 0.5, std::max(0, clip.width()), std::max(0, clip.height()));
    cairo_clip(cr);
}

void CairoGraphics::drawLine(int x1, int y1, int x2, int y2, Colour colour, double width) {
    // Square caps make the segment cover both of its end pixels.
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_SQUARE);
    cairo_set_line_width(cr, width);
    cairo_move_to(cr, x1, y1);
    cairo_line_to(cr, x2, y2);
    source(colour);
    cairo_stroke(cr);
}

void CairoGraphics::fillRect(double x, double y, double width, double height, Colour colour) {
    cairo_rectangle(cr, x - 0.5, y - 0.5, width, height);
    source(colour);
    cairo_fill(cr);
}

void CairoGraphics::strokeRect(double x, double y, double width, double height, Colour colour, double lineWidth) {
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_SQUARE);
    cairo_set_line_width(cr, lineWidth);
    cairo_rectangle(cr, x, y, width, height);
    source(colour);
    cairo_stroke(cr);
}

void CairoGraphics::ellipsePath(int x, int y, int width, int height) {
    cairo_save(cr);
    cairo_translate(cr, x + width / 2.0, y + height / 2.0);
    cairo_scale(cr, std::max(width, 1) / 2.0, std::max(height, 1) / 2.0);
    cairo_new_path(cr);
    cairo_arc(cr, 0, 0, 1, 0, 2 * kPi);
    cairo_restore(cr);
}

void CairoGraphics::fillEllipse(int x, int y, int width, int height, Colour colour) {
    ellipsePath(x, y, width, height);
    source(colour);
    cairo_fill(cr);
}

void CairoGraphics::strokeEllipse(int x, int y, int width, int height, Colour colour, double lineWidth) {
    ellipsePath(x, y, width, height);
    cairo_set_line_width(cr, lineWidth);
    source(colour);
    cairo_stroke(cr);
}

void CairoGraphics::drawArc(double x, double y, double width, double height, double startDegrees,
                            double sweepDegrees, const Colour* fill, const Colour* frame, double lineWidth) {
    if (!(width > 0) || !(height > 0)) return;
    cairo_save(cr);
    cairo_translate(cr, x + width / 2, y + height / 2);
    cairo_scale(cr, width / 2, height / 2);
    cairo_new_path(cr);
    cairo_arc(cr, 0, 0, 1, startDegrees * kPi / 180, (startDegrees + sweepDegrees) * kPi / 180);
    cairo_restore(cr);
    if (fill) {
        source(*fill);
        frame ? cairo_fill_preserve(cr) : cairo_fill(cr);
    }
    if (frame) {
        cairo_set_line_width(cr, lineWidth);
        source(*frame);
        cairo_stroke(cr);
    }
}

cairo_scaled_font_t* CairoGraphics::layoutFont(BackendFont& font) {
    // The font as it is at scale 1, with cr's font options: its metrics and
    // glyph positions are the layout's at every scale, while the glyphs
    // themselves are drawn through the scale at the device's size. Metrics
    // taken at the device's size are hinted there and would move the text.
    auto& f = static_cast<CairoFont&>(font);
    cairo_matrix_t size, identity;
    cairo_matrix_init_scale(&size, f.size, f.size);
    cairo_matrix_init_identity(&identity);
    cairo_font_options_t* options = cairo_font_options_create();
    cairo_get_font_options(cr, options);
    cairo_scaled_font_t* scaled = cairo_scaled_font_create(f.face, &size, &identity, options);
    cairo_font_options_destroy(options);
    return scaled;
}

double CairoGraphics::fontHeight(BackendFont& font) {
    auto& f = static_cast<CairoFont&>(font);
    cairo_set_font_face(cr, f.face);
    cairo_set_font_size(cr, f.size);
    cairo_font_extents_t extents;
    if (scale != 1.0) {
        cairo_scaled_font_t* layout = layoutFont(font);
        cairo_scaled_font_extents(layout, &extents);
        cairo_scaled_font_destroy(layout);
    } else {
        cairo_font_extents(cr, &extents);
    }
    return extents.height;
}

double CairoGraphics::textWidth(BackendFont& font, const std::string& utf8) {
    if (utf8.empty()) return 0;
    auto& f = static_cast<CairoFont&>(font);
    cairo_set_font_face(cr, f.face);
    cairo_set_font_size(cr, f.size);
    cairo_text_extents_t extents;
    if (scale != 1.0) {
        cairo_scaled_font_t* layout = layoutFont(font);
        cairo_scaled_font_text_extents(layout, utf8.c_str(), &extents);
        cairo_scaled_font_destroy(layout);
    } else {
        cairo_text_extents(cr, utf8.c_str(), &extents);
    }
    return extents.x_advance;
}

void CairoGraphics::drawText(BackendFont& font, const std::string& utf8, double x, double top, Colour colour,
                             bool antialias) {
    if (utf8.empty()) return;
    auto& f = static_cast<CairoFont&>(font);
    cairo_set_font_face(cr, f.face);
    cairo_set_font_size(cr, f.size);
    cairo_font_options_t* options = cairo_font_options_create();
    cairo_font_options_set_antialias(options, antialias ? CAIRO_ANTIALIAS_GRAY : CAIRO_ANTIALIAS_DEFAULT);
    cairo_set_font_options(cr, options);
    cairo_font_options_destroy(options);
    cairo_scaled_font_t* layout = scale != 1.0 ? layoutFont(font) : nullptr;
    cairo_font_extents_t extents;
    if (layout)
        cairo_scaled_font_extents(layout, &extents);
    else
        cairo_font_extents(cr, &extents);
    // The layout box's corner is a pixel corner, not a pixel centre.
    const double left = x - 0.5, baseline = top - 0.5 + extents.ascent;
    source(colour);
    cairo_text_extents_t text{};
    if (layout) {
        cairo_glyph_t* glyphs = nullptr;
        int count = 0;
        if (cairo_scaled_font_text_to_glyphs(layout, left, baseline, utf8.c_str(), static_cast<int>(utf8.size()),
                                             &glyphs, &count, nullptr, nullptr, nullptr) == CAIRO_STATUS_SUCCESS) {
            cairo_show_glyphs(cr, glyphs, count);
            cairo_glyph_free(glyphs);
        }
        if (f.underline) cairo_scaled_font_text_extents(layout, utf8.c_str(), &text);
        cairo_scaled_font_destroy(layout);
    } else {
        cairo_move_to(cr, left, baseline);
        cairo_show_text(cr, utf8.c_str());
        if (f.underline) cairo_text_extents(cr, utf8.c_str(), &text);
    }
    if (f.underline) {
        const double thickness = std::max(1.0, std::round(f.size / 14));
        cairo_rectangle(cr, left, std::round(baseline + extents.descent / 2), text.x_advance, thickness);
        cairo_fill(cr);
    }
}

void CairoGraphics::drawImage(BackendImage& image, int x, int y, int width, int height, int sourceX, int sourceY,
                              std::uint8_t alpha) {
    cairo_save(cr);
    cairo_rectangle(cr, x - 0.5, y - 0.5, width, height);
    if (scale != 1.0) {
        // The copy made for this scale, pixel for pixel on device pixels:
        // resampling every frame would blur it and cost each time.
        cairo_set_antialias(cr, CAIRO_ANTIALIAS_NONE);
        cairo_clip(cr);
        cairo_set_matrix(cr, &device);
        cairo_set_source_surface(cr, cairoScaledSurfaceOf(image, scale), std::round((x - sourceX) * scale),
                                 std::round((y - sourceY) * scale));
        cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_FAST);
        cairo_paint_with_alpha(cr, alpha / 255.0);
        cairo_restore(cr);
        return;
    }
    cairo_clip(cr);
    cairo_set_source_surface(cr, cairoSurfaceOf(image), x - 0.5 - sourceX, y - 0.5 - sourceY);
    cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_FAST);  // 1:1, nearest pixel
    cairo_paint_with_alpha(cr, alpha / 255.0);
    cairo_restore(cr);
}

}  // namespace gfx
