#include "effect/TPlexaEffect.h"

#include <cmath>
#include <cstdint>
#include <cstring>

#include "effect/TonarvoLaws.h"
#include "runtime/EffectValue.h"
#include "runtime/platform/Platform.h"

using plexa::readShared;
using plexa::sanitize;
using plexa::truncInt;
using plexa::writeShared;
using tonarvo::BiquadCoefficients;
using tonarvo::BiquadState;
using tonarvo::ChannelState;
namespace laws = tonarvo::laws;

namespace {

constexpr double kTwoPi = 6.283185307179586;

// Levels in 6 dB per doubling, the unit every control and meter uses.
double gainOf(double db) { return std::pow(2.0, db / 6); }
// fmax drops the NaN of a negative level; log(0) = -inf lands on the floor.
double dbOf(double x) { return std::fmax(-400.0, 6 * std::log(x) / 0.6931471805599453); }

double sign(double x) { return x > 0 ? 1.0 : (x < 0 ? -1.0 : 0.0); }

// Same evaluation as below with the quotients formed once per design.
double biquadStep(const tonarvo::BiquadQuotients& q, BiquadState& h, double x) {
    const double y = sanitize(q.c0 * x + q.c1 * h.x1 + q.c2 * h.x2 - q.c3 * h.y1 - q.c4 * h.y2);
    h.x2 = sanitize(h.x1);
    h.x1 = sanitize(x);
    h.y2 = sanitize(h.y1);
    h.y1 = y;
    return y;
}

// The designs stay unnormalised; the quotients are formed at every use.
double biquadStep(const BiquadCoefficients& d, BiquadState& h, double x) {
    const double y = sanitize(d.b0 / d.a0 * x + d.b1 / d.a0 * h.x1 + d.b2 / d.a0 * h.x2 - d.a1 / d.a0 * h.y1 -
                              d.a2 / d.a0 * h.y2);
    h.x2 = sanitize(h.x1);
    h.x1 = sanitize(x);
    h.y2 = sanitize(h.y1);
    h.y1 = y;
    return y;
}

// Butterworth low-pass (Q = 1/sqrt 2) at w0 radians per step. Outside
// (0, pi) the design has alpha <= 0 and its poles leave the unit circle, so a
// cutoff at or above Nyquist (a high cartridge setting at a low rate) is
// pinned just below it: the filter then passes everything audible, which is
// what such a cutoff asks for. A cutoff at or below 0 Hz gets the lowest design.
void designLowPass(BiquadCoefficients& d, double w0) {
    d.w0 = std::fmin(std::fmax(sanitize(w0), tonarvo::kLowPassW0Floor), tonarvo::kLowPassW0Ceiling);
    d.alpha = sanitize(std::sin(d.w0) / 1.4142135623730951);
    d.cosW0 = sanitize(std::cos(d.w0));
    d.b0 = sanitize((1 - d.cosW0) * 0.5);
    d.b1 = sanitize(1 - d.cosW0);
    d.b2 = sanitize(d.b0);
    d.a0 = sanitize(1 + d.alpha);
    d.a1 = sanitize(-2 * d.cosW0);
    d.a2 = sanitize(1 - d.alpha);
}

// Truncation toward zero without the runtime's bias; out of range counts as
// INT32_MIN like every other integer conversion here, which runs nothing.
std::int32_t truncToInt32(double x) {
    if (!(x > -2147483649.0 && x < 2147483648.0)) return INT32_MIN;
    return static_cast<std::int32_t>(x);
}

// Meter ballistics: one step toward the level, tested again after the move
// so a meter sitting within a step of the level dithers around it.
void followLevel(double& meter, double level, double step) {
    if (level > meter) meter = sanitize(meter + step);
    if (meter > level) meter = sanitize(meter - step);
    if (meter > 20)
        meter = 20;
    else if (meter < -20)
        meter = -20;
}

void resetHistory(BiquadState& h) { h = BiquadState{}; }

bool sameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

double gainFunction(double db, double) { return gainOf(db); }
double powerFunction(double base, double exponent) { return std::pow(base, exponent); }

}  // namespace

TPlexaEffect::TPlexaEffect() {
    effectName = kDescription;
    productString = kDescription;
    programName = kDescription;
    vendorString = kVendor;
    vendorVersion = kVendorVersion;
    uniqueId = kUniqueId;
    channelCount = kChannelCount;

    addSlider(kInputTrim, nullptr, 0, -24, 24, 0.001, "", "", "", "OSK's Input Trim");
    addSlider(kOutputTrim, nullptr, 0, -24, 24, 0.001, "", "", "", "OSK's Output Trim");
    addSlider(kCartridgeResponse, nullptr, 0, 0, 2, 0.001, "", "", "", "OSK's Cartridge Frequency Response");
    addSlider(kArmResonance, nullptr, -24, -24, 24, 0.001, "", "", "", "OSK's Tonearm Resonance Frequency, 10-100 Hz");
    addSlider(kArmDampingControl, nullptr, -24, -24, 24, 0.001, "", "", "",
              "OSK's Tonearm Oscillation Damping Factor To Reduce Resonance");
    addSlider(kSlewLimit, nullptr, 25.2, 0, 48, 0.01, "", "", "", "OSK's Slew Rate Limit (dB/sample)");

    inputGain.function = &gainFunction;
    outputGain.function = &gainFunction;
    slewGain.function = &gainFunction;
    stiffnessPower.function = &powerFunction;
    refreshQuotients();
}

double TPlexaEffect::Memo::operator()(double x, double y) {
    if (!valid || !sameBits(x, first) || !sameBits(y, second)) {
        first = x;
        second = y;
        value = function(x, y);
        valid = true;
    }
    return value;
}

void TPlexaEffect::refreshQuotients() {
    upsampleQuotients = tonarvo::quotientsOf(v.upsampleFilter);
    preQuotients = tonarvo::quotientsOf(v.preFilter);
    armHighPassQuotients = tonarvo::quotientsOf(v.armHighPass);
}

TPlexaEffect::~TPlexaEffect() = default;

void TPlexaEffect::onOpen() {
    openRuntime();
    v = tonarvo::TonarvoVariables{};
    refreshQuotients();
    registerInterfaceResources();
}

void TPlexaEffect::registerInterfaceResources() {
    static const char* const kImageNames[] = {
        "MARVOLTIC_LogoTealGlow.PNG", "MARVOLTIC_WebLinkText.png", "MARVOLTIC_LogoTealGlow_Stylus.png",
        "50x50square_top_ON.png",     "Clipping_OFF.png",          "Clipping_ON.png",
        "EXPERIMENTAL_OFF.png",       "EXPERIMENTAL_ON.png",
    };
    for (int handle = 0; handle < 8; ++handle) setImageName(handle, kImageNames[handle]);

    static const char* const kTexts[] = {
        "Courier New",
        "v",
        " input gain trim -",
        " input gain trim +",
        " dB",
        " input VU (SPEC) -",
        " input VU (SPEC) +",
        " dB",
        " input VU (SLOW) -",
        " input VU (SLOW) +",
        " dB",
        "output VU (SLOW) -",
        "output VU (SLOW) +",
        " dB",
        "output VU (SPEC) -",
        "output VU (SPEC) +",
        " dB",
        "output gain trim -",
        "output gain trim +",
        " dB",
        "slew rate R -",
        "slew rate R +",
        " dB FS",
        "(",
        " dB/sample)",
        "slew rate R -",
        "slew rate R +",
        " dB FS",
        "(",
        " dB/sample)",
        "tracking force -",
        "tracking force ",
        " grams (1-3 g, heavier lowers slew-rate)",
        "tone-arm resonance -",
        "tone-arm resonance ",
        " Hz (10-100 Hz)",
        "tone-arm oscillation damping factor -",
        "tone-arm oscillation damping factor ",
        " (1-12)",
        "c", "a", "r", "t", "r", "i", "d", "g", "e",  // cartridge
        "f", "r", "e", "q",                           // freq
        "r", "e", "s", "p", "o", "n", "s", "e",       // response
        "Delta50%",
        "Hz",
        "RESET",
    };
    static_assert(sizeof kTexts / sizeof kTexts[0] == 63, "texts 10000 to 10062");
    for (int i = 0; i < 63; ++i) setString(10000 + i, kTexts[i]);
}

// Runs at the start of every section, so on the parameter thread as well as
// the audio thread: the host values and their copies are shared.
void TPlexaEffect::copyStep() {
    writeShared(v.sampleRate, sanitize(readShared(v.hostSampleRate)));
    writeShared(v.channels, sanitize(readShared(v.hostChannels)));
    writeShared(v.blockSize, sanitize(readShared(v.hostBlockSize)));
    writeShared(v.tempo, sanitize(readShared(v.hostTempo)));
    writeShared(v.timeSigNumerator, sanitize(readShared(v.hostTimeSigNumerator)));
    writeShared(v.timeSigDenominator, sanitize(readShared(v.hostTimeSigDenominator)));
}

void TPlexaEffect::sliderSection() { copyStep(); }

void TPlexaEffect::initSection() {
    // What the editor reads is shared with its paint, which may be running.
    writeShared(frameRate, 30);
    setColour(0, 0, 0, 0);

    // The host's values, then their copies: each copy depends on its own
    // value only, so the copy step gives what copying each in turn gives.
    const double sampleRate = sanitize(static_cast<double>(hostSampleRate()));
    writeShared(v.hostSampleRate, sampleRate);
    writeShared(v.hostChannels, sanitize(static_cast<double>(hostInputChannels())));
    writeShared(v.hostBlockSize, sanitize(static_cast<double>(hostBlockSize())));
    writeShared(v.hostTempo, sanitize(hostTempo()));
    copyStep();

    writeShared(v.buildDate, 20241108);
    writeShared(v.quietTime, sanitize(static_cast<double>(platform::calendarSeconds())));

    v.oversampling = 128;
    v.outputScale = 11500000;
    v.stiffnessExponent = 1.1;
    v.armMass = 0.00027;
    v.physicsStep = sanitize(1.0 / 96000);
    v.denormalOffset = 1e-30;
    for (ChannelState* ch : {&v.left, &v.right}) {
        ch->dcPrevIn = 0;
        ch->dcOut = 0;
        ch->stylusPosition = 0;
    }

    // Designed for 128 sub-steps whatever the rate; the first block redesigns.
    v.upsampleCutoffHz = 40000;
    designLowPass(v.upsampleFilter, 251327.41228718346 / (128 * sampleRate));
    for (ChannelState* ch : {&v.left, &v.right}) {
        resetHistory(ch->upsampleA);
        resetHistory(ch->upsampleB);
    }
    v.preCutoffHz = 22000;
    designLowPass(v.preFilter, 138230.07675795088 / (128 * sampleRate));
    resetHistory(v.left.preFilter);
    resetHistory(v.right.preFilter);

    // The rate cancels out of w0, so the arm high-pass is the same at every
    // rate, like the arm's own 96 kHz time step. Its zeros are (1 - 1/z)^2.
    BiquadCoefficients& hp = v.armHighPass;
    v.armTau = sanitize(0.00318 / (8 * sampleRate));
    v.armFreq = sanitize(1 / (kTwoPi * v.armTau));
    hp.w0 = sanitize(kTwoPi * v.armFreq / sampleRate);
    hp.cosW0 = sanitize(std::cos(hp.w0));
    hp.alpha = sanitize(std::sin(hp.w0) / 1.4142135623730951);
    hp.b0 = sanitize((1 + hp.alpha) * 0.5);
    hp.b1 = sanitize(-(1 + hp.alpha));
    hp.b2 = sanitize((1 + hp.alpha) * 0.5);
    hp.a0 = sanitize(1 + hp.alpha);
    hp.a1 = sanitize(-2 * hp.cosW0);
    hp.a2 = sanitize(1 - hp.alpha);
    resetHistory(v.left.armHighPass);
    resetHistory(v.right.armHighPass);
    refreshQuotients();
}

// The shown values go to the editor's paint, hence their shared stores.
void TPlexaEffect::controlLaws(double sampleRate) {
    writeShared(v.trackingForceGrams, laws::trackingForceGrams(slewLimitDb()));
    // Still the previous frame's oversampling: the step is spread over the
    // sub-steps that frame's slopes asked for.
    v.slewStep = sanitize(slewGain(-slewLimitDb()) / v.oversampling * (96000 / sampleRate));
    v.armStiffness = laws::armStiffness(armResonance());
    writeShared(v.resonanceShownHz, laws::resonanceShownHz(v.armStiffness));
    v.armDamping = laws::armDamping(armDampingControl());
    writeShared(v.dampingShown, laws::dampingShown(v.armDamping));
    // A static output needs no oversampling: two sub-steps keep the filters fed.
    if (plexa::isNonZero(v.slopeLeft) || plexa::isNonZero(v.slopeRight))
        v.oversampling = sanitize(96000 / sampleRate * 128);
    else
        v.oversampling = 2;
    writeShared(v.cartridgeShownHz, laws::cartridgeShownHz(cartridgeResponse()));
    v.upsampleCutoffHz = sanitize(26000 * cartridgeResponse() + 14000);
    v.preCutoffHz = sanitize(8000 * cartridgeResponse() + 14000);
}

void TPlexaEffect::blockSection() {
    const double now = sanitize(platform::timeOfDaySeconds());
    if (now - v.lastTickTime > 0.25) {
        if (plexa::isNonZero(v.displayUpdateRequest)) {
            v.displayUpdateRequest = 0;
            hostUpdateDisplay();
        }
        v.lastTickTime = sanitize(platform::timeOfDaySeconds());
    }

    if (!plexa::valuesEqual(v.pdcDelay, v.lastPdcDelay)) {
        v.lastPdcDelay = sanitize(v.pdcDelay);
        hostSetInitialDelay(truncInt(v.pdcDelay));
    }

    // Without time information the previous values stand. The slider
    // section's copy step reads them on the parameter thread.
    double tempo = readShared(v.hostTempo);
    double numerator = readShared(v.hostTimeSigNumerator);
    double denominator = readShared(v.hostTimeSigDenominator);
    if (hostTempoAndTimeSig(&tempo, &numerator, &denominator)) {
        writeShared(v.hostTempo, sanitize(tempo));
        writeShared(v.hostTimeSigNumerator, sanitize(numerator));
        writeShared(v.hostTimeSigDenominator, sanitize(denominator));
    }
    v.playState = (hostTransportPlaying() ? 1 : 0) + (hostTransportRecording() ? 4 : 0);
    v.beatPosition = sanitize(hostPpqPosition());

    copyStep();
    const double sampleRate = readShared(v.sampleRate);

    // The sub-step rate in force now is the one the last frame chose.
    designLowPass(v.upsampleFilter, v.upsampleCutoffHz * kTwoPi / (v.oversampling * sampleRate));
    designLowPass(v.preFilter, kTwoPi * v.preCutoffHz / sampleRate);
    refreshQuotients();
}

void TPlexaEffect::runSubSteps() {
    std::int32_t n = truncToInt32(v.oversampling);
    if (n > plexa::kLoopGuard) n = plexa::kLoopGuard;
    if (n <= 0) return;
    // A positive step is what the kernel's clamp assumes; anything odd, or a
    // frame in which a value overflowed, goes the literal way.
    if (v.slewStep > 0 && tonarvo::kernel::runStylus(upsampleQuotients, v.slewStep, n, v.left, v.right)) return;
    ++literalReplays;
    runSubStepsLiteral(n);
}

void TPlexaEffect::runSubStepsLiteral(std::int32_t n) {
    for (std::int32_t k = 0; k < n; ++k) {
        for (ChannelState* ch : {&v.left, &v.right}) {
            const double u = biquadStep(v.upsampleFilter, ch->upsampleA, ch->heldInput);
            double d = sanitize(u - ch->stylusPosition);
            if (std::fabs(d) > v.slewStep) d = sanitize(sign(d) * v.slewStep);  // the stylus cannot go faster
            ch->stylusPosition = sanitize(ch->stylusPosition + d);
            const double out = biquadStep(v.upsampleFilter, ch->upsampleB, ch->stylusPosition);
            ch->overSum = sanitize(ch->overSum + out);
        }
    }
}

void TPlexaEffect::sampleSection() {
    copyStep();
    // The copy step of a slider section elsewhere stores the same rate, so
    // one read serves the whole frame.
    const double sampleRate = readShared(v.sampleRate);
    controlLaws(sampleRate);

    ChannelState* const channels[2] = {&v.left, &v.right};
    for (int c = 0; c < 2; ++c) {
        ChannelState& ch = *channels[c];
        // A finite sample beyond any real signal is garbage (an upstream
        // fault, integer full scale sent as float): like a non-finite one it
        // counts as 0, instead of pinning the stylus at the limit for minutes.
        double x = sampleValues[c];
        if (std::isfinite(x) && std::fabs(x) > tonarvo::kGarbageInputLevel) x = 0;
        // The offset keeps the recursive filters out of denormals in silence.
        const double in = sanitize(inputGain(inputTrimDb()) * x + v.denormalOffset);
        ch.dcOut = sanitize(ch.dcOut * 0.99999 + in - ch.dcPrevIn);
        ch.dcPrevIn = sanitize(in);
    }

    for (ChannelState* chp : channels) {
        ChannelState& ch = *chp;
        // Mass on a spring driven by the groove, viscous damping, one
        // semi-implicit Euler step of 1/96000 s whatever the sample rate.
        const double f = sanitize((ch.dcOut - ch.armPosition) * v.armStiffness);
        const double g = sanitize(v.armDamping * ch.armVelocity);
        ch.armVelocity = sanitize(ch.armVelocity + (f - g) / v.armMass * v.physicsStep);
        ch.armPosition = sanitize(ch.armPosition + ch.armVelocity * v.physicsStep);
        const double h = biquadStep(armHighPassQuotients, ch.armHighPass, ch.armPosition);
        // A stiffer arm moves less for the same groove; normalise it back.
        const double a = sanitize(h * v.outputScale / stiffnessPower(v.armStiffness, v.stiffnessExponent));
        const double p = biquadStep(preQuotients, ch.preFilter, a);
        ch.heldInput = sanitize(p);
        ch.overSum = 0;
    }

    runSubSteps();

    // Divided by the unrounded count: a fraction of a sub-step short of unity.
    const double meanLeft = sanitize(v.left.overSum / v.oversampling);
    const double meanRight = sanitize(v.right.overSum / v.oversampling);
    v.outLeft = sanitize(meanLeft * outputGain(outputTrimDb()));
    v.outRight = sanitize(meanRight * outputGain(outputTrimDb()));

    if (std::fabs(v.outLeft) > 1 || std::fabs(v.outRight) > 1) writeShared(v.clipIndicator, 1);
    // A new clip while lit does not restart the hold.
    if (plexa::valuesEqual(v.clipIndicator, 1)) {
        if (sampleRate <= v.clipHoldCount) {
            v.clipHoldCount = 0;
            writeShared(v.clipIndicator, 0);
        } else {
            v.clipHoldCount = sanitize(v.clipHoldCount + 1);
        }
    }

    v.outputLimit = 2;
    sampleValues[0] = sanitize(std::fmin(std::fmax(v.outLeft, -2.0), 2.0));
    sampleValues[1] = sanitize(std::fmin(std::fmax(v.outRight, -v.outputLimit), v.outputLimit));

    v.inputLevel = sanitize((std::fabs(v.right.dcOut) + std::fabs(v.left.dcOut)) * 0.5);
    v.inputLevelDb = sanitize(dbOf(v.inputLevel) + 18 + 3);
    v.meterFastStep = sanitize(44100 / sampleRate * 0.0033333333333333335);
    followLevel(v.inMeterFast, v.inputLevelDb, v.meterFastStep);
    v.meterSlowStep = sanitize(44100 / sampleRate * 0.00005);
    followLevel(v.inMeterSlow, v.inputLevelDb, v.meterSlowStep);
    writeShared(v.inMeterFastShown, sanitize(std::fmax(-20.0, std::fmin(20.0, v.inMeterFast))));
    writeShared(v.inMeterSlowShown, sanitize(std::fmax(-20.0, std::fmin(20.0, v.inMeterSlow))));

    // The meters see the level before the limit.
    v.outputLevel = sanitize((std::fabs(v.outRight) + std::fabs(v.outLeft)) * 0.5);
    v.outputLevelDb = sanitize(dbOf(v.outputLevel) + 18 + 3);
    v.meterFastStep = sanitize(44100 / sampleRate * 0.0033333333333333335);
    followLevel(v.outMeterFast, v.outputLevelDb, v.meterFastStep);
    v.meterSlowStep = sanitize(44100 / sampleRate * 0.00005);
    followLevel(v.outMeterSlow, v.outputLevelDb, v.meterSlowStep);
    writeShared(v.outMeterFastShown, sanitize(std::fmax(-20.0, std::fmin(20.0, v.outMeterFast))));
    writeShared(v.outMeterSlowShown, sanitize(std::fmax(-20.0, std::fmin(20.0, v.outMeterSlow))));

    v.slopeLeft = sanitize(std::fabs(v.outLeft - v.prevOutLeft) * sampleRate);
    v.slopeRight = sanitize(std::fabs(v.outRight - v.prevOutRight) * sampleRate);
    v.prevOutLeft = sanitize(v.outLeft);
    v.prevOutRight = sanitize(v.outRight);

    // A slope below 0.1 drops the held peak first; one store, as the paint reads it.
    writeShared(v.slopePeakLeft, sanitize(std::fmax(v.slopeLeft < 0.1 ? 0.0 : v.slopePeakLeft, v.slopeLeft)));
    writeShared(v.slopePeakRight, sanitize(std::fmax(v.slopeRight < 0.1 ? 0.0 : v.slopePeakRight, v.slopeRight)));

    // The hold decays faster the higher it stands.
    v.slopeStepLeft = v.slopeLeft > 0 ? sanitize(std::fabs(v.slopeLeft / 96000)) : 0;
    const double decayLeft = sanitize(std::exp(v.slopeHoldLeft * (-10.1) / sampleRate));
    v.slopeHoldLeft = sanitize(std::fmax(v.slopeStepLeft, decayLeft * v.slopeHoldLeft));
    writeShared(v.slopeHoldDbLeft, sanitize(std::fmax(-40.0, dbOf(v.slopeHoldLeft))));
    writeShared(v.slopeBarLeft, sanitize(std::fmin(0.0, std::fmax(-40.0, v.slopeHoldDbLeft))));
    writeShared(v.slopeDbLeft, sanitize(dbOf(v.slopeLeft / sampleRate) - dbOf(0)));

    // The right meter scales by the host rate where the left uses 96 kHz.
    v.slopeStepRight = v.slopeRight > 0 ? sanitize(std::fabs(v.slopeRight / sampleRate)) : 0;
    const double decayRight = sanitize(std::exp(v.slopeHoldRight * (-10.1) / sampleRate));
    v.slopeHoldRight = sanitize(std::fmax(v.slopeStepRight, decayRight * v.slopeHoldRight));
    writeShared(v.slopeHoldDbRight, sanitize(std::fmax(-40.0, dbOf(v.slopeHoldRight))));
    writeShared(v.slopeBarRight, sanitize(std::fmin(0.0, std::fmax(-40.0, v.slopeHoldDbRight))));
    writeShared(v.slopeDbRight, sanitize(dbOf(v.slopeRight / sampleRate) - dbOf(0)));

    writeShared(v.editorWidthValue, 681);
    writeShared(v.editorHeightValue, 371);
}

// What the signal leaves behind from frame to frame; the switch-on's init
// section sets the rest as a fresh instance has it. The meters and the
// editor's own state are the editor's business.
void TPlexaEffect::clearSignalHistory() {
    v.left = ChannelState{};
    v.right = ChannelState{};
    v.outLeft = v.outRight = v.prevOutLeft = v.prevOutRight = 0;
    v.slopeLeft = v.slopeRight = 0;
    v.clipHoldCount = 0;
    writeShared(v.clipIndicator, 0);
}

void TPlexaEffect::serializeSection() {
    plexa::FileRecord& stream = stateStream();
    v.serializeIndex = 1;
    for (std::int32_t round = 0; round < plexa::kLoopGuard; ++round) {
        streamValue(stream, sliderValues[truncInt(v.serializeIndex) & 127]);
        v.serializeIndex = sanitize(v.serializeIndex + 1);
        if (!(v.serializeIndex <= 64)) break;
    }
}
