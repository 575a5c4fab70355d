#include "tools/vsthost/PlotDrawing.h"

#include <fontconfig/fontconfig.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numbers>

#include "tools/vsthost/Errors.h"

namespace vhost::plot {

namespace {

const char* const kFont = "Liberation Sans";

void selectFont(cairo_t* cr, double size, bool bold) {
    cairo_select_font_face(cr, kFont, CAIRO_FONT_SLANT_NORMAL, bold ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr, size);
}

}  // namespace

void setColour(cairo_t* cr, Rgb c, double alpha) { cairo_set_source_rgba(cr, c.r, c.g, c.b, alpha); }

double textWidth(cairo_t* cr, const std::string& text, double size, bool bold) {
    selectFont(cr, size, bold);
    cairo_text_extents_t extents;
    cairo_text_extents(cr, text.c_str(), &extents);
    return extents.x_advance;
}

void drawText(cairo_t* cr, const std::string& text, double x, double y, double size, Align align, Rgb colour,
              bool bold) {
    const double width = textWidth(cr, text, size, bold);
    double left = x;
    if (align == Align::Centre) left = x - width / 2.0;
    if (align == Align::Right) left = x - width;
    setColour(cr, colour);
    cairo_move_to(cr, left, y + size * 0.36);
    cairo_show_text(cr, text.c_str());
}

void drawVerticalText(cairo_t* cr, const std::string& text, double x, double y, double size, Rgb colour) {
    cairo_save(cr);
    cairo_translate(cr, x, y);
    cairo_rotate(cr, -std::numbers::pi / 2.0);
    drawText(cr, text, 0.0, 0.0, size, Align::Centre, colour);
    cairo_restore(cr);
}

void line(cairo_t* cr, double x0, double y0, double x1, double y1) {
    cairo_move_to(cr, x0, y0);
    cairo_line_to(cr, x1, y1);
    cairo_stroke(cr);
}

double niceStep(double range, double target) {
    const double rough = range / target;
    const double decade = std::pow(10.0, std::floor(std::log10(rough)));
    for (const double m : {1.0, 2.0, 5.0})
        if (m * decade >= rough) return m * decade;
    return 10.0 * decade;
}

std::string formatNumber(double value, double step) {
    char text[32];
    const int decimals = step >= 1.0 ? 0 : static_cast<int>(std::ceil(-std::log10(step) - 1e-9));
    std::snprintf(text, sizeof text, "%.*f", decimals, std::abs(value) < step * 1e-6 ? 0.0 : value);
    return text;
}

std::string formatFrequency(double hz) {
    char text[32];
    if (hz >= 1000.0)
        std::snprintf(text, sizeof text, "%.4gk", hz / 1000.0);
    else
        std::snprintf(text, sizeof text, "%.4g", hz);
    return text;
}

void panelBackground(cairo_t* cr, const Frame& frame) {
    setColour(cr, kPanel);
    cairo_rectangle(cr, frame.left, frame.top, frame.right - frame.left, frame.bottom - frame.top);
    cairo_fill(cr);
}

void panelFrame(cairo_t* cr, const Frame& frame) {
    setColour(cr, kGrid);
    cairo_set_line_width(cr, 1.0);
    cairo_rectangle(cr, frame.left + 0.5, frame.top + 0.5, frame.right - frame.left - 1.0,
                    frame.bottom - frame.top - 1.0);
    cairo_stroke(cr);
}

void panelTitle(cairo_t* cr, const std::string& title, const std::string& note, const Frame& frame) {
    const double y = frame.top - 16.0;
    drawText(cr, title, frame.left, y, 17.0, Align::Left, kTitleText, true);
    const double width = textWidth(cr, title, 17.0, true);
    drawText(cr, note, frame.left + width + 12.0, y, 14.0, Align::Left, kDimText);
}

FrequencyAxis::FrequencyAxis(double lowHz, double highHz, double leftPx, double rightPx)
    : logLow(std::log10(lowHz)), logHigh(std::log10(std::max(highHz, lowHz * 2.0))), left(leftPx), right(rightPx) {}

double FrequencyAxis::x(double hz) const { return left + (std::log10(hz) - logLow) / (logHigh - logLow) * (right - left); }

void drawFrequencyGrid(cairo_t* cr, const FrequencyAxis& axis, const Frame& frame) {
    const double low = std::pow(10.0, axis.logLow);
    const double high = std::pow(10.0, axis.logHigh);
    cairo_set_line_width(cr, 1.0);
    for (double decade = std::pow(10.0, std::floor(axis.logLow)); decade < high; decade *= 10.0) {
        for (int m = 1; m <= 9; ++m) {
            const double f = decade * m;
            if (f < low * (1.0 - 1e-9) || f > high * (1.0 + 1e-9)) continue;
            const double x = std::round(axis.x(f)) + 0.5;
            const bool labelled = m == 1 || m == 2 || m == 5;
            setColour(cr, labelled ? kGrid : kMinorGrid);
            line(cr, x, frame.top, x, frame.bottom);
            if (!labelled) continue;
            const std::string text = formatFrequency(f);
            const double half = textWidth(cr, text, 14.0) / 2.0;
            drawText(cr, text, std::min(x, frame.right - half), frame.bottom + 16.0, 14.0, Align::Centre, kAxisText);
        }
    }
}

Canvas::Canvas(int width, int height)
    : surface_(cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height), cairo_surface_destroy),
      context_(cairo_create(surface_.get()), cairo_destroy) {
    // Cairo and fontconfig keep their font caches for the life of the
    // process. Handing them back at exit, after the last picture, keeps a
    // leak checker's report to leaks of our own.
    struct FontCaches {
        ~FontCaches() {
            cairo_debug_reset_static_data();
            FcFini();
        }
    };
    static FontCaches releasedAtExit;
    setColour(context_.get(), kBackground);
    cairo_paint(context_.get());
}

void Canvas::write(const std::string& path) const {
    cairo_surface_flush(surface_.get());
    const cairo_status_t drawn = cairo_status(context_.get());
    if (drawn != CAIRO_STATUS_SUCCESS)
        throw ToolError("cannot draw the plot: " + std::string(cairo_status_to_string(drawn)));
    const cairo_status_t written = cairo_surface_write_to_png(surface_.get(), path.c_str());
    if (written != CAIRO_STATUS_SUCCESS)
        throw ToolError("cannot write plot '" + path + "': " + std::string(cairo_status_to_string(written)));
}

}  // namespace vhost::plot
