// The look every vsthost picture shares: dark panels, light labels, 1-2-5
// grids and a log-frequency axis, drawn with Cairo into a PNG. render's plot
// and analyze's charts are both made of these pieces.
#pragma once

#include <cairo.h>

#include <memory>
#include <string>

namespace vhost::plot {

struct Rgb {
    double r, g, b;
};
constexpr Rgb rgb(unsigned hex) {
    return {((hex >> 16) & 0xff) / 255.0, ((hex >> 8) & 0xff) / 255.0, (hex & 0xff) / 255.0};
}
inline constexpr Rgb kBackground = rgb(0x14171c);
inline constexpr Rgb kPanel = rgb(0x1b1f26);
inline constexpr Rgb kGrid = rgb(0x343b47);
inline constexpr Rgb kMinorGrid = rgb(0x252a33);
inline constexpr Rgb kAxisText = rgb(0xc9ced8);
inline constexpr Rgb kTitleText = rgb(0xf2f4f8);
inline constexpr Rgb kDimText = rgb(0x8d94a3);
inline constexpr Rgb kBlue = rgb(0x46a6ff);
inline constexpr Rgb kOrange = rgb(0xffa23a);
inline constexpr Rgb kRed = rgb(0xe5534b);

void setColour(cairo_t* cr, Rgb c, double alpha = 1.0);

enum class Align { Left, Centre, Right };

double textWidth(cairo_t* cr, const std::string& text, double size, bool bold = false);
// Text whose capitals are vertically centred on y, so labels line up with
// their ticks whatever letters they hold.
void drawText(cairo_t* cr, const std::string& text, double x, double y, double size, Align align, Rgb colour,
              bool bold = false);
void drawVerticalText(cairo_t* cr, const std::string& text, double x, double y, double size, Rgb colour);
void line(cairo_t* cr, double x0, double y0, double x1, double y1);

// A 1-2-5 step giving about `target` intervals over `range`.
double niceStep(double range, double target);
// The value with as many decimals as the step needs.
std::string formatNumber(double value, double step);
// "500", "2k", "22.05k".
std::string formatFrequency(double hz);

// A panel's rectangle in pixels.
struct Frame {
    double left, top, right, bottom;
};
void panelBackground(cairo_t* cr, const Frame& frame);
void panelFrame(cairo_t* cr, const Frame& frame);
// Bold title at the panel's top left with a dim note beside it.
void panelTitle(cairo_t* cr, const std::string& title, const std::string& note, const Frame& frame);

// Log-frequency axis across a frame's width.
struct FrequencyAxis {
    double logLow, logHigh, left, right;
    FrequencyAxis(double lowHz, double highHz, double leftPx, double rightPx);
    double x(double hz) const;
};
// Vertical lines at 1, 2, ..., 9 times each decade, labelled at 1, 2 and 5;
// a label near the right edge ends at the frame rather than past it.
void drawFrequencyGrid(cairo_t* cr, const FrequencyAxis& axis, const Frame& frame);

// An RGB image surface of the given size, painted with the background;
// write() checks what Cairo reports and throws ToolError.
class Canvas {
public:
    Canvas(int width, int height);
    cairo_t* context() const { return context_.get(); }
    void write(const std::string& path) const;

private:
    std::unique_ptr<cairo_surface_t, decltype(&cairo_surface_destroy)> surface_;
    std::unique_ptr<cairo_t, decltype(&cairo_destroy)> context_;
};

}  // namespace vhost::plot
