// The test signals of `vsthost analyze` and what is read from a plug-in's
// answer to them. Nothing here knows a plug-in: each measurement makes its
// signal, and analyses one recorded output channel of the same length.
#pragma once

#include <array>
#include <complex>
#include <cstddef>
#include <memory>
#include <vector>

namespace vhost {

// Every dB figure is floored here: an exact zero has no level.
inline constexpr double kFloorDb = -200.0;
double decibels(double amplitudeRatio);

// The 2nd to the 5th harmonic, in dB relative to the fundamental.
inline constexpr int kFirstHarmonics = 4;
using HarmonicColumns = std::array<std::vector<double>, kFirstHarmonics>;

// Impulse and step responses are kept from a little before their start.
inline constexpr double kResponseLeadMs = 2.0;
inline constexpr double kResponseSpanMs = 50.0;
// Times of those samples in ms, from -kResponseLeadMs to kResponseSpanMs.
std::vector<double> responseTimesMs(double sampleRate);

class RealTransform;

struct SweepResult {
    std::vector<double> magnitudeDb, phaseDeg, groupDelayMs;  // at frequencies()
    std::vector<double> thdDb;                                // at excitations(): harmonics 2 to 5 below Nyquist
    HarmonicColumns harmonicDb;                               // at excitations(); NaN above Nyquist
    std::vector<double> impulse;                              // the linear part, at responseTimesMs()
};

// Exponential sine sweep from an octave below the lowest frequency of
// interest up to Nyquist, deconvolved by its inverse filter (its spectrum's
// regularised reciprocal) into an impulse response in which each harmonic's
// response arrives before the linear one, at a lead that grows with the
// harmonic's order. The rate is chosen so that a whole number of cycles of
// the lowest frequency fit its time constant: harmonic k of the sweep is
// then the sweep itself, advanced, and its response is a clean impulse.
// The linear response is read through a window that starts after the 2nd
// harmonic's and ends before the tail of silence does.
class SweepMeasurement {
public:
    // Throws ToolError when the range leaves no room for a sweep.
    SweepMeasurement(double sampleRate, double lowestHz, double seconds, double amplitude);
    ~SweepMeasurement();

    // The sweep followed by the silence in which the response dies away.
    const std::vector<double>& signal() const { return signal_; }
    double sweepSeconds() const { return static_cast<double>(sweepLength_) / sampleRate_; }
    // Where the response is given: exact transform bins, about 48 a
    // octave from the lowest frequency up to and including Nyquist.
    const std::vector<double>& frequencies() const { return frequencies_; }
    // The excitation frequencies for the harmonics: those of frequencies()
    // whose 2nd harmonic is not above Nyquist.
    const std::vector<double>& excitations() const { return excitations_; }

    SweepResult analyse(const std::vector<double>& recorded);

private:
    // The transform of a windowed stretch of the impulse response at the
    // first `count` grid bins, each times `multiple`.
    std::vector<std::complex<double>> windowedSpectrum(const std::vector<double>& impulse, long start, long peak,
                                                       long end, bool timeWeighted, std::size_t count,
                                                       std::size_t multiple);

    double sampleRate_;
    double rate_;  // seconds for the frequency to grow by a factor e
    std::size_t sweepLength_;
    std::size_t tail_;
    std::size_t size_;  // transform length
    std::vector<double> signal_;
    std::vector<std::complex<double>> inverse_;
    std::vector<std::size_t> bins_;
    std::vector<double> frequencies_;
    std::vector<double> excitations_;
    std::unique_ptr<RealTransform> transform_;
};

struct ToneResult {
    std::vector<double> outputDbfs;  // the fundamental at the output, peak
    std::vector<double> thdDb;       // every harmonic below Nyquist
    HarmonicColumns harmonicDb;      // NaN above Nyquist
};

// A sine climbing a staircase of levels from -60 to +12 dBFS, each step
// ramped in, left to settle and then read through a window holding a whole
// number of its cycles: every harmonic then falls on a transform bin of its
// own, and a Blackman-Harris window keeps what is not harmonic (a transient
// the plug-in still rings with) out of them.
class ToneMeasurement {
public:
    // Throws ToolError unless the 2nd harmonic lies below Nyquist.
    ToneMeasurement(double sampleRate, double frequency, double stepDb);

    double frequency() const { return frequency_; }  // the requested one, moved to a whole number of cycles
    const std::vector<double>& levelsDbfs() const { return levels_; }
    const std::vector<double>& signal() const { return signal_; }
    ToneResult analyse(const std::vector<double>& recorded) const;

private:
    double sampleRate_;
    double frequency_;
    std::size_t window_;
    std::size_t cycles_;
    std::vector<double> levels_;
    std::vector<std::size_t> reads_;  // where each level's window starts
    std::vector<double> signal_;
};

// Silence, then a step to the given height.
class StepMeasurement {
public:
    StepMeasurement(double sampleRate, double amplitude);
    const std::vector<double>& signal() const { return signal_; }
    // The output at responseTimesMs(), divided by the step's height.
    std::vector<double> analyse(const std::vector<double>& recorded) const;

private:
    double sampleRate_;
    double amplitude_;
    std::size_t start_;
    std::vector<double> signal_;
};

}  // namespace vhost
