// Every variable of the tone-arm effect. All are effect values (doubles under
// the store rule); opening the effect zeroes the whole set at once.
#pragma once

namespace tonarvo {

// Bounds of a low-pass design's w0, in radians per step. The ceiling sits
// just below pi (a -3 dB point at 99.8 % of Nyquist): high enough that the
// designs the defaults produce keep their exact coefficients, the first
// block's 22 kHz pre-filter at 44.1 kHz (w0 = 0.99773 pi) among them, and no
// higher, since the closer to pi the longer a pinned design rings at Nyquist
// after a restart.
inline constexpr double kLowPassW0Ceiling = 0.998 * 3.141592653589793;
inline constexpr double kLowPassW0Floor = 1e-6;

// An input sample beyond +60 dBFS is no signal: a floating-point mix runs
// over full scale, but not by a thousand times, while integer full scale
// sent as float (32767) and the debris of a faulty plug-in lie far above.
inline constexpr double kGarbageInputLevel = 1024.0;

// Filter design, kept unnormalised: the coefficients are divided by a0 at use.
struct BiquadCoefficients {
    double w0, alpha, cosW0, b0, b1, b2, a0, a1, a2;
};

struct BiquadState {
    double x1, x2, y1, y2;
};

// What each channel carries from frame to frame.
struct ChannelState {
    double dcPrevIn, dcOut;           // DC blocker
    double armPosition, armVelocity;  // tone-arm model
    BiquadState armHighPass;
    BiquadState preFilter;
    BiquadState upsampleA;  // before the slew limiter
    BiquadState upsampleB;  // after it
    double stylusPosition;
    double heldInput;  // pre-filter output, held over the frame's sub-steps
    double overSum;
};

struct TonarvoVariables {
    // Host values and their per-section copies.
    double hostSampleRate, sampleRate;
    double hostChannels, channels;
    double hostBlockSize, blockSize;
    double hostTempo, tempo;
    double hostTimeSigNumerator, timeSigNumerator;
    double hostTimeSigDenominator, timeSigDenominator;
    double playState, beatPosition;
    double pdcDelay, lastPdcDelay;
    double lastTickTime, displayUpdateRequest;
    double buildDate;
    double quietTime;  // calendar seconds; drives the EXPERIMENTAL indicator

    // Simulation constants, set by the init section.
    double outputScale, stiffnessExponent, armMass, physicsStep, denormalOffset, outputLimit;
    double editorWidthValue, editorHeightValue;

    // Filter designs and their cutoffs.
    BiquadCoefficients upsampleFilter, preFilter, armHighPass;
    double upsampleCutoffHz, preCutoffHz;
    double armTau, armFreq;

    ChannelState left, right;
    double outLeft, outRight;
    double prevOutLeft, prevOutRight;
    double slopeLeft, slopeRight;

    // Control laws, evaluated every sample frame.
    double slewStep, oversampling, armStiffness, armDamping;
    double trackingForceGrams, resonanceShownHz, dampingShown, cartridgeShownHz;

    // Indicator and meters.
    double clipIndicator, clipHoldCount;
    double inputLevel, inputLevelDb, outputLevel, outputLevelDb;
    double meterFastStep, meterSlowStep;
    double inMeterFast, inMeterSlow, outMeterFast, outMeterSlow;
    double inMeterFastShown, inMeterSlowShown, outMeterFastShown, outMeterSlowShown;
    double slopePeakLeft, slopePeakRight;
    double slopeStepLeft, slopeHoldLeft, slopeHoldDbLeft, slopeBarLeft, slopeDbLeft;
    double slopeStepRight, slopeHoldRight, slopeHoldDbRight, slopeBarRight, slopeDbRight;

    double serializeIndex;

    // Interface drawing state, kept between editor frames.
    double colorR, colorG, colorB, colorA;
    double fontSlot;
    double glowPhase, flickerBias;
    double frameEditorWidth, frameEditorHeight;
    double frameMouseCap, frameMouseX, frameMouseY;
};

}  // namespace tonarvo
