// A deliberately plain model of the tone-arm effect: every formula evaluated
// as written, one stored value at a time, over its own flat struct. It shares
// no code with the plug-in, so the plug-in can be compared with it bit for bit.
#pragma once

#include <cstdint>
#include <vector>

namespace literal {

// What the host tells the effect. Mirrors the adapter's defaults.
struct HostView {
    float sampleRate = 44100.0f;
    std::int32_t blockSize = 1024;
    std::int32_t inputs = 2;
    bool hasTimeInfo = true;
    double tempo = 120.0;
    std::int32_t timeSigNumerator = 4;
    std::int32_t timeSigDenominator = 4;
    bool playing = true;
    bool recording = false;
    double ppqPosition = 0.0;
};

struct Design {
    double w0, alpha, cosW0, b0, b1, b2, a0, a1, a2;
};

struct History {
    double x1, x2, y1, y2;
};

// Every variable the sections read or write. Channel 0 is left, 1 is right.
struct Vars {
    double hostSampleRate, sampleRate, hostChannels, channels, hostBlockSize, blockSize;
    double hostTempo, tempo, hostTimeSigNumerator, timeSigNumerator, hostTimeSigDenominator, timeSigDenominator;
    double playState, beatPosition;
    double outputScale, stiffnessExponent, armMass, physicsStep, denormalOffset, outputLimit;
    double editorWidthValue, editorHeightValue;
    Design upsample, pre, armHp;
    double upsampleCutoffHz, preCutoffHz, armTau, armFreq;

    double dcPrevIn[2], dcOut[2], armPosition[2], armVelocity[2];
    History armHpH[2], preH[2], upA[2], upB[2];
    double stylus[2], held[2], overSum[2];
    double out[2], prevOut[2], slope[2];

    double slewStep, oversampling, armStiffness, armDamping;
    double trackingForceGrams, resonanceShownHz, dampingShown, cartridgeShownHz;

    double clipIndicator, clipHoldCount;
    double inputLevel, inputLevelDb, outputLevel, outputLevelDb, meterFastStep, meterSlowStep;
    double inMeterFast, inMeterSlow, outMeterFast, outMeterSlow;
    double inMeterFastShown, inMeterSlowShown, outMeterFastShown, outMeterSlowShown;
    double slopePeak[2], slopeStep[2], slopeHold[2], slopeHoldDb[2], slopeBar[2], slopeDb[2];
};

class Tonearm {
public:
    Tonearm();

    // Host-side events, in the order a host sends them.
    void open();
    void resume(const HostView& host);
    // The host's normalised parameter write, quantised like the runtime does.
    void setParameter(int index, float normalized);
    // A chunk restore: marker check, first-restore init, 64 slider floats.
    void restore(const std::vector<float>& chunk, const HostView& host);
    std::vector<float> save() const;

    void processFloat(const float* inL, const float* inR, float* outL, float* outR, int frames,
                      const HostView& host);
    void processDouble(const double* inL, const double* inR, double* outL, double* outR, int frames,
                       const HostView& host);

    double slider[128] = {};
    Vars v{};
    std::uint32_t restores = 0;

private:
    void init(const HostView& host);
    void block(const HostView& host);
    void sample();
    void subSteps();

    double io[2] = {};
};

// The slider numbers behind host parameters 0 to 5.
inline constexpr int kSliderOfParameter[6] = {1, 2, 10, 14, 15, 22};

}  // namespace literal
