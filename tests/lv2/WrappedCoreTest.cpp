// The core the wrapped faces share, against the effect's own VST 2.4 instance
// driven by hand: a block split at parameter changes is the same audio as
// setParameter between shorter calls, in place or not, in either precision.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

#include "effect/TonarvoInstance.h"
#include "effect/TonarvoLv2.h"
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
