#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TestSupport.h"
#include "runtime/TPlexa.h"

using namespace plexa;

namespace {

struct ProbeEffect : TPlexa {
    std::vector<std::string> calls;
    void initSection() override { calls.push_back("init"); }
    void sliderSection() override { calls.push_back("slider"); }
};

std::int32_t gClock = 0;
std::int32_t fakeClock() { return gClock; }

}  // namespace

TEST(Scheduling, ResumeReinitialisesEveryTimeWithoutCounting) {
    ProbeEffect effect;
    EXPECT_TRUE(effect.calls.empty());  // construction runs no section
    effect.onResume();
    effect.onResume();
    EXPECT_EQ(effect.calls, (std::vector<std::string>{"init", "slider", "init", "slider"}));
    EXPECT_EQ(effect.initCount, 0u);
    effect.onSuspend();
    effect.onClose();
    EXPECT_EQ(effect.calls.size(), 4u);
}

TEST(Scheduling, InitOnceRunsTheInitSectionOnlyTheFirstTime) {
    ProbeEffect effect;
    EXPECT_EQ(effect.initOnce(), 1u);
    EXPECT_EQ(effect.initOnce(), 2u);
    EXPECT_EQ(effect.calls, std::vector<std::string>{"init"});
}

TEST(Scheduling, OpenClearsMemoryAndTextsButKeepsSlidersAndImageNames) {
    ProbeEffect effect;
    effect.sliderValues[3] = 4.0;
    effect.setString(10000, "x");
    effect.setImageName(0, "logo.png");
    effect.memoryCell(1) = 2.0;
    effect.lastFrameTick = 99;
    effect.onOpen();
    EXPECT_EQ(effect.sliderValues[3], 4.0);
    EXPECT_TRUE(effect.stringTable.empty());
    EXPECT_EQ(effect.imageNames.at(0), "logo.png");
    EXPECT_TRUE(effect.memoryBlocks.empty());
    EXPECT_EQ(effect.lastFrameTick, 0);
}

TEST(Scheduling, StringLookupsInsertEmptyEntries) {
    ProbeEffect effect;
    effect.setString(10000, "Courier New");
    EXPECT_EQ(effect.stringAt(10005), "");
    EXPECT_EQ(effect.stringTable.count(10005), 1u);
    EXPECT_EQ(effect.stringAt(10000), "Courier New");
}

TEST(FrameTimer, RequestsARedrawOnlyWhenTheFramePeriodHasPassed) {
    platform::Hooks hooks;
    hooks.frameClockMs = &fakeClock;
    ScopedHooks scoped(hooks);
    ProbeEffect effect;

    gClock = 5000;
    effect.frameTick();  // rate 0: never
    EXPECT_EQ(effect.lastFrameTick, 0);

    effect.frameRate = 30;
    effect.frameTick();
    EXPECT_EQ(effect.lastFrameTick, 5000);
    gClock = 5033;  // 33 ms is not more than 33.33 ms
    effect.frameTick();
    EXPECT_EQ(effect.lastFrameTick, 5000);
    gClock = 5034;
    effect.frameTick();
    EXPECT_EQ(effect.lastFrameTick, 5034);

    effect.frameRate = std::nan("");
    gClock += 100000;
    effect.frameTick();
    EXPECT_EQ(effect.lastFrameTick, 5034);
}

// The clock is milliseconds since boot (Linux) or process start (Windows) in
// 32 bits: from 24.9 days on it reads as negative, and it wraps after 49.7.
TEST(FrameTimer, KeepsItsCadenceForAnyClockValueAndAcrossTheWrap) {
    platform::Hooks hooks;
    hooks.frameClockMs = &fakeClock;
    ScopedHooks scoped(hooks);
    ProbeEffect effect;
    struct Case {
        std::uint32_t start;
        bool opened;  // else the last request was 2^31 + 256 ms before (an editor shut for 25 days)
        std::uint32_t firstRequest;  // ms after start
    };
    const Case cases[] = {{0, true, 35},          {1000, true, 5},         {0x7FFFFF00u, true, 5},
                          {0x80000000u, true, 5}, {0x80000100u, true, 5},  {0xFFFFFFC0u, true, 5},
                          {0x10000000u, false, 5}, {0xFFFFFFC0u, false, 5}};
    for (const Case& c : cases) {
        effect.onOpen();
        effect.frameRate = 30;
        if (!c.opened) effect.lastFrameTick = static_cast<std::int32_t>(c.start - 0x80000100u);
        std::vector<std::uint32_t> requests;
        for (std::uint32_t t = 5; t <= 300; t += 5) {  // an idle every 5 ms
            gClock = static_cast<std::int32_t>(c.start + t);
            effect.frameTick();
            if (effect.lastFrameTick == gClock) requests.push_back(t);
        }
        ASSERT_FALSE(requests.empty()) << c.start;
        EXPECT_EQ(requests.front(), c.firstRequest) << c.start;
        for (std::size_t i = 1; i < requests.size(); ++i)
            EXPECT_EQ(requests[i] - requests[i - 1], 35u) << c.start << " " << requests[i];  // first step past 33.3
    }
}

TEST(Mouse, ViewButtonsMapToTheEffectsButtonWord) {
    ProbeEffect effect;
    effect.mouseDown(100, 50, CPlexaMouse::kLeftButton);
    EXPECT_EQ(effect.mouseCap, 1.0);
    EXPECT_EQ(effect.mouseX, 100.0);
    EXPECT_EQ(effect.mouseY, 50.0);
    EXPECT_EQ(effect.frameRate, 30.0);

    effect.mouseDown(1, 2, CPlexaMouse::kRightButton | CPlexaMouse::kControl);
    EXPECT_EQ(effect.mouseCap, 6.0);
    effect.mouseMoved(3, 4);
    EXPECT_EQ(effect.mouseCap, 6.0);
    EXPECT_EQ(effect.mouseX, 3.0);
    effect.mouseUp(5, 6);
    EXPECT_EQ(effect.mouseCap, 0.0);
    EXPECT_EQ(effect.mouseY, 6.0);

    EXPECT_EQ(CPlexaMouse::mouseCapOf(CPlexaMouse::kLeftButton | CPlexaMouse::kDoubleClick), 1.0);
    EXPECT_EQ(CPlexaMouse::mouseCapOf(CPlexaMouse::kLeftButton | CPlexaMouse::kShift), 9.0);
    EXPECT_EQ(CPlexaMouse::mouseCapOf(CPlexaMouse::kAlt | CPlexaMouse::kMiddleButton | 256 | 512), 80.0);

    effect.frameRate = 60;
    effect.mouseMoved(0, 0);
    EXPECT_EQ(effect.frameRate, 60.0);
    effect.frameRate = std::nan("");
    effect.mouseMoved(0, 0);
    EXPECT_TRUE(std::isnan(effect.frameRate));
}
