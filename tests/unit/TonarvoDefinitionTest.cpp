#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "effect/TPlexaEffect.h"

TEST(TonarvoDefinition, IdentityAndSliders) {
    TPlexaEffect effect;
    EXPECT_EQ(effect.effectName, "MARVOLTIC - Tonarvo - 20241108");
    EXPECT_EQ(effect.productString, effect.effectName);
    EXPECT_EQ(effect.programName, effect.effectName);
    EXPECT_EQ(effect.vendorString, "MARVOLTIC");
    EXPECT_EQ(effect.vendorVersion, 1000);
    EXPECT_EQ(effect.uniqueId, 0x1868);
    EXPECT_EQ(effect.channelCount, 2);

    struct Expected {
        int number;
        const char* name;
        double value, minimum, maximum, step;
    };
    const Expected sliders[] = {
        {1, "OSK's Input Trim", 0, -24, 24, 0.001},
        {2, "OSK's Output Trim", 0, -24, 24, 0.001},
        {10, "OSK's Cartridge Frequency Response", 0, 0, 2, 0.001},
        {14, "OSK's Tonearm Resonance Frequency, 10-100 Hz", -24, -24, 24, 0.001},
        {15, "OSK's Tonearm Oscillation Damping Factor To Reduce Resonance", -24, -24, 24, 0.001},
        {22, "OSK's Slew Rate Limit (dB/sample)", 25.2, 0, 48, 0.01},
    };
    ASSERT_EQ(effect.sliderCount(), 6);
    for (int i = 0; i < 6; ++i) {
        const plexa::SliderRecord& record = effect.sliderRecords[static_cast<std::size_t>(i)];
        SCOPED_TRACE(sliders[i].name);
        EXPECT_EQ(record.number, sliders[i].number);
        EXPECT_EQ(record.name, sliders[i].name);
        EXPECT_EQ(record.label, "");
        EXPECT_EQ(record.boundVariable, nullptr);
        EXPECT_TRUE(record.optionTexts.empty());
        EXPECT_EQ(effect.sliderValues[record.number], sliders[i].value);
        EXPECT_EQ(record.minimum, sliders[i].minimum);
        EXPECT_EQ(record.maximum, sliders[i].maximum);
        EXPECT_EQ(record.step, sliders[i].step);
    }
    int declared = 0;
    for (int n = 0; n < 128; ++n)
        if (effect.sliderValues[n] != 0) ++declared;
    EXPECT_EQ(declared, 3);  // 14, 15 and 22 start away from zero
}

TEST(TonarvoDefinition, OpenZeroesEveryVariableAndRegistersTheInterface) {
    TPlexaEffect effect;
    std::memset(&effect.v, 0x5A, sizeof effect.v);
    effect.sliderValues[22] = 30;
    effect.onOpen();
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(&effect.v);
    EXPECT_TRUE(std::all_of(bytes, bytes + sizeof effect.v, [](unsigned char b) { return b == 0; }));
    EXPECT_EQ(effect.sliderValues[22], 30.0);

    EXPECT_EQ(effect.stringTable.size(), 63u);
    EXPECT_EQ(effect.stringAt(10000), "Courier New");
    EXPECT_EQ(effect.stringAt(10032), " grams (1-3 g, heavier lowers slew-rate)");
    std::string letters;
    for (int handle = 10039; handle <= 10059; ++handle) letters += effect.stringAt(handle);
    EXPECT_EQ(letters, "cartridgefreqresponse");
    EXPECT_EQ(effect.stringAt(10062), "RESET");
    EXPECT_EQ(effect.imageNames.size(), 8u);
    EXPECT_EQ(effect.imageNames.at(0), "MARVOLTIC_LogoTealGlow.PNG");
    EXPECT_EQ(effect.imageNames.at(7), "EXPERIMENTAL_ON.png");
}

TEST(TonarvoDefinition, FreshStateIsTheSixtyFourSliderValues) {
    TPlexaEffect effect;
    void* data = nullptr;
    ASSERT_EQ(effect.writeStateChunk(&data), 260);
    float values[65];
    std::memcpy(values, data, sizeof values);
    EXPECT_EQ(values[0], -1000.0f);
    for (int n = 1; n <= 64; ++n) {
        const float expected = n == 22 ? 25.2f : (n == 14 || n == 15) ? -24.0f : 0.0f;
        EXPECT_EQ(values[n], expected) << "slider " << n;
    }
    EXPECT_EQ(static_cast<double>(values[22]), 25.200000762939453);
    EXPECT_EQ(effect.v.serializeIndex, 65.0);
    EXPECT_EQ(effect.sliderValues[22], 25.2);  // saving rounds only the copy

    // Undeclared slots travel too, and restore as read, without range checks.
    values[22] = 100.0f;
    values[64] = 3.0f;
    TPlexaEffect other;
    EXPECT_EQ(other.readStateChunk(values, 260), 260);
    EXPECT_EQ(other.sliderValues[22], 100.0);
    EXPECT_EQ(other.sliderValues[64], 3.0);
    EXPECT_EQ(other.sliderValues[65], 0.0);
}
