// The ways into the library and the descriptor a host reads right after.
#include <algorithm>

#include "PluginHost.h"

namespace e2e {
namespace {

TEST(Entry, LibraryExportsOneFunctionUnderEveryEntryName) {
    ASSERT_TRUE(tonarvoLibrary().loaded()) << tonarvoLibrary().error();
    ASSERT_NE(tonarvoEntry("VSTPluginMain"), nullptr);
    EXPECT_EQ(tonarvoEntry("main"), tonarvoEntry("VSTPluginMain"));
    EXPECT_EQ(tonarvoEntry("MAIN"), tonarvoEntry("VSTPluginMain"));
}

TEST(Entry, BothNamesGiveIndependentInstancesWithIdenticalBehaviour) {
    RecordingHost::reset();
    TonarvoInstance a("VSTPluginMain");
    TonarvoInstance b("main");
    ASSERT_NE(a.effect, nullptr);
    ASSERT_NE(b.effect, nullptr);
    EXPECT_NE(a.effect, b.effect);
    EXPECT_NE(a.effect->object, b.effect->object);

    // Same entry functions and same descriptor values, apart from the owner.
    EXPECT_EQ(a.effect->dispatcher, b.effect->dispatcher);
    EXPECT_EQ(a.effect->processReplacing, b.effect->processReplacing);
    EXPECT_EQ(a.effect->processDoubleReplacing, b.effect->processDoubleReplacing);
    EXPECT_EQ(a.effect->flags, b.effect->flags);
    EXPECT_EQ(a.effect->uniqueID, b.effect->uniqueID);
    EXPECT_EQ(a.effect->numParams, b.effect->numParams);

    a.startUp();
    b.startUp();
    EXPECT_EQ(a.text(effGetEffectName), b.text(effGetEffectName));
    EXPECT_EQ(a.parameters(), b.parameters());
    EXPECT_EQ(a.chunk(), b.chunk());
    for (VstInt32 p = 0; p < 6; ++p) EXPECT_EQ(a.text(effGetParamName, p), b.text(effGetParamName, p));

    // State is per instance.
    a.set(0, 1.0f);
    char renamed[] = "renamed";
    a.dispatch(effSetProgramName, 0, 0, renamed);
    EXPECT_EQ(a.get(0), 1.0f);
    EXPECT_EQ(b.get(0), 0.5f);
    EXPECT_EQ(a.text(effGetProgramName), "renamed");
    EXPECT_EQ(b.text(effGetProgramName), "MARVOLTIC - Tonarvo - 20241108");
    EXPECT_NE(a.chunk(), b.chunk());
}

TEST(Entry, AsksTheHostVersionFirstWithANullDescriptor) {
    RecordingHost::reset();
    TonarvoInstance instance;
    ASSERT_NE(instance.effect, nullptr);
    ASSERT_EQ(RecordingHost::calls.size(), 1u) << "creation should ask the host exactly one thing";
    EXPECT_EQ(RecordingHost::calls[0].opcode, audioMasterVersion);
    EXPECT_EQ(RecordingHost::calls[0].effect, nullptr);
}

TEST(Entry, HostWithoutVersionGetsNoInstance) {
    for (const char* name : {"VSTPluginMain", "main", "MAIN"}) {
        SCOPED_TRACE(name);
        RecordingHost::reset();
        RecordingHost::versionAnswer = 0;
        EXPECT_EQ(tonarvoEntry(name)(&RecordingHost::callback), nullptr);
        EXPECT_EQ(RecordingHost::calls.size(), 1u);
        EXPECT_EQ(tonarvoEntry(name)(nullptr), nullptr) << "no host callback at all";
    }
    RecordingHost::reset();
    // A refusal leaves nothing behind that would disturb the next instance.
    TonarvoInstance after;
    ASSERT_NE(after.effect, nullptr);
    EXPECT_EQ(after.effect->uniqueID, 6248);
}

TEST(Descriptor, HoldsTheAnnouncedValues) {
    RecordingHost::reset();
    TonarvoInstance instance;
    ASSERT_NE(instance.effect, nullptr);
    const AEffect& e = *instance.effect;
    EXPECT_EQ(e.magic, 1450406992);
    EXPECT_EQ(e.magic, fourCharConstant('V', 's', 't', 'P'));
    EXPECT_EQ(e.flags, 4145);
    EXPECT_EQ(e.flags, effFlagsHasEditor | effFlagsCanReplacing | effFlagsProgramChunks | effFlagsCanDoubleReplacing);
    EXPECT_EQ(e.uniqueID, 6248);
    EXPECT_EQ(e.numInputs, 2);
    EXPECT_EQ(e.numOutputs, 2);
    EXPECT_EQ(e.numPrograms, 1);
    EXPECT_EQ(e.numParams, 6);
    EXPECT_EQ(e.version, 1);
    EXPECT_EQ(e.initialDelay, 0);
    EXPECT_EQ(e.realQualities, 0);
    EXPECT_EQ(e.offQualities, 0);
    EXPECT_EQ(e.ioRatio, 1.0f);
    EXPECT_EQ(e.resvd1, 0);
    EXPECT_EQ(e.resvd2, 0);
    EXPECT_EQ(e.user, nullptr);
    EXPECT_NE(e.object, nullptr);
    EXPECT_NE(e.dispatcher, nullptr);
    EXPECT_NE(e.process, nullptr);
    EXPECT_NE(e.setParameter, nullptr);
    EXPECT_NE(e.getParameter, nullptr);
    EXPECT_NE(e.processReplacing, nullptr);
    EXPECT_NE(e.processDoubleReplacing, nullptr);
    EXPECT_TRUE(std::all_of(std::begin(e.future), std::end(e.future), [](char c) { return c == 0; }));
}

TEST(Descriptor, StaysUnchangedThroughALifecycle) {
    RecordingHost::reset();
    TonarvoInstance instance;
    ASSERT_NE(instance.effect, nullptr);
    const AEffect before = *instance.effect;
    instance.startUp(48000.0f, 256);
    std::vector<float> left(256, 0.25f), right(256, -0.25f);
    float* io[2] = {left.data(), right.data()};
    instance.effect->processReplacing(instance.effect, io, io, 256);
    instance.set(3, 0.7f);
    (void)instance.chunk();
    instance.dispatch(effMainsChanged, 0, 0);
    EXPECT_EQ(std::memcmp(&before, instance.effect, sizeof(AEffect)), 0);
}

TEST(Teardown, CloseAnswersOneAndRunsOnSwitchedOnOrUntouchedInstances) {
    RecordingHost::reset();
    {
        TonarvoInstance untouched;
        ASSERT_NE(untouched.effect, nullptr);
        EXPECT_EQ(untouched.close(), 1);
    }
    {
        // The order a host uses when it removes a running effect.
        TonarvoInstance running;
        ASSERT_NE(running.effect, nullptr);
        running.startUp();
        running.dispatch(effMainsChanged, 0, 0);
        running.dispatch(effMainsChanged, 0, 1);
        running.dispatch(effMainsChanged, 0, 0);
        EXPECT_EQ(running.close(), 1);
    }
}

}  // namespace
}  // namespace e2e
