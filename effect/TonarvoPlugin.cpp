#include "effect/TonarvoPlugin.h"

#include "effect/TonarvoInstance.h"
#include "effect/TonarvoLaws.h"

namespace tonarvo {

namespace {

double same(double x) { return x; }
double cartridgeHz(double response) { return laws::cartridgeShownHz(response); }
double cartridgeResponse(double hz) { return (hz - 12950) / 18250; }
double resonanceHz(double resonance) { return laws::resonanceShownHz(laws::armStiffness(resonance)); }
double armResonance(double hz) { return (hz / 0.9 - 10 - 51.400001) / 2.1; }
double dampingFactor(double control) { return laws::dampingShown(laws::armDamping(control)); }
double dampingControl(double factor) { return (factor / 222.2 / 0.005 - 5.9) / 0.20834; }
double grams(double slewLimitDb) { return laws::trackingForceGrams(slewLimitDb); }
double slewLimitDb(double grams) { return (grams - 0.9) * 22; }

// In parameter order, what the editor names each control.
const wrap::ValueText kValueTexts[] = {
    {"dB", 2, true, &same, &same},                          // input trim
    {"dB", 2, true, &same, &same},                          // output trim
    {"Hz", 0, false, &cartridgeHz, &cartridgeResponse},     // cartridge frequency response
    {"Hz", 2, false, &resonanceHz, &armResonance},          // tone-arm resonance
    {"", 2, false, &dampingFactor, &dampingControl},        // tone-arm damping factor
    {"g", 2, false, &grams, &slewLimitDb},                  // tracking force
};

}  // namespace

std::uint32_t tailFrames(double sampleRate) {
    // The tone arm takes one physics step per frame whatever the rate, so
    // it rings for a number of frames, not of seconds. Measured (the
    // PluginModel tail test, TONARVO_TAIL_RATES=8000,...,384000): after a
    // near-full-scale burst the output stays above -120 dBFS for at most
    // 670,798 frames (16 kHz; 599,479 at 44.1 kHz, 611,601 at 96 kHz,
    // 645,043 at 192 kHz), the longest with the resonance at its lowest and
    // both trims at +24 dB; the rule adds a quarter.
    return sampleRate > 0.0 ? 840000u : 0u;
}

const wrap::PluginDescription& pluginDescription() {
    static const wrap::PluginDescription description{&newInstance, kValueTexts,
                                                     sizeof kValueTexts / sizeof kValueTexts[0], &tailFrames};
    return description;
}

}  // namespace tonarvo
