// The tone-arm and stylus simulation: identity, six sliders, its variables
// and sections.
#pragma once

#include "effect/StylusKernel.h"
#include "effect/TonarvoVariables.h"
#include "runtime/SharedValue.h"
#include "runtime/TPlexa.h"

class TPlexaEffect : public plexa::TPlexa {
public:
    static constexpr const char* kDescription = "MARVOLTIC - Tonarvo - 20241108";
    static constexpr const char* kVendor = "MARVOLTIC";
    static constexpr int kVendorVersion = 1000;
    static constexpr int kUniqueId = 6248;
    static constexpr int kChannelCount = 2;

    // Slider numbers of the six controls.
    enum Slider : int {
        kInputTrim = 1,
        kOutputTrim = 2,
        kCartridgeResponse = 10,
        kArmResonance = 14,
        kArmDampingControl = 15,
        kSlewLimit = 22,
    };

    TPlexaEffect();
    ~TPlexaEffect() override;

    void sliderSection() override;
    void blockSection() override;
    void sampleSection() override;
    void onOpen() override;
    void initSection() override;
    void serializeSection() override;
    void clearSignalHistory() override;
    // Draws the whole interface and applies the mouse to its controls.
    void gfxSection() override;

    // The controls are shared: parameter, editor and state calls write them
    // while the audio thread reads them.
    double sliderValue(Slider number) const { return plexa::readShared(sliderValues[number]); }
    void setSliderValue(Slider number, double value) { plexa::writeShared(sliderValues[number], value); }
    double inputTrimDb() const { return sliderValue(kInputTrim); }
    double outputTrimDb() const { return sliderValue(kOutputTrim); }
    double cartridgeResponse() const { return sliderValue(kCartridgeResponse); }
    double armResonance() const { return sliderValue(kArmResonance); }
    double armDampingControl() const { return sliderValue(kArmDampingControl); }
    double slewLimitDb() const { return sliderValue(kSlewLimit); }

    // The oversampled stylus: `n` sub-steps on both channels' held inputs,
    // accumulating into their overSum.
    void runSubSteps();

    tonarvo::TonarvoVariables v{};
    // Frames whose sub-steps had to be replayed literally (about five times
    // the cost of a normal frame): none while every value stays finite.
    std::uint64_t literalReplays = 0;

private:
    // A pure function of one value, recomputed only when that value changes:
    // the levels come from sliders that hold still for thousands of frames.
    struct Memo {
        double (*function)(double, double) = nullptr;
        double first = 0, second = 0;
        double value = 0;
        bool valid = false;
        double operator()(double x, double y = 0);
    };

    void copyStep();
    void controlLaws(double sampleRate);
    void runSubStepsLiteral(std::int32_t n);
    // The designs change only at block boundaries and at init; so do these.
    void refreshQuotients();

    tonarvo::BiquadQuotients upsampleQuotients{}, preQuotients{}, armHighPassQuotients{};
    Memo inputGain, outputGain, slewGain, stiffnessPower;
    void registerInterfaceResources();
    struct Bar;
    void drawBarBody(class EffectDrawing& draw, const Bar& bar);
    void drawBarText(EffectDrawing& draw, const Bar& bar, double shownValue);
    void setColour(double red, double green, double blue, double alpha);
    bool pointerIn(double left, double right, double top, double bottom) const;
    // A trim-style row: the left button sets the slider from x, the right
    // button restores its default.
    void handleTrimRow(Slider slider, double rowTop, double defaultValue);
    void drawExperimentalIndicator(EffectDrawing& draw);
    void drawCartridgeColumn(EffectDrawing& draw);
};
