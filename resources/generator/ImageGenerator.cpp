// Draws the eight built-in interface images. Run by hand when a picture
// changes; the PNGs it writes are committed beside it and built into the
// plug-in. Sizes and PNG colour types are fixed by the interface layout:
// opaque pictures are RGB (Cairo writes RGB24 surfaces as colour type 2),
// pictures drawn over others carry alpha (ARGB32 gives colour type 6).
//
//   image-generator OUTPUT_FOLDER
#include <cairo.h>

#include <cmath>
#include <cstdio>
#include <string>

namespace {

constexpr double kTwoPi = 6.283185307179586;

struct Rgb {
    double r, g, b;
};

const Rgb kTeal{0.0, 0.78, 0.70};
const Rgb kPanel{0.035, 0.045, 0.05};

void setColour(cairo_t* cr, Rgb c, double alpha = 1.0) { cairo_set_source_rgba(cr, c.r, c.g, c.b, alpha); }

// A soft radial glow: full colour in the middle, fading to nothing at radius.
void glow(cairo_t* cr, double cx, double cy, double radius, Rgb c, double strength) {
    cairo_pattern_t* p = cairo_pattern_create_radial(cx, cy, 0, cx, cy, radius);
    cairo_pattern_add_color_stop_rgba(p, 0.0, c.r, c.g, c.b, strength);
    cairo_pattern_add_color_stop_rgba(p, 0.45, c.r, c.g, c.b, strength * 0.45);
    cairo_pattern_add_color_stop_rgba(p, 1.0, c.r, c.g, c.b, 0.0);
    cairo_set_source(cr, p);
    cairo_arc(cr, cx, cy, radius, 0, kTwoPi);
    cairo_fill(cr);
    cairo_pattern_destroy(p);
}

// Text centred on (cx, baseline), hinted for crisp small sizes.
void centredText(cairo_t* cr, const char* text, double cx, double baseline, double size, bool bold) {
    cairo_select_font_face(cr, "Liberation Sans", CAIRO_FONT_SLANT_NORMAL,
                           bold ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr, size);
    cairo_font_options_t* options = cairo_font_options_create();
    cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_GRAY);
    cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_FULL);
    cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_ON);
    cairo_set_font_options(cr, options);
    cairo_font_options_destroy(options);
    cairo_text_extents_t extents;
    cairo_text_extents(cr, text, &extents);
    cairo_move_to(cr, std::round(cx - extents.x_advance / 2), baseline);
    cairo_show_text(cr, text);
}

bool write(cairo_surface_t* surface, const std::string& folder, const char* name) {
    const std::string path = folder + "/" + name;
    const bool ok = cairo_surface_write_to_png(surface, path.c_str()) == CAIRO_STATUS_SUCCESS;
    if (!ok) std::fprintf(stderr, "cannot write %s\n", path.c_str());
    cairo_surface_destroy(surface);
    return ok;
}

// 0: the maker's mark, a record with a teal label, on a teal glow.
bool logo(const std::string& folder) {
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_RGB24, 99, 99);
    cairo_t* cr = cairo_create(s);
    setColour(cr, kPanel);
    cairo_paint(cr);
    glow(cr, 49.5, 40, 58, kTeal, 0.55);
    // The disc and its grooves.
    cairo_arc(cr, 49.5, 40, 31, 0, kTwoPi);
    cairo_set_source_rgb(cr, 0.02, 0.025, 0.03);
    cairo_fill(cr);
    cairo_set_line_width(cr, 0.6);
    for (double r = 13; r <= 29.5; r += 2.2) {
        cairo_arc(cr, 49.5, 40, r, 0, kTwoPi);
        cairo_set_source_rgba(cr, 0.55, 0.9, 0.85, 0.10 + 0.04 * std::sin(r));
        cairo_stroke(cr);
    }
    // A highlight across the grooves, as light catches a spinning record.
    cairo_pattern_t* sheen = cairo_pattern_create_linear(25, 15, 75, 65);
    cairo_pattern_add_color_stop_rgba(sheen, 0.35, 1, 1, 1, 0.0);
    cairo_pattern_add_color_stop_rgba(sheen, 0.5, 0.8, 1, 0.95, 0.16);
    cairo_pattern_add_color_stop_rgba(sheen, 0.65, 1, 1, 1, 0.0);
    cairo_arc(cr, 49.5, 40, 30, 0, kTwoPi);
    cairo_set_source(cr, sheen);
    cairo_fill(cr);
    cairo_pattern_destroy(sheen);
    // Label with the mark.
    cairo_arc(cr, 49.5, 40, 10.5, 0, kTwoPi);
    setColour(cr, kTeal);
    cairo_fill(cr);
    cairo_set_source_rgb(cr, 0.02, 0.06, 0.06);
    centredText(cr, "M", 49.5, 44.5, 13, true);
    cairo_arc(cr, 49.5, 40, 1.2, 0, kTwoPi);
    cairo_set_source_rgb(cr, 0.85, 0.95, 0.93);
    cairo_fill(cr);
    cairo_destroy(cr);
    return write(s, folder, "MARVOLTIC_LogoTealGlow.PNG");
}

// 1: the caption under the record, on transparency.
bool caption(const std::string& folder) {
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 99, 99);
    cairo_t* cr = cairo_create(s);
    cairo_set_source_rgba(cr, 0.80, 1.0, 0.96, 0.95);
    centredText(cr, "MARVOLTIC", 49.5, 81, 11, true);
    cairo_destroy(cr);
    return write(s, folder, "MARVOLTIC_WebLinkText.png");
}

// 2: the tone arm and stylus resting on the record's edge.
bool stylus(const std::string& folder) {
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 99, 99);
    cairo_t* cr = cairo_create(s);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    // Pivot.
    cairo_arc(cr, 87, 12, 6, 0, kTwoPi);
    cairo_set_source_rgba(cr, 0.75, 0.80, 0.82, 1);
    cairo_fill(cr);
    cairo_arc(cr, 87, 12, 2.5, 0, kTwoPi);
    cairo_set_source_rgba(cr, 0.15, 0.18, 0.2, 1);
    cairo_fill(cr);
    // Arm: a shadow, then the metal.
    cairo_move_to(cr, 87, 12);
    cairo_curve_to(cr, 85, 30, 80, 44, 70, 54);
    cairo_set_line_width(cr, 4.0);
    cairo_set_source_rgba(cr, 0, 0, 0, 0.45);
    cairo_stroke_preserve(cr);
    cairo_set_line_width(cr, 2.4);
    cairo_set_source_rgba(cr, 0.86, 0.9, 0.92, 1);
    cairo_stroke(cr);
    // Headshell with the stylus tip glowing where it meets the groove.
    cairo_save(cr);
    cairo_translate(cr, 68, 56);
    cairo_rotate(cr, 0.75);
    cairo_rectangle(cr, -4, -3, 9, 6);
    cairo_set_source_rgba(cr, 0.70, 0.74, 0.76, 1);
    cairo_fill(cr);
    cairo_restore(cr);
    glow(cr, 65, 60, 6, kTeal, 0.9);
    cairo_arc(cr, 65, 60, 1.2, 0, kTwoPi);
    cairo_set_source_rgba(cr, 0.9, 1, 0.98, 1);
    cairo_fill(cr);
    cairo_destroy(cr);
    return write(s, folder, "MARVOLTIC_LogoTealGlow_Stylus.png");
}

// 3: a lit square for the slope display, bright core, soft edge.
bool square(const std::string& folder) {
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 50, 50);
    cairo_t* cr = cairo_create(s);
    glow(cr, 25, 25, 34, kTeal, 0.55);
    cairo_rectangle(cr, 9, 9, 32, 32);
    cairo_pattern_t* face = cairo_pattern_create_radial(25, 25, 2, 25, 25, 24);
    cairo_pattern_add_color_stop_rgba(face, 0, 0.85, 1, 0.97, 1);
    cairo_pattern_add_color_stop_rgba(face, 1, kTeal.r, kTeal.g, kTeal.b, 1);
    cairo_set_source(cr, face);
    cairo_fill(cr);
    cairo_pattern_destroy(face);
    cairo_rectangle(cr, 9.5, 9.5, 31, 31);
    cairo_set_line_width(cr, 1);
    cairo_set_source_rgba(cr, 0.9, 1, 1, 0.8);
    cairo_stroke(cr);
    cairo_destroy(cr);
    return write(s, folder, "50x50square_top_ON.png");
}

// 4 to 7: indicator buttons, 100 x 20, unlit and lit.
bool indicator(const std::string& folder, const char* name, const char* text, Rgb colour, bool lit) {
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_RGB24, 100, 20);
    cairo_t* cr = cairo_create(s);
    cairo_set_source_rgb(cr, 0.06, 0.065, 0.07);
    cairo_paint(cr);
    if (lit) {
        cairo_pattern_t* p = cairo_pattern_create_linear(0, 0, 0, 20);
        cairo_pattern_add_color_stop_rgb(p, 0, colour.r * 0.55, colour.g * 0.55, colour.b * 0.55);
        cairo_pattern_add_color_stop_rgb(p, 0.5, colour.r * 0.85, colour.g * 0.85, colour.b * 0.85);
        cairo_pattern_add_color_stop_rgb(p, 1, colour.r * 0.45, colour.g * 0.45, colour.b * 0.45);
        cairo_rectangle(cr, 1, 1, 98, 18);
        cairo_set_source(cr, p);
        cairo_fill(cr);
        cairo_pattern_destroy(p);
        cairo_set_source_rgb(cr, 1, 0.97, 0.9);
    } else {
        cairo_set_source_rgb(cr, colour.r * 0.45, colour.g * 0.45, colour.b * 0.45);
    }
    centredText(cr, text, 50, 14.5, 11, true);
    cairo_rectangle(cr, 0.5, 0.5, 99, 19);
    cairo_set_line_width(cr, 1);
    cairo_set_source_rgb(cr, colour.r * (lit ? 1.0 : 0.3), colour.g * (lit ? 1.0 : 0.3), colour.b * (lit ? 1.0 : 0.3));
    cairo_stroke(cr);
    cairo_destroy(cr);
    return write(s, folder, name);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT_FOLDER\n", argv[0]);
        return 2;
    }
    const std::string folder = argv[1];
    const Rgb red{1.0, 0.16, 0.12}, amber{1.0, 0.62, 0.08};
    const bool ok = logo(folder) && caption(folder) && stylus(folder) && square(folder) &&
                    indicator(folder, "Clipping_OFF.png", "CLIPPING", red, false) &&
                    indicator(folder, "Clipping_ON.png", "CLIPPING", red, true) &&
                    indicator(folder, "EXPERIMENTAL_OFF.png", "EXPERIMENTAL", amber, false) &&
                    indicator(folder, "EXPERIMENTAL_ON.png", "EXPERIMENTAL", amber, true);
    return ok ? 0 : 1;
}
