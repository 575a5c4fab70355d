#include "LiteralTonearm.h"

#include <cfloat>
#include <cmath>

namespace literal {

namespace {

double store(double x) {
    if (std::isnan(x)) return 0.0;
    if (x > DBL_MAX || x < -DBL_MAX) return 0.0;
    return x;
}

bool same(double a, double b) { return a - b > -0.00001 && a - b < 0.00001; }

double gain(double db) { return std::pow(2.0, db / 6); }

double decibels(double x) {
    double d = 6 * std::log(x) / 0.6931471805599453;
    if (std::isnan(d) || d < -400) return -400;
    return d;
}

double larger(double a, double b) { return std::fmax(a, b); }
double smaller(double a, double b) { return std::fmin(a, b); }

double signum(double x) {
    if (x > 0) return 1;
    if (x < 0) return -1;
    return 0;
}

double step(const Design& d, History& h, double x) {
    double y = store((d.b0 / d.a0) * x + (d.b1 / d.a0) * h.x1 + (d.b2 / d.a0) * h.x2 - (d.a1 / d.a0) * h.y1 -
                     (d.a2 / d.a0) * h.y2);
    h.x2 = store(h.x1);
    h.x1 = store(x);
    h.y2 = store(h.y1);
    h.y1 = store(y);
    return y;
}

void lowPass(Design& d, double w0) {
    d.w0 = store(w0);
    // Kept strictly inside (0, pi), where the design is stable.
    if (d.w0 > 0.998 * 3.141592653589793) d.w0 = 0.998 * 3.141592653589793;
    if (d.w0 < 1e-6) d.w0 = 1e-6;
    d.alpha = store(std::sin(d.w0) / 1.4142135623730951);
    d.cosW0 = store(std::cos(d.w0));
    d.b0 = store((1 - d.cosW0) * 0.5);
    d.b1 = store(1 - d.cosW0);
    d.b2 = store(d.b0);
    d.a0 = store(1 + d.alpha);
    d.a1 = store(-2 * d.cosW0);
    d.a2 = store(1 - d.alpha);
}

void follow(double& meter, double level, double amount) {
    if (level > meter) meter = store(meter + amount);
    if (meter > level) meter = store(meter - amount);
    if (meter > 20) {
        meter = 20;
    } else if (meter < -20) {
        meter = -20;
    }
}

struct Range {
    double minimum, maximum, quantum;
};
constexpr Range kRanges[6] = {{-24, 24, 0.001}, {-24, 24, 0.001}, {0, 2, 0.001},
                              {-24, 24, 0.001}, {-24, 24, 0.001}, {0, 48, 0.01}};
constexpr double kDefaults[6] = {0, 0, 0, -24, -24, 25.2};

}  // namespace

Tonearm::Tonearm() {
    for (int i = 0; i < 6; ++i) slider[kSliderOfParameter[i]] = kDefaults[i];
}

void Tonearm::open() { v = Vars{}; }

void Tonearm::resume(const HostView& host) {
    init(host);
    // The slider section is the copy step and nothing else.
    v.sampleRate = store(v.hostSampleRate);
}

void Tonearm::setParameter(int index, float normalized) {
    const Range& r = kRanges[index];
    const double x = normalized;
    double value = ((r.maximum - r.minimum) * x + r.minimum + r.quantum / 2) / r.quantum;
    value = std::floor(value) * r.quantum;
    double& cell = slider[kSliderOfParameter[index]];
    if (same(value, cell)) return;
    cell = value;
}

void Tonearm::restore(const std::vector<float>& chunk, const HostView& host) {
    if (chunk.empty() || chunk[0] != -1000.0f) return;
    if (restores == 0) init(host);
    ++restores;
    for (int s = 1; s <= 64; ++s)
        if (static_cast<std::size_t>(s) < chunk.size()) slider[s] = store(chunk[static_cast<std::size_t>(s)]);
    v.sampleRate = store(v.hostSampleRate);
}

std::vector<float> Tonearm::save() const {
    std::vector<float> chunk{-1000.0f};
    for (int s = 1; s <= 64; ++s) chunk.push_back(static_cast<float>(slider[s]));
    return chunk;
}

void Tonearm::init(const HostView& host) {
    v.hostSampleRate = store(host.sampleRate);
    v.sampleRate = store(v.hostSampleRate);
    v.hostChannels = host.inputs;
    v.channels = v.hostChannels;
    v.hostBlockSize = host.blockSize;
    v.blockSize = v.hostBlockSize;
    v.hostTempo = host.hasTimeInfo ? store(host.tempo) : 0;
    v.tempo = v.hostTempo;
    v.timeSigNumerator = v.hostTimeSigNumerator;
    v.timeSigDenominator = v.hostTimeSigDenominator;

    v.oversampling = 128;
    v.outputScale = 11500000;
    v.stiffnessExponent = 1.1;
    v.armMass = 0.00027;
    v.physicsStep = 1.0 / 96000.0;
    v.denormalOffset = 1e-30;
    for (int c = 0; c < 2; ++c) {
        v.dcPrevIn[c] = 0;
        v.dcOut[c] = 0;
        v.stylus[c] = 0;
    }

    v.upsampleCutoffHz = 40000;
    lowPass(v.upsample, 251327.41228718346 / (128 * v.sampleRate));
    for (int c = 0; c < 2; ++c) {
        v.upA[c] = History{};
        v.upB[c] = History{};
    }
    v.preCutoffHz = 22000;
    lowPass(v.pre, 138230.07675795088 / (128 * v.sampleRate));
    for (int c = 0; c < 2; ++c) v.preH[c] = History{};

    v.armTau = store(0.00318 / (8 * v.sampleRate));
    v.armFreq = store(1 / (6.283185307179586 * v.armTau));
    Design& hp = v.armHp;
    hp.w0 = store(6.283185307179586 * v.armFreq / v.sampleRate);
    hp.cosW0 = store(std::cos(hp.w0));
    hp.alpha = store(std::sin(hp.w0) / 1.4142135623730951);
    hp.b0 = store((1 + hp.alpha) * 0.5);
    hp.b1 = store(-(1 + hp.alpha));
    hp.b2 = store((1 + hp.alpha) * 0.5);
    hp.a0 = store(1 + hp.alpha);
    hp.a1 = store(-2 * hp.cosW0);
    hp.a2 = store(1 - hp.alpha);
    for (int c = 0; c < 2; ++c) v.armHpH[c] = History{};
}

void Tonearm::block(const HostView& host) {
    if (host.hasTimeInfo) {
        v.hostTempo = store(host.tempo);
        v.hostTimeSigNumerator = host.timeSigNumerator;
        v.hostTimeSigDenominator = host.timeSigDenominator;
    }
    v.playState = 0;
    if (host.hasTimeInfo && host.playing) v.playState = 1;
    if (host.hasTimeInfo && host.recording) v.playState = v.playState + 4;
    v.beatPosition = host.hasTimeInfo ? store(host.ppqPosition) : 0;

    v.sampleRate = store(v.hostSampleRate);
    v.tempo = store(v.hostTempo);
    v.timeSigNumerator = store(v.hostTimeSigNumerator);
    v.timeSigDenominator = store(v.hostTimeSigDenominator);

    lowPass(v.upsample, v.upsampleCutoffHz * 6.283185307179586 / (v.oversampling * v.sampleRate));
    lowPass(v.pre, 6.283185307179586 * v.preCutoffHz / v.sampleRate);
}

void Tonearm::subSteps() {
    const double o = v.oversampling;
    long long n = 0;
    if (o > -2147483649.0 && o < 2147483648.0) n = static_cast<long long>(o);
    if (n > 1000000) n = 1000000;
    for (long long k = 0; k < n; ++k) {
        for (int c = 0; c < 2; ++c) {
            double u = step(v.upsample, v.upA[c], v.held[c]);
            double d = store(u - v.stylus[c]);
            if (std::fabs(d) > v.slewStep) d = store(signum(d) * v.slewStep);
            v.stylus[c] = store(v.stylus[c] + d);
            double w = step(v.upsample, v.upB[c], v.stylus[c]);
            v.overSum[c] = store(v.overSum[c] + w);
        }
    }
}

void Tonearm::sample() {
    v.sampleRate = store(v.hostSampleRate);
    v.tempo = store(v.hostTempo);
    v.timeSigNumerator = store(v.hostTimeSigNumerator);
    v.timeSigDenominator = store(v.hostTimeSigDenominator);

    const double slew = slider[22];
    v.trackingForceGrams = store(slew / 22 + 0.9);
    v.slewStep = store(gain(-slew) / v.oversampling * (96000 / v.sampleRate));
    v.armStiffness = store(2.1 * slider[14] + 51.400001);
    v.resonanceShownHz = store((10 + v.armStiffness) * 0.9);
    v.armDamping = store((0.20834 * slider[15] + 5.9) * 0.005);
    v.dampingShown = store(222.2 * v.armDamping);
    if (!same(v.slope[0], 0) || !same(v.slope[1], 0))
        v.oversampling = store((96000 / v.sampleRate) * 128);
    else
        v.oversampling = 2;
    v.cartridgeShownHz = store(18250 * slider[10] + 12950);
    v.upsampleCutoffHz = store(26000 * slider[10] + 14000);
    v.preCutoffHz = store(8000 * slider[10] + 14000);

    for (int c = 0; c < 2; ++c) {
        double x = io[c];
        if (!std::isnan(x) && !std::isinf(x) && (x > 1024 || x < -1024)) x = 0;  // garbage, not signal
        double in = store(gain(slider[1]) * x + v.denormalOffset);
        v.dcOut[c] = store(v.dcOut[c] * 0.99999 + in - v.dcPrevIn[c]);
        v.dcPrevIn[c] = store(in);
    }
    for (int c = 0; c < 2; ++c) {
        double f = store((v.dcOut[c] - v.armPosition[c]) * v.armStiffness);
        double g = store(v.armDamping * v.armVelocity[c]);
        v.armVelocity[c] = store(v.armVelocity[c] + ((f - g) / v.armMass) * v.physicsStep);
        v.armPosition[c] = store(v.armPosition[c] + v.armVelocity[c] * v.physicsStep);
        double h = step(v.armHp, v.armHpH[c], v.armPosition[c]);
        double a = store(h * v.outputScale / std::pow(v.armStiffness, v.stiffnessExponent));
        double p = step(v.pre, v.preH[c], a);
        v.held[c] = p;
        v.overSum[c] = 0;
    }
    subSteps();
    double mean[2];
    for (int c = 0; c < 2; ++c) mean[c] = store(v.overSum[c] / v.oversampling);
    for (int c = 0; c < 2; ++c) v.out[c] = store(mean[c] * gain(slider[2]));

    if (std::fabs(v.out[0]) > 1 || std::fabs(v.out[1]) > 1) v.clipIndicator = 1;
    if (same(v.clipIndicator, 1)) {
        if (v.sampleRate <= v.clipHoldCount) {
            v.clipHoldCount = 0;
            v.clipIndicator = 0;
        } else {
            v.clipHoldCount = store(v.clipHoldCount + 1);
        }
    }

    v.outputLimit = 2;
    io[0] = store(smaller(larger(v.out[0], -2), 2));
    io[1] = store(smaller(larger(v.out[1], -v.outputLimit), v.outputLimit));

    v.inputLevel = store((std::fabs(v.dcOut[1]) + std::fabs(v.dcOut[0])) * 0.5);
    v.inputLevelDb = store(decibels(v.inputLevel) + 18 + 3);
    v.meterFastStep = store((44100 / v.sampleRate) * 0.0033333333333333335);
    follow(v.inMeterFast, v.inputLevelDb, v.meterFastStep);
    v.meterSlowStep = store((44100 / v.sampleRate) * 0.00005);
    follow(v.inMeterSlow, v.inputLevelDb, v.meterSlowStep);
    v.inMeterFastShown = store(larger(-20, smaller(20, v.inMeterFast)));
    v.inMeterSlowShown = store(larger(-20, smaller(20, v.inMeterSlow)));

    v.outputLevel = store((std::fabs(v.out[1]) + std::fabs(v.out[0])) * 0.5);
    v.outputLevelDb = store(decibels(v.outputLevel) + 18 + 3);
    v.meterFastStep = store((44100 / v.sampleRate) * 0.0033333333333333335);
    follow(v.outMeterFast, v.outputLevelDb, v.meterFastStep);
    v.meterSlowStep = store((44100 / v.sampleRate) * 0.00005);
    follow(v.outMeterSlow, v.outputLevelDb, v.meterSlowStep);
    v.outMeterFastShown = store(larger(-20, smaller(20, v.outMeterFast)));
    v.outMeterSlowShown = store(larger(-20, smaller(20, v.outMeterSlow)));

    for (int c = 0; c < 2; ++c) {
        v.slope[c] = store(std::fabs(v.out[c] - v.prevOut[c]) * v.sampleRate);
        v.prevOut[c] = v.out[c];
    }
    for (int c = 0; c < 2; ++c) {
        if (v.slope[c] < 0.1) v.slopePeak[c] = 0;
        v.slopePeak[c] = store(larger(v.slopePeak[c], v.slope[c]));
    }
    for (int c = 0; c < 2; ++c) {
        const double scale = c == 0 ? 96000 : v.sampleRate;
        v.slopeStep[c] = 0;
        if (v.slope[c] > 0) v.slopeStep[c] = store(std::fabs(v.slope[c] / scale));
        double decay = store(std::exp(v.slopeHold[c] * (-10.1) / v.sampleRate));
        v.slopeHold[c] = store(larger(v.slopeStep[c], decay * v.slopeHold[c]));
        v.slopeHoldDb[c] = store(larger(-40, decibels(v.slopeHold[c])));
        v.slopeBar[c] = store(smaller(0, larger(-40, v.slopeHoldDb[c])));
        v.slopeDb[c] = store(decibels(v.slope[c] / v.sampleRate) - decibels(0));
    }
    v.editorWidthValue = 681;
    v.editorHeightValue = 371;
}

void Tonearm::processFloat(const float* inL, const float* inR, float* outL, float* outR, int frames,
                           const HostView& host) {
    block(host);
    for (int i = 0; i < frames; ++i) {
        io[0] = inL[i];
        io[1] = inR[i];
        sample();
        outL[i] = static_cast<float>(io[0]);
        outR[i] = static_cast<float>(io[1]);
    }
}

void Tonearm::processDouble(const double* inL, const double* inR, double* outL, double* outR, int frames,
                            const HostView& host) {
    block(host);
    for (int i = 0; i < frames; ++i) {
        io[0] = inL[i];
        io[1] = inR[i];
        sample();
        outL[i] = io[0];
        outR[i] = io[1];
    }
}

}  // namespace literal
