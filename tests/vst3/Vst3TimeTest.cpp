// The host's process context reaches the effect as a VST 2.4 host's time
// information: looked at inside an instance made in this process.
#include <gtest/gtest.h>

#include "effect/TPlexaEffect.h"
#include "effect/TonarvoVst3.h"
#include "host/vst3/Vst3Plugin.h"

namespace vst3test {
namespace {

using namespace vst3;

TEST(Vst3Time, TheProcessContextReachesTheBlockSectionAsAVst24HostGivesIt) {
    IPluginFactory3* factory = vst3face::moduleFactory(tonarvo::vst3Class());
    const auto& id = tonarvo::kVst3ClassId;
    void* obj = nullptr;
    ASSERT_EQ(factory->createInstance(makeTuid(id[0], id[1], id[2], id[3]).data(), IComponent::iid.data(), &obj),
              kResultOk);
    auto* component = static_cast<vst3face::Plugin*>(static_cast<IComponent*>(obj));
    const tonarvo::TonarvoVariables& v = static_cast<TPlexaEffect&>(component->wrapped().effect()).v;
    ProcessSetup setup{kRealtime, kSample32, 64, 48000.0};
    component->setupProcessing(&setup);
    component->setActive(1);

    float silence[64] = {}, out[2][64];
    float* ins[2] = {silence, silence};
    float* outs[2] = {out[0], out[1]};
    AudioBusBuffers input{2, 0, {ins}}, output{2, 0, {outs}};
    // Bar 3 of 6/8 at 90 beats a minute, playing and recording.
    ProcessContext context{};
    context.state = ProcessContext::kPlaying | ProcessContext::kRecording | ProcessContext::kTempoValid |
                    ProcessContext::kTimeSigValid | ProcessContext::kProjectTimeMusicValid |
                    ProcessContext::kBarPositionValid;
    context.sampleRate = 48000.0;
    context.tempo = 90.0;
    context.timeSigNumerator = 6;
    context.timeSigDenominator = 8;
    context.projectTimeMusic = 9.75;
    context.barPositionMusic = 9.0;
    ProcessData data{kRealtime, kSample32, 64, 1, 1, &input, &output, nullptr, nullptr, nullptr, nullptr, &context};
    ASSERT_EQ(component->process(&data), kResultOk);
    EXPECT_EQ(v.hostTempo, 90.0);
    EXPECT_EQ(v.hostTimeSigNumerator, 6.0);
    EXPECT_EQ(v.hostTimeSigDenominator, 8.0);
    EXPECT_EQ(v.playState, 1.0 + 4.0);
    EXPECT_EQ(v.beatPosition, 9.75);
    // Without a context: what a VST 2.4 host without time information gives.
    data.processContext = nullptr;
    context.state = 0;
    ASSERT_EQ(component->process(&data), kResultOk);
    EXPECT_EQ(v.playState, 0.0);
    component->release();
    factory->release();
}

}  // namespace
}  // namespace vst3test
