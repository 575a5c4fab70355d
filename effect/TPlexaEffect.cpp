#include "effect/TPlexaEffect.h"

#include "runtime/EffectValue.h"

using plexa::sanitize;
using plexa::truncInt;

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
}

TPlexaEffect::~TPlexaEffect() = default;

void TPlexaEffect::onOpen() {
    openRuntime();
    v = tonarvo::TonarvoVariables{};
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

void TPlexaEffect::copyStep() {
    v.sampleRate = sanitize(v.hostSampleRate);
    v.channels = sanitize(v.hostChannels);
    v.blockSize = sanitize(v.hostBlockSize);
    v.tempo = sanitize(v.hostTempo);
    v.timeSigNumerator = sanitize(v.hostTimeSigNumerator);
    v.timeSigDenominator = sanitize(v.hostTimeSigDenominator);
}

void TPlexaEffect::sliderSection() { copyStep(); }

// The simulation's sections arrive with the tone-arm model; until then the
// effect passes audio through unchanged.
void TPlexaEffect::initSection() {}
void TPlexaEffect::blockSection() {}
void TPlexaEffect::sampleSection() {}

void TPlexaEffect::serializeSection() {
    plexa::FileRecord& stream = stateStream();
    v.serializeIndex = 1;
    for (std::int32_t round = 0; round < plexa::kLoopGuard; ++round) {
        streamValue(stream, sliderValues[truncInt(v.serializeIndex) & 127]);
        v.serializeIndex = sanitize(v.serializeIndex + 1);
        if (!(v.serializeIndex <= 64)) break;
    }
}
