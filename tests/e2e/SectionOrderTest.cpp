// Which sections run, and in which order, for each host event; seen through
// a probe plug-in that logs every hook the runtime calls.
#include <climits>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "PluginHost.h"

namespace e2e {
namespace {

using Log = std::vector<std::string>;

struct ProbeApi {
    VstPluginMainProc entry = nullptr;
    int (*size)() = nullptr;
    const char* (*entryAt)(int) = nullptr;
    void (*clear)() = nullptr;
    void (*note)(const char*) = nullptr;
    unsigned (*initCount)(AEffect*) = nullptr;
    double (*extraValue)(AEffect*) = nullptr;
};

const PluginLibrary& probeLibrary() {
    static const PluginLibrary library(PROBE_PLUGIN_PATH);
    return library;
}

const ProbeApi& probe() {
    static const ProbeApi api = [] {
        const PluginLibrary& lib = probeLibrary();
        ProbeApi a;
        a.entry = lib.entry();
        a.size = reinterpret_cast<int (*)()>(lib.symbol("probeLogSize"));
        a.entryAt = reinterpret_cast<const char* (*)(int)>(lib.symbol("probeLogEntry"));
        a.clear = reinterpret_cast<void (*)()>(lib.symbol("probeLogClear"));
        a.note = reinterpret_cast<void (*)(const char*)>(lib.symbol("probeLogNote"));
        a.initCount = reinterpret_cast<unsigned (*)(AEffect*)>(lib.symbol("probeInitCount"));
        a.extraValue = reinterpret_cast<double (*)(AEffect*)>(lib.symbol("probeExtraValue"));
        return a;
    }();
    return api;
}

// Returns the log since the last call and starts a new one.
Log takeLog() {
    Log log;
    for (int i = 0; i < probe().size(); ++i) log.emplace_back(probe().entryAt(i));
    probe().clear();
    return log;
}

Log repeated(const Log& head, const std::string& entry, int times) {
    Log log = head;
    log.insert(log.end(), static_cast<std::size_t>(times), entry);
    return log;
}

const Log kSwitchOn = {"host:wantMidi=1", "onResume", "initSection", "sliderSection"};

class SectionOrder : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(probeLibrary().loaded()) << probeLibrary().error();
        ASSERT_NE(probe().entry, nullptr);
        ASSERT_NE(probe().size, nullptr);
        ASSERT_NE(probe().note, nullptr);
        ASSERT_NE(probe().initCount, nullptr);
        RecordingHost::reset();
        RecordingHost::observer = [](const HostCall& call) {
            if (call.opcode == audioMasterWantMidi)
                probe().note(("host:wantMidi=" + std::to_string(call.value)).c_str());
        };
        probe().clear();
    }
    void TearDown() override { RecordingHost::reset(); }

    std::unique_ptr<Instance> create() {
        auto instance = std::make_unique<Instance>(probe().entry);
        EXPECT_NE(instance->effect, nullptr);
        EXPECT_EQ(takeLog(), Log{}) << "construction runs no section";
        return instance;
    }
};

TEST_F(SectionOrder, OpenAndSwitchOn) {
    auto instance = create();
    EXPECT_EQ(instance->effect->numParams, 2);
    instance->dispatch(effOpen);
    EXPECT_EQ(takeLog(), Log{"onOpen"});
    instance->dispatch(effSetSampleRate, 0, 0, nullptr, 48000.0f);
    instance->dispatch(effSetBlockSize, 0, 256);
    EXPECT_EQ(takeLog(), Log{}) << "rate and block size are only stored";

    instance->dispatch(effMainsChanged, 0, 1);
    EXPECT_EQ(takeLog(), kSwitchOn);
    instance->dispatch(effMainsChanged, 0, 1);
    EXPECT_EQ(takeLog(), kSwitchOn) << "a second switch-on re-initialises again";
    EXPECT_EQ(probe().initCount(instance->effect), 0u);

    instance->dispatch(effMainsChanged, 0, 0);
    EXPECT_EQ(takeLog(), Log{"onSuspend"});
    instance->dispatch(effMainsChanged, 0, 0);
    EXPECT_EQ(takeLog(), Log{"onSuspend"});
    instance->dispatch(effOpen);
    EXPECT_EQ(takeLog(), Log{"onOpen"});
}

TEST_F(SectionOrder, ProcessRunsBlockOnceThenSampleOncePerFrame) {
    auto instance = create();
    instance->dispatch(effOpen);
    instance->dispatch(effMainsChanged, 0, 1);
    takeLog();

    std::vector<float> l(8, 0.5f), r(8, 0.25f), ol(8, 9.0f), orr(8, 9.0f);
    float* in[2] = {l.data(), r.data()};
    float* out[2] = {ol.data(), orr.data()};
    for (const VstInt32 frames : {5, 1, 8}) {
        instance->effect->processReplacing(instance->effect, in, out, frames);
        EXPECT_EQ(takeLog(), repeated({"blockSection"}, "sampleSection", frames)) << frames;
    }
    std::vector<double> dl(8, 0.5), dr(8, 0.25), dol(8, 9.0), dor(8, 9.0);
    double* din[2] = {dl.data(), dr.data()};
    double* dout[2] = {dol.data(), dor.data()};
    instance->effect->processDoubleReplacing(instance->effect, din, dout, 3);
    EXPECT_EQ(takeLog(), repeated({"blockSection"}, "sampleSection", 3));

    for (const VstInt32 frames : {0, -1, INT32_MIN}) {
        instance->effect->processReplacing(instance->effect, in, out, frames);
        EXPECT_EQ(takeLog(), Log{"blockSection"}) << frames;
        instance->effect->processDoubleReplacing(instance->effect, din, dout, frames);
        EXPECT_EQ(takeLog(), Log{"blockSection"}) << frames;
    }
    // The deprecated accumulating call runs nothing.
    instance->effect->process(instance->effect, in, out, 8);
    EXPECT_EQ(takeLog(), Log{});
}

TEST_F(SectionOrder, MissingBuffersRunOnlyTheBlockSection) {
    auto instance = create();
    std::vector<float> l(4, 0.5f), ol(4, 9.0f);
    std::vector<double> dl(4, 0.5), dol(4, 9.0);
    float* partial[2] = {l.data(), nullptr};
    float* partialOut[2] = {ol.data(), nullptr};
    double* dPartial[2] = {dl.data(), nullptr};
    double* dPartialOut[2] = {dol.data(), nullptr};
    AEffect* e = instance->effect;
    e->processReplacing(e, nullptr, nullptr, 4);
    e->processReplacing(e, partial, partialOut, 4);
    e->processDoubleReplacing(e, nullptr, dPartialOut, 4);
    e->processDoubleReplacing(e, dPartial, dPartialOut, 4);
    EXPECT_EQ(takeLog(), repeated({}, "blockSection", 4));
    EXPECT_EQ(ol, std::vector<float>(4, 9.0f));
    EXPECT_EQ(dol, std::vector<double>(4, 9.0));
}

TEST_F(SectionOrder, AllInputsOfAFrameAreReadBeforeAnyOutputIsWritten) {
    auto instance = create();
    AEffect* e = instance->effect;
    // Outputs crossed onto the inputs: channel 0 writes where channel 1 reads.
    std::vector<float> a = {1.0f, 2.0f, 3.0f}, b = {10.0f, 20.0f, 30.0f};
    float* in[2] = {a.data(), b.data()};
    float* crossed[2] = {b.data(), a.data()};
    e->processReplacing(e, in, crossed, 3);
    EXPECT_EQ(b, (std::vector<float>{-1.0f, -2.0f, -3.0f}));
    EXPECT_EQ(a, (std::vector<float>{20.0f, 40.0f, 60.0f}));

    std::vector<double> da = {1.0, 2.0}, db = {10.0, 20.0};
    double* din[2] = {da.data(), db.data()};
    double* dcrossed[2] = {db.data(), da.data()};
    e->processDoubleReplacing(e, din, dcrossed, 2);
    EXPECT_EQ(db, (std::vector<double>{-1.0, -2.0}));
    EXPECT_EQ(da, (std::vector<double>{20.0, 40.0}));
    takeLog();
}

TEST_F(SectionOrder, OnlyParameterWritesThatChangeTheValueRunTheSliderSection) {
    auto instance = create();
    instance->dispatch(effOpen);
    instance->dispatch(effMainsChanged, 0, 1);
    takeLog();

    instance->set(0, 0.5f);  // 0..10 step 1: 5
    EXPECT_EQ(takeLog(), Log{"sliderSection"});
    instance->set(0, 0.5f);
    EXPECT_EQ(takeLog(), Log{}) << "same value";
    instance->set(0, 0.54f);  // 5.4 + 0.5 floors to 5 again
    EXPECT_EQ(takeLog(), Log{}) << "same grid point";
    instance->set(0, 0.56f);  // 6
    EXPECT_EQ(takeLog(), Log{"sliderSection"});
    instance->set(1, 0.5f);  // 0..4 step 0.5: 2, the default
    EXPECT_EQ(takeLog(), Log{});
    instance->set(1, 0.625f);  // 2.5
    EXPECT_EQ(takeLog(), Log{"sliderSection"});

    for (const float bad : {std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity(),
                            -std::numeric_limits<float>::infinity()})
        instance->set(0, bad);
    for (const VstInt32 index : {2, 100, -1, INT32_MIN}) instance->set(index, 0.1f);
    EXPECT_EQ(takeLog(), Log{}) << "ignored writes run nothing";
    (void)instance->get(0);
    (void)instance->text(effGetParamDisplay, 0);
    EXPECT_EQ(takeLog(), Log{}) << "reads run nothing";
}

TEST_F(SectionOrder, RestoreRunsInitOnlyTheFirstTime) {
    auto saver = create();
    saver->set(0, 0.3f);  // 3
    takeLog();
    const std::vector<unsigned char> chunk = saver->chunk();
    EXPECT_EQ(takeLog(), Log{"serializeSection:write"});
    ASSERT_EQ(floatsOf(chunk), (std::vector<float>{-1000.0f, 3.0f, 2.0f, 0.5f}));

    auto fresh = create();
    EXPECT_EQ(fresh->restore(chunk), 16);
    EXPECT_EQ(takeLog(), (Log{"initOnce", "initSection", "serializeSection:read", "sliderSection"}));
    EXPECT_EQ(probe().initCount(fresh->effect), 1u);
    EXPECT_EQ(fresh->get(0), 0.3f);

    std::vector<float> other = {-1000.0f, 7.0f, 1.5f, -4.0f};
    EXPECT_EQ(fresh->restore(bytesOf(other)), 16);
    EXPECT_EQ(takeLog(), (Log{"initOnce", "serializeSection:read", "sliderSection"}));
    EXPECT_EQ(probe().initCount(fresh->effect), 2u);
    EXPECT_EQ(fresh->get(0), 0.7f);
    EXPECT_EQ(probe().extraValue(fresh->effect), -4.0);

    // A switch-on neither reads nor changes the count.
    fresh->dispatch(effMainsChanged, 0, 1);
    EXPECT_EQ(takeLog(), kSwitchOn);
    EXPECT_EQ(probe().initCount(fresh->effect), 2u);
}

// Switched on, the effect may be processing on another thread: the first
// restore's initialisation runs on the audio thread, before its next block.
TEST_F(SectionOrder, FirstRestoreWhileSwitchedOnInitialisesBeforeTheNextBlock) {
    auto instance = create();
    instance->dispatch(effOpen);
    instance->dispatch(effMainsChanged, 0, 1);
    takeLog();
    EXPECT_EQ(instance->restore(bytesOf({-1000.0f, 1.0f})), 8);
    EXPECT_EQ(takeLog(), (Log{"initOnce", "serializeSection:read", "sliderSection"}));
    EXPECT_EQ(probe().initCount(instance->effect), 1u);
    float silence[2] = {}, *io[2] = {&silence[0], &silence[1]};
    instance->effect->processReplacing(instance->effect, io, io, 1);
    EXPECT_EQ(takeLog(), (Log{"initSection", "blockSection", "sampleSection"}));
    instance->effect->processReplacing(instance->effect, io, io, 1);
    EXPECT_EQ(takeLog(), (Log{"blockSection", "sampleSection"}));

    // A switch-on before that block initialises already: no second one.
    auto another = create();
    another->dispatch(effMainsChanged, 0, 1);
    another->restore(bytesOf({-1000.0f, 1.0f}));
    another->dispatch(effMainsChanged, 0, 0);
    another->dispatch(effMainsChanged, 0, 1);
    takeLog();
    another->effect->processReplacing(another->effect, io, io, 1);
    EXPECT_EQ(takeLog(), (Log{"blockSection", "sampleSection"}));
    // Switched off, a first restore initialises at once.
    auto off = create();
    off->dispatch(effMainsChanged, 0, 1);
    off->dispatch(effMainsChanged, 0, 0);
    takeLog();
    off->restore(bytesOf({-1000.0f, 1.0f}));
    EXPECT_EQ(takeLog(), (Log{"initOnce", "initSection", "serializeSection:read", "sliderSection"}));
}

TEST_F(SectionOrder, RejectedOrMarkerlessStateRunsNothing) {
    auto instance = create();
    EXPECT_EQ(instance->restore(bytesOf({0.0f, 1.0f, 2.0f, 3.0f})), 16);
    EXPECT_EQ(instance->restore(bytesOf({1000.0f, 1.0f})), 8);
    const unsigned char three[3] = {0, 0, 0x7A};
    EXPECT_EQ(instance->restore(three, 3), 3);
    EXPECT_EQ(instance->restore(three, 0), 0);
    std::vector<float> valid = {-1000.0f, 1.0f, 2.0f, 3.0f};
    EXPECT_EQ(instance->restore(valid.data(), -16), 0);
    EXPECT_EQ(instance->restore(valid.data(), VstIntPtr{INT32_MAX} + 1), 0);
    EXPECT_EQ(instance->restore(nullptr, 16), 0);
    EXPECT_EQ(takeLog(), Log{});
    EXPECT_EQ(probe().initCount(instance->effect), 0u);
}

TEST_F(SectionOrder, CloseRunsOnCloseThenDestroysTheEffectBeforeTheEditor) {
    auto instance = create();
    instance->dispatch(effOpen);
    instance->dispatch(effMainsChanged, 0, 1);
    instance->dispatch(effMainsChanged, 0, 0);
    takeLog();
    EXPECT_EQ(instance->close(), 1);
    EXPECT_EQ(takeLog(), (Log{"onClose", "destructor:editor attached"}));
}

TEST_F(SectionOrder, RefusedCreationDestroysTheEffectAgain) {
    RecordingHost::versionAnswer = 0;
    EXPECT_EQ(probe().entry(&RecordingHost::callback), nullptr);
    EXPECT_EQ(takeLog(), Log{"destructor:no adapter"});
}

}  // namespace
}  // namespace e2e
