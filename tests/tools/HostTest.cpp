// The host side of the binary interface: callback answers, time information,
// and the texts the tool prints about a plug-in.
#include <cmath>
#include <cstring>
#include <initializer_list>
#include <limits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tools/vsthost/Commands.h"
#include "tools/vsthost/HostCallback.h"
#include "tools/vsthost/Levels.h"
#include "tools/vsthost/PluginLoader.h"
#include "tools/vsthost/TimeInfo.h"

using namespace vhost;
using namespace vst2;

namespace {

VstIntPtr call(VstInt32 opcode, VstIntPtr value = 0, void* ptr = nullptr) {
    return hostCallback(nullptr, opcode, 0, value, ptr, 0.0f);
}

}  // namespace

TEST(HostCallback, AnswersWhatPlugInsAsk) {
    HostContext host;
    host.sampleRate = 48000.0f;
    host.blockSize = 256;
    ActiveHost active(host);

    EXPECT_EQ(call(audioMasterVersion), 2400);
    EXPECT_EQ(call(audioMasterWantMidi, 1), 1);
    EXPECT_EQ(call(audioMasterGetSampleRate), 48000);
    EXPECT_EQ(call(audioMasterGetBlockSize), 256);
    EXPECT_EQ(call(audioMasterGetCurrentProcessLevel), 1);
    EXPECT_EQ(call(audioMasterUpdateDisplay), 1);
    EXPECT_EQ(call(audioMasterGetVendorVersion), 1000);

    char text[64];
    std::memset(text, 'x', sizeof text);
    EXPECT_EQ(call(audioMasterGetVendorString, 0, text), 1);
    EXPECT_STREQ(text, "Tonarvo");
    EXPECT_EQ(call(audioMasterGetProductString, 0, text), 1);
    EXPECT_STREQ(text, "vsthost");

    char timeInfo[] = "sendVstTimeInfo";
    char events[] = "sendVstEvents";
    EXPECT_EQ(call(audioMasterCanDo, 0, timeInfo), 1);
    EXPECT_EQ(call(audioMasterCanDo, 0, events), 0);
    EXPECT_EQ(call(audioMasterCanDo, 0, nullptr), 0);

    // Everything else: 0, including requests a host may safely ignore.
    for (VstInt32 op : std::initializer_list<VstInt32>{audioMasterAutomate, audioMasterIdle, audioMasterProcessEvents, audioMasterIOChanged,
                        audioMasterSizeWindow, audioMasterBeginEdit, audioMasterEndEdit, 5, 50, -1, 1000})
        EXPECT_EQ(call(op), 0) << op;
}

TEST(HostCallback, VersionIsAnsweredEvenWithoutAContext) {
    EXPECT_EQ(call(audioMasterVersion), 2400);
    EXPECT_EQ(call(audioMasterGetTime), 0);
}

TEST(HostCallback, ContextsNestAndRestore) {
    HostContext outer;
    outer.blockSize = 1;
    ActiveHost a(outer);
    {
        HostContext inner;
        inner.blockSize = 2;
        ActiveHost b(inner);
        EXPECT_EQ(call(audioMasterGetBlockSize), 2);
    }
    EXPECT_EQ(call(audioMasterGetBlockSize), 1);
}

TEST(HostCallback, TimeRequestPointsAtAFilledRecordThatFollowsTheBlocks) {
    HostContext host;
    host.transport = Transport({140.0, 7, 8, true, false});
    host.transport.setSampleRate(44100.0);
    ActiveHost active(host);

    auto* t = reinterpret_cast<const VstTimeInfo*>(call(audioMasterGetTime, kVstPpqPosValid));
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->samplePos, 0.0);
    EXPECT_EQ(t->sampleRate, 44100.0);
    EXPECT_EQ(t->tempo, 140.0);
    EXPECT_EQ(t->timeSigNumerator, 7);
    EXPECT_EQ(t->timeSigDenominator, 8);
    EXPECT_EQ(t->flags, kVstTempoValid | kVstTimeSigValid | kVstPpqPosValid | kVstBarsValid | kVstTransportPlaying);

    // 7/8 is 3.5 quarters; at 140 BPM a quarter is 18900 samples.
    host.transport.advance(18900 * 8);
    t = reinterpret_cast<const VstTimeInfo*>(call(audioMasterGetTime));
    EXPECT_EQ(t->samplePos, 151200.0);
    EXPECT_DOUBLE_EQ(t->ppqPos, 8.0);
    EXPECT_DOUBLE_EQ(t->barStartPos, 7.0);
}

TEST(Transport, PositionsAndBars) {
    EXPECT_DOUBLE_EQ(quartersPerBar(4, 4), 4.0);
    EXPECT_DOUBLE_EQ(quartersPerBar(6, 8), 3.0);
    EXPECT_DOUBLE_EQ(quartersPerBar(3, 2), 6.0);

    Transport t({120.0, 4, 4, false, true});
    t.setSampleRate(48000.0);
    t.advance(24000 * 9);  // 9 quarter notes at 120 BPM
    const VstTimeInfo& info = t.snapshot();
    EXPECT_DOUBLE_EQ(info.ppqPos, 9.0);
    EXPECT_DOUBLE_EQ(info.barStartPos, 8.0);
    EXPECT_EQ(info.flags & (kVstTransportPlaying | kVstTransportRecording), kVstTransportRecording);

    // A host that was not told a rate still reports a finite position.
    Transport scan;
    scan.setSampleRate(0.0);
    scan.advance(512);
    EXPECT_EQ(scan.snapshot().ppqPos, 0.0);
    EXPECT_EQ(scan.snapshot().barStartPos, 0.0);
}

TEST(Describing, OpcodeNamesFlagsAndIds) {
    EXPECT_STREQ(hostOpcodeName(audioMasterGetTime), "audioMasterGetTime");
    EXPECT_STREQ(hostOpcodeName(audioMasterGetInputSpeakerArrangement), "audioMasterGetInputSpeakerArrangement");
    EXPECT_STREQ(hostOpcodeName(5), "unknown");
    EXPECT_STREQ(hostOpcodeName(50), "unknown");
    EXPECT_STREQ(hostOpcodeName(-3), "unknown");

    EXPECT_EQ(describeFlags(4145), "effFlagsHasEditor | effFlagsCanReplacing | effFlagsProgramChunks | "
                                   "effFlagsCanDoubleReplacing");
    EXPECT_EQ(describeFlags(0), "none");
    EXPECT_EQ(describeFlags(effFlagsIsSynth | 0x40000), "effFlagsIsSynth | 0x40000");

    EXPECT_EQ(fourCharText(fourCharConstant('V', 's', 't', 'P')), "VstP");
    EXPECT_EQ(fourCharText(6248), "\\x00\\x00\\x18h");
}

TEST(Levels, PeaksInDecibels) {
    EXPECT_EQ(formatDbfs(1.0), "+0.00 dBFS");
    EXPECT_EQ(formatDbfs(0.5), "-6.02 dBFS");
    EXPECT_EQ(formatDbfs(2.0), "+6.02 dBFS");
    EXPECT_EQ(formatDbfs(0.0), "-inf dBFS");

    PeakMeter meter(2);
    const float block[] = {0.25f, -0.5f, -1.0f, 0.125f, NAN, 0.0f};
    meter.addInterleaved(block, 3);
    EXPECT_EQ(meter.peaks(), (std::vector<double>{1.0, 0.5}));
    EXPECT_EQ(formatPeaks(meter.peaks()), "L +0.00 dBFS, R -6.02 dBFS");
    EXPECT_EQ(formatPeaks({0.5}), "-6.02 dBFS");
    EXPECT_EQ(formatPeaks({1.0, 1.0, 0.0}), "1 +0.00 dBFS, 2 +0.00 dBFS, 3 -inf dBFS");
}

namespace {

std::vector<std::string> adaptedFaces() {
    std::vector<std::string> faces;
#ifdef TONARVO_VST3_BUNDLE
    faces.push_back(TONARVO_VST3_BUNDLE);
#endif
#ifdef TONARVO_CLAP_FILE
    faces.push_back(TONARVO_CLAP_FILE);
#endif
    return faces;
}

// Channel buffers of one block, inputs a fixed tone burst.
struct Block {
    explicit Block(int frames) : in(2, std::vector<float>(frames)), out(2, std::vector<float>(frames, -7.0f)) {
        for (int i = 0; i < frames; ++i) in[0][i] = in[1][i] = 0.6f * std::sin(0.05f * i) * (i % 300 < 150);
    }
    std::vector<float*> inputs(int from) { return {in[0].data() + from, in[1].data() + from}; }
    std::vector<float*> outputs(int from) { return {out[0].data() + from, out[1].data() + from}; }
    std::vector<std::vector<float>> in, out;
};

}  // namespace

// What a careless VST 2.4 host does to a VST 3 or CLAP plug-in through the
// adapter: nothing crashes, nothing unchecked reaches the plug-in, nothing
// non-finite or out of range comes back; and a block beyond the announced
// size comes out as the same music in announced-size calls does.
TEST(AdaptedFaces, CarelessHostCallsAndOversizedBlocks) {
    HostContext host;
    ActiveHost active(host);
    ASSERT_FALSE(adaptedFaces().empty());
    for (const std::string& path : adaptedFaces()) {
        SCOPED_TRACE(path);
        const auto library = PluginLibrary::open(path);
        auto careless = Plugin::create(library, hostCallback);
        careless->open();
        for (const float rate : {-1.0f, 0.0f, std::numeric_limits<float>::quiet_NaN(), 1e30f})
            careless->setSampleRate(rate);
        for (const int size : {-1, 0, 1 << 30}) careless->setBlockSize(size);
        careless->setSampleRate(44100.0f);
        careless->setBlockSize(256);
        const int count = careless->numParams();
        char text[200];
        for (const int index : {-1, count, 1 << 30}) {
            careless->setParameter(index, 0.5f);
            EXPECT_EQ(careless->getParameter(index), 0.0f);
            std::memset(text, 'x', sizeof text);
            text[0] = '\0';
            careless->dispatch(effGetParamName, index, 0, text);
            EXPECT_EQ(text[0], '\0');
        }
        careless->setParameter(0, std::numeric_limits<float>::quiet_NaN());
        careless->setParameter(1, 7.0f);
        for (int p = 0; p < count; ++p) {
            const float value = careless->getParameter(p);
            EXPECT_TRUE(value >= 0.0f && value <= 1.0f) << p << ": " << value;
            std::memset(text, 'x', sizeof text);
            careless->dispatch(effGetParamName, p, 0, text);
            EXPECT_LT(std::strlen(text), 64u);  // VST 2.4's 64 bytes at most
        }
        for (const VstInt32 opcode : {effGetParamName, effGetParamLabel, effGetParamDisplay, effGetEffectName,
                                      effGetVendorString, effGetProductString, effGetProgramName, effGetChunk,
                                      effEditGetRect, effEditOpen})
            careless->dispatch(opcode, 0, 0, nullptr);
        const std::vector<std::uint8_t> chunk = careless->getChunk();
        ASSERT_FALSE(chunk.empty());
        std::vector<std::uint8_t> copy = chunk;
        EXPECT_EQ(careless->dispatch(effSetChunk, 0, 0, copy.data()), 0);
        EXPECT_EQ(careless->dispatch(effSetChunk, 0, -5, copy.data()), 0);
        EXPECT_EQ(careless->dispatch(effSetChunk, 0, 10, nullptr), 0);
        careless->setActive(true);
        Block block(8);
        auto in = block.inputs(0);
        careless->effect().processReplacing(&careless->effect(), in.data(), nullptr, 8);
        auto out = block.outputs(0);
        for (const int frames : {0, -1, std::numeric_limits<int>::min()})
            careless->effect().processReplacing(&careless->effect(), in.data(), out.data(), frames);
        EXPECT_EQ(block.out[0][0], -7.0f);  // nothing written for no frames

        // 1000 frames in one call against 256, 256, 256 and 232.
        constexpr int kFrames = 1000;
        Block whole(kFrames), pieces(kFrames);
        for (Block* b : {&whole, &pieces}) {
            auto plugin = Plugin::create(library, hostCallback);
            plugin->open();
            plugin->setSampleRate(44100.0f);
            plugin->setBlockSize(256);
            plugin->setParameter(2, 0.8f);
            plugin->setActive(true);
            plugin->startProcess();
            for (int from = 0; from < kFrames;) {
                const int n = b == &whole ? kFrames : std::min(256, kFrames - from);
                auto ins = b->inputs(from);
                auto outs = b->outputs(from);
                plugin->processFloat(ins.data(), outs.data(), n);
                from += n;
            }
        }
        for (int c = 0; c < 2; ++c)
            EXPECT_EQ(0, std::memcmp(whole.out[c].data(), pieces.out[c].data(), kFrames * sizeof(float))) << c;
    }
}
