// The interface, drawn whole in every editor frame. There are no widgets:
// each control is drawn from the effect's variables and, at its place in the
// drawing order, tested against the mouse state copied at the frame's start.
#include <algorithm>
#include <cmath>

#include "editor/EffectDrawing.h"
#include "editor/GfxPrimitives.h"
#include "effect/TPlexaEffect.h"
#include "runtime/platform/Platform.h"

using plexa::readShared;
using plexa::sanitize;
using plexa::valuesEqual;
using plexa::writeShared;

namespace {

constexpr double kTwoPi = 6.283185307179586;
constexpr double kBarLeft = 100;
constexpr double kBarWidth = 480;

struct Rgb {
    double r, g, b;
};
constexpr Rgb kBlue{0, 0.5, 1}, kOrange{1, 0.5, 0}, kRed{1, 0, 0}, kGrey{0.5, 0.5, 0.5};
constexpr Rgb kGreen{0, 1, 0}, kYellow{1, 1, 0};

enum class Ticks { None, Bottom, Top };

struct Strip {
    Rgb colour;
    double left, right;
};

double clampTo(double value, double lowest, double highest) { return std::max(lowest, std::min(highest, value)); }

}  // namespace

struct TPlexaEffect::Bar {
    double top;
    Rgb colour;
    Ticks ticks;
    double fillWidth;
    int stripCount;
    Strip strips[3];
    double stripTop;
    int negativeText, positiveText, unitText;
    Rgb textColour;
    double textAlpha;
};

// The initialisation also sets the colour, from whatever thread switches
// the effect on, so it is shared with the paint.
void TPlexaEffect::setColour(double red, double green, double blue, double alpha) {
    writeShared(v.colorR, red);
    writeShared(v.colorG, green);
    writeShared(v.colorB, blue);
    writeShared(v.colorA, alpha);
}

bool TPlexaEffect::pointerIn(double left, double right, double top, double bottom) const {
    return v.frameMouseX >= left && v.frameMouseX < right && v.frameMouseY >= top && v.frameMouseY < bottom;
}

void TPlexaEffect::handleTrimRow(Slider slider, double rowTop, double defaultValue) {
    if (!pointerIn(kBarLeft, kBarLeft + kBarWidth, rowTop, rowTop + 20)) return;
    if (valuesEqual(v.frameMouseCap, 1)) setSliderValue(slider, sanitize(clampTo((v.frameMouseX - 340) * 0.11, -24, 24)));
    if (valuesEqual(v.frameMouseCap, 2)) setSliderValue(slider, defaultValue);
}

void TPlexaEffect::drawBarBody(EffectDrawing& draw, const Bar& bar) {
    const double x0 = kBarLeft, y0 = bar.top;
    setColour(bar.colour.r, bar.colour.g, bar.colour.b, 1);
    draw.drawLine(x0, y0 - 1, x0 + kBarWidth, y0 - 1, 1);
    draw.drawLine(x0, y0 + 20, x0, y0, 1);
    draw.drawLine(x0, y0 + 20, x0 + kBarWidth, y0 + 20, 1);
    draw.drawLine(x0 + kBarWidth, y0 + 20, x0 + kBarWidth, y0, 1);
    if (bar.ticks != Ticks::None) {
        // Every 6 dB at 12 pixels per dB, centred on 0 dB at x 340.
        setColour(bar.colour.r, bar.colour.g, bar.colour.b, 0.5);
        for (double x = 124; x <= 556; x += 72) {
            if (bar.ticks == Ticks::Bottom)
                draw.drawLine(x, y0 + 20, x, y0 + 15, 1);
            else
                draw.drawLine(x, y0 + 5, x, y0, 1);
        }
    }
    setColour(bar.colour.r, bar.colour.g, bar.colour.b, 0.5);
    draw.fillRect(101, y0, bar.fillWidth, 20);
    for (int i = 0; i < bar.stripCount; ++i) {
        const Strip& strip = bar.strips[i];
        setColour(strip.colour.r, strip.colour.g, strip.colour.b, 0.4);
        draw.fillRect(strip.left, bar.stripTop, strip.right - strip.left, 5);
    }
}

void TPlexaEffect::drawBarText(EffectDrawing& draw, const Bar& bar, double shownValue) {
    setColour(bar.textColour.r, bar.textColour.g, bar.textColour.b, bar.textAlpha);
    penX = 110;
    penY = bar.top + 2;
    draw.drawStr(shownValue < 0 ? bar.negativeText : bar.positiveText);
    draw.drawNumber(std::fabs(shownValue), 1);
    draw.drawStr(bar.unitText);
}

void TPlexaEffect::drawExperimentalIndicator(EffectDrawing& draw) {
    penX = 290;
    penY = 190;
    const double now = static_cast<double>(platform::calendarSeconds());
    if (readShared(v.inMeterSlowShown) < -19) writeShared(v.quietTime, now);  // quiet input restarts the countdown
    const double quietTime = readShared(v.quietTime);
    if (!(quietTime > now - 15)) return;
    setColour(0, 0, 0, 1);
    if (quietTime > now - 5) {
        draw.blit(7);
        // Flicker: lit goes dark with probability 0.1 per frame, dark stays
        // dark with probability 0.6.
        const double r = platform::randomNumber();
        double alpha = 0;
        if (r / 32767 + v.flickerBias > 0.9) {
            alpha = 1;
            v.flickerBias = 0.5;
        } else {
            v.flickerBias = 0;
        }
        setColour(0, 0, 0, alpha);
        draw.fillRect(290, 190, 100, 20);
    } else {
        draw.blit(7);
    }
}

void TPlexaEffect::drawCartridgeColumn(EffectDrawing& draw) {
    const double response = cartridgeResponse();
    setColour(kBlue.r, kBlue.g, kBlue.b, 1);
    draw.drawLine(620, 15, 620, 315, 1);
    draw.drawLine(640, 15, 640, 315, 1);
    draw.drawLine(620, 15, 640, 15, 1);
    draw.drawLine(620, 315, 640, 315, 1);
    setColour(kBlue.r, kBlue.g, kBlue.b, 0.5);
    draw.fillRect(620, 316, 20, -150 * response);  // grows upwards, 150 pixels per unit

    const bool left = valuesEqual(v.frameMouseCap, 1), right = valuesEqual(v.frameMouseCap, 2);
    if (pointerIn(620, 640, 5, 15) && left) setSliderValue(kCartridgeResponse, 2);
    if (pointerIn(620, 640, 15, 315)) {
        if (left) setSliderValue(kCartridgeResponse, sanitize((315 - v.frameMouseY) * 0.0066));
        if (right) setSliderValue(kCartridgeResponse, 0);
    }
    if (pointerIn(620, 640, 315, 325) && left) setSliderValue(kCartridgeResponse, 0);

    // "cartridge", "freq", "response" downwards, a blank step between words.
    setColour(kBlue.r, kBlue.g, kBlue.b, 1);
    double y = 15;
    for (int handle = 10039; handle <= 10059; ++handle) {
        penX = 610;
        penY = y;
        draw.drawStr(handle);
        y += 12;
        if (handle == 10047 || handle == 10051) y += 12;
    }
    penX = 603;
    penY = 323;
    draw.drawStr(10060);
    penX = 611;
    penY = 333;
    draw.drawNumber(std::fabs(readShared(v.cartridgeShownHz)), 0);
    penX = 623;
    penY = 343;
    draw.drawStr(10061);
}

void TPlexaEffect::gfxSection() {
    EffectDrawing draw(*this, v.colorR, v.colorG, v.colorB, v.colorA, v.fontSlot);

    // Prologue: this frame works on one consistent copy of size and mouse.
    int width = 0, height = 0;
    if (gfxGetEditorSize(adapter, &width, &height)) {
        v.frameEditorWidth = width;
        v.frameEditorHeight = height;
    }
    const FrameMouse mouse = takeFrameMouse();
    v.frameMouseCap = mouse.cap;
    v.frameMouseX = mouse.x;
    v.frameMouseY = mouse.y;
    setColour(0, 0, 0, 1);
    penX = penY = 0;

    draw.setFont(0, 10000, 13, 0);

    // Logo block, pulsing with a period of about 90 frames.
    const double glow = 0.5 + 0.3 * std::cos(v.glowPhase);
    v.glowPhase = sanitize(v.glowPhase + 0.07);
    if (v.glowPhase >= kTwoPi) v.glowPhase = sanitize(v.glowPhase - kTwoPi);
    setColour(1, 1, 1, 1);
    penX = penY = 0;
    draw.blit(0);
    setColour(0, 0, 0, glow);
    draw.fillRect(0, 0, 120, 110);
    setColour(1, 1, 1, 1);
    penX = penY = 0;
    draw.blit(1);
    penX = penY = 0;
    draw.blit(2);

    setColour(0, 0.5, 0.95, 0.5);
    penX = 15;
    penY = 85;
    draw.drawStr(10001);
    draw.drawNumber(readShared(v.buildDate), 0);

    setColour(1, 1, 1, 1);
    const double clipImage = valuesEqual(readShared(v.clipIndicator), 1) ? 5 : 4;
    for (double x : {80.0, 180.0, 400.0, 500.0}) {
        penX = x;
        penY = 190;
        draw.blit(clipImage);
    }

    drawExperimentalIndicator(draw);

    // The slope display: a square lights once its value passes the row's threshold.
    const double thresholds[5] = {24000, 21000, 18000, 15000, 12000};
    for (int row = 0; row < 5; ++row) {
        const double y = 100 + 50 * row;
        for (const auto& [x, value] :
             {std::pair{0.0, readShared(v.slopePeakLeft)}, std::pair{50.0, readShared(v.slopePeakRight)}}) {
            penX = x;
            penY = y;
            draw.blit(3);
            setColour(0, 0, 0, std::min(1 - std::max(value - thresholds[row], 0.0), 0.8));
            draw.fillRect(x, y, 50, 50);
        }
    }

    // Written by the audio thread as it runs: one read of each per frame.
    const double inFast = readShared(v.inMeterFastShown), inSlow = readShared(v.inMeterSlowShown);
    const double outFast = readShared(v.outMeterFastShown), outSlow = readShared(v.outMeterSlowShown);
    const double slopeBarLeft = readShared(v.slopeBarLeft), slopeBarRight = readShared(v.slopeBarRight);

    const Rgb inText{1, 0.5, 0}, outText{1, 0.25, 0}, white{1, 1, 1};
    const Bar inputGain{15, kBlue, Ticks::None, 10 * inputTrimDb() + 239, 0, {}, 0, 10002, 10003, 10004, kBlue, 1};
    const Bar inputFast{45, kOrange, Ticks::Bottom, 12 * inFast + 239, 0, {}, 0, 10005, 10006, 10007, inText, 1};
    const Bar inputSlow{75, kOrange, Ticks::Bottom, 12 * inSlow + 239, 1, {{kGreen, 304, 376}}, 90,
                        10008, 10009, 10010, inText, 1};
    const Bar outputSlow{105, kRed, Ticks::Top, 12 * outSlow + 239, 1, {{kYellow, 304, 376}}, 105,
                         10011, 10012, 10013, outText, 1};
    const Bar outputFast{135, kRed, Ticks::Top, 12 * outFast + 239, 0, {}, 0, 10014, 10015, 10016, outText, 1};
    const Strip zones[3] = {{kGreen, 100, 340}, {kYellow, 340, 436}, {kRed, 436, 580}};
    const Bar slewLeft{215, kGrey, Ticks::Bottom, 12 * slopeBarLeft + 479, 3, {zones[0], zones[1], zones[2]}, 230,
                       10020, 10021, 10022, white, 0.5};
    const Bar slewRight{245, kGrey, Ticks::Top, 12 * slopeBarRight + 479, 3, {zones[0], zones[1], zones[2]}, 245,
                        10025, 10026, 10027, white, 0.5};

    // Input gain: its own row between fill and text; the two input meters'
    // rows after the text, before those meters are drawn.
    drawBarBody(draw, inputGain);
    handleTrimRow(kInputTrim, 15, 0);
    drawBarText(draw, inputGain, inputTrimDb());
    handleTrimRow(kInputTrim, 45, 0);
    handleTrimRow(kInputTrim, 75, 0);
    drawBarBody(draw, inputFast);
    drawBarText(draw, inputFast, inFast);
    drawBarBody(draw, inputSlow);
    drawBarText(draw, inputSlow, inSlow);

    // Output meters first, then the output gain, which also answers in their rows.
    drawBarBody(draw, outputSlow);
    drawBarText(draw, outputSlow, outSlow);
    drawBarBody(draw, outputFast);
    drawBarText(draw, outputFast, outFast);
    const Bar outputGain{165, kBlue, Ticks::None, 10 * outputTrimDb() + 239, 0, {}, 0, 10017, 10018, 10019, kBlue, 1};
    drawBarBody(draw, outputGain);
    handleTrimRow(kOutputTrim, 165, 0);
    drawBarText(draw, outputGain, outputTrimDb());
    handleTrimRow(kOutputTrim, 105, 0);
    handleTrimRow(kOutputTrim, 135, 0);

    // Slew rows: level in dB FS, then the rate in dB per sample with its sign.
    for (const auto& [bar, level, rate] : {std::tuple{&slewLeft, readShared(v.slopeHoldDbLeft), readShared(v.slopeDbLeft)},
                                           std::tuple{&slewRight, readShared(v.slopeHoldDbRight), readShared(v.slopeDbRight)}}) {
        drawBarBody(draw, *bar);
        drawBarText(draw, *bar, level);
        // "(", rate, " dB/sample)": the three texts after the row's own three.
        penX = 450;
        penY = bar->top + 2;
        draw.drawStr(bar->unitText + 1);
        draw.drawNumber(rate, 0);
        draw.drawStr(bar->unitText + 2);
    }

    const Bar tracking{275, kBlue, Ticks::None, 10 * slewLimitDb() - 1, 0, {}, 0, 10030, 10031, 10032, kBlue, 1};
    drawBarBody(draw, tracking);
    if (pointerIn(kBarLeft, kBarLeft + kBarWidth, 275, 295)) {
        if (valuesEqual(v.frameMouseCap, 1)) setSliderValue(kSlewLimit, sanitize(clampTo((v.frameMouseX - 140) * 0.12, 0, 48)));
        if (valuesEqual(v.frameMouseCap, 2)) setSliderValue(kSlewLimit, 25.2);
    }
    drawBarText(draw, tracking, readShared(v.trackingForceGrams));

    const Bar resonance{305, kBlue, Ticks::None, 10 * armResonance() + 239, 0, {}, 0, 10033, 10034, 10035, kBlue, 1};
    drawBarBody(draw, resonance);
    handleTrimRow(kArmResonance, 305, -24);
    drawBarText(draw, resonance, readShared(v.resonanceShownHz));

    const Bar damping{335, kBlue, Ticks::None, 10 * armDampingControl() + 239, 0, {}, 0, 10036, 10037, 10038, kBlue, 1};
    drawBarBody(draw, damping);
    handleTrimRow(kArmDampingControl, 335, -24);
    drawBarText(draw, damping, readShared(v.dampingShown));

    drawCartridgeColumn(draw);

    // Reset area over the logo: the right button restores five controls
    // (not the cartridge) and says so while held.
    if (pointerIn(20, 80, 20, 80) && valuesEqual(v.frameMouseCap, 2)) {
        setSliderValue(kArmResonance, -24);
        setSliderValue(kArmDampingControl, -24);
        setSliderValue(kInputTrim, 0);
        setSliderValue(kOutputTrim, 0);
        setSliderValue(kSlewLimit, 25.2);
        setColour(1.5, 1.5, 0, 0.5);
        penX = 31;
        penY = 40;
        draw.drawStr(10062);
    }

    setColour(1, 0, 0, 1);
    const double w = readShared(v.editorWidthValue), h = readShared(v.editorHeightValue);
    draw.drawLine(0, 0, w - 1, 0, 1);
    draw.drawLine(w - 1, 0, w - 1, h - 1, 1);
    draw.drawLine(w - 1, h - 1, 0, h - 1, 1);
    draw.drawLine(0, h - 1, 0, 0, 1);
}
