#include "tools/vsthost/Analysis.h"

#include <fftw3.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <limits>
#include <new>
#include <numbers>

#include "tools/vsthost/Errors.h"

namespace vhost {

// Real transforms of any even length, far beyond the runtime's 32768 points:
// the sweep's deconvolution works on the whole recording at once.
class RealTransform {
public:
    explicit RealTransform(std::size_t size)
        : size_(size),
          real_(static_cast<double*>(fftw_malloc(sizeof(double) * size))),
          spectrum_(static_cast<fftw_complex*>(fftw_malloc(sizeof(fftw_complex) * (size / 2 + 1)))) {
        if (real_ == nullptr || spectrum_ == nullptr) {
            release();
            throw std::bad_alloc();
        }
        const int n = static_cast<int>(size);
        forward_ = fftw_plan_dft_r2c_1d(n, real_, spectrum_, FFTW_ESTIMATE);
        inverse_ = fftw_plan_dft_c2r_1d(n, spectrum_, real_, FFTW_ESTIMATE);
    }
    ~RealTransform() { release(); }
    RealTransform(const RealTransform&) = delete;
    RealTransform& operator=(const RealTransform&) = delete;

    // `in` is zero-padded to the transform's length.
    std::vector<std::complex<double>> forward(const std::vector<double>& in) {
        std::fill(real_, real_ + size_, 0.0);
        std::copy_n(in.begin(), std::min(in.size(), size_), real_);
        fftw_execute(forward_);
        std::vector<std::complex<double>> out(size_ / 2 + 1);
        for (std::size_t k = 0; k < out.size(); ++k) out[k] = {spectrum_[k][0], spectrum_[k][1]};
        return out;
    }
    // Scaled by 1/size, so inverse(forward(x)) is x.
    std::vector<double> inverse(const std::vector<std::complex<double>>& in) {
        for (std::size_t k = 0; k < in.size(); ++k) {
            spectrum_[k][0] = in[k].real();
            spectrum_[k][1] = in[k].imag();
        }
        fftw_execute(inverse_);
        std::vector<double> out(real_, real_ + size_);
        for (double& v : out) v /= static_cast<double>(size_);
        return out;
    }

private:
    void release() {
        if (forward_ != nullptr) fftw_destroy_plan(forward_);
        if (inverse_ != nullptr) fftw_destroy_plan(inverse_);
        fftw_free(real_);
        fftw_free(spectrum_);
    }

    std::size_t size_;
    double* real_;
    fftw_complex* spectrum_;
    fftw_plan forward_ = nullptr;
    fftw_plan inverse_ = nullptr;
};

namespace {

constexpr double kPi = std::numbers::pi;
constexpr int kHarmonicsInSweep = 1 + kFirstHarmonics;  // the linear part and the 2nd to 5th
constexpr double kTailSeconds = 2.0;
constexpr int kPointsPerOctave = 48;

// The smallest even length of at least n whose only prime factors are 2, 3,
// 5 and 7, the lengths FFTW transforms fastest.
std::size_t transformLength(std::size_t n) {
    for (std::size_t m = std::max<std::size_t>(n + (n & 1), 2);; m += 2) {
        std::size_t rest = m;
        for (const std::size_t p : {2u, 3u, 5u, 7u})
            while (rest % p == 0) rest /= p;
        if (rest == 1) return m;
    }
}

// A half-Hann rise from 0 at `from` to 1 at `to` (either order).
double rise(double n, double from, double to) {
    if (from == to) return 1.0;
    const double x = std::clamp((n - from) / (to - from), 0.0, 1.0);
    return 0.5 - 0.5 * std::cos(kPi * x);
}

std::size_t samplesOf(double seconds, double sampleRate) {
    return static_cast<std::size_t>(std::llround(seconds * sampleRate));
}

double quietNaN() { return std::numeric_limits<double>::quiet_NaN(); }

std::string hz(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%g Hz", value);
    return text;
}

}  // namespace

double decibels(double amplitudeRatio) {
    if (!(amplitudeRatio > 0.0)) return std::isnan(amplitudeRatio) ? amplitudeRatio : kFloorDb;
    return std::max(kFloorDb, 20.0 * std::log10(amplitudeRatio));
}

std::vector<double> responseTimesMs(double sampleRate) {
    const auto lead = samplesOf(kResponseLeadMs / 1000.0, sampleRate);
    const auto span = samplesOf(kResponseSpanMs / 1000.0, sampleRate);
    std::vector<double> times;
    for (std::size_t i = 0; i <= lead + span; ++i)
        times.push_back((static_cast<double>(i) - static_cast<double>(lead)) * 1000.0 / sampleRate);
    return times;
}

SweepMeasurement::SweepMeasurement(double sampleRate, double lowestHz, double seconds, double amplitude)
    : sampleRate_(sampleRate) {
    const double nyquist = sampleRate / 2.0;
    if (lowestHz * 8.0 > nyquist)
        throw ToolError("the lowest frequency, " + hz(lowestHz) + ", must lie three octaves or more below Nyquist (" +
                        hz(nyquist) + ")");
    const double start = lowestHz / 2.0;
    const double octaves = std::log(nyquist / start);
    // Whole cycles of the start frequency per time constant.
    const double cycles = std::max(1.0, std::round(seconds * start / octaves));
    rate_ = cycles / start;
    sweepLength_ = static_cast<std::size_t>(std::floor(rate_ * octaves * sampleRate));
    tail_ = samplesOf(kTailSeconds, sampleRate);
    // Room after the linear response's tail for the harmonics, which wrap
    // around to the end.
    size_ = transformLength(sweepLength_ + tail_ + sweepLength_ / 8);

    signal_.assign(sweepLength_ + tail_, 0.0);
    const double fadeIn = rate_ * std::log(std::sqrt(2.0)) * sampleRate;  // the first half octave
    const double fadeOut = std::max(8.0, rate_ * 0.005 * sampleRate);
    const auto last = static_cast<double>(sweepLength_);
    for (std::size_t i = 0; i < sweepLength_; ++i) {
        const double t = static_cast<double>(i) / sampleRate;
        const double phase = 2.0 * kPi * start * rate_ * std::expm1(t / rate_);
        const auto n = static_cast<double>(i);
        signal_[i] = amplitude * std::sin(phase) * rise(n, 0.0, fadeIn) * rise(n, last, last - fadeOut);
    }

    transform_ = std::make_unique<RealTransform>(size_);
    inverse_ = transform_->forward(signal_);
    double peak = 0.0;
    for (const auto& x : inverse_) peak = std::max(peak, std::norm(x));
    // Far below the sweep's spectrum anywhere in its band, so only the
    // bins it never reaches (below its start) are held back.
    const double regularisation = peak * 1e-12;
    for (auto& x : inverse_) x = std::conj(x) / (std::norm(x) + regularisation);

    const double binHz = sampleRate / static_cast<double>(size_);
    for (int i = 0;; ++i) {
        const double f = lowestHz * std::pow(2.0, static_cast<double>(i) / kPointsPerOctave);
        const auto bin = std::min<std::size_t>(static_cast<std::size_t>(std::llround(f / binHz)), size_ / 2);
        if (bins_.empty() || bin > bins_.back()) bins_.push_back(bin);
        if (f >= nyquist) break;
    }
    if (bins_.back() != size_ / 2) bins_.push_back(size_ / 2);
    for (const std::size_t bin : bins_) {
        frequencies_.push_back(static_cast<double>(bin) * binHz);
        if (2 * bin <= size_ / 2) excitations_.push_back(frequencies_.back());
    }
}

SweepMeasurement::~SweepMeasurement() = default;

std::vector<std::complex<double>> SweepMeasurement::windowedSpectrum(const std::vector<double>& impulse, long start,
                                                                     long peak, long end, bool timeWeighted,
                                                                     std::size_t count, std::size_t multiple) {
    const auto n = static_cast<long>(size_);
    std::vector<double> part(size_, 0.0);
    // Rises over the first half of the lead-in, falls over the last fifth
    // after the peak.
    const double riseEnd = start + (peak - start) / 2.0;
    const double fallStart = end - (end - peak) / 5.0;
    for (long t = start; t < end; ++t) {
        const auto at = static_cast<std::size_t>(((t % n) + n) % n);
        const double w = rise(static_cast<double>(t), start, riseEnd) * rise(static_cast<double>(t), end, fallStart);
        part[at] = impulse[at] * w * (timeWeighted ? static_cast<double>(t) : 1.0);
    }
    // Only the bins asked for are kept: at high rates a whole spectrum is large.
    const auto spectrum = transform_->forward(part);
    std::vector<std::complex<double>> values(count);
    for (std::size_t i = 0; i < count; ++i)
        if (bins_[i] * multiple < spectrum.size()) values[i] = spectrum[bins_[i] * multiple];
    return values;
}

SweepResult SweepMeasurement::analyse(const std::vector<double>& recorded) {
    auto spectrum = transform_->forward(recorded);
    for (std::size_t k = 0; k < spectrum.size(); ++k) spectrum[k] *= inverse_[k];
    const std::vector<double> impulse = transform_->inverse(spectrum);

    // Where each part of the response arrives (samples before the linear
    // one) and the windows between them: a fifth of the gap to the next,
    // more advanced harmonic is left before each, for what little a
    // response shows ahead of its peak.
    long lead[kHarmonicsInSweep + 2];
    for (int k = 1; k <= kHarmonicsInSweep + 1; ++k)
        lead[k] = std::lround(rate_ * std::log(static_cast<double>(k)) * sampleRate_);
    std::vector<std::vector<std::complex<double>>> parts;
    long end = static_cast<long>(tail_);
    for (int k = 1; k <= kHarmonicsInSweep; ++k) {
        const long start = -(lead[k] + (lead[k + 1] - lead[k]) / 5);
        // The linear part at every frequency; a harmonic at k times each excitation.
        const std::size_t count = k == 1 ? bins_.size() : excitations_.size();
        const auto multiple = static_cast<std::size_t>(k);
        parts.push_back(windowedSpectrum(impulse, start, -lead[k], end, false, count, multiple));
        if (k == 1) parts.push_back(windowedSpectrum(impulse, start, 0, end, true, count, multiple));
        end = start;
    }
    const auto& linear = parts[0];
    const auto& weighted = parts[1];

    SweepResult result;
    for (std::size_t i = 0; i < bins_.size(); ++i) {
        const std::complex<double> h = linear[i];
        result.magnitudeDb.push_back(decibels(std::abs(h)));
        result.phaseDeg.push_back(std::arg(h) * 180.0 / kPi);
        // -d(phase)/d(omega) is the real part of the transform of t*h(t) over that of h.
        result.groupDelayMs.push_back(std::abs(h) > 0.0 ? (weighted[i] / h).real() * 1000.0 / sampleRate_
                                                         : quietNaN());
    }
    for (std::size_t i = 0; i < excitations_.size(); ++i) {
        const std::size_t bin = bins_[i];
        const double fundamental = std::abs(linear[i]);
        const bool silent = !(fundamental > 0.0);
        double sum = 0.0;
        for (int k = 2; k <= kHarmonicsInSweep; ++k) {
            const std::size_t at = bin * static_cast<std::size_t>(k);
            double value = quietNaN();
            if (at <= size_ / 2 && !silent) {
                const double ratio = std::abs(parts[static_cast<std::size_t>(k)][i]) / fundamental;
                sum += ratio * ratio;
                value = decibels(ratio);
            }
            result.harmonicDb[static_cast<std::size_t>(k - 2)].push_back(value);
        }
        result.thdDb.push_back(silent ? quietNaN() : decibels(std::sqrt(sum)));
    }
    const auto leadSamples = static_cast<long>(samplesOf(kResponseLeadMs / 1000.0, sampleRate_));
    const auto count = responseTimesMs(sampleRate_).size();
    const auto n = static_cast<long>(size_);
    for (std::size_t i = 0; i < count; ++i) {
        const long t = static_cast<long>(i) - leadSamples;
        result.impulse.push_back(impulse[static_cast<std::size_t>(((t % n) + n) % n)]);
    }
    return result;
}

ToneMeasurement::ToneMeasurement(double sampleRate, double frequency, double stepDb) : sampleRate_(sampleRate) {
    // A quarter of a second, or eight cycles of a low tone.
    window_ = std::max(samplesOf(0.25, sampleRate), static_cast<std::size_t>(std::ceil(8.0 * sampleRate / frequency)));
    cycles_ = std::max<std::size_t>(8, static_cast<std::size_t>(std::llround(frequency * window_ / sampleRate)));
    frequency_ = static_cast<double>(cycles_) * sampleRate / static_cast<double>(window_);
    if (2 * cycles_ >= window_ / 2)
        throw ToolError("a tone of " + hz(frequency) + " has no harmonic below Nyquist (" + hz(sampleRate / 2.0) + ")");
    // Each level settles for a tenth of a second; the first, coming out of
    // silence, for half a second more, so that what the onset set ringing
    // (a low resonance, say) has died down before anything is read.
    const std::size_t settle = samplesOf(0.1, sampleRate);
    const std::size_t ramp = samplesOf(0.01, sampleRate);
    for (int i = 0;; ++i) {
        const double level = -60.0 + stepDb * i;
        if (level > 12.0 + 1e-9) break;
        levels_.push_back(level);
    }
    double previous = 0.0;
    for (std::size_t s = 0; s < levels_.size(); ++s) {
        const double amplitude = std::pow(10.0, levels_[s] / 20.0);
        const std::size_t begin = signal_.size();
        const std::size_t length = (s == 0 ? settle + samplesOf(0.5, sampleRate) : settle) + window_;
        reads_.push_back(begin + length - window_);
        for (std::size_t i = 0; i < length; ++i) {
            const std::size_t at = begin + i;
            const double mix = rise(static_cast<double>(i), 0.0, static_cast<double>(ramp));
            // The phase advances exactly one cycle every window_/cycles_ samples.
            const double phase = 2.0 * kPi * static_cast<double>((at * cycles_) % window_) / static_cast<double>(window_);
            signal_.push_back((previous + (amplitude - previous) * mix) * std::sin(phase));
        }
        previous = amplitude;
    }
}

ToneResult ToneMeasurement::analyse(const std::vector<double>& recorded) const {
    // Periodic four-term Blackman-Harris: on a whole number of cycles its
    // transform is non-zero only within three bins of each harmonic.
    std::vector<double> window(window_);
    double windowSum = 0.0;
    for (std::size_t i = 0; i < window_; ++i) {
        const double x = 2.0 * kPi * static_cast<double>(i) / static_cast<double>(window_);
        window[i] = 0.35875 - 0.48829 * std::cos(x) + 0.14128 * std::cos(2.0 * x) - 0.01168 * std::cos(3.0 * x);
        windowSum += window[i];
    }
    std::vector<double> cosines(window_), sines(window_);
    for (std::size_t i = 0; i < window_; ++i) {
        cosines[i] = std::cos(2.0 * kPi * static_cast<double>(i) / static_cast<double>(window_));
        sines[i] = std::sin(2.0 * kPi * static_cast<double>(i) / static_cast<double>(window_));
    }
    const std::size_t harmonics = (window_ / 2 - 1) / cycles_;  // those below Nyquist
    ToneResult result;
    std::vector<double> amplitude(harmonics + 1);
    for (std::size_t s = 0; s < levels_.size(); ++s) {
        const double* y = recorded.data() + reads_[s];
        for (std::size_t m = 1; m <= harmonics; ++m) {
            double re = 0.0, im = 0.0;
            for (std::size_t i = 0; i < window_; ++i) {
                const std::size_t angle = (i * m * cycles_) % window_;
                const double v = y[i] * window[i];
                re += v * cosines[angle];
                im -= v * sines[angle];
            }
            amplitude[m] = 2.0 * std::hypot(re, im) / windowSum;
        }
        result.outputDbfs.push_back(decibels(amplitude[1]));
        double sum = 0.0;
        for (std::size_t m = 2; m <= harmonics; ++m) sum += amplitude[m] * amplitude[m];
        const bool silent = !(amplitude[1] > 0.0);
        result.thdDb.push_back(silent ? quietNaN() : decibels(std::sqrt(sum) / amplitude[1]));
        for (std::size_t m = 2; m < 2 + kFirstHarmonics; ++m)
            result.harmonicDb[m - 2].push_back(m <= harmonics && !silent ? decibels(amplitude[m] / amplitude[1])
                                                                        : quietNaN());
    }
    return result;
}

StepMeasurement::StepMeasurement(double sampleRate, double amplitude)
    : sampleRate_(sampleRate), amplitude_(amplitude), start_(samplesOf(0.1, sampleRate)) {
    signal_.assign(start_ + samplesOf((kResponseSpanMs + 10.0) / 1000.0, sampleRate), 0.0);
    std::fill(signal_.begin() + static_cast<std::ptrdiff_t>(start_), signal_.end(), amplitude);
}

std::vector<double> StepMeasurement::analyse(const std::vector<double>& recorded) const {
    const std::size_t lead = samplesOf(kResponseLeadMs / 1000.0, sampleRate_);
    const std::size_t count = responseTimesMs(sampleRate_).size();
    std::vector<double> step;
    for (std::size_t i = 0; i < count; ++i) step.push_back(recorded[start_ - lead + i] / amplitude_);
    return step;
}

}  // namespace vhost
