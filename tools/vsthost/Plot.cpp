#include "tools/vsthost/Plot.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <memory>
#include <numbers>
#include <type_traits>

#include "tools/vsthost/PlotDrawing.h"

namespace vhost {

namespace {

constexpr int kColumns = static_cast<int>(kPlotRight - kPlotLeft);

constexpr double kMinFrequency = 20.0;
constexpr int kSpectrumSize = 4096;

using namespace plot;
constexpr Rgb kInputColour = kBlue;
constexpr Rgb kOutputColour = kOrange;
constexpr Rgb kFullScale = kRed;

constexpr Frame kWaveFrame{kPlotLeft, kWaveTop, kPlotRight, kWaveBottom};
constexpr Frame kSpecFrame{kPlotLeft, kSpecTop, kPlotRight, kSpecBottom};

void legend(cairo_t* cr, double top) {
    const double size = 15.0;
    const double y = top - 16.0;
    double x = kPlotRight;
    const struct {
        const char* name;
        Rgb colour;
    } entries[] = {{"Output", kOutputColour}, {"Input", kInputColour}};
    for (const auto& entry : entries) {
        const double width = textWidth(cr, entry.name, size);
        x -= width;
        drawText(cr, entry.name, x, y, size, Align::Left, kAxisText);
        x -= 26.0;
        setColour(cr, entry.colour);
        cairo_rectangle(cr, x, y - 6.0, 18.0, 12.0);
        cairo_fill(cr);
        x -= 22.0;
    }
}

void drawWaveforms(cairo_t* cr, const PlotRecorder& recorder, double sampleRate) {
    const double top = kWaveTop, bottom = kWaveBottom;
    const auto inLow = recorder.inputWave().low(), inHigh = recorder.inputWave().high();
    const auto outLow = recorder.outputWave().low(), outHigh = recorder.outputWave().high();

    double peak = 1.0;
    for (const auto* values : {&inLow, &inHigh, &outLow, &outHigh})
        for (double v : *values) peak = std::max(peak, std::abs(v));
    const double range = peak * 1.08;  // the full-scale lines and the peaks stay inside the frame
    const double middle = (top + bottom) / 2.0;
    const auto yOf = [&](double v) { return middle - v / range * (bottom - top) / 2.0; };

    panelTitle(cr, "Waveform", "minimum and maximum of all channels per pixel column", kWaveFrame);
    legend(cr, top);
    panelBackground(cr, kWaveFrame);

    // Amplitude grid.
    cairo_set_line_width(cr, 1.0);
    const double ampStep = niceStep(2.0 * range, 8.0);
    for (double v = -std::floor(range / ampStep) * ampStep; v <= range + 1e-9; v += ampStep) {
        const double y = std::round(yOf(v)) + 0.5;
        setColour(cr, std::abs(v) < 1e-9 ? kGrid : kMinorGrid);
        line(cr, kPlotLeft, y, kPlotRight, y);
        drawText(cr, (v > 1e-9 ? "+" : "") + formatNumber(v, ampStep), kPlotLeft - 8.0, y, 14.0, Align::Right,
                 kAxisText);
    }
    // Time grid.
    const double seconds = static_cast<double>(recorder.inputWave().frames()) / sampleRate;
    const double timeStep = niceStep(std::max(seconds, 1e-3), 12.0);
    for (double t = 0.0; t <= seconds + 1e-9; t += timeStep) {
        const double x = std::round(kPlotLeft + t / seconds * (kPlotRight - kPlotLeft)) + 0.5;
        setColour(cr, kMinorGrid);
        line(cr, x, top, x, bottom);
        drawText(cr, formatNumber(t, timeStep), x, bottom + 16.0, 14.0, Align::Centre, kAxisText);
    }
    drawText(cr, "Time (s)", (kPlotLeft + kPlotRight) / 2.0, bottom + 40.0, 15.0, Align::Centre, kAxisText);
    drawVerticalText(cr, "Amplitude", 24.0, middle, 15.0, kAxisText);

    // Input filled, output over it filled translucently and outlined, so
    // both stay visible where they coincide and where they differ.
    const auto band = [&](const std::vector<double>& low, const std::vector<double>& high) {
        if (low.empty()) return false;
        const auto columns = static_cast<int>(low.size());
        for (int i = 0; i < columns; ++i)
            cairo_line_to(cr, kPlotLeft + i + 0.5, std::min(yOf(high[static_cast<std::size_t>(i)]), middle - 0.5));
        for (int i = columns - 1; i >= 0; --i)
            cairo_line_to(cr, kPlotLeft + i + 0.5, std::max(yOf(low[static_cast<std::size_t>(i)]), middle + 0.5));
        cairo_close_path(cr);
        return true;
    };
    cairo_save(cr);
    cairo_rectangle(cr, kPlotLeft, top, kPlotRight - kPlotLeft, bottom - top);
    cairo_clip(cr);
    if (band(inLow, inHigh)) {
        setColour(cr, kInputColour, 0.85);
        cairo_fill(cr);
    }
    if (band(outLow, outHigh)) {
        setColour(cr, kOutputColour, 0.55);
        cairo_fill_preserve(cr);
        setColour(cr, kOutputColour, 1.0);
        cairo_set_line_width(cr, 1.2);
        cairo_stroke(cr);
    }
    cairo_restore(cr);

    // Full scale on top of the curves: what crosses it clips in an integer file.
    cairo_set_line_width(cr, 1.5);
    const double dashes[] = {7.0, 5.0};
    for (const double v : {1.0, -1.0}) {
        const double y = std::round(yOf(v)) + 0.5;
        setColour(cr, kFullScale);
        cairo_set_dash(cr, dashes, 2, 0.0);
        line(cr, kPlotLeft, y, kPlotRight, y);
        cairo_set_dash(cr, nullptr, 0, 0.0);
    }
    drawText(cr, "0 dBFS", kPlotRight - 6.0, yOf(1.0) - 11.0, 13.0, Align::Right, kFullScale);
    panelFrame(cr, kWaveFrame);
}

// Power per pixel column on the log-frequency axis: bins sharing a column
// are averaged, so the dense top octaves do not smear into a thick band.
struct Curve {
    std::vector<double> x, db;
};

FrequencyAxis spectrumAxis(double sampleRate) {
    return FrequencyAxis(kMinFrequency, std::max(sampleRate / 2.0, kMinFrequency * 2.0), kPlotLeft, kPlotRight);
}

Curve spectrumCurve(const WelchSpectrum& spectrum, double sampleRate, const FrequencyAxis& axis) {
    const auto power = spectrum.power();
    Curve curve;
    double sum = 0.0;
    int count = 0;
    double column = -1.0;
    const auto flush = [&] {
        if (count == 0) return;
        curve.x.push_back(column);
        curve.db.push_back(10.0 * std::log10(std::max(sum / count, 1e-30)));
        sum = 0.0;
        count = 0;
    };
    for (int k = 1; k < static_cast<int>(power.size()); ++k) {
        const double f = spectrum.binFrequency(k, sampleRate);
        if (f < kMinFrequency) continue;
        const double x = std::round(axis.x(f));
        if (x != column) flush();
        column = x;
        sum += power[static_cast<std::size_t>(k)];
        ++count;
    }
    flush();
    return curve;
}

void drawSpectra(cairo_t* cr, const PlotRecorder& recorder, double sampleRate) {
    const double top = kSpecTop, bottom = kSpecBottom;
    const double nyquist = sampleRate / 2.0;
    const FrequencyAxis axis = spectrumAxis(sampleRate);
    const Curve in = spectrumCurve(recorder.inputSpectrum(), sampleRate, axis);
    const Curve out = spectrumCurve(recorder.outputSpectrum(), sampleRate, axis);

    // The scale follows the loudest bin; 120 dB below it is the noise floor
    // of anything a user listens to.
    double loudest = -std::numeric_limits<double>::infinity();
    double quietest = std::numeric_limits<double>::infinity();
    for (const Curve* c : {&in, &out})
        for (double d : c->db) {
            loudest = std::max(loudest, d);
            quietest = std::min(quietest, d);
        }
    if (!std::isfinite(loudest)) loudest = quietest = 0.0;
    const double dbTop = std::ceil((loudest + 3.0) / 10.0) * 10.0;
    const double dbBottom = std::max(dbTop - 120.0, std::floor((quietest - 3.0) / 10.0) * 10.0);
    const auto yOf = [&](double db) { return top + (dbTop - db) / (dbTop - dbBottom) * (bottom - top); };

    char note[96];
    std::snprintf(note, sizeof note, "long-term average, Welch: Hann %d points, 50 %% overlap, channels averaged",
                  recorder.inputSpectrum().size());
    panelTitle(cr, "Spectrum", note, kSpecFrame);
    legend(cr, top);
    panelBackground(cr, kSpecFrame);

    cairo_set_line_width(cr, 1.0);
    const double dbStep = (dbTop - dbBottom) > 80.0 ? 20.0 : 10.0;
    for (double db = dbTop; db >= dbBottom - 1e-9; db -= 10.0) {
        const double y = std::round(yOf(db)) + 0.5;
        const bool labelled = std::fmod(std::abs(db), dbStep) < 1e-9;
        setColour(cr, labelled ? kGrid : kMinorGrid);
        line(cr, kPlotLeft, y, kPlotRight, y);
        if (labelled) drawText(cr, formatNumber(db, 10.0), kPlotLeft - 8.0, y, 14.0, Align::Right, kAxisText);
    }
    drawFrequencyGrid(cr, axis, kSpecFrame);
    char axisTitle[64];
    std::snprintf(axisTitle, sizeof axisTitle, "Frequency (Hz), up to Nyquist at %.4g kHz", nyquist / 1000.0);
    drawText(cr, axisTitle, (kPlotLeft + kPlotRight) / 2.0, bottom + 40.0, 15.0, Align::Centre, kAxisText);
    drawVerticalText(cr, "Level (dB, full-scale sine = 0)", 24.0, (top + bottom) / 2.0, 15.0, kAxisText);

    cairo_save(cr);
    cairo_rectangle(cr, kPlotLeft, top, kPlotRight - kPlotLeft, bottom - top);
    cairo_clip(cr);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
    // The input is drawn wider, beneath: where the effect changed nothing it
    // edges the output line, so "identical" and "missing" look different.
    const struct {
        const Curve* curve;
        Rgb colour;
        double width;
    } strokes[] = {{&in, kInputColour, 3.6}, {&out, kOutputColour, 1.6}};
    for (const auto& stroke : strokes) {
        const Curve& curve = *stroke.curve;
        for (std::size_t i = 0; i < curve.x.size(); ++i) cairo_line_to(cr, curve.x[i], yOf(curve.db[i]));
        setColour(cr, stroke.colour);
        cairo_set_line_width(cr, stroke.width);
        cairo_stroke(cr);
    }
    cairo_restore(cr);
    panelFrame(cr, kSpecFrame);
}

}  // namespace

double spectrumX(double hz, double sampleRate) { return spectrumAxis(sampleRate).x(hz); }

WaveformEnvelope::WaveformEnvelope(int columns, std::int64_t expectedFrames)
    : expected_(std::max<std::int64_t>(expectedFrames, 1)),
      low_(static_cast<std::size_t>(std::max(columns, 1)), std::numeric_limits<double>::quiet_NaN()),
      high_(low_) {}

void WaveformEnvelope::addPlanar(const double* const* channels, std::size_t channelCount, std::int64_t frames) {
    const auto columns = static_cast<std::int64_t>(low_.size());
    for (std::int64_t f = 0; f < frames; ++f, ++position_) {
        // Frames past the announced length pile into the last column.
        const auto column = static_cast<std::size_t>(std::min(position_ * columns / expected_, columns - 1));
        double& low = low_[column];
        double& high = high_[column];
        for (std::size_t c = 0; c < channelCount; ++c) {
            const double v = channels[c][f];
            if (std::isnan(v)) continue;
            if (!(v >= low)) low = v;  // also replaces the NaN of an empty column
            if (!(v <= high)) high = v;
        }
    }
}

std::vector<double> WaveformEnvelope::filled(const std::vector<double>& values) const {
    if (position_ == 0) return {};
    std::vector<double> result(values);
    double last = 0.0;
    for (double& v : result) {
        if (std::isnan(v))
            v = last;
        else
            last = v;
    }
    return result;
}

PlotRecorder::PlotRecorder(std::size_t inputChannels, std::size_t outputChannels, std::int64_t expectedFrames)
    : inChannels_(inputChannels),
      outChannels_(outputChannels),
      inWave_(kColumns, expectedFrames),
      outWave_(kColumns, expectedFrames),
      inSpectrum_(inputChannels, kSpectrumSize),
      outSpectrum_(outputChannels, kSpectrumSize),
      scratch_(std::max(inputChannels, outputChannels)),
      scratchPtrs_(scratch_.size()) {}

void PlotRecorder::add(WaveformEnvelope& wave, WelchSpectrum& spectrum, std::int64_t frames) {
    const std::size_t channels = &wave == &inWave_ ? inChannels_ : outChannels_;
    wave.addPlanar(scratchPtrs_.data(), channels, frames);
    spectrum.addPlanar(scratchPtrs_.data(), frames);
}

template <typename Sample>
void PlotRecorder::addInput(const Sample* interleaved, std::int64_t frames) {
    const auto n = static_cast<std::size_t>(frames);
    for (std::size_t c = 0; c < inChannels_; ++c) {
        scratch_[c].resize(n);
        for (std::size_t f = 0; f < n; ++f) scratch_[c][f] = static_cast<double>(interleaved[f * inChannels_ + c]);
        scratchPtrs_[c] = scratch_[c].data();
    }
    add(inWave_, inSpectrum_, frames);
}

template <typename Sample>
void PlotRecorder::addOutput(const Sample* const* planar, std::int64_t frames) {
    const auto n = static_cast<std::size_t>(frames);
    for (std::size_t c = 0; c < outChannels_; ++c) {
        if constexpr (std::is_same_v<Sample, double>) {
            scratchPtrs_[c] = planar[c];
        } else {
            scratch_[c].resize(n);
            std::copy_n(planar[c], n, scratch_[c].begin());
            scratchPtrs_[c] = scratch_[c].data();
        }
    }
    add(outWave_, outSpectrum_, frames);
}

template void PlotRecorder::addInput<float>(const float*, std::int64_t);
template void PlotRecorder::addInput<double>(const double*, std::int64_t);
template void PlotRecorder::addOutput<float>(const float* const*, std::int64_t);
template void PlotRecorder::addOutput<double>(const double* const*, std::int64_t);

void writePlot(const std::string& path, const PlotRecorder& recorder, const PlotLabels& labels) {
    Canvas canvas(kPlotWidth, kPlotHeight);
    cairo_t* cr = canvas.context();
    drawText(cr, labels.title, kPlotLeft, 26.0, 20.0, Align::Left, kTitleText, true);
    drawText(cr, labels.subtitle, kPlotLeft, 52.0, 15.0, Align::Left, kDimText);
    drawWaveforms(cr, recorder, labels.sampleRate);
    drawSpectra(cr, recorder, labels.sampleRate);

    canvas.write(path);
}

}  // namespace vhost
