// The built plug-in, loaded as a host loads it, must produce exactly the bits
// of the literal model for every rate, block size, precision and host event.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "PluginHost.h"
#include "Signals.h"
#include "effect/TPlexaEffect.h"

namespace dsptest {
namespace {

constexpr float kRates[] = {22050.0f, 44100.0f, 48000.0f, 88200.0f, 96000.0f, 192000.0f};

enum class Precision { Single, Double, Alternating };

// Runs the signal in blocks whose sizes cycle through `blocks`; reports the
// first block whose output differs from the model.
::testing::AssertionResult runMatches(Twin& twin, const Stereo& s, const std::vector<int>& blocks,
                                      Precision precision = Precision::Single, int firstCall = 0) {
    int at = 0;
    for (int call = firstCall; at < s.frames(); ++call) {
        const int n = std::min(blocks[static_cast<std::size_t>(call) % blocks.size()], s.frames() - at);
        const float* l = s.left.data() + at;
        const float* r = s.right.data() + at;
        bool same;
        const bool useDouble =
            precision == Precision::Double || (precision == Precision::Alternating && call % 2 == 1);
        if (useDouble) {
            std::vector<double> dl(l, l + n), dr(r, r + n);
            // Values a float cannot hold, so the double path is really used.
            for (int i = 0; i < n; ++i) {
                dl[static_cast<std::size_t>(i)] *= 1.0 + 1e-9;
                dr[static_cast<std::size_t>(i)] *= 1.0 - 1e-9;
            }
            same = twin.processDouble(dl.data(), dr.data(), n);
        } else {
            same = twin.processFloat(l, r, n);
        }
        if (!same)
            return ::testing::AssertionFailure() << "output differs in the call starting at frame " << at
                                                 << " (" << n << " frames)";
        at += n;
    }
    return ::testing::AssertionSuccess();
}

const char* kindName(Kind k) {
    switch (k) {
        case Kind::Music: return "Music";
        case Kind::Step: return "Step";
        case Kind::Noise: return "Noise";
        case Kind::Sweep: return "Sweep";
        case Kind::Clipping: return "Clipping";
        case Kind::SilenceAndBurst: return "SilenceAndBurst";
        case Kind::Silence: return "Silence";
    }
    return "?";
}

// --- every rate with every signal -----------------------------------------

class RateAndSignal : public ::testing::TestWithParam<std::tuple<float, Kind>> {};

TEST_P(RateAndSignal, MatchesLiteralModelBitForBit) {
    const auto [rate, kind] = GetParam();
    Twin twin;
    twin.start(rate);
    const Stereo s = makeSignal(kind, rate, 0.06);
    EXPECT_TRUE(runMatches(twin, s, {512, 37, 64, 1, 4096}));
}

INSTANTIATE_TEST_SUITE_P(
    Matrix, RateAndSignal,
    ::testing::Combine(::testing::ValuesIn(kRates),
                       ::testing::Values(Kind::Music, Kind::Step, Kind::Noise, Kind::Sweep, Kind::Clipping,
                                         Kind::SilenceAndBurst)),
    [](const ::testing::TestParamInfo<RateAndSignal::ParamType>& info) {
        return std::string(kindName(std::get<1>(info.param))) + "_" +
               std::to_string(static_cast<int>(std::get<0>(info.param)));
    });

// --- host calls ------------------------------------------------------------

TEST(HostCalls, EveryBlockSizeMatches) {
    const Stereo s = makeSignal(Kind::Music, 44100, 0.12);
    for (int block : {1, 37, 64, 512, 4096}) {
        SCOPED_TRACE(block);
        Twin twin;
        twin.start(44100, block);
        EXPECT_TRUE(runMatches(twin, s, {block}));
    }
}

TEST(HostCalls, DoublePrecisionAndAlternatingCallsMatch) {
    for (float rate : {44100.0f, 96000.0f}) {
        SCOPED_TRACE(rate);
        const Stereo s = makeSignal(Kind::Music, rate, 0.05, 7);
        Twin both;
        both.start(rate);
        EXPECT_TRUE(runMatches(both, s, {64, 37}, Precision::Double));
        Twin alternating;
        alternating.start(rate);
        EXPECT_TRUE(runMatches(alternating, s, {64, 37, 1}, Precision::Alternating));
    }
}

TEST(HostCalls, EmptyBlocksStillRedesignTheFilters) {
    const Stereo s = makeSignal(Kind::Music, 48000, 0.03);
    Twin twin;
    twin.start(48000);
    ASSERT_TRUE(runMatches(twin, s, {300}));
    twin.setParameter(2, 1.0f);  // cutoffs move at the next frame, designs at the next block
    ASSERT_TRUE(twin.processFloat(s.left.data(), s.right.data(), 1));
    ASSERT_TRUE(twin.processFloat(s.left.data(), s.right.data(), 0));
    EXPECT_TRUE(runMatches(twin, s, {200}));
}

TEST(HostCalls, ParameterChangesBetweenBlocksMatch) {
    for (float rate : {44100.0f, 192000.0f}) {
        SCOPED_TRACE(rate);
        const Stereo s = makeSignal(Kind::Music, rate, 0.01, 3);
        Twin twin;
        twin.start(rate);
        // Each control through its extremes and a few odd values, one per block.
        const float values[] = {0.0f, 1.0f, 0.5f, 0.123f, 0.77f, 0.999f};
        int call = 0;
        for (int p = 0; p < 6; ++p) {
            for (float x : values) {
                SCOPED_TRACE(testing::Message() << "parameter " << p << " = " << x);
                twin.setParameter(p, x);
                ASSERT_TRUE(runMatches(twin, s, {97, 64}, Precision::Single, call++));
            }
        }
    }
}

TEST(HostCalls, StateRestoresInMidStreamMatch) {
    const Stereo s = makeSignal(Kind::Music, 44100, 0.02, 5);
    Twin twin;
    twin.start(44100);
    ASSERT_TRUE(runMatches(twin, s, {128}));

    std::vector<float> chunk = twin.plugin->save();
    ASSERT_EQ(chunk.size(), 65u);
    chunk[1] = 6.0f;     // input trim
    chunk[2] = -3.5f;    // output trim
    chunk[10] = 1.7f;    // cartridge
    chunk[14] = 24.0f;   // stiffest arm
    chunk[15] = 10.0f;   // damping
    chunk[22] = 100.0f;  // beyond the slider's range: kept as restored
    chunk[30] = 55.0f;   // an undeclared slot: carried, never read
    twin.restore(chunk);  // the first restore also re-initialises
    ASSERT_TRUE(runMatches(twin, s, {128, 37}));

    chunk[22] = 0.0f;
    chunk[14] = -30.0f;  // a stiffness near zero: the normalisation blows up to 0
    twin.restore(chunk);
    ASSERT_TRUE(runMatches(twin, s, {64}));

    twin.restore(std::vector<float>(chunk.begin(), chunk.begin() + 12));  // short chunk keeps the rest
    ASSERT_TRUE(runMatches(twin, s, {512}));
    twin.restore({0.0f, 1.0f});  // no marker: nothing happens
    EXPECT_TRUE(runMatches(twin, s, {512}));
}

TEST(HostCalls, ResumeInMidPlaybackMatches) {
    const Stereo s = makeSignal(Kind::Music, 88200, 0.03, 9);
    Twin twin;
    twin.start(88200);
    ASSERT_TRUE(runMatches(twin, s, {256}));
    twin.resume();  // filters and stylus restart, the arm keeps swinging
    ASSERT_TRUE(runMatches(twin, s, {256}));
    // A rate change only reaches the effect at the next switch-on.
    dsptest::hostView().sampleRate = 22050.0f;
    twin.plugin->dispatch(vst2::effSetSampleRate, 0, 0, nullptr, 22050.0f);
    ASSERT_TRUE(runMatches(twin, s, {256}));
    twin.resume();
    EXPECT_TRUE(runMatches(twin, s, {256}));
}

TEST(HostCalls, WithoutTimeInformationMatches) {
    const Stereo s = makeSignal(Kind::Step, 44100, 0.02);
    Twin twin;
    twin.start(44100);
    hostView().hasTimeInfo = false;
    const bool same = runMatches(twin, s, {100});
    hostView().hasTimeInfo = true;
    EXPECT_TRUE(same);
}

TEST(HostCalls, SampleRateZeroGivesSilenceAndMatches) {
    const Stereo s = makeSignal(Kind::Music, 44100, 0.01);
    Twin twin;
    twin.start(0.0f);
    ASSERT_TRUE(runMatches(twin, s, {64}));
    for (float x : twin.lastFloat[0]) EXPECT_EQ(x, 0.0f);
}

TEST(HostCalls, OddRatesMatch) {
    // A rate so low the low-pass designs turn unstable and overflow, and one
    // where the sub-step count is a single step.
    for (float rate : {300.0f, 11025.0f, 12288000.0f, 12000000.0f}) {
        SCOPED_TRACE(rate);
        const Stereo s = makeSignal(Kind::Noise, 44100, 0.005);
        Twin twin;
        twin.start(rate);
        EXPECT_TRUE(runMatches(twin, s, {64, 1}));
    }
}

TEST(HostCalls, ExtremeDoubleInputsMatch) {
    // Inputs near the largest double overflow inside the arm and the stylus.
    Twin twin;
    twin.start(44100);
    std::vector<double> l(200), r(200);
    for (std::size_t i = 0; i < l.size(); ++i) {
        l[i] = (i % 7 < 3 ? 1.0 : -1.0) * 1.5e308;
        r[i] = i % 2 ? 1e300 : -3e307;
    }
    EXPECT_TRUE(twin.processDouble(l.data(), r.data(), 200));
    std::vector<double> inf(50, INFINITY), nan(50, NAN);
    EXPECT_TRUE(twin.processDouble(inf.data(), nan.data(), 50));
    const Stereo s = makeSignal(Kind::Music, 44100, 0.01);
    EXPECT_TRUE(runMatches(twin, s, {64}));
}

// --- effect variables, in process ------------------------------------------

void expectSameVariables(const tonarvo::TonarvoVariables& p, const literal::Vars& m) {
    auto bits = [](double x) {
        std::uint64_t u;
        std::memcpy(&u, &x, sizeof u);
        return u;
    };
#define SAME(a, b) EXPECT_EQ(bits(p.a), bits(m.b)) << #a
    SAME(oversampling, oversampling);
    SAME(slewStep, slewStep);
    SAME(armStiffness, armStiffness);
    SAME(armDamping, armDamping);
    SAME(trackingForceGrams, trackingForceGrams);
    SAME(resonanceShownHz, resonanceShownHz);
    SAME(dampingShown, dampingShown);
    SAME(cartridgeShownHz, cartridgeShownHz);
    SAME(upsampleFilter.b0, upsample.b0);
    SAME(upsampleFilter.a1, upsample.a1);
    SAME(preFilter.w0, pre.w0);
    SAME(armHighPass.a2, armHp.a2);
    SAME(left.stylusPosition, stylus[0]);
    SAME(right.stylusPosition, stylus[1]);
    SAME(left.overSum, overSum[0]);
    SAME(right.overSum, overSum[1]);
    SAME(left.upsampleA.y1, upA[0].y1);
    SAME(right.upsampleB.y2, upB[1].y2);
    SAME(left.armPosition, armPosition[0]);
    SAME(right.armVelocity, armVelocity[1]);
    SAME(outLeft, out[0]);
    SAME(outRight, out[1]);
    SAME(slopeLeft, slope[0]);
    SAME(slopeRight, slope[1]);
    SAME(clipIndicator, clipIndicator);
    SAME(clipHoldCount, clipHoldCount);
    SAME(inMeterFastShown, inMeterFastShown);
    SAME(inMeterSlowShown, inMeterSlowShown);
    SAME(outMeterFastShown, outMeterFastShown);
    SAME(outMeterSlowShown, outMeterSlowShown);
    SAME(outputLevel, outputLevel);
    SAME(slopePeakLeft, slopePeak[0]);
    SAME(slopePeakRight, slopePeak[1]);
    SAME(slopeHoldDbLeft, slopeHoldDb[0]);
    SAME(slopeHoldDbRight, slopeHoldDb[1]);
    SAME(slopeBarLeft, slopeBar[0]);
    SAME(slopeDbRight, slopeDb[1]);
    SAME(hostTempo, hostTempo);
    SAME(playState, playState);
    SAME(beatPosition, beatPosition);
#undef SAME
}

TEST(InProcess, VariablesMatchTheModelAfterEachEvent) {
    Twin twin(false);
    hostView().ppqPosition = 17.25;
    hostView().recording = true;
    twin.start(48000);
    const Stereo s = makeSignal(Kind::Clipping, 48000, 0.03, 11);
    ASSERT_TRUE(runMatches(twin, s, {333}));
    expectSameVariables(twin.plugin->object().v, twin.model.v);
    twin.setParameter(5, 1.0f);
    twin.setParameter(3, 0.9f);
    ASSERT_TRUE(runMatches(twin, s, {41}, Precision::Alternating));
    expectSameVariables(twin.plugin->object().v, twin.model.v);
    hostView().ppqPosition = 0.0;
    hostView().recording = false;
}

}  // namespace
}  // namespace dsptest
