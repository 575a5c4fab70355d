// What a careless or hostile host may send: out-of-range indexes, null
// pointers, impossible sizes, non-finite values, overlong texts. None may
// crash the host or change the effect's state.
#include <climits>
#include <cmath>
#include <limits>

#include "PluginHost.h"

namespace e2e {
namespace {

const VstInt32 kBadIndexes[] = {6, 7, 64, 127, 128, 1000, INT32_MAX, -1, -6, INT32_MIN};

TEST(BadInput, ParameterIndexesOutsideTheCount) {
    RecordingHost::reset();
    TonarvoInstance instance;
    ASSERT_NE(instance.effect, nullptr);
    instance.startUp();
    const auto chunk = instance.chunk();
    const auto parameters = instance.parameters();
    for (const VstInt32 index : kBadIndexes) {
        SCOPED_TRACE(index);
        EXPECT_EQ(instance.get(index), 0.0f);
        for (const float value : {0.0f, 0.3f, 1.0f}) instance.set(index, value);
        for (const VstInt32 opcode : {effGetParamName, effGetParamLabel, effGetParamDisplay}) {
            VstIntPtr answer = -1;
            const TextBuffer buffer = instance.textBuffer(opcode, index, &answer);
            EXPECT_EQ(answer, 0);
            EXPECT_EQ(buffer[0], '\0') << "opcode " << opcode;
            EXPECT_EQ(bytesTouchedAfterTerminator(buffer), 0) << "opcode " << opcode;
        }
    }
    EXPECT_EQ(instance.chunk(), chunk);
    EXPECT_EQ(instance.parameters(), parameters);
}

TEST(BadInput, NonFiniteParameterValuesAreIgnored) {
    RecordingHost::reset();
    TonarvoInstance instance;
    ASSERT_NE(instance.effect, nullptr);
    instance.startUp();
    for (VstInt32 p = 0; p < 6; ++p) instance.set(p, 0.25f);
    const auto chunk = instance.chunk();
    const auto parameters = instance.parameters();
    const float inf = std::numeric_limits<float>::infinity();
    for (VstInt32 p = 0; p < 6; ++p)
        for (const float value : {std::numeric_limits<float>::quiet_NaN(), -std::numeric_limits<float>::quiet_NaN(),
                                  std::numeric_limits<float>::signaling_NaN(), inf, -inf}) {
            instance.set(p, value);
            EXPECT_EQ(instance.get(p), parameters[static_cast<std::size_t>(p)]) << "parameter " << p;
        }
    EXPECT_EQ(instance.chunk(), chunk);
}

TEST(BadInput, ParameterValuesOutsideZeroToOneStoreAsComputed) {
    RecordingHost::reset();
    TonarvoInstance instance;
    ASSERT_NE(instance.effect, nullptr);
    // Finite values are not clamped: 2.0 on a -24..24 control is 72.
    instance.set(0, 2.0f);
    EXPECT_EQ(instance.text(effGetParamDisplay, 0), "72.00");
    EXPECT_EQ(instance.get(0), 2.0f);
    instance.set(0, -1.0f);
    EXPECT_EQ(instance.text(effGetParamDisplay, 0), "-72.00");
    // The largest float gives a huge but finite value whose display still fits.
    instance.set(5, std::numeric_limits<float>::max());
    const TextBuffer display = instance.textBuffer(effGetParamDisplay, 5);
    EXPECT_EQ(bytesTouchedAfterTerminator(display), 0);
    EXPECT_LE(std::strlen(display.data()), 63u);
}

TEST(BadInput, NullTextBuffersAreSkipped) {
    RecordingHost::reset();
    TonarvoInstance instance;
    ASSERT_NE(instance.effect, nullptr);
    instance.startUp();
    const auto chunk = instance.chunk();
    struct Row {
        VstInt32 opcode;
        VstIntPtr answer;
    };
    const Row rows[] = {
        {effSetProgramName, 0},  {effGetProgramName, 0},   {effGetParamLabel, 0},    {effGetParamDisplay, 0},
        {effGetParamName, 0},    {effGetEffectName, 0},    {effGetVendorString, 0},  {effGetProductString, 0},
        {effCanDo, -1},          {effGetProgramNameIndexed, 0}, {effEditGetRect, 0}, {effGetChunk, 0},
        {effString2Parameter, 0}, {effGetParameterProperties, 0}, {effVendorSpecific, 0},
        {effGetSpeakerArrangement, 0}, {effSetSpeakerArrangement, 0}, {effGetMidiKeyName, 0},
        {effGetMidiProgramName, 0}, {effGetInputProperties, 0}, {effGetOutputProperties, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE("opcode " + std::to_string(row.opcode));
        EXPECT_EQ(instance.dispatch(row.opcode, 0, 0, nullptr), row.answer);
    }
    EXPECT_EQ(instance.text(effGetProgramName), "MARVOLTIC - Tonarvo - 20241108");
    EXPECT_EQ(instance.chunk(), chunk);
}

TEST(BadInput, EventListsWithNullsAreAccepted) {
    RecordingHost::reset();
    TonarvoInstance instance;
    ASSERT_NE(instance.effect, nullptr);
    instance.startUp();
    EXPECT_EQ(instance.dispatch(effProcessEvents, 0, 0, nullptr), 1);

    VstMidiEvent note{};
    note.type = kVstMidiType;
    note.byteSize = sizeof note;
    struct {
        VstInt32 numEvents;
        VstIntPtr reserved;
        VstEvent* events[4];
    } list{4, 0, {reinterpret_cast<VstEvent*>(&note), nullptr, nullptr, reinterpret_cast<VstEvent*>(&note)}};
    EXPECT_EQ(instance.dispatch(effProcessEvents, 0, 0, &list), 1);
}

TEST(BadInput, ImpossibleChunkArgumentsAreRefusedAndChangeNothing) {
    RecordingHost::reset();
    TonarvoInstance instance;
    ASSERT_NE(instance.effect, nullptr);
    instance.startUp();
    instance.set(0, 0.75f);
    const auto before = instance.chunk();

    // A valid state the refused calls would restore if they read it.
    std::vector<float> state(65, 3.0f);
    state[0] = -1000.0f;
    const auto bytes = bytesOf(state);
    void* data = const_cast<unsigned char*>(bytes.data());
    const VstIntPtr refusedSizes[] = {-1, -4, -260, INTPTR_MIN, VstIntPtr{INT32_MAX} + 1, VstIntPtr{1} << 40,
                                      INTPTR_MAX};
    for (const VstIntPtr size : refusedSizes) {
        SCOPED_TRACE(size);
        EXPECT_EQ(instance.dispatch(effSetChunk, 0, size, data), 0);
        EXPECT_EQ(instance.dispatch(effSetChunk, 1, size, data), 0);
    }
    for (const VstIntPtr size : {VstIntPtr{1}, VstIntPtr{4}, VstIntPtr{260}, VstIntPtr{INT32_MAX}}) {
        SCOPED_TRACE(size);
        EXPECT_EQ(instance.dispatch(effSetChunk, 0, size, nullptr), 0);
    }
    EXPECT_EQ(instance.dispatch(effSetChunk, 0, 0, nullptr), 0);  // nothing to read: accepted as 0 bytes
    EXPECT_EQ(instance.chunk(), before);

    // A null place for the chunk address.
    EXPECT_EQ(instance.dispatch(effGetChunk, 0, 0, nullptr), 0);
    EXPECT_EQ(instance.dispatch(effGetChunk, 1, 0, nullptr), 0);
    EXPECT_EQ(instance.chunk(), before);
}

TEST(BadInput, MissingBuffersInProcessCallsAreSurvived) {
    RecordingHost::reset();
    TonarvoInstance instance;
    ASSERT_NE(instance.effect, nullptr);
    instance.startUp();
    std::vector<float> l(32, 0.1f), r(32, 0.2f), outL(32, -7.0f);
    std::vector<double> dl(32, 0.1), dr(32, 0.2), doutL(32, -7.0);
    float* partialIn[2] = {l.data(), nullptr};
    float* partialOut[2] = {outL.data(), nullptr};
    float* fullIn[2] = {l.data(), r.data()};
    double* dPartialIn[2] = {dl.data(), nullptr};
    double* dPartialOut[2] = {doutL.data(), nullptr};
    double* dFullIn[2] = {dl.data(), dr.data()};

    AEffect* e = instance.effect;
    e->processReplacing(e, nullptr, nullptr, 32);
    e->processReplacing(e, fullIn, nullptr, 32);
    e->processReplacing(e, nullptr, partialOut, 32);
    e->processReplacing(e, partialIn, partialOut, 32);
    e->processReplacing(e, fullIn, partialOut, 32);
    e->processDoubleReplacing(e, nullptr, nullptr, 32);
    e->processDoubleReplacing(e, dFullIn, nullptr, 32);
    e->processDoubleReplacing(e, nullptr, dPartialOut, 32);
    e->processDoubleReplacing(e, dPartialIn, dPartialOut, 32);
    e->processDoubleReplacing(e, dFullIn, dPartialOut, 32);
    EXPECT_EQ(outL, std::vector<float>(32, -7.0f)) << "a block with a missing channel writes nothing";
    EXPECT_EQ(doutL, std::vector<double>(32, -7.0));

    // And the instance keeps working.
    std::vector<float> outR(32, -7.0f);
    float* fullOut[2] = {outL.data(), outR.data()};
    e->processReplacing(e, fullIn, fullOut, 32);
    for (float s : outL) EXPECT_TRUE(std::isfinite(s) && s != -7.0f);
}

TEST(BadInput, TextCopiesStopAtSixtyFourBytes) {
    RecordingHost::reset();
    TonarvoInstance instance;
    ASSERT_NE(instance.effect, nullptr);
    std::string longName(200, 'x');
    for (std::size_t i = 0; i < longName.size(); ++i) longName[i] = static_cast<char>('a' + i % 26);
    EXPECT_EQ(instance.dispatch(effSetProgramName, 0, 0, longName.data()), 0);

    const TextBuffer buffer = instance.textBuffer(effGetProgramName);
    EXPECT_EQ(std::string(buffer.data()), longName.substr(0, 63));
    EXPECT_EQ(buffer[63], '\0');
    for (std::size_t i = 64; i < buffer.size(); ++i)
        ASSERT_EQ(static_cast<unsigned char>(buffer[i]), kCanary) << "byte " << i << " written";

    // Exactly 63 characters still fit whole; 64 lose their last one.
    for (const std::size_t length : {62u, 63u, 64u, 65u}) {
        SCOPED_TRACE(length);
        std::string name = longName.substr(0, length);
        instance.dispatch(effSetProgramName, 0, 0, name.data());
        const TextBuffer copy = instance.textBuffer(effGetProgramName);
        EXPECT_EQ(std::string(copy.data()), name.substr(0, 63));
        EXPECT_EQ(bytesTouchedAfterTerminator(copy), 0);
    }

    // The longest parameter name (60 characters) arrives whole and stops there.
    const TextBuffer name = instance.textBuffer(effGetParamName, 4);
    EXPECT_EQ(std::strlen(name.data()), 60u);
    EXPECT_EQ(bytesTouchedAfterTerminator(name), 0);
}

TEST(BadInput, CanDoReadsNoFurtherThanTheHostsTerminator) {
    RecordingHost::reset();
    TonarvoInstance instance;
    ASSERT_NE(instance.effect, nullptr);
    // A one-byte text at the very end of an allocation: reading past it is a
    // fault the address sanitizer sees.
    auto* one = new char[1]{'\0'};
    EXPECT_EQ(instance.dispatch(effCanDo, 0, 0, one), -1);
    delete[] one;
    auto* shortText = new char[4]{'r', 'e', 'c', '\0'};
    EXPECT_EQ(instance.dispatch(effCanDo, 0, 0, shortText), -1);
    delete[] shortText;
    std::string longText(5000, 'r');
    EXPECT_EQ(instance.dispatch(effCanDo, 0, 0, longText.data()), -1);
}

}  // namespace
}  // namespace e2e
