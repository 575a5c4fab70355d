// The clip indicator a host replays on a plug-in's output: lit by a sample
// beyond full scale, held for a fixed time that a further clip does not
// extend, lit again only by a clip after the hold.
#include "tools/vsthost/ClipMeter.h"

#include <cmath>
#include <limits>
#include <vector>

#include <gtest/gtest.h>

using namespace vhost;

namespace {

// A mono stream of silence with full-scale-plus samples at the given frames.
std::vector<float> clicksAt(std::int64_t length, const std::vector<std::int64_t>& frames, float level = 1.5f) {
    std::vector<float> samples(static_cast<std::size_t>(length), 0.0f);
    for (auto f : frames) samples[static_cast<std::size_t>(f)] = level;
    return samples;
}

// Feeds a frame at a time and records, for each frame, whether it was lit.
std::vector<bool> litPattern(ClipMeter& meter, const std::vector<float>& samples) {
    std::vector<bool> lit;
    for (const float& s : samples) {
        meter.addInterleaved(&s, 1);
        lit.push_back(meter.lit());
    }
    return lit;
}

}  // namespace

TEST(ClipIndicator, HoldsForExactlyTheHoldAndIgnoresClipsWhileLit) {
    ClipMeter meter(1, 100);
    // Lit by frame 10; clips at 50 and 109 fall inside its hold (10..109).
    const auto lit = litPattern(meter, clicksAt(300, {10, 50, 109}));
    for (std::int64_t f = 0; f < 300; ++f) {
        SCOPED_TRACE(f);
        EXPECT_EQ(lit[static_cast<std::size_t>(f)], f >= 10 && f < 110);
    }
    EXPECT_EQ(meter.lightings(), 1);
    EXPECT_EQ(meter.framesOver(), 3);
}

TEST(ClipIndicator, LightsAgainOnlyAfterTheHold) {
    // The first frame after the hold relights it; one frame earlier does not.
    ClipMeter atEnd(1, 100);
    litPattern(atEnd, clicksAt(300, {10, 110}));
    EXPECT_EQ(atEnd.lightings(), 2);
    ClipMeter justBefore(1, 100);
    litPattern(justBefore, clicksAt(300, {10, 109}));
    EXPECT_EQ(justBefore.lightings(), 1);

    // Clipping without a break: a restarting hold would light once; a fixed
    // one goes dark and lights again each hold.
    ClipMeter steady(1, 100);
    std::vector<float> loud(250, -2.0f);
    steady.addInterleaved(loud.data(), 250);
    EXPECT_EQ(steady.lightings(), 3);
    EXPECT_EQ(steady.framesOver(), 250);
    EXPECT_TRUE(steady.lit());
}

TEST(ClipIndicator, OneSecondHoldAtTheSampleRate) {
    const std::int64_t rate = 44100;
    ClipMeter meter(1, rate);
    // Clips at 0.0 s, 0.9 s (held), 1.0 s (lights), 1.5 s (held), 2.5 s (lights).
    const auto samples = clicksAt(3 * rate, {0, rate * 9 / 10, rate, rate * 3 / 2, rate * 5 / 2});
    meter.addInterleaved(samples.data(), 3 * rate);
    EXPECT_EQ(meter.lightings(), 3);
    EXPECT_EQ(meter.framesOver(), 5);
    EXPECT_EQ(meter.holdFrames(), rate);
}

TEST(ClipIndicator, OnlyMagnitudesBeyondFullScaleCount) {
    ClipMeter meter(1, 1);
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    const std::vector<float> samples = {1.0f, -1.0f, 0.999f, nan, std::nextafter(1.0f, 2.0f), -1.0001f, inf, -inf};
    meter.addInterleaved(samples.data(), static_cast<std::int64_t>(samples.size()));
    EXPECT_EQ(meter.framesOver(), 4);
    // A one-frame hold: each clipping frame lights it anew.
    EXPECT_EQ(meter.lightings(), 4);

    ClipMeter doubles(1, 1);
    const std::vector<double> fine = {1.0, -1.0, 1.0000000001};
    doubles.addInterleaved(fine.data(), 3);
    EXPECT_EQ(doubles.framesOver(), 1);
}

TEST(ClipIndicator, CountsFramesNotSamplesAcrossChannelsAndLayouts) {
    // Stereo, interleaved: frame 0 both over, frame 1 right only, frame 3 left only.
    const std::vector<float> interleaved = {2.0f, -2.0f, 0.1f, 1.5f, 0.0f, 0.0f, -3.0f, 0.2f};
    ClipMeter a(2, 2);
    a.addInterleaved(interleaved.data(), 4);
    EXPECT_EQ(a.framesOver(), 3);
    EXPECT_EQ(a.lightings(), 2);  // frame 0 lights (holds 0..1), frame 3 lights again

    const std::vector<float> left = {2.0f, 0.1f, 0.0f, -3.0f};
    const std::vector<float> right = {-2.0f, 1.5f, 0.0f, 0.2f};
    const float* planar[] = {left.data(), right.data()};
    ClipMeter b(2, 2);
    b.addPlanar(planar, 4);
    EXPECT_EQ(b.framesOver(), a.framesOver());
    EXPECT_EQ(b.lightings(), a.lightings());
}

TEST(ClipIndicator, HoldCarriesAcrossBlocks) {
    const auto samples = clicksAt(1000, {0, 150, 299, 300, 301, 640, 999});
    ClipMeter whole(1, 300);
    whole.addInterleaved(samples.data(), 1000);
    for (const std::int64_t block : {1, 7, 299, 512}) {
        SCOPED_TRACE(block);
        ClipMeter pieces(1, 300);
        for (std::int64_t f = 0; f < 1000; f += block)
            pieces.addInterleaved(samples.data() + f, std::min<std::int64_t>(block, 1000 - f));
        EXPECT_EQ(pieces.lightings(), whole.lightings());
        EXPECT_EQ(pieces.framesOver(), whole.framesOver());
    }
    EXPECT_EQ(whole.lightings(), 4);  // at 0, 300, 640 and 999
}

TEST(ClipIndicator, SummaryWording) {
    ClipMeter quiet(2, 44100);
    EXPECT_EQ(describeIndicator(quiet, 1.0), "never lit (1 s hold), no frame over full scale");
    EXPECT_EQ(describeOverFrames(quiet), "no frame over full scale");

    ClipMeter once(1, 44100);
    const float loud = 1.5f;
    once.addInterleaved(&loud, 1);
    EXPECT_EQ(describeIndicator(once, 1.0), "lit 1 time (1 s hold), 1 frame over full scale");

    ClipMeter often(1, 100);
    const std::vector<float> loudRun(250, 1.5f);
    often.addInterleaved(loudRun.data(), 250);
    EXPECT_EQ(describeIndicator(often, 1.0), "lit 3 times (1 s hold), 250 frames over full scale");
}
