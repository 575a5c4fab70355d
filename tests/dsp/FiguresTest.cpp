// The simulation's published figures, measured on the plug-in itself.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "PluginHost.h"
#include "Signals.h"
#include "effect/TPlexaEffect.h"

namespace dsptest {
namespace {

using vst2::effMainsChanged;
using vst2::effOpen;
using vst2::effSetSampleRate;

struct Instance {
    explicit Instance(float rate) : plugin(Plugin::inProcess()) {
        hostView().sampleRate = rate;
        plugin->dispatch(effOpen);
        plugin->dispatch(effSetSampleRate, 0, 0, nullptr, rate);
        plugin->dispatch(effMainsChanged, 0, 1);
    }
    TPlexaEffect& fx() { return plugin->object(); }
    // One host call of n frames of a constant stereo input; returns the last frame.
    std::pair<double, double> run(double left, double right, int n = 1) {
        std::vector<double> l(static_cast<std::size_t>(n), left), r(static_cast<std::size_t>(n), right);
        plugin->processDouble(l.data(), r.data(), l.data(), r.data(), n);
        return {l.back(), r.back()};
    }
    std::unique_ptr<Plugin> plugin;
};

TEST(Figures, LowPassDesignsAtInitialisation) {
    Instance at44(44100), at96(96000);
    EXPECT_NEAR(at44.fx().v.upsampleFilter.w0, 0.0445237, 1e-7);  // 2 pi 40000 / (128 * 44100)
    EXPECT_NEAR(at44.fx().v.preFilter.w0, 0.0244880, 1e-7);
    EXPECT_NEAR(at96.fx().v.upsampleFilter.w0, 0.0204531, 1e-7);
    EXPECT_NEAR(at96.fx().v.preFilter.w0, 0.0112492, 1e-7);
    // The first block designs the pre-filter for the sample rate, not 128 times it.
    at44.run(0, 0);
    EXPECT_NEAR(at44.fx().v.preFilter.w0, 6.283185307179586 * 22000 / 44100, 1e-12);
}

TEST(Figures, ArmHighPassIsTheSameAtEveryRate) {
    Instance reference(44100);
    const tonarvo::BiquadCoefficients& r = reference.fx().v.armHighPass;
    EXPECT_NEAR(r.w0, 2515.7232704402513, 1e-9);
    EXPECT_NEAR(r.cosW0, -0.76969, 1e-5);
    EXPECT_NEAR(r.alpha, 0.45143, 1e-5);
    EXPECT_EQ(r.b0 / r.a0, 0.5);  // zeros at DC, unity high-frequency gain of the numerator
    for (float rate : {22050.0f, 48000.0f, 88200.0f, 96000.0f, 192000.0f}) {
        Instance other(rate);
        const tonarvo::BiquadCoefficients& o = other.fx().v.armHighPass;
        EXPECT_NEAR(o.b0, r.b0, 1e-9) << rate;
        EXPECT_NEAR(o.b1, r.b1, 1e-9) << rate;
        EXPECT_NEAR(o.a1, r.a1, 1e-9) << rate;
        EXPECT_NEAR(o.a2, r.a2, 1e-9) << rate;
    }
}

TEST(Figures, ControlLawsAtTheSliderEnds) {
    Instance fx(96000);
    fx.run(0, 0);
    EXPECT_NEAR(fx.fx().v.trackingForceGrams, 2.0454545454545454, 1e-12);  // default 25.2 dB
    // Slew limit per 96 kHz sample: the per-sub-step step times the sub-steps.
    auto perSample = [&](float normalized) {
        fx.plugin->setParameter(5, normalized);
        fx.run(0.5, -0.5, 3);  // moving output: full-rate oversampling
        const auto& v = fx.fx().v;
        return v.slewStep * v.oversampling * v.sampleRate / 96000;
    };
    EXPECT_NEAR(perSample(0.0f), 1.0, 1e-12);
    EXPECT_NEAR(perSample(1.0f), 1.0 / 256, 1e-14);
    EXPECT_NEAR(fx.fx().v.trackingForceGrams, 48.0 / 22 + 0.9, 1e-12);
}

TEST(Figures, StylusFollowsAJumpAtTheSlewLimit) {
    for (float rate : {96000.0f, 44100.0f}) {
        Instance fx(rate);
        fx.plugin->setParameter(5, 1.0f);  // 48 dB: 1/256 per 96 kHz sample
        fx.plugin->setParameter(3, 1.0f);  // stiff arm, so the jump reaches the stylus quickly
        fx.run(0, 0, 64);
        double largest = 0;
        double previous = fx.fx().v.left.stylusPosition;
        double previousOversampling = fx.fx().v.oversampling;
        for (int i = 0; i < 400; ++i) {
            fx.run(1.0, 1.0);
            const auto& v = fx.fx().v;
            // The frame that leaves two sub-steps still divides by two: skip it.
            if (v.oversampling == previousOversampling)
                largest = std::max(largest, std::fabs(v.left.stylusPosition - previous));
            previous = v.left.stylusPosition;
            previousOversampling = v.oversampling;
        }
        const double limit = 96000.0 / rate / 256;
        EXPECT_NEAR(largest, limit, limit * 1e-9) << rate;
    }
}

// Frequency of the arm's free swing, from the zero crossings of its velocity
// over arm time (one 1/96000 s step per frame at every rate).
double armFrequency(float armResonanceNormalized) {
    Instance fx(192000);  // fewest sub-steps per frame
    fx.plugin->setParameter(3, armResonanceNormalized);
    fx.run(0.5, 0.5, 16);  // a step in the groove sets the arm swinging
    std::vector<int> crossings;
    double previous = fx.fx().v.left.armVelocity;
    for (int frame = 0; frame < 60000; ++frame) {
        fx.run(0.5, 0.5);
        const double now = fx.fx().v.left.armVelocity;
        if ((previous < 0) != (now < 0)) crossings.push_back(frame);
        previous = now;
        if (crossings.size() == 7) break;
    }
    if (crossings.size() < 7) return 0;
    const double period = (crossings[6] - crossings[0]) / 3.0;  // three periods
    return 96000.0 / period;
}

TEST(Figures, ArmResonanceAtTheSliderEnds) {
    // Lightly damped (the default damping), so the swing is near the natural frequency.
    EXPECT_NEAR(armFrequency(0.0f), 9.69, 0.15);
    EXPECT_NEAR(armFrequency(1.0f), 97.7, 1.0);
}

TEST(Figures, SilenceDropsToTwoSubStepsAndSoundReturnsToFullRate) {
    Instance fx(44100);
    const auto quiet = fx.run(0, 0, 4410);
    EXPECT_LT(std::fabs(quiet.first), 1e-20);  // only the denormal guard comes through
    EXPECT_EQ(fx.fx().v.oversampling, 2.0);
    fx.run(0.3, -0.3, 1);
    EXPECT_EQ(fx.fx().v.oversampling, 2.0);  // a moving output switches at the next frame
    fx.run(0.3, -0.3, 1);
    EXPECT_NEAR(fx.fx().v.oversampling, 278.639455782313, 1e-9);
    // Long silence: the output settles and the sub-steps drop again.
    int frames = 0;
    while (fx.fx().v.oversampling != 2.0 && frames < 400000) {
        fx.run(0, 0, 256);
        frames += 256;
    }
    EXPECT_EQ(fx.fx().v.clipIndicator, 0.0);
    fx.run(0.3, 0.3, 2);
    EXPECT_NEAR(fx.fx().v.oversampling, 278.639455782313, 1e-9);
}

TEST(Figures, ClipIndicatorHoldsForOneSecondOfFrames) {
    const float rate = 22050;
    Instance fx(rate);
    fx.plugin->setParameter(1, 1.0f);  // +24 dB output trim
    const Stereo burst = makeSignal(Kind::Clipping, rate, 0.01);
    std::vector<double> l(burst.left.begin(), burst.left.end()), r(burst.right.begin(), burst.right.end());
    int lit = 0;
    int lastClip = -1;
    for (int i = 0; i < burst.frames(); ++i) {
        fx.run(l[static_cast<std::size_t>(i)], r[static_cast<std::size_t>(i)]);
        const auto& v = fx.fx().v;
        if (std::fabs(v.outLeft) > 1 || std::fabs(v.outRight) > 1) lastClip = i;
        if (v.clipIndicator == 1) ++lit;
    }
    ASSERT_GE(lastClip, 0);
    ASSERT_GT(lit, 0);
    fx.plugin->setParameter(1, 0.0f);  // -24 dB: nothing clips from here on
    for (int i = 0; i < 30000; ++i) {
        fx.run(0, 0);
        if (fx.fx().v.clipIndicator != 1) break;
        ++lit;
    }
    EXPECT_EQ(fx.fx().v.clipIndicator, 0.0);
    EXPECT_EQ(lit, static_cast<int>(rate));  // lit from the first clipping frame for sampleRate frames
}

TEST(Figures, OutputIsLimitedToTwoButTheMetersSeeTheFullLevel) {
    Instance fx(44100);
    fx.plugin->setParameter(1, 1.0f);  // +24 dB output trim
    const Stereo s = makeSignal(Kind::Clipping, 44100, 0.03);
    int beyondThree = 0;
    for (int i = 0; i < s.frames(); ++i) {
        const auto out = fx.run(s.left[static_cast<std::size_t>(i)], s.right[static_cast<std::size_t>(i)]);
        const auto& v = fx.fx().v;
        EXPECT_EQ(out.first, std::fmin(std::fmax(v.outLeft, -2.0), 2.0));
        EXPECT_EQ(out.second, std::fmin(std::fmax(v.outRight, -2.0), 2.0));
        EXPECT_EQ(v.outputLevel, (std::fabs(v.outRight) + std::fabs(v.outLeft)) * 0.5);
        if (std::fabs(v.outLeft) >= 3) {
            ++beyondThree;
            EXPECT_EQ(std::fabs(out.first), 2.0);
        }
    }
    EXPECT_GT(beyondThree, 0);
}

TEST(Figures, FreshStateIsThe260ByteChunk) {
    auto plugin = Plugin::loadLibrary();
    const std::vector<float> chunk = plugin->save();
    ASSERT_EQ(chunk.size() * sizeof(float), 260u);
    const unsigned char marker[4] = {0x00, 0x00, 0x7A, 0xC4};
    EXPECT_EQ(std::memcmp(chunk.data(), marker, 4), 0);
    for (int s = 1; s <= 64; ++s) {
        float expected = 0.0f;
        if (s == 14 || s == 15) expected = -24.0f;
        if (s == 22) expected = 25.2f;
        EXPECT_EQ(chunk[static_cast<std::size_t>(s)], expected) << "slider " << s;
    }
    EXPECT_EQ(static_cast<double>(chunk[22]), 25.200000762939453);
    EXPECT_EQ(plugin->save(), chunk);  // saving changes nothing
}

// --- what stays sound at every rate and setting ----------------------------

struct Render {
    std::vector<double> left, right;
    std::uint64_t literalReplays;
};

// A signal through a fresh instance at one rate, in blocks of 64 (each
// redesigns the low-pass filters), with one parameter set first (parameter
// -1: all at their defaults).
Render render(float rate, const Stereo& s, int parameter = -1, float value = 0) {
    Instance fx(rate);
    if (parameter >= 0) fx.plugin->setParameter(parameter, value);
    Render out{{s.left.begin(), s.left.end()}, {s.right.begin(), s.right.end()}, 0};
    for (int at = 0; at < s.frames(); at += 64) {
        const int n = std::min(64, s.frames() - at);
        fx.plugin->processDouble(&out.left[at], &out.right[at], &out.left[at], &out.right[at], n);
    }
    out.literalReplays = fx.fx().literalReplays;
    return out;
}

double rms(const std::vector<double>& x, std::size_t from) {
    double sum = 0;
    for (std::size_t i = from; i < x.size(); ++i) sum += x[i] * x[i];
    return std::sqrt(sum / static_cast<double>(x.size() - from));
}

// Longest stretch, in seconds, that either channel stays at the +-2 limit.
double timeAtTheLimit(const Render& r, float rate) {
    std::size_t run = 0, longest = 0;
    for (std::size_t i = 0; i < r.left.size(); ++i) {
        run = std::fmax(std::fabs(r.left[i]), std::fabs(r.right[i])) >= 1.999 ? run + 1 : 0;
        longest = std::max(longest, run);
    }
    return static_cast<double>(longest) / rate;
}

TEST(Guards, EveryRateAndControlEndKeepsTheMusicStableAndCheap) {
    for (float rate : {8000.0f, 11025.0f, 16000.0f, 22050.0f, 32000.0f, 44100.0f, 48000.0f, 88200.0f, 96000.0f,
                       176400.0f, 192000.0f, 384000.0f}) {
        const Stereo music = makeSignal(Kind::Music, rate, 0.15), sweep = makeSignal(Kind::Sweep, rate, 0.15);
        // Silence, then music: the sub-steps switch from two to full rate.
        const Stereo silence = makeSignal(Kind::Silence, rate, 0.15), burst = makeSignal(Kind::SilenceAndBurst, rate, 0.15);
        const double musicLevel = rms(std::vector<double>(music.left.begin(), music.left.end()), 0);
        for (int parameter = -1; parameter < 6; ++parameter) {
            for (float value : {0.0f, 1.0f}) {
                if (parameter < 0 && value > 0) continue;
                SCOPED_TRACE(testing::Message() << rate << " Hz, parameter " << parameter << " = " << value);
                // Full trims make a hot signal that may rightly sit at the limit;
                // a sweep through the least damped resonance touches it briefly.
                const bool hot = parameter <= 1 && parameter >= 0 && value == 1.0f;
                const Render m = render(rate, music, parameter, value);
                EXPECT_GT(rms(m.left, m.left.size() / 2), 0.01 * musicLevel) << "music lost";
                const Render w = render(rate, sweep, parameter, value), b = render(rate, burst, parameter, value);
                if (!hot) {
                    EXPECT_LT(timeAtTheLimit(m, rate), 0.005);
                    EXPECT_LT(timeAtTheLimit(w, rate), 0.005);
                    EXPECT_LT(timeAtTheLimit(b, rate), 0.005);
                }
                const Render quiet = render(rate, silence, parameter, value);
                for (std::size_t i = 0; i < quiet.left.size(); ++i)
                    ASSERT_LT(std::fabs(quiet.left[i]) + std::fabs(quiet.right[i]), 1e-6) << "frame " << i;
                EXPECT_EQ(m.literalReplays + w.literalReplays + b.literalReplays + quiet.literalReplays, 0u)
                    << "frames at five times the cost";
            }
        }
    }
}

// Seconds after `end` until the two outputs stay within 1e-3 of each other.
double recoveryAfter(const Render& a, const Render& b, std::size_t end, float rate) {
    std::size_t last = end;
    for (std::size_t i = end; i < a.left.size(); ++i)
        if (std::fabs(a.left[i] - b.left[i]) > 1e-3 || std::fabs(a.right[i] - b.right[i]) > 1e-3) last = i;
    return static_cast<double>(last - end) / rate;
}

TEST(Guards, AbsurdInputRecoversNoLaterThanAFullScaleBlock) {
    const float rate = 44100;
    const Stereo music = makeSignal(Kind::Music, rate, 2.0);
    const Render clean = render(rate, music);
    const std::size_t from = 11264, to = from + 512;  // one whole host block
    auto shaped = [&](int shape, double magnitude) {
        std::vector<double> l(music.left.begin(), music.left.end()), r(music.right.begin(), music.right.end());
        for (std::size_t i = from; i < to; ++i) {
            const double sign = shape == 0 ? 1.0 : shape == 1 ? (i % 2 ? -1.0 : 1.0) : (i < from + 256 ? 1.0 : -1.0);
            l[i] = sign * magnitude;
            r[i] = -sign * magnitude;
        }
        Instance fx(rate);
        for (std::size_t at = 0; at < l.size(); at += 512) {
            const int n = static_cast<int>(std::min<std::size_t>(512, l.size() - at));
            fx.plugin->processDouble(&l[at], &r[at], &l[at], &r[at], n);
        }
        EXPECT_EQ(fx.fx().literalReplays, 0u);
        return recoveryAfter(Render{l, r, 0}, clean, to, rate);
    };
    for (int shape : {0, 1, 2}) {
        const double fullScale = shaped(shape, 1.0);
        ASSERT_LT(fullScale, 1.5) << "shape " << shape;
        for (double magnitude : {32767.0, 1e10, 1e30, 3.4e38}) {
            EXPECT_LE(shaped(shape, magnitude), fullScale) << "shape " << shape << ", magnitude " << magnitude;
        }
    }
}

}  // namespace
}  // namespace dsptest
