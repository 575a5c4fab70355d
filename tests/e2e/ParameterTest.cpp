// The six parameters and the single program as a host sees them.
#include "PluginHost.h"

namespace e2e {
namespace {

struct ParameterRow {
    const char* name;
    float initial;  // normalised value read right after creation
    const char* display;
};

const ParameterRow kParameters[] = {
    {"OSK's Input Trim", 0.5f, "0.00"},
    {"OSK's Output Trim", 0.5f, "0.00"},
    {"OSK's Cartridge Frequency Response", 0.0f, "0.00"},
    {"OSK's Tonearm Resonance Frequency, 10-100 Hz", 0.0f, "-24.00"},
    {"OSK's Tonearm Oscillation Damping Factor To Reduce Resonance", 0.0f, "-24.00"},
    {"OSK's Slew Rate Limit (dB/sample)", static_cast<float>(25.2 / 48.0), "25.20"},
};

TEST(Parameters, NamesLabelsDisplaysAndInitialValues) {
    RecordingHost::reset();
    TonarvoInstance instance;
    ASSERT_NE(instance.effect, nullptr);
    ASSERT_EQ(instance.effect->numParams, 6);
    // Before and after open/switch-on: neither touches the slider values.
    for (int round = 0; round < 2; ++round) {
        for (VstInt32 p = 0; p < 6; ++p) {
            SCOPED_TRACE("parameter " + std::to_string(p) + " round " + std::to_string(round));
            const ParameterRow& row = kParameters[p];
            VstIntPtr answer = -1;
            const TextBuffer name = instance.textBuffer(effGetParamName, p, &answer);
            EXPECT_EQ(answer, 0);
            EXPECT_EQ(std::string(name.data()), row.name);
            EXPECT_EQ(bytesTouchedAfterTerminator(name), 0);
            EXPECT_EQ(instance.text(effGetParamLabel, p), "");
            EXPECT_EQ(instance.text(effGetParamDisplay, p), row.display);
            EXPECT_EQ(instance.get(p), row.initial);
            EXPECT_EQ(instance.dispatch(effCanBeAutomated, p), 1);
            EXPECT_EQ(instance.dispatch(effGetParameterProperties, p), 0);
        }
        instance.startUp();
    }
}

TEST(Parameters, WritesSnapToTheStepGridAndReadBackExactly) {
    RecordingHost::reset();
    TonarvoInstance instance;
    ASSERT_NE(instance.effect, nullptr);
    instance.startUp();
    struct Write {
        VstInt32 parameter;
        float value;
        float readBack;
        const char* display;
    };
    const Write writes[] = {
        // The four -24..24 controls, step 0.001.
        {0, 0.5f, 0.5f, "0.00"},   {0, 0.0f, 0.0f, "-24.00"}, {0, 1.0f, 1.0f, "24.00"},
        {1, 0.0f, 0.0f, "-24.00"}, {1, 1.0f, 1.0f, "24.00"},  {1, 0.5f, 0.5f, "0.00"},
        {3, 1.0f, 1.0f, "24.00"},  {3, 0.5f, 0.5f, "0.00"},   {3, 0.0f, 0.0f, "-24.00"},
        {4, 0.5f, 0.5f, "0.00"},   {4, 1.0f, 1.0f, "24.00"},  {4, 0.0f, 0.0f, "-24.00"},
        // Cartridge response, 0..2.
        {2, 0.5f, 0.5f, "1.00"},   {2, 1.0f, 1.0f, "2.00"},   {2, 0.0f, 0.0f, "0.00"},
        // Slew limit, 0..48 step 0.01: 0.525 lands on 25.2.
        {5, 0.0f, 0.0f, "0.00"},   {5, 1.0f, 1.0f, "48.00"},
        {5, 0.525f, static_cast<float>(25.2 / 48.0), "25.20"},
    };
    for (const Write& w : writes) {
        SCOPED_TRACE("parameter " + std::to_string(w.parameter) + " <- " + std::to_string(w.value));
        instance.set(w.parameter, w.value);
        EXPECT_EQ(instance.get(w.parameter), w.readBack);
        EXPECT_EQ(instance.text(effGetParamDisplay, w.parameter), w.display);
    }
    // A value between grid points goes down to the grid point below it
    // (half a step up, then floor): 0.50003 of 48 is 0.00144 above 0.
    instance.set(0, 0.50003f);
    EXPECT_EQ(instance.text(effGetParamDisplay, 0), "0.00");
    EXPECT_EQ(instance.get(0), static_cast<float>((0.001 + 24.0) / 48.0));
}

TEST(Parameters, WritesReachTheSavedState) {
    RecordingHost::reset();
    TonarvoInstance instance;
    ASSERT_NE(instance.effect, nullptr);
    instance.startUp();
    instance.set(0, 0.0f);   // slider 1 = -24
    instance.set(1, 1.0f);   // slider 2 = 24
    instance.set(2, 0.25f);  // slider 10 = 0.5
    instance.set(3, 0.5f);   // slider 14 = 0
    instance.set(4, 1.0f);   // slider 15 = 24
    instance.set(5, 0.0f);   // slider 22 = 0
    const std::vector<float> floats = floatsOf(instance.chunk());
    ASSERT_EQ(floats.size(), 65u);
    EXPECT_EQ(floats[1], -24.0f);
    EXPECT_EQ(floats[2], 24.0f);
    EXPECT_EQ(floats[10], 0.5f);
    EXPECT_EQ(floats[14], 0.0f);
    EXPECT_EQ(floats[15], 24.0f);
    EXPECT_EQ(floats[22], 0.0f);
}

TEST(Programs, NameCanBeSetAndSurvivesAStateRoundTrip) {
    RecordingHost::reset();
    TonarvoInstance instance;
    ASSERT_NE(instance.effect, nullptr);
    instance.startUp();
    char name[] = "Warm Vinyl";
    EXPECT_EQ(instance.dispatch(effSetProgramName, 0, 0, name), 0);
    EXPECT_EQ(instance.text(effGetProgramName), "Warm Vinyl");

    instance.set(0, 1.0f);
    const auto saved = instance.chunk();
    EXPECT_EQ(instance.text(effGetProgramName), "Warm Vinyl");
    char other[] = "Other";
    instance.dispatch(effSetProgramName, 0, 0, other);
    EXPECT_EQ(instance.restore(saved), static_cast<VstIntPtr>(saved.size()));
    EXPECT_EQ(instance.text(effGetProgramName), "Other") << "the name is not part of the state";
    EXPECT_EQ(instance.get(0), 1.0f);

    // The name goes into no other instance.
    TonarvoInstance fresh;
    ASSERT_NE(fresh.effect, nullptr);
    EXPECT_EQ(fresh.restore(saved), static_cast<VstIntPtr>(saved.size()));
    EXPECT_EQ(fresh.text(effGetProgramName), "MARVOLTIC - Tonarvo - 20241108");

    char empty[] = "";
    instance.dispatch(effSetProgramName, 0, 0, empty);
    EXPECT_EQ(instance.text(effGetProgramName), "");
}

TEST(Programs, IndexedNameIsNotOfferedAndLeavesTheBufferAlone) {
    RecordingHost::reset();
    TonarvoInstance instance;
    ASSERT_NE(instance.effect, nullptr);
    for (VstInt32 index : {0, 1, -1}) {
        TextBuffer buffer = canaryBuffer();
        EXPECT_EQ(instance.dispatch(effGetProgramNameIndexed, index, 0, buffer.data()), 0);
        EXPECT_EQ(buffer, canaryBuffer());
    }
}

}  // namespace
}  // namespace e2e
