// A picture of what a render did: the input's and the output's waveforms and
// long-term spectra, one above the other, as a PNG drawn with Cairo. The
// recorder is fed during the render and keeps only what the picture needs
// (one min/max pair per pixel column and one spectrum segment per channel),
// so files of any length plot in constant memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "tools/vsthost/Spectrum.h"

namespace vhost {

// Minimum and maximum over all channels of each of `columns` equal slices of
// a stream whose length is known in advance.
class WaveformEnvelope {
public:
    WaveformEnvelope(int columns, std::int64_t expectedFrames);

    void addPlanar(const double* const* channels, std::size_t channelCount, std::int64_t frames);

    int columns() const { return static_cast<int>(low_.size()); }
    // A column no frame fell into (a stream shorter than the picture is
    // wide) repeats the one before it; empty before any sample.
    std::vector<double> low() const { return filled(low_); }
    std::vector<double> high() const { return filled(high_); }
    std::int64_t frames() const { return position_; }

private:
    std::vector<double> filled(const std::vector<double>& values) const;

    std::int64_t expected_;
    std::int64_t position_ = 0;
    std::vector<double> low_;   // NaN until a frame lands in the column
    std::vector<double> high_;
};

class PlotRecorder {
public:
    PlotRecorder(std::size_t inputChannels, std::size_t outputChannels, std::int64_t expectedFrames);

    template <typename Sample>
    void addInput(const Sample* interleaved, std::int64_t frames);
    template <typename Sample>
    void addOutput(const Sample* const* planar, std::int64_t frames);

    const WaveformEnvelope& inputWave() const { return inWave_; }
    const WaveformEnvelope& outputWave() const { return outWave_; }
    const WelchSpectrum& inputSpectrum() const { return inSpectrum_; }
    const WelchSpectrum& outputSpectrum() const { return outSpectrum_; }

private:
    void add(WaveformEnvelope& wave, WelchSpectrum& spectrum, std::int64_t frames);

    std::size_t inChannels_;
    std::size_t outChannels_;
    WaveformEnvelope inWave_;
    WaveformEnvelope outWave_;
    WelchSpectrum inSpectrum_;
    WelchSpectrum outSpectrum_;
    // Planar double copies of the block being added.
    std::vector<std::vector<double>> scratch_;
    std::vector<const double*> scratchPtrs_;
};

struct PlotLabels {
    std::string title;     // e.g. the plug-in's name and the files
    std::string subtitle;  // e.g. rate, length, channels
    double sampleRate = 44100.0;
};

// Picture size and the panels' frames in pixels, public so that tests can
// read a picture back.
inline constexpr int kPlotWidth = 1400;
inline constexpr int kPlotHeight = 900;
inline constexpr double kPlotLeft = 92.0;
inline constexpr double kPlotRight = kPlotWidth - 28.0;
inline constexpr double kWaveTop = 100.0;
inline constexpr double kWaveBottom = 440.0;
inline constexpr double kSpecTop = 530.0;
inline constexpr double kSpecBottom = 840.0;

// Horizontal position of a frequency on the spectrum's axis, which runs from
// 20 Hz to half the sample rate.
double spectrumX(double hz, double sampleRate);

// Throws ToolError when the file cannot be written.
void writePlot(const std::string& path, const PlotRecorder& recorder, const PlotLabels& labels);

}  // namespace vhost
