// analyze's pictures: one or two panels of curves stacked under a title and
// a legend, in the look of render's plot. A curve's colour says which
// setting it belongs to; a dashed curve is the right channel where it
// differs from the left.
#pragma once

#include <string>
#include <vector>

namespace vhost {

struct ChartCurve {
    std::vector<double> x, y;  // a NaN in y leaves a gap
    int colour = 0;            // index into the palette, which repeats after 12
    bool dashed = false;
    double width = 2.0;
    bool dim = false;  // a reference line, drawn thin and grey
};

struct ChartPanel {
    std::string title, note;
    std::string xTitle, yTitle;
    bool logFrequency = false;  // the x axis: log frequency, else linear
    double xLow = 0.0, xHigh = 1.0;
    double yLow = 0.0, yHigh = 1.0;
    double yStep = 0.0;        // between labelled grid lines; 0 picks one
    bool wrapsAt180 = false;   // phase: a jump of more than 180 between neighbours is a wrap, not a line
    std::vector<ChartCurve> curves;
};

struct LegendEntry {
    std::string text;
    int colour = 0;
    bool dashed = false;
    double width = 2.0;
};

struct Chart {
    std::string title, subtitle;
    std::string legendTitle;
    std::vector<LegendEntry> legend;
    std::vector<ChartPanel> panels;  // one or two
};

inline constexpr int kChartWidth = 1400;

// Throws ToolError when the file cannot be written.
void writeChart(const std::string& path, const Chart& chart);

// A range that holds every finite value of the curves, padded and rounded
// out to `step` (0: a 1-2-5 step of about a sixth of the span), at least `minimumSpan` and at most `maximumSpan` wide
// (then anchored at the top).
void fitRange(const std::vector<ChartCurve>& curves, double step, double minimumSpan, double maximumSpan, double& low,
              double& high);

}  // namespace vhost
