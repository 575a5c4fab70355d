#include <gtest/gtest.h>

#include <vector>

#include "host/CVeST.h"
#include "host/PluginEntry.h"
#include "runtime/TPlexa.h"

using namespace vst2;

namespace {

struct HostLog {
    std::vector<std::int32_t> opcodes;
    std::vector<VstIntPtr> values;
    VstTimeInfo timeInfo{};
    bool giveTime = false;
    VstIntPtr displayAnswer = 0;
};
HostLog* gHost = nullptr;

VstIntPtr testHost(AEffect*, std::int32_t opcode, std::int32_t, VstIntPtr value, void*, float) {
    if (opcode == audioMasterVersion) return 2400;
    if (!gHost) return 0;
    gHost->opcodes.push_back(opcode);
    gHost->values.push_back(value);
    if (opcode == audioMasterGetTime) return gHost->giveTime ? reinterpret_cast<VstIntPtr>(&gHost->timeInfo) : 0;
    if (opcode == audioMasterUpdateDisplay) return gHost->displayAnswer;
    return 0;
}

struct ServiceEffect : plexa::TPlexa {
    ServiceEffect() {
        channelCount = 2;
        uniqueId = 1234;
        addSlider(1, nullptr, 0, 0, 1, 0.5, "", "", "", "One");
    }
    std::vector<std::string> calls;
    int blocks = 0, samples = 0;
    void initSection() override {
        calls.push_back("init");
        if (gHost) gHost->opcodes.push_back(-1);  // marks where init ran among host calls
    }
    void blockSection() override { ++blocks; }
    void sampleSection() override {
        ++samples;
        sampleValues[0] = sampleValues[0] * 2;
        sampleValues[1] = sampleValues[1] + 1;
    }
};

class HostServices : public testing::Test {
protected:
    void SetUp() override {
        gHost = &host;
        descriptor = vsthost::createPluginInstance<ServiceEffect>(&testHost);
        ASSERT_NE(descriptor, nullptr);
        adapter = static_cast<CVeST*>(descriptor->object);
        effect = static_cast<ServiceEffect*>(adapter->effect);
    }
    void TearDown() override {
        if (descriptor) descriptor->dispatcher(descriptor, effClose, 0, 0, nullptr, 0);
        gHost = nullptr;
    }
    HostLog host;
    AEffect* descriptor = nullptr;
    CVeST* adapter = nullptr;
    ServiceEffect* effect = nullptr;
};

}  // namespace

TEST_F(HostServices, StoredRateAndBlockSizeUntilTheHostSetsThem) {
    EXPECT_EQ(effect->hostSampleRate(), 44100.0f);
    EXPECT_EQ(effect->hostBlockSize(), 1024);
    EXPECT_EQ(effect->hostInputChannels(), 2);
    EXPECT_EQ(effect->hostOutputChannels(), 2);
    descriptor->dispatcher(descriptor, effSetSampleRate, 0, 0, nullptr, 96000.0f);
    descriptor->dispatcher(descriptor, effSetBlockSize, 0, 64, nullptr, 0);
    EXPECT_EQ(effect->hostSampleRate(), 96000.0f);
    EXPECT_EQ(effect->hostBlockSize(), 64);
    EXPECT_TRUE(host.opcodes.empty());  // answered from the adapter, no host call
}

TEST_F(HostServices, NoTimeInformationGivesZeroesAndLeavesPlacesAlone) {
    double tempo = 1, numerator = 2, denominator = 3;
    EXPECT_EQ(effect->hostTempo(), 0.0);
    EXPECT_FALSE(effect->hostTempoAndTimeSig(&tempo, &numerator, &denominator));
    EXPECT_EQ(tempo, 1.0);
    EXPECT_EQ(denominator, 3.0);
    EXPECT_EQ(effect->hostTransportPlaying(), 0);
    EXPECT_EQ(effect->hostTransportRecording(), 0);
    EXPECT_EQ(effect->hostPpqPosition(), 0.0);
    EXPECT_EQ(host.values, (std::vector<VstIntPtr>{1024, 9216, 2, 8, 512}));
}

TEST_F(HostServices, TimeInformationIsReadAtOnce) {
    host.giveTime = true;
    host.timeInfo.tempo = 123.5;
    host.timeInfo.ppqPos = 7.25;
    host.timeInfo.timeSigNumerator = 7;
    host.timeInfo.timeSigDenominator = 8;
    host.timeInfo.flags = kVstTransportRecording;
    double tempo = 0, numerator = 0, denominator = 0;
    EXPECT_TRUE(effect->hostTempoAndTimeSig(&tempo, &numerator, &denominator));
    EXPECT_EQ(tempo, 123.5);
    EXPECT_EQ(numerator, 7.0);
    EXPECT_EQ(denominator, 8.0);
    EXPECT_TRUE(effect->hostTempoAndTimeSig(nullptr, nullptr, nullptr));
    EXPECT_EQ(effect->hostTransportPlaying(), 0);
    EXPECT_EQ(effect->hostTransportRecording(), 1);
    host.timeInfo.flags = kVstTransportPlaying | kVstTransportRecording;
    EXPECT_EQ(effect->hostTransportPlaying(), 1);
    EXPECT_EQ(effect->hostPpqPosition(), 7.25);
}

TEST_F(HostServices, LatencyDisplayAndRedraw) {
    EXPECT_TRUE(effect->hostSetInitialDelay(64));
    EXPECT_EQ(descriptor->initialDelay, 64);
    EXPECT_TRUE(host.opcodes.empty());
    EXPECT_FALSE(effect->hostUpdateDisplay());
    host.displayAnswer = 1;
    EXPECT_TRUE(effect->hostUpdateDisplay());
    EXPECT_FALSE(effect->hostRedrawEditor());  // no open editor window
}

TEST_F(HostServices, WithoutAnAdapterEveryServiceAnswersNothing) {
    ServiceEffect loose;
    double tempo = 4;
    EXPECT_EQ(loose.hostSampleRate(), 0.0f);
    EXPECT_EQ(loose.hostBlockSize(), 0);
    EXPECT_EQ(loose.hostInputChannels(), 0);
    EXPECT_FALSE(loose.hostTempoAndTimeSig(&tempo, nullptr, nullptr));
    EXPECT_EQ(tempo, 4.0);
    EXPECT_FALSE(loose.hostSetInitialDelay(3));
    EXPECT_FALSE(loose.hostRedrawEditor());
    EXPECT_FALSE(loose.hostSendMidi(0, 0x90, 60, 100));
}

TEST_F(HostServices, SwitchOnAsksForMidiBeforeInitialising) {
    descriptor->dispatcher(descriptor, effMainsChanged, 0, 1, nullptr, 0);
    ASSERT_GE(host.opcodes.size(), 2u);
    EXPECT_EQ(host.opcodes[0], audioMasterWantMidi);
    EXPECT_EQ(host.values[0], 1);
    EXPECT_EQ(host.opcodes[1], -1);
    EXPECT_EQ(effect->calls, std::vector<std::string>{"init"});
    descriptor->dispatcher(descriptor, effMainsChanged, 0, 0, nullptr, 0);
    EXPECT_EQ(effect->calls.size(), 1u);
}

TEST_F(HostServices, MidiRingWrapsAndSkipsOtherEvents) {
    std::vector<VstMidiEvent> midi(1001);
    for (auto& event : midi) {
        event.type = kVstMidiType;
        event.byteSize = sizeof(VstMidiEvent);
        event.midiData[0] = static_cast<char>(0x90);
    }
    std::vector<VstEvent*> pointers;
    for (auto& event : midi) pointers.push_back(reinterpret_cast<VstEvent*>(&event));
    VstEvent sysex{};
    sysex.type = kVstSysExType;
    pointers.push_back(&sysex);
    pointers.push_back(nullptr);
    std::vector<unsigned char> storage(sizeof(VstEvents) + pointers.size() * sizeof(VstEvent*));
    auto* list = reinterpret_cast<VstEvents*>(storage.data());
    list->numEvents = static_cast<std::int32_t>(pointers.size());
    VstEvent** slots = list->events;
    std::copy(pointers.begin(), pointers.end(), slots);

    EXPECT_EQ(descriptor->dispatcher(descriptor, effProcessEvents, 0, 0, list, 0), 1);
    EXPECT_EQ(adapter->midiWriteIndex, 1);
    EXPECT_EQ(descriptor->dispatcher(descriptor, effProcessEvents, 0, 0, nullptr, 0), 1);
    EXPECT_EQ(adapter->midiWriteIndex, 1);

    VstMidiEvent received{};
    EXPECT_TRUE(effect->hostReceiveMidi(&received));
    EXPECT_EQ(static_cast<unsigned char>(received.midiData[0]), 0x90);
    EXPECT_EQ(adapter->midiReadIndex, 1);
    EXPECT_FALSE(effect->hostReceiveMidi(&received));  // caught up with the writer
}

TEST_F(HostServices, AudioLoopRunsBlockThenSamplesAndConvertsPrecision) {
    float left[3] = {1.5f, 2.5f, 0.1f}, right[3] = {0, 1, 2};
    float* io[2] = {left, right};
    descriptor->processReplacing(descriptor, io, io, 3);  // in place
    EXPECT_EQ(effect->blocks, 1);
    EXPECT_EQ(effect->samples, 3);
    EXPECT_EQ(left[0], 3.0f);
    EXPECT_EQ(left[2], 0.2f);
    EXPECT_EQ(right[2], 3.0f);
    EXPECT_EQ(effect->sampleValues[0], static_cast<double>(0.1f) * 2);

    double dleft[2] = {0.1, 1e300}, dright[2] = {0, 0};
    double* dio[2] = {dleft, dright};
    descriptor->processDoubleReplacing(descriptor, dio, dio, 2);
    EXPECT_EQ(dleft[0], 0.2);  // no narrowing on the double path
    EXPECT_EQ(effect->blocks, 2);

    descriptor->processReplacing(descriptor, io, io, 0);
    descriptor->processReplacing(descriptor, io, io, -5);
    EXPECT_EQ(effect->blocks, 4);
    EXPECT_EQ(effect->samples, 5);
    EXPECT_EQ(left[0], 3.0f);

    // A host that hands over no buffers still gets its block section, and no crash.
    descriptor->processReplacing(descriptor, nullptr, nullptr, 16);
    float* holes[2] = {left, nullptr};
    descriptor->processReplacing(descriptor, holes, io, 16);
    EXPECT_EQ(effect->blocks, 6);
    EXPECT_EQ(effect->samples, 5);
}
