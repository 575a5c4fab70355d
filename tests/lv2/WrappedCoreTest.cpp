// The core the wrapped faces share, against the effect's own VST 2.4 instance
// driven by hand: a block split at parameter changes is the same audio as
// setParameter between shorter calls, in place or not, in either precision.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include "effect/TonarvoInstance.h"
#include "effect/TonarvoLv2.h"
#include "effect/TonarvoPlugin.h"
#include "host/wrap/PluginModel.h"
#include "host/wrap/WrappedEffect.h"

namespace {

using vst2::AEffect;

vst2::VstIntPtr plainHost(AEffect*, std::int32_t opcode, std::int32_t, vst2::VstIntPtr, void*, float) {
    return opcode == vst2::audioMasterVersion ? 2400 : 0;
}

template <typename Sample>
std::vector<Sample> music(std::size_t frames, double phase) {
    std::vector<Sample> x(frames);
    for (std::size_t i = 0; i < frames; ++i)
        x[i] = static_cast<Sample>(0.6 * std::sin(0.031 * static_cast<double>(i) + phase) +
                                   0.3 * std::sin(0.0071 * static_cast<double>(i) * phase));
    return x;
}

template <typename Sample>
void expectSplitMatchesShorterCalls(bool inPlace) {
    constexpr std::uint32_t frames = 3000;
    const std::vector<wrap::ParameterChange> changes = {
        {0, 0, 0.75}, {0, 5, 0.2}, {700, 2, 1.0}, {700, 3, 0.9}, {2100, 4, 0.05}, {2999, 1, 0.3}, {5000, 0, 0.1}};

    // The reference: the VST 2.4 instance, setParameter between the pieces.
    AEffect* reference = tonarvo::newInstance(&plainHost);
    ASSERT_NE(reference, nullptr);
    const auto call = [reference](std::int32_t op, vst2::VstIntPtr value = 0, float opt = 0.0f) {
        reference->dispatcher(reference, op, 0, value, nullptr, opt);
    };
    call(vst2::effOpen);
    call(vst2::effSetSampleRate, 0, 48000.0f);
    call(vst2::effSetBlockSize, 512);
    call(vst2::effMainsChanged, 1);
    std::vector<Sample> inL = music<Sample>(frames, 0.1), inR = music<Sample>(frames, 0.7);
    std::vector<Sample> refL(frames), refR(frames);
    std::uint32_t done = 0;
    std::size_t next = 0;
    while (done < frames) {
        for (; next < changes.size() && changes[next].frame <= done; ++next)
            reference->setParameter(reference, static_cast<std::int32_t>(changes[next].parameter),
                                    static_cast<float>(changes[next].value));
        std::uint32_t end = next < changes.size() ? std::min(changes[next].frame, frames) : frames;
        end = std::min(end, done + 512);
        Sample* in[] = {inL.data() + done, inR.data() + done};
        Sample* out[] = {refL.data() + done, refR.data() + done};
        if constexpr (sizeof(Sample) == 4)
            reference->processReplacing(reference, in, out, static_cast<std::int32_t>(end - done));
        else
            reference->processDoubleReplacing(reference, in, out, static_cast<std::int32_t>(end - done));
        done = end;
    }
    call(vst2::effClose);

    std::unique_ptr<wrap::WrappedEffect> core = wrap::WrappedEffect::create(&tonarvo::newInstance, 48000.0, 512);
    ASSERT_NE(core, nullptr);
    core->setActive(true);
    core->setActive(true);  // a second switch-on must not restart the effect
    std::vector<Sample> outL(frames), outR(frames);
    if (inPlace) {
        outL = inL;
        outR = inR;
    }
    Sample* in[] = {inPlace ? outL.data() : inL.data(), inPlace ? outR.data() : inR.data()};
    Sample* out[] = {outL.data(), outR.data()};
    core->process(in, out, frames, changes.data(), changes.size(), true);
    EXPECT_EQ(outL, refL);
    EXPECT_EQ(outR, refR);
    // A change past the block's end is taken after it.
    EXPECT_EQ(static_cast<float>(core->normalized(0)), 0.1f);
}

TEST(WrappedCore, ABlockSplitAtChangesIsTheVst24InstanceBetweenShorterCalls) {
    for (const bool inPlace : {false, true}) {
        SCOPED_TRACE(inPlace ? "in place" : "separate buffers");
        expectSplitMatchesShorterCalls<float>(inPlace);
        expectSplitMatchesShorterCalls<double>(inPlace);
    }
}

TEST(WrappedCore, AnEchoedValueLeavesTheEditorsValueAndADifferentOneIsWritten) {
    std::unique_ptr<wrap::WrappedEffect> core = wrap::WrappedEffect::create(&tonarvo::newInstance, 44100.0);
    ASSERT_NE(core, nullptr);
    wrap::HostControls host(*core);
    core->setValue(5, 31.5);
    host.apply(5, 31.5f);  // the host echoes what the editor set
    EXPECT_EQ(core->value(5), 31.5);
    host.apply(5, 12.0f);
    EXPECT_EQ(core->value(5), 12.0);
    host.apply(9, 1.0f);  // no such control
    // Texts as VST 2.4 shows them, and back.
    double units = 0;
    EXPECT_EQ(core->displayTextAt(0, -3.5), "-3.50");
    ASSERT_TRUE(core->parseText(0, core->displayTextAt(0, -3.5), units));
    EXPECT_EQ(units, -3.5);
    EXPECT_FALSE(core->parseText(0, "loud", units));
    EXPECT_FALSE(core->parseText(0, "nan", units));
    EXPECT_EQ(core->parameterInfo(5).stepCount, 4800);
    EXPECT_EQ(core->parameterInfo(0).stepCount, 48000);
}

}  // namespace

// ---------------------------------------------------------------- the model

namespace {

std::unique_ptr<wrap::PluginModel> model(wrap::HostUnits units, double rate = 44100.0, std::int32_t block = 512) {
    return wrap::PluginModel::create(tonarvo::pluginDescription(), units, rate, block);
}

// Frames after a near-full-scale burst until the output stays below -120
// dBFS, with the controls (slider units) given; also whether the model said
// the tail was done before that, and at what frame it first said so.
struct Ring {
    std::uint32_t frames = 0;
    std::uint32_t doneAt = 0;  // 0: never said
};

// `quiet`: stop once the output has stayed below the threshold this long
// (0: render it all).
Ring ring(double rate, const double (&controls)[6], std::uint32_t silence, std::uint32_t quiet = 0) {
    std::unique_ptr<wrap::PluginModel> m = model(wrap::HostUnits::Plain, rate);
    for (std::uint32_t p = 0; p < 6; ++p) m->setFromHost(p, controls[p]);
    m->setActive(true);
    const auto burst = static_cast<std::uint32_t>(rate / 4);
    std::vector<float> inL = music<float>(burst, 0.1), inR = music<float>(burst, 0.7);
    for (std::size_t n = 0; n < burst; ++n) {
        inL[n] *= 1.55f;  // peaks near full scale; noise and square bursts ring shorter
        inR[n] *= 1.55f;
    }
    inL.resize(burst + silence, 0.0f);
    inR.resize(burst + silence, 0.0f);
    std::vector<float> outL(inL.size()), outR(inR.size());
    Ring r;
    std::uint32_t last = 0;
    for (std::uint32_t start = 0; start < inL.size(); start += 512) {
        const std::uint32_t n = std::min<std::uint32_t>(512, static_cast<std::uint32_t>(inL.size()) - start);
        float* in[] = {inL.data() + start, inR.data() + start};
        float* out[] = {outL.data() + start, outR.data() + start};
        const bool done = m->process(in, out, n).tailDone;
        if (done && r.doneAt == 0) r.doneAt = start + n - burst;
        for (std::uint32_t k = 0; k < n; ++k)
            if (std::fabs(outL[start + k]) > 1e-6f || std::fabs(outR[start + k]) > 1e-6f) last = start + k;
        if (quiet > 0 && start > burst && start - last > quiet) break;
    }
    r.frames = last + 1 - burst;
    return r;
}

}  // namespace

// The tail is what the effect rings at its longest: both ends of the arm's
// resonance, its least and most damping, both trims at both ends. The
// measurement behind the rule: TONARVO_TAIL_RATES=8000,16000,...,384000.
TEST(PluginModel, TheDeclaredTailCoversTheLongestRingAndTheModelWaitsForIt) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "arithmetic, not memory: measured in the plain build";
#endif
    std::vector<double> rates = {44100.0, 96000.0};
    if (const char* sweep = std::getenv("TONARVO_TAIL_RATES")) {
        rates.clear();
        for (const char* s = sweep; *s;) {
            char* end = nullptr;
            rates.push_back(std::strtod(s, &end));
            s = *end ? end + 1 : end;
        }
    }
    for (double rate : rates) {
        const std::uint32_t tail = tonarvo::tailFrames(rate);
        std::uint32_t longest = 0;
        for (double resonance : {-24.0, 24.0})
            for (double damping : {-24.0, 24.0})
                for (double in : {-24.0, 24.0})
                    for (double out : {-24.0, 24.0}) {
                        const double controls[6] = {in, out, 0.0, resonance, damping, 25.2};
                        // The longest rings are rendered to the tail's end and past;
                        // the rest until they have long been quiet.
                        const bool longRing = resonance < 0 && in > 0 && out > 0;
                        const Ring r = ring(rate, controls, tail + static_cast<std::uint32_t>(rate / 4),
                                            longRing ? 0 : 150000);
                        std::printf("ring at %.0f Hz, resonance %+.0f, damping %+.0f, trims %+.0f %+.0f: %u frames\n",
                                    rate, resonance, damping, in, out, r.frames);
                        longest = std::max(longest, r.frames);
                        EXPECT_LE(r.frames, tail);
                        if (!longRing) continue;
                        // A host may let the plug-in sleep once the tail is over, never before.
                        EXPECT_GE(r.doneAt, tail);
                        EXPECT_LE(r.doneAt, tail + 512);
                    }
        // Covering with a margin, not wildly more.
        EXPECT_LT(tail, longest * 3 / 2) << rate;
    }
}
