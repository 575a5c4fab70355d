#include "InterfaceFixture.h"
#include "runtime/CPlexaMouse.h"

#include <vector>

using namespace interface_test;

namespace {
constexpr int kLeft = plexa::CPlexaMouse::kLeftButton;
constexpr int kRight = plexa::CPlexaMouse::kRightButton;
constexpr int kShift = plexa::CPlexaMouse::kShift;
constexpr int kDoubleClick = plexa::CPlexaMouse::kDoubleClick;
}  // namespace

TEST_F(InterfaceTest, GainRowsFollowTheLeftButtonWithinTheirBox) {
    struct Case {
        double x;
        double expected;
    };
    for (const Case& c : {Case{100, -24}, Case{150, -20.9}, Case{340, 0}, Case{579.9, 24}, Case{460, 13.2}}) {
        effect->setSliderValue(TPlexaEffect::kInputTrim, 7);
        press(c.x, 25, kLeft);
        frame();
        EXPECT_NEAR(effect->inputTrimDb(), c.expected, 1e-9) << c.x;
    }
    effect->setSliderValue(TPlexaEffect::kInputTrim, 7);
    press(580, 25, kLeft);  // the right edge is outside
    frame();
    EXPECT_EQ(effect->inputTrimDb(), 7.0);
    press(300, 34.999, kLeft);
    frame();
    EXPECT_NEAR(effect->inputTrimDb(), -4.4, 1e-9);

    // The meters' rows set the trim they belong to; the right button restores 0.
    press(400, 80, kLeft);
    frame();
    EXPECT_NEAR(effect->inputTrimDb(), 6.6, 1e-9);
    press(400, 110, kLeft);
    frame();
    EXPECT_NEAR(effect->outputTrimDb(), 6.6, 1e-9);
    press(200, 140, kRight);
    frame();
    EXPECT_EQ(effect->outputTrimDb(), 0.0);
    press(200, 170, kLeft);
    frame();
    EXPECT_NEAR(effect->outputTrimDb(), -15.4, 1e-9);
}

TEST_F(InterfaceTest, TrackingResonanceAndDampingRows) {
    for (auto [x, expected] : {std::pair{150.0, 1.2}, std::pair{340.0, 24.0}, std::pair{579.0, 48.0}, std::pair{100.0, 0.0}}) {
        press(x, 285, kLeft);
        frame();
        EXPECT_NEAR(effect->slewLimitDb(), expected, 1e-9) << x;
    }
    press(300, 285, kRight);
    frame();
    EXPECT_EQ(effect->slewLimitDb(), 25.2);

    press(460, 310, kLeft);
    frame();
    EXPECT_NEAR(effect->armResonance(), 13.2, 1e-9);
    press(460, 340, kLeft);
    frame();
    EXPECT_NEAR(effect->armDampingControl(), 13.2, 1e-9);
    press(460, 310, kRight);
    frame();
    press(460, 340, kRight);
    frame();
    EXPECT_EQ(effect->armResonance(), -24.0);
    EXPECT_EQ(effect->armDampingControl(), -24.0);
}

TEST_F(InterfaceTest, CartridgeColumnCapAndFoot) {
    for (auto [y, expected] : {std::pair{20.0, 1.947}, std::pair{100.0, 1.419}, std::pair{15.0, 1.98},
                               std::pair{10.0, 2.0}, std::pair{320.0, 0.0}}) {
        effect->setSliderValue(TPlexaEffect::kCartridgeResponse, 0.5);
        press(630, y, kLeft);
        frame();
        EXPECT_NEAR(effect->cartridgeResponse(), expected, 1e-12) << y;
    }
    effect->setSliderValue(TPlexaEffect::kCartridgeResponse, 0.5);
    press(630, 320, kRight);  // the foot has no right-button action
    frame();
    EXPECT_EQ(effect->cartridgeResponse(), 0.5);
    press(630, 200, kRight);
    frame();
    EXPECT_EQ(effect->cartridgeResponse(), 0.0);
}

TEST_F(InterfaceTest, ModifiersAndChordsChangeNothingAndDoubleClicksAreClicks) {
    const double before[3] = {effect->inputTrimDb(), effect->slewLimitDb(), effect->cartridgeResponse()};
    for (int buttons : {kLeft | kShift, kLeft | kRight, int{plexa::CPlexaMouse::kMiddleButton}}) {
        for (auto [x, y] : {std::pair{400.0, 25.0}, std::pair{400.0, 285.0}, std::pair{630.0, 100.0}, std::pair{50.0, 50.0}}) {
            press(x, y, buttons);
            frame();
        }
    }
    EXPECT_EQ(effect->inputTrimDb(), before[0]);
    EXPECT_EQ(effect->slewLimitDb(), before[1]);
    EXPECT_EQ(effect->cartridgeResponse(), before[2]);

    press(460, 25, kLeft | kDoubleClick);
    frame();
    EXPECT_NEAR(effect->inputTrimDb(), 13.2, 1e-9);
}

TEST_F(InterfaceTest, DisplaysIgnoreClicks) {
    double sliders[128];
    std::copy(std::begin(effect->sliderValues), std::end(effect->sliderValues), sliders);
    for (auto [x, y] : {std::pair{100.0, 200.0}, std::pair{330.0, 200.0}, std::pair{300.0, 225.0},
                        std::pair{300.0, 255.0}, std::pair{25.0, 325.0}, std::pair{75.0, 125.0}}) {
        for (int buttons : {kLeft, kRight}) {
            press(x, y, buttons);
            frame();
        }
    }
    EXPECT_TRUE(std::equal(std::begin(sliders), std::end(sliders), std::begin(effect->sliderValues)));
}

TEST_F(InterfaceTest, ResetAreaRestoresFiveControlsAndSaysSo) {
    effect->setSliderValue(TPlexaEffect::kInputTrim, 5);
    effect->setSliderValue(TPlexaEffect::kOutputTrim, -5);
    effect->setSliderValue(TPlexaEffect::kArmResonance, 3);
    effect->setSliderValue(TPlexaEffect::kArmDampingControl, 4);
    effect->setSliderValue(TPlexaEffect::kSlewLimit, 40);
    effect->setSliderValue(TPlexaEffect::kCartridgeResponse, 1.5);
    press(50, 50, kLeft);  // the left button does nothing here
    frame();
    EXPECT_EQ(effect->inputTrimDb(), 5.0);

    press(50, 50, kRight);
    frame();
    EXPECT_EQ(effect->inputTrimDb(), 0.0);
    EXPECT_EQ(effect->outputTrimDb(), 0.0);
    EXPECT_EQ(effect->armResonance(), -24.0);
    EXPECT_EQ(effect->armDampingControl(), -24.0);
    EXPECT_EQ(effect->slewLimitDb(), 25.2);
    EXPECT_EQ(effect->cartridgeResponse(), 1.5);
    int yellow = 0;
    for (int y = 40; y < 56; ++y)
        for (int x = 31; x < 70; ++x) {
            const Rgb p = at(x, y);
            yellow += p.r > 110 && p.g > 110 && p.b < 60;
        }
    EXPECT_GT(yellow, 15);

    release(50, 50);
    frame();
    yellow = 0;
    for (int y = 40; y < 56; ++y)
        for (int x = 31; x < 70; ++x) {
            const Rgb p = at(x, y);
            yellow += p.r > 110 && p.g > 110 && p.b < 60;
        }
    EXPECT_EQ(yellow, 0);
}

TEST_F(InterfaceTest, OwnRowChangesShowInTheTextFirstAndRowsBelowInTheNextFrame) {
    effect->setSliderValue(TPlexaEffect::kInputTrim, 0);
    press(460, 25, kLeft);  // own row: handled between fill and text
    frame();
    EXPECT_NEAR(effect->inputTrimDb(), 13.2, 1e-9);
    EXPECT_EQ(at(400, 33).r + at(400, 33).g + at(400, 33).b, 0);  // the fill still ends at 340
    release(460, 25);
    frame();
    EXPECT_GT(at(400, 33).b, 100);  // now to 472

    // No host is told: the host reads the new value when it asks.
    EXPECT_NEAR(descriptor->getParameter(descriptor, 0), (13.2 + 24) / 48, 1e-6);
}

// Frames poll the mouse: a click whose press and release both come between two
// frames (a tap) must still act, once, where it was pressed.
TEST_F(InterfaceTest, ClicksBetweenTwoFramesActOnceAtTheirPress) {
    struct Event {
        char kind;  // d(own), m(ove), u(p) on the input gain row; f(rame); s(et the trim to 7)
        double x = 0;
        int buttons = 0;
    };
    struct Case {
        const char* name;
        std::vector<Event> events;
        double expected;  // the trim after the next frame
    };
    const Case cases[] = {
        {"tap", {{'d', 460, kLeft}, {'u', 460}}, 13.2},
        {"right tap", {{'d', 460, kRight}, {'u', 460}}, 0},
        {"moved before its release", {{'d', 460, kLeft}, {'m', 200}, {'u', 200}}, 13.2},
        {"double click", {{'d', 400, kLeft}, {'u', 400}, {'d', 460, kLeft | kDoubleClick}, {'u', 460}}, 13.2},
        {"released after a frame saw it", {{'d', 460, kLeft}, {'f'}, {'u', 460}, {'s'}}, 7},
    };
    for (const Case& c : cases) {
        effect->setSliderValue(TPlexaEffect::kInputTrim, 7);
        for (const Event& e : c.events) {
            if (e.kind == 'd') press(e.x, 25, e.buttons);
            if (e.kind == 'm') move(e.x, 25);
            if (e.kind == 'u') release(e.x, 25);
            if (e.kind == 'f') frame();
            if (e.kind == 's') effect->setSliderValue(TPlexaEffect::kInputTrim, 7);
        }
        frame();
        EXPECT_NEAR(effect->inputTrimDb(), c.expected, 1e-9) << c.name;
        effect->setSliderValue(TPlexaEffect::kInputTrim, 7);  // the release holds from the frame after
        frame();
        EXPECT_EQ(effect->inputTrimDb(), 7.0) << c.name;
    }
}
