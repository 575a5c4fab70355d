#include "tools/vsthost/ParameterSetting.h"

#include <cmath>
#include <cstdio>

#include <gtest/gtest.h>

#include "tools/vsthost/Errors.h"

using namespace vhost;

TEST(ParameterSettingParsing, NormalisedAndDisplayedValues) {
    const ParameterSetting a = parseParameterSetting("slew=0.25");
    EXPECT_EQ(a.selector, "slew");
    EXPECT_DOUBLE_EQ(a.value, 0.25);
    EXPECT_FALSE(a.inDisplayUnits);

    const ParameterSetting b = parseParameterSetting("slew=-30.5u");
    EXPECT_DOUBLE_EQ(b.value, -30.5);
    EXPECT_TRUE(b.inDisplayUnits);

    // Names may hold '=': the value is after the last one.
    const ParameterSetting c = parseParameterSetting("a=b=1");
    EXPECT_EQ(c.selector, "a=b");
    EXPECT_DOUBLE_EQ(c.value, 1.0);

    EXPECT_DOUBLE_EQ(parseParameterSetting("x=0").value, 0.0);
    EXPECT_DOUBLE_EQ(parseParameterSetting("x=1").value, 1.0);
}

TEST(ParameterSettingParsing, Rejects) {
    for (const char* bad : {"slew", "=0.5", "slew=", "slew=abc", "slew=1.01", "slew=-0.1", "slew=u", "slew=0.5uu",
                            "slew=nan"}) {
        SCOPED_TRACE(bad);
        EXPECT_THROW(parseParameterSetting(bad), UsageError);
    }
}

TEST(ParameterResolution, IndexNameFragmentAndExactName) {
    const std::vector<std::string> names = {"Gain", "Gain Fine", "Cutoff", "Output Trim", "Input Trim"};
    EXPECT_EQ(resolveParameter("0", names), 0);
    EXPECT_EQ(resolveParameter("4", names), 4);
    EXPECT_EQ(resolveParameter("cut", names), 2);
    EXPECT_EQ(resolveParameter("CUTOFF", names), 2);
    EXPECT_EQ(resolveParameter("fine", names), 1);
    EXPECT_EQ(resolveParameter("gain", names), 0);  // exact beats fragment
    EXPECT_EQ(resolveParameter("input", names), 4);
}

TEST(ParameterResolution, FailuresNameTheCandidates) {
    const std::vector<std::string> names = {"Gain", "Output Trim", "Input Trim"};
    try {
        resolveParameter("trim", names);
        FAIL() << "ambiguous name accepted";
    } catch (const UsageError& e) {
        EXPECT_STREQ(e.what(), "'trim' matches 2 parameters: 1 \"Output Trim\", 2 \"Input Trim\"");
    }
    try {
        resolveParameter("mix", names);
        FAIL() << "unknown name accepted";
    } catch (const UsageError& e) {
        EXPECT_STREQ(e.what(),
                     "no parameter name contains 'mix'; parameters: 0 \"Gain\", 1 \"Output Trim\", 2 \"Input Trim\"");
    }
    EXPECT_THROW(resolveParameter("3", names), UsageError);
    EXPECT_THROW(resolveParameter("99999999999999", names), UsageError);
    EXPECT_THROW(resolveParameter("", names), UsageError);
}

TEST(DisplayNumbers, LeadingNumberOfADisplay) {
    EXPECT_EQ(parseDisplayNumber("30.00"), 30.0);
    EXPECT_EQ(parseDisplayNumber(" -6.5 dB"), -6.5);
    EXPECT_EQ(parseDisplayNumber("-inf"), -INFINITY);
    EXPECT_FALSE(parseDisplayNumber("Off"));
    EXPECT_FALSE(parseDisplayNumber(""));
}

namespace {

// A display like the real plug-in's: a stepped slider shown with "%.2f".
DisplayProbe steppedDisplay(double min, double max, double step, const char* format, int* calls = nullptr) {
    return [=](float v) {
        if (calls != nullptr) ++*calls;
        const double raw = min + (max - min) * static_cast<double>(v);
        const double value = std::round(raw / step) * step;
        char text[64];
        std::snprintf(text, sizeof text, format, value);
        return std::string(text);
    };
}

double shownAt(const DisplayProbe& display, float v) { return *parseDisplayNumber(display(v)); }

}  // namespace

TEST(DisplayUnits, FindsValuesOnRisingFallingAndCurvedDisplays) {
    int calls = 0;
    const DisplayProbe slew = steppedDisplay(0.0, 48.0, 0.01, "%.2f", &calls);
    EXPECT_DOUBLE_EQ(shownAt(slew, normalisedForDisplay(30.0, slew, "slew")), 30.0);
    EXPECT_LE(calls, 45);  // a bisection, not a scan
    EXPECT_DOUBLE_EQ(shownAt(slew, normalisedForDisplay(0.0, slew, "slew")), 0.0);
    EXPECT_DOUBLE_EQ(shownAt(slew, normalisedForDisplay(48.0, slew, "slew")), 48.0);

    const DisplayProbe falling = steppedDisplay(100.0, 0.0, 1.0, "%.0f");
    EXPECT_DOUBLE_EQ(shownAt(falling, normalisedForDisplay(25.0, falling, "depth")), 25.0);

    const DisplayProbe curve = [](float v) {
        char text[32];
        std::snprintf(text, sizeof text, "%.1f Hz", 20.0 * std::pow(1000.0, static_cast<double>(v)));
        return std::string(text);
    };
    EXPECT_NEAR(shownAt(curve, normalisedForDisplay(1000.0, curve, "cutoff")), 1000.0, 0.05);
}

TEST(DisplayUnits, UnreachableAndNonNumericDisplaysAreErrors) {
    const DisplayProbe slew = steppedDisplay(0.0, 48.0, 0.01, "%.2f");
    EXPECT_THROW(normalisedForDisplay(60.0, slew, "slew"), ToolError);
    EXPECT_THROW(normalisedForDisplay(-1.0, slew, "slew"), ToolError);
    // Inside the range but between the steps the display can show.
    const DisplayProbe coarse = steppedDisplay(0.0, 10.0, 2.0, "%.0f");
    EXPECT_THROW(normalisedForDisplay(5.0, coarse, "coarse"), ToolError);
    EXPECT_DOUBLE_EQ(shownAt(coarse, normalisedForDisplay(6.0, coarse, "coarse")), 6.0);
    const DisplayProbe words = [](float v) { return std::string(v < 0.5f ? "Off" : "On"); };
    EXPECT_THROW(normalisedForDisplay(1.0, words, "mode"), ToolError);
}
