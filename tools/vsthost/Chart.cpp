#include "tools/vsthost/Chart.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "tools/vsthost/PlotDrawing.h"

namespace vhost {

namespace {

using namespace plot;

constexpr Rgb kPalette[] = {rgb(0xffa23a), rgb(0x46a6ff), rgb(0x62d26f), rgb(0xff6fb5), rgb(0xf2d45c), rgb(0xb48cff),
                            rgb(0x4fd8d8), rgb(0xe5534b), rgb(0xd0d4dc), rgb(0xb5e853), rgb(0xd9a066), rgb(0x6f8cff)};
constexpr int kPaletteSize = static_cast<int>(sizeof kPalette / sizeof kPalette[0]);

constexpr double kLeft = 92.0;
constexpr double kRight = kChartWidth - 28.0;
constexpr double kPanelHeight = 310.0;
constexpr double kPanelGap = 90.0;  // the upper panel's axis labels and the lower one's title
constexpr double kBottomMargin = 60.0;

Rgb colourOf(int index) { return kPalette[((index % kPaletteSize) + kPaletteSize) % kPaletteSize]; }

void strokeStyle(cairo_t* cr, bool dashed, double width) {
    const double dashes[] = {9.0, 6.0};
    cairo_set_dash(cr, dashes, dashed ? 2 : 0, 0.0);
    cairo_set_line_width(cr, width);
}

// The legend, left to right from the title's margin, wrapping onto further
// rows; returns where the last row sits.
double drawLegend(cairo_t* cr, const Chart& chart, double y) {
    const double size = 15.0;
    double x = kLeft;
    if (!chart.legendTitle.empty()) {
        drawText(cr, chart.legendTitle + ":", x, y, size, Align::Left, kDimText);
        x += textWidth(cr, chart.legendTitle + ":", size) + 16.0;
    }
    for (const LegendEntry& entry : chart.legend) {
        const double width = 30.0 + textWidth(cr, entry.text, size) + 22.0;
        if (x + width > kRight && x > kLeft) {
            x = kLeft;
            y += 24.0;
        }
        setColour(cr, colourOf(entry.colour));
        strokeStyle(cr, entry.dashed, entry.width + 1.0);
        line(cr, x, y, x + 24.0, y);
        strokeStyle(cr, false, 1.0);
        drawText(cr, entry.text, x + 30.0, y, size, Align::Left, kAxisText);
        x += width;
    }
    return y;
}

struct Scale {
    Frame frame;
    const ChartPanel& panel;
    FrequencyAxis frequencies;
    double x(double v) const {
        if (panel.logFrequency) return frequencies.x(v);
        return frame.left + (v - panel.xLow) / (panel.xHigh - panel.xLow) * (frame.right - frame.left);
    }
    double y(double v) const {
        return frame.top + (panel.yHigh - v) / (panel.yHigh - panel.yLow) * (frame.bottom - frame.top);
    }
};

void drawLinearXGrid(cairo_t* cr, const Scale& scale) {
    const ChartPanel& p = scale.panel;
    const double step = niceStep(p.xHigh - p.xLow, 12.0);
    for (double v = std::ceil(p.xLow / step - 1e-9) * step; v <= p.xHigh + step * 1e-9; v += step) {
        const double x = std::round(scale.x(v)) + 0.5;
        setColour(cr, std::abs(v) < step * 1e-6 ? kGrid : kMinorGrid);
        line(cr, x, scale.frame.top, x, scale.frame.bottom);
        drawText(cr, formatNumber(v, step), x, scale.frame.bottom + 16.0, 14.0, Align::Centre, kAxisText);
    }
}

void drawYGrid(cairo_t* cr, const Scale& scale) {
    const ChartPanel& p = scale.panel;
    const double step = p.yStep > 0.0 ? p.yStep : niceStep(p.yHigh - p.yLow, 8.0);
    for (double v = std::ceil(p.yLow / step - 1e-9) * step; v <= p.yHigh + step * 1e-9; v += step) {
        const double y = std::round(scale.y(v)) + 0.5;
        setColour(cr, std::abs(v) < step * 1e-6 ? kGrid : kMinorGrid);
        line(cr, scale.frame.left, y, scale.frame.right, y);
        drawText(cr, formatNumber(v, step), scale.frame.left - 8.0, y, 14.0, Align::Right, kAxisText);
    }
}

void drawCurve(cairo_t* cr, const Scale& scale, const ChartCurve& curve) {
    const ChartPanel& p = scale.panel;
    bool drawing = false;
    double previous = 0.0;
    for (std::size_t i = 0; i < curve.x.size() && i < curve.y.size(); ++i) {
        const double v = curve.y[i];
        const bool usable = std::isfinite(v) && std::isfinite(curve.x[i]) && (!p.logFrequency || curve.x[i] > 0.0);
        if (!usable || (drawing && p.wrapsAt180 && std::abs(v - previous) > 180.0)) {
            drawing = false;
            if (!usable) continue;
        }
        // Far outside the panel a point is pinned just beyond it, so Cairo
        // never meets coordinates it cannot hold.
        const double y = std::clamp(scale.y(v), scale.frame.top - 50.0, scale.frame.bottom + 50.0);
        if (drawing)
            cairo_line_to(cr, scale.x(curve.x[i]), y);
        else
            cairo_move_to(cr, scale.x(curve.x[i]), y);
        drawing = true;
        previous = v;
    }
    if (curve.dim)
        setColour(cr, kDimText, 0.8);
    else
        setColour(cr, colourOf(curve.colour));
    strokeStyle(cr, curve.dashed, curve.dim ? 1.2 : curve.width);
    cairo_stroke(cr);
    strokeStyle(cr, false, 1.0);
}

void drawPanel(cairo_t* cr, const ChartPanel& panel, const Frame& frame) {
    const Scale scale{frame, panel,
                      FrequencyAxis(panel.logFrequency ? panel.xLow : 1.0, panel.logFrequency ? panel.xHigh : 10.0,
                                    frame.left, frame.right)};
    panelTitle(cr, panel.title, panel.note, frame);
    panelBackground(cr, frame);
    cairo_set_line_width(cr, 1.0);
    drawYGrid(cr, scale);
    if (panel.logFrequency)
        drawFrequencyGrid(cr, scale.frequencies, frame);
    else
        drawLinearXGrid(cr, scale);
    drawText(cr, panel.xTitle, (frame.left + frame.right) / 2.0, frame.bottom + 40.0, 15.0, Align::Centre, kAxisText);
    drawVerticalText(cr, panel.yTitle, 24.0, (frame.top + frame.bottom) / 2.0, 15.0, kAxisText);

    cairo_save(cr);
    cairo_rectangle(cr, frame.left, frame.top, frame.right - frame.left, frame.bottom - frame.top);
    cairo_clip(cr);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
    for (const ChartCurve& curve : panel.curves)
        if (curve.dim) drawCurve(cr, scale, curve);
    for (const ChartCurve& curve : panel.curves)
        if (!curve.dim) drawCurve(cr, scale, curve);
    cairo_restore(cr);
    panelFrame(cr, frame);
}

}  // namespace

void fitRange(const std::vector<ChartCurve>& curves, double step, double minimumSpan, double maximumSpan, double& low,
              double& high) {
    double top = -std::numeric_limits<double>::infinity();
    double bottom = std::numeric_limits<double>::infinity();
    for (const ChartCurve& curve : curves)
        for (const double v : curve.y)
            if (std::isfinite(v)) {
                top = std::max(top, v);
                bottom = std::min(bottom, v);
            }
    if (!std::isfinite(top)) top = bottom = 0.0;
    if (step <= 0.0) step = niceStep(std::max(top - bottom, minimumSpan), 6.0);
    const double pad = step * 0.2;
    high = std::ceil((top + pad) / step) * step;
    low = std::floor((bottom - pad) / step) * step;
    if (high - low > maximumSpan) low = high - maximumSpan;
    if (high - low < minimumSpan) {
        const double grow = std::ceil((minimumSpan - (high - low)) / (2.0 * step)) * step;
        high += grow;
        low -= grow;
    }
}

void writeChart(const std::string& path, const Chart& chart) {
    // The legend's rows are counted first: the panels start below them.
    double legendBottom = 0.0;
    {
        Canvas probe(1, 1);
        legendBottom = drawLegend(probe.context(), chart, 84.0);
    }
    const double firstTop = legendBottom + 46.0;
    const auto panels = static_cast<double>(chart.panels.size());
    const int height =
        static_cast<int>(firstTop + panels * kPanelHeight + (panels - 1.0) * kPanelGap + kBottomMargin);
    Canvas canvas(kChartWidth, height);
    cairo_t* cr = canvas.context();
    drawText(cr, chart.title, kLeft, 26.0, 20.0, Align::Left, kTitleText, true);
    drawText(cr, chart.subtitle, kLeft, 52.0, 15.0, Align::Left, kDimText);
    drawLegend(cr, chart, 84.0);
    double top = firstTop;
    for (const ChartPanel& panel : chart.panels) {
        drawPanel(cr, panel, Frame{kLeft, top, kRight, top + kPanelHeight});
        top += kPanelHeight + kPanelGap;
    }
    canvas.write(path);
}

}  // namespace vhost
