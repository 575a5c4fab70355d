// Every dispatcher opcode, the capability answers, programs, switch-on and
// the editor opcodes, as a host sees them.
#include <climits>
#include <map>

#include "PluginHost.h"

namespace e2e {
namespace {

// Answers for index 0, value 0, a zeroed pointer buffer and option 0.
// Opcodes not listed answer 0. effClose is covered by the teardown tests.
const std::map<VstInt32, VstIntPtr> kNonZeroAnswers = {
    {effEditGetRect, 1},           {effIdentify, 1316373862}, {effGetChunk, 260},       {effProcessEvents, 1},
    {effCanBeAutomated, 1},        {effGetEffectName, 1},     {effGetVendorString, 1}, {effGetProductString, 1},
    {effGetVendorVersion, 1000},   {effCanDo, -1},            {effGetVstVersion, 2400}, {effSetEditKnobMode, 1},
    {effGetCurrentMidiProgram, -1},
};

struct alignas(16) ZeroBuffer {
    unsigned char bytes[4096] = {};
};

TEST(Dispatcher, EveryOpcodeOfTheTableAnswersAsAnnounced) {
    RecordingHost::reset();
    for (VstInt32 opcode = 0; opcode <= 79; ++opcode) {
        if (opcode == effClose) continue;
        SCOPED_TRACE("opcode " + std::to_string(opcode));
        TonarvoInstance instance;  // fresh: one opcode's side effect must not colour the next answer
        ASSERT_NE(instance.effect, nullptr);
        ZeroBuffer buffer;
        const auto found = kNonZeroAnswers.find(opcode);
        const VstIntPtr expected = found == kNonZeroAnswers.end() ? 0 : found->second;
        EXPECT_EQ(instance.dispatch(opcode, 0, 0, buffer.bytes), expected);
    }
}

TEST(Dispatcher, OpcodesOutsideTheTableAnswerZeroAndChangeNothing) {
    RecordingHost::reset();
    TonarvoInstance instance;
    ASSERT_NE(instance.effect, nullptr);
    instance.startUp();
    const auto chunkBefore = instance.chunk();
    const AEffect descriptorBefore = *instance.effect;
    RecordingHost::calls.clear();
    for (VstInt32 opcode : {-1, -2, -79, INT32_MIN, 80, 81, 100, 1000, 0x10000, INT32_MAX}) {
        SCOPED_TRACE("opcode " + std::to_string(opcode));
        ZeroBuffer buffer;
        EXPECT_EQ(instance.dispatch(opcode, 3, 12345, buffer.bytes, 1.5f), 0);
        EXPECT_EQ(instance.dispatch(opcode, -1, -1, nullptr, -1.0f), 0);
        ZeroBuffer zero;
        EXPECT_EQ(std::memcmp(buffer.bytes, zero.bytes, sizeof buffer.bytes), 0) << "pointer must not be written";
    }
    EXPECT_EQ(instance.chunk(), chunkBefore);
    EXPECT_EQ(std::memcmp(&descriptorBefore, instance.effect, sizeof(AEffect)), 0);
    EXPECT_TRUE(RecordingHost::calls.empty());
}

TEST(Dispatcher, IdentityNumbersAndStrings) {
    RecordingHost::reset();
    TonarvoInstance instance;
    ASSERT_NE(instance.effect, nullptr);
    EXPECT_EQ(instance.dispatch(effIdentify), 1316373862);
    EXPECT_EQ(instance.dispatch(effIdentify), fourCharConstant('N', 'v', 'E', 'f'));
    EXPECT_EQ(instance.dispatch(effGetVstVersion), 2400);
    EXPECT_EQ(instance.dispatch(effGetVendorVersion), 1000);
    EXPECT_EQ(instance.dispatch(effGetPlugCategory), 0);
    EXPECT_EQ(instance.dispatch(effGetCurrentMidiProgram), -1);

    const std::string description = "MARVOLTIC - Tonarvo - 20241108";
    const struct {
        VstInt32 opcode;
        VstIntPtr answer;
        std::string text;
    } rows[] = {
        {effGetEffectName, 1, description},
        {effGetProductString, 1, description},
        {effGetVendorString, 1, "MARVOLTIC"},
        {effGetProgramName, 0, description},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE("opcode " + std::to_string(row.opcode));
        VstIntPtr answer = -99;
        const TextBuffer buffer = instance.textBuffer(row.opcode, 0, &answer);
        EXPECT_EQ(answer, row.answer);
        EXPECT_EQ(std::string(buffer.data()), row.text);
        EXPECT_EQ(bytesTouchedAfterTerminator(buffer), 0);
    }
}

TEST(Dispatcher, SetTotalSampleToProcessEchoesTheValue) {
    RecordingHost::reset();
    TonarvoInstance instance;
    ASSERT_NE(instance.effect, nullptr);
    const VstIntPtr values[] = {0, 1, 512, 44100, -7, VstIntPtr{1} << 40, INTPTR_MIN, INTPTR_MAX};
    for (VstIntPtr value : values) EXPECT_EQ(instance.dispatch(effSetTotalSampleToProcess, 0, value), value);
}

TEST(Dispatcher, CanDoAnswersYesOnlyToMidiEventInput) {
    RecordingHost::reset();
    TonarvoInstance instance;
    ASSERT_NE(instance.effect, nullptr);
    struct Row {
        const char* text;
        VstIntPtr answer;
    };
    const Row rows[] = {
        {"receiveVstMidiEvent", 1},
        {"receiveVstMidiEventX", -1},
        {"receiveVstMidiEven", -1},
        {"ReceiveVstMidiEvent", -1},
        {"bypass", -1},
        {"receiveVstTimeInfo", -1},
        {"sendVstMidiEvent", -1},
        {"sendVstEvents", -1},
        {"receiveVstEvents", -1},
        {"offline", -1},
        {"midiProgramNames", -1},
        {"startStopProcess", -1},
        {"", -1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.text);
        std::string text = row.text;
        EXPECT_EQ(instance.dispatch(effCanDo, 0, 0, text.data()), row.answer);
    }
}

TEST(Dispatcher, EditorRectangleAndNoWindowYet) {
    RecordingHost::reset();
    TonarvoInstance instance;
    ASSERT_NE(instance.effect, nullptr);
    ERect* rect = nullptr;
    EXPECT_EQ(instance.dispatch(effEditGetRect, 0, 0, &rect), 1);
    ASSERT_NE(rect, nullptr);
    EXPECT_EQ(rect->top, 0);
    EXPECT_EQ(rect->left, 0);
    EXPECT_EQ(rect->bottom, 371);
    EXPECT_EQ(rect->right, 681);

    // Idle before any open, open without a backend, a second open, close,
    // and a close without open: all harmless.
    EXPECT_EQ(instance.dispatch(effEditIdle), 0);
    int fakeParentWindow = 0;
    EXPECT_EQ(instance.dispatch(effEditOpen, 0, 0, &fakeParentWindow), 0);
    EXPECT_EQ(instance.dispatch(effEditOpen, 0, 0, &fakeParentWindow), 0);
    EXPECT_EQ(instance.dispatch(effEditIdle), 0);
    EXPECT_EQ(instance.dispatch(effEditClose), 0);
    EXPECT_EQ(instance.dispatch(effEditClose), 0);
    EXPECT_EQ(instance.dispatch(effEditKeyDown, 'a', 65, nullptr, 1.0f), 0);
    EXPECT_EQ(instance.dispatch(effEditKeyUp, 'a', 65, nullptr, 1.0f), 0);
    // The editor stays attached.
    EXPECT_EQ(instance.effect->flags & effFlagsHasEditor, effFlagsHasEditor);
    ERect* again = nullptr;
    EXPECT_EQ(instance.dispatch(effEditGetRect, 0, 0, &again), 1);
    EXPECT_EQ(again, rect);
}

TEST(Dispatcher, SpeakerArrangementQueryNullsBothPlaces) {
    RecordingHost::reset();
    TonarvoInstance instance;
    ASSERT_NE(instance.effect, nullptr);
    int junk = 0;
    void* inputPlace = &junk;
    void* outputPlace = &junk;
    EXPECT_EQ(instance.dispatch(effGetSpeakerArrangement, 0, reinterpret_cast<VstIntPtr>(&inputPlace), &outputPlace), 0);
    EXPECT_EQ(inputPlace, nullptr);
    EXPECT_EQ(outputPlace, nullptr);
    // Either place may be missing.
    void* onlyOutput = &junk;
    EXPECT_EQ(instance.dispatch(effGetSpeakerArrangement, 0, 0, &onlyOutput), 0);
    EXPECT_EQ(onlyOutput, nullptr);
    void* onlyInput = &junk;
    EXPECT_EQ(instance.dispatch(effGetSpeakerArrangement, 0, reinterpret_cast<VstIntPtr>(&onlyInput), nullptr), 0);
    EXPECT_EQ(onlyInput, nullptr);
    EXPECT_EQ(instance.dispatch(effGetSpeakerArrangement, 0, 0, nullptr), 0);
}

TEST(Dispatcher, OnlyProgramZeroIsAcceptedButNegativeValuesAreStored) {
    RecordingHost::reset();
    TonarvoInstance instance;
    ASSERT_NE(instance.effect, nullptr);
    EXPECT_EQ(instance.dispatch(effGetProgram), 0);
    EXPECT_EQ(instance.dispatch(effSetProgram, 0, 0), 0);
    EXPECT_EQ(instance.dispatch(effGetProgram), 0);
    EXPECT_EQ(instance.dispatch(effSetProgram, 0, 1), 0);
    EXPECT_EQ(instance.dispatch(effGetProgram), 0);
    EXPECT_EQ(instance.dispatch(effSetProgram, 0, 7), 0);
    EXPECT_EQ(instance.dispatch(effGetProgram), 0);
    EXPECT_EQ(instance.dispatch(effSetProgram, 0, VstIntPtr{1} << 40), 0);
    EXPECT_EQ(instance.dispatch(effGetProgram), 0);
    EXPECT_EQ(instance.dispatch(effSetProgram, 0, -3), 0);
    EXPECT_EQ(instance.dispatch(effGetProgram), -3);
    EXPECT_EQ(instance.dispatch(effSetProgram, 0, 0), 0);
    EXPECT_EQ(instance.dispatch(effGetProgram), 0);
    // The program number is not part of the state.
    EXPECT_EQ(instance.chunk().size(), 260u);
}

TEST(Dispatcher, EverySwitchOnAsksTheHostForMidi) {
    RecordingHost::reset();
    TonarvoInstance instance;
    ASSERT_NE(instance.effect, nullptr);
    instance.dispatch(effOpen);
    // A switch-off before any switch-on (scanners do that) asks nothing.
    instance.dispatch(effMainsChanged, 0, 0);
    EXPECT_TRUE(RecordingHost::callsWith(audioMasterWantMidi).empty());

    for (VstIntPtr on : {VstIntPtr{1}, VstIntPtr{1}, VstIntPtr{2}, VstIntPtr{-1}}) {
        EXPECT_EQ(instance.dispatch(effMainsChanged, 0, on), 0);
        instance.dispatch(effMainsChanged, 0, 0);
    }
    const auto requests = RecordingHost::callsWith(audioMasterWantMidi);
    ASSERT_EQ(requests.size(), 4u);
    for (const HostCall& call : requests) {
        EXPECT_EQ(call.value, 1);
        EXPECT_EQ(call.effect, instance.effect);
    }
}

TEST(Dispatcher, MidiEventListsAreAlwaysAccepted) {
    RecordingHost::reset();
    TonarvoInstance instance;
    ASSERT_NE(instance.effect, nullptr);
    instance.startUp();

    // More events than the ring holds, mixed with other event types.
    constexpr int kCount = 1003;
    std::vector<VstMidiEvent> midi(kCount);
    VstMidiSysexEvent sysex{};
    sysex.type = kVstSysExType;
    sysex.byteSize = sizeof sysex;
    for (int i = 0; i < kCount; ++i) {
        midi[static_cast<std::size_t>(i)].type = kVstMidiType;
        midi[static_cast<std::size_t>(i)].byteSize = sizeof(VstMidiEvent);
        midi[static_cast<std::size_t>(i)].deltaFrames = i % 64;
        midi[static_cast<std::size_t>(i)].midiData[0] = static_cast<char>(0x90);
        midi[static_cast<std::size_t>(i)].midiData[1] = static_cast<char>(i & 0x7F);
    }
    std::vector<unsigned char> storage(offsetof(VstEvents, events) + sizeof(VstEvent*) * (kCount + 1));
    auto* list = reinterpret_cast<VstEvents*>(storage.data());
    list->numEvents = kCount + 1;
    // The declared array has two entries; hosts allocate as many as they send.
    auto** slots = reinterpret_cast<VstEvent**>(storage.data() + offsetof(VstEvents, events));
    for (int i = 0; i < kCount; ++i) slots[i] = reinterpret_cast<VstEvent*>(&midi[static_cast<std::size_t>(i)]);
    slots[kCount] = reinterpret_cast<VstEvent*>(&sysex);
    EXPECT_EQ(instance.dispatch(effProcessEvents, 0, 0, list), 1);

    list->numEvents = 0;
    EXPECT_EQ(instance.dispatch(effProcessEvents, 0, 0, list), 1);
    list->numEvents = -5;
    EXPECT_EQ(instance.dispatch(effProcessEvents, 0, 0, list), 1);
    EXPECT_EQ(instance.chunk().size(), 260u) << "events are not state";
}

}  // namespace
}  // namespace e2e
