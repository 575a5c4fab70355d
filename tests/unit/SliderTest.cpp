#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>

#include "TestSupport.h"
#include "runtime/TPlexa.h"

using namespace plexa;

namespace {
struct SliderEffect : TPlexa {
    int sliderRuns = 0;
    void sliderSection() override { ++sliderRuns; }
};
}  // namespace

TEST(Sliders, AddingStoresTheDefaultAndKeepsDeclarationOrder) {
    SliderEffect effect;
    effect.addSlider(22, nullptr, 25.2, 0, 48, 0.01, "", "extra", "dB", "Slew");
    effect.addSlider(1, nullptr, -3, -24, 24, 0.001, "", "", "", "Trim");
    ASSERT_EQ(effect.sliderCount(), 2);
    EXPECT_EQ(effect.sliderRecords[0].number, 22);
    EXPECT_EQ(effect.sliderRecords[1].number, 1);
    EXPECT_TRUE(effect.sliderRecords[0].scanned);
    EXPECT_EQ(effect.sliderValues[22], 25.2);
    EXPECT_EQ(effect.sliderValues[1], -3.0);
    EXPECT_EQ(effect.sliderName(0), "Slew");
    EXPECT_EQ(effect.sliderLabel(0), "dB");
    EXPECT_EQ(effect.sliderRuns, 0);  // declaring runs no section
}

TEST(Sliders, SteppedWritesAreAnchoredAtZeroAndDropNonChanges) {
    SliderEffect effect;
    effect.addSlider(1, nullptr, 0, -24, 24, 0.001, "", "", "", "Trim");
    effect.addSlider(22, nullptr, 0, 0, 48, 0.01, "", "", "", "Slew");
    effect.addSlider(5, nullptr, 5, 1, 10, 2, "", "", "", "Coarse");

    struct Case {
        int index;
        double x;
        double stored;
        double readBack;
    };
    const Case cases[] = {
        {0, 0.5, 0.0, 0.5}, {0, 0.0, -24.0, 0.0}, {0, 1.0, 24.0, 1.0}, {0, 0.75, 12.0, 0.75},
        {1, 0.525, 25.2, 0.525}, {2, 0.0, 2.0, 1.0 / 9.0},  // 1 + 1 = 2, down to the even grid
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "index " << c.index << " x " << c.x);
        effect.setNormalizedValue(c.index, c.x);
        const double stored = effect.sliderValues[effect.sliderRecords[c.index].number];
        EXPECT_NEAR(stored, c.stored, 1e-12);
        EXPECT_EQ(static_cast<float>(effect.normalizedValue(c.index)), static_cast<float>(c.readBack));
        // The same write in the slider's own units lands on the same grid point.
        EXPECT_FALSE(effect.setSliderValue(c.index, c.stored));
        SliderEffect twin;
        twin.sliderRecords = effect.sliderRecords;
        twin.sliderValues[twin.sliderRecords[c.index].number] = 1000;
        EXPECT_TRUE(twin.setSliderValue(c.index, c.stored + effect.sliderRecords[c.index].step * 0.4));
        EXPECT_EQ(twin.sliderValues[twin.sliderRecords[c.index].number], stored);
    }
    EXPECT_EQ(std::fmod(effect.sliderValues[5], 2.0), 0.0);

    const int runs = effect.sliderRuns;
    EXPECT_FALSE(effect.setNormalizedValue(1, 0.525));  // same value again: no section
    EXPECT_EQ(effect.sliderRuns, runs);
    EXPECT_TRUE(effect.setNormalizedValue(1, 0.5));
    EXPECT_EQ(effect.sliderRuns, runs + 1);
}

TEST(Sliders, HostValuesThatCannotBeStoredAreIgnored) {
    SliderEffect effect;
    effect.addSlider(1, nullptr, 3, -24, 24, 0.001, "", "", "", "Trim");
    for (double bad : {std::nan(""), double(INFINITY), -double(INFINITY)}) {
        EXPECT_FALSE(effect.setNormalizedValue(0, bad));
        EXPECT_FALSE(effect.setSliderValue(0, bad));
    }
    EXPECT_FALSE(effect.setNormalizedValue(1, 0.5));
    EXPECT_FALSE(effect.setNormalizedValue(-1, 0.5));
    EXPECT_EQ(effect.sliderValues[1], 3.0);
    EXPECT_EQ(effect.sliderRuns, 0);
    EXPECT_EQ(effect.normalizedValue(6), 0.0);
    EXPECT_EQ(effect.displayText(6), "");
    EXPECT_EQ(effect.sliderName(-1), "");
}

TEST(Sliders, BoundVariableFollowsHostWrites) {
    SliderEffect effect;
    double bound = -1;
    effect.addSlider(3, &bound, 0, 0, 1, 0.5, "", "", "", "Bound");
    EXPECT_EQ(bound, -1.0);  // declaration does not touch it
    effect.setNormalizedValue(0, 1.0);
    EXPECT_EQ(bound, 1.0);
}

TEST(Sliders, DisplayFormatsTwoDecimalsWithoutOptionTexts) {
    SliderEffect effect;
    effect.addSlider(1, nullptr, -24, -24, 24, 0.001, "", "", "", "Trim");
    EXPECT_EQ(effect.displayText(0), "-24.00");
    effect.sliderValues[1] = 25.2;
    EXPECT_EQ(effect.displayText(0), "25.20");
    effect.sliderValues[1] = 1e300;  // restored states may hold anything
    EXPECT_EQ(effect.displayText(0).size(), 304u);
}

TEST(Sliders, ComputedNumbersWrapAroundTheTable) {
    SliderEffect effect;
    effect.sliderValues[1] = 7;
    effect.sliderValues[127] = 9;
    EXPECT_EQ(effect.slider(129), 7.0);
    EXPECT_EQ(effect.slider(-1), 9.0);
    EXPECT_EQ(effect.slider(0.99995), 7.0);
}

TEST(FolderSliders, FileNamesBecomeOptionTexts) {
    TempFolder folder;
    std::filesystem::create_directory(folder.file("presets"));
    std::filesystem::create_directory(folder.file("presets/sub"));
    std::ofstream(folder.file("presets/b"));
    std::ofstream(folder.file("presets/a"));
    std::ofstream(folder.file("presets/.hidden"));
    const std::string library = folder.file("Tonarvo.so");
    platform::Hooks hooks;
    hooks.modulePath = library.c_str();
    ScopedHooks scoped(hooks);

    SliderEffect effect;
    effect.addSlider(4, nullptr, 0.7, 5, 9, 1, "presets/", "", "", "Preset");
    effect.addSlider(5, nullptr, 0, 5, 9, 1, "presets", "", "", "No separator");
    for (int index : {0, 1}) {
        const SliderRecord& record = effect.sliderRecords[index];
        std::vector<std::string> names = record.optionTexts;
        std::sort(names.begin(), names.end());
        EXPECT_EQ(names, (std::vector<std::string>{"a", "b"}));
        EXPECT_EQ(record.minimum, 0.0);
        EXPECT_EQ(record.maximum, 1.0);
        EXPECT_EQ(record.step, 0.5);
        EXPECT_EQ(record.defaultValue, 0.0);
    }
    EXPECT_EQ(effect.sliderValues[4], 0.7);  // the declared value stays
    const SliderRecord& record = effect.sliderRecords[0];
    effect.sliderValues[4] = 0.5;
    EXPECT_EQ(effect.displayText(0), record.optionTexts[0]);
    effect.sliderValues[4] = 1.0;
    EXPECT_EQ(effect.displayText(0), record.optionTexts[1]);
    effect.sliderValues[4] = -5;
    EXPECT_EQ(effect.displayText(0), record.optionTexts.front());
    effect.sliderValues[4] = 50;
    EXPECT_EQ(effect.displayText(0), record.optionTexts.back());
}

TEST(FolderSliders, MissingFolderOffersNoDataFiles) {
    TempFolder folder;
    const std::string library = folder.file("Tonarvo.so");
    platform::Hooks hooks;
    hooks.modulePath = library.c_str();
    ScopedHooks scoped(hooks);
    SliderEffect effect;
    effect.addSlider(4, nullptr, 0, 0, 1, 1, "missing/", "", "", "Preset");
    EXPECT_EQ(effect.sliderRecords[0].optionTexts, std::vector<std::string>{"(No Data Files)"});
    EXPECT_EQ(effect.sliderRecords[0].maximum, 0.0);
    for (double value : {-1.0, 0.0, 3.0}) {
        effect.sliderValues[4] = value;
        EXPECT_EQ(effect.displayText(0), "(No Data Files)");
    }
}
