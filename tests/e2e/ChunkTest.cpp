// Saved state: layout of a fresh chunk, round trips, and chunks that are
// shorter, longer or without the marker.
#include <cmath>
#include <limits>

#include "PluginHost.h"

namespace e2e {
namespace {

// Marker, then sliders 1 to 64 as a fresh instance holds them.
std::vector<float> freshChunkFloats() {
    std::vector<float> floats(65, 0.0f);
    floats[0] = -1000.0f;
    floats[14] = -24.0f;
    floats[15] = -24.0f;
    floats[22] = 25.2f;
    return floats;
}

// A state with every one of the 64 slots distinct, declared or not.
std::vector<float> distinctStateFloats() {
    std::vector<float> floats(65);
    floats[0] = -1000.0f;
    for (int k = 1; k <= 64; ++k) floats[static_cast<std::size_t>(k)] = static_cast<float>(k) * 0.25f - 3.0f;
    return floats;
}

TEST(Chunk, FreshStateIs260BytesWithTheSliderDefaults) {
    RecordingHost::reset();
    TonarvoInstance instance;
    ASSERT_NE(instance.effect, nullptr);
    const auto bytes = instance.chunk();
    ASSERT_EQ(bytes.size(), 260u);
    EXPECT_EQ(bytes[0], 0x00);
    EXPECT_EQ(bytes[1], 0x00);
    EXPECT_EQ(bytes[2], 0x7A);
    EXPECT_EQ(bytes[3], 0xC4);
    EXPECT_EQ(floatsOf(bytes), freshChunkFloats());
    EXPECT_EQ(floatsOf(bytes)[22], 25.2f);
    EXPECT_EQ(static_cast<double>(floatsOf(bytes)[22]), 25.200000762939453);

    // Opening and switching on do not move any slider.
    instance.startUp();
    EXPECT_EQ(instance.chunk(), bytes);
}

TEST(Chunk, SavingTwiceGivesIdenticalChunksAndChangesNothing) {
    RecordingHost::reset();
    TonarvoInstance instance;
    ASSERT_NE(instance.effect, nullptr);
    instance.startUp();
    instance.set(2, 0.3f);
    const auto parameters = instance.parameters();
    void* first = nullptr;
    const VstIntPtr firstSize = instance.dispatch(effGetChunk, 0, 0, &first);
    ASSERT_EQ(firstSize, 260);
    const std::vector<unsigned char> firstCopy(static_cast<unsigned char*>(first),
                                               static_cast<unsigned char*>(first) + firstSize);
    void* second = nullptr;
    EXPECT_EQ(instance.dispatch(effGetChunk, 0, 0, &second), 260);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(std::memcmp(firstCopy.data(), second, 260), 0);
    EXPECT_EQ(instance.parameters(), parameters);
    // A preset request (index other than 0) gives the same bytes.
    void* preset = nullptr;
    EXPECT_EQ(instance.dispatch(effGetChunk, 1, 0, &preset), 260);
    EXPECT_EQ(std::memcmp(firstCopy.data(), preset, 260), 0);
}

TEST(Chunk, RoundTripIntoAFreshInstanceRestoresAllSixtyFourSlots) {
    RecordingHost::reset();
    TonarvoInstance source;
    ASSERT_NE(source.effect, nullptr);
    const auto distinct = bytesOf(distinctStateFloats());
    EXPECT_EQ(source.restore(distinct), 260);
    EXPECT_EQ(source.chunk(), distinct);

    TonarvoInstance target;
    ASSERT_NE(target.effect, nullptr);
    target.startUp();
    EXPECT_EQ(target.restore(source.chunk()), 260);
    EXPECT_EQ(target.chunk(), distinct);
    EXPECT_EQ(target.parameters(), source.parameters());
    EXPECT_EQ(target.text(effGetParamDisplay, 0), "-2.75");  // slider 1 = 1 * 0.25 - 3

    // Restoring while switched on, then switching on again (a host's order).
    target.dispatch(effMainsChanged, 0, 1);
    EXPECT_EQ(target.chunk(), distinct);
}

TEST(Chunk, RestoredValuesAreNotClampedToTheSliderRange) {
    RecordingHost::reset();
    TonarvoInstance instance;
    ASSERT_NE(instance.effect, nullptr);
    instance.startUp();
    auto floats = freshChunkFloats();
    floats[22] = 100.0f;
    floats[1] = -30.0f;
    EXPECT_EQ(instance.restore(bytesOf(floats)), 260);
    EXPECT_EQ(instance.get(5), static_cast<float>(100.0 / 48.0));
    EXPECT_EQ(instance.text(effGetParamDisplay, 5), "100.00");
    EXPECT_EQ(instance.get(0), static_cast<float>(-6.0 / 48.0));
    EXPECT_EQ(instance.text(effGetParamDisplay, 0), "-30.00");
    EXPECT_EQ(floatsOf(instance.chunk()), floats);
    // Until the host writes the parameter again.
    instance.set(5, 0.5f);
    EXPECT_EQ(instance.text(effGetParamDisplay, 5), "24.00");

    // Non-finite slots follow the store rule: the host never reads one back.
    const float inf = std::numeric_limits<float>::infinity();
    floats[1] = std::numeric_limits<float>::quiet_NaN();
    floats[10] = inf;
    floats[22] = -inf;
    EXPECT_EQ(instance.restore(bytesOf(floats)), 260);
    for (const float p : instance.parameters()) EXPECT_TRUE(std::isfinite(p));
    EXPECT_EQ(instance.text(effGetParamDisplay, 0), "0.00");
    EXPECT_EQ(instance.text(effGetParamDisplay, 2), "0.00");
    EXPECT_EQ(instance.text(effGetParamDisplay, 5), "0.00");
}

TEST(Chunk, RestoringFromThePluginsOwnChunkPointerRestores) {
    RecordingHost::reset();
    TonarvoInstance instance;
    ASSERT_NE(instance.effect, nullptr);
    instance.startUp();
    const auto distinct = bytesOf(distinctStateFloats());
    instance.restore(distinct);
    void* own = nullptr;
    const VstIntPtr size = instance.dispatch(effGetChunk, 0, 0, &own);
    ASSERT_EQ(size, 260);
    instance.set(0, 1.0f);  // moved after the save; the restore brings it back
    EXPECT_EQ(instance.dispatch(effSetChunk, 0, size, own), 260);
    EXPECT_EQ(instance.chunk(), distinct);
}

TEST(Chunk, ShortChunkRestoresOnlyTheSlotsItCarries) {
    RecordingHost::reset();
    for (const std::size_t trailing : {0u, 1u, 3u}) {
        SCOPED_TRACE("trailing bytes " + std::to_string(trailing));
        TonarvoInstance instance;
        ASSERT_NE(instance.effect, nullptr);
        instance.startUp();
        instance.set(5, 0.0f);  // slider 22 away from its default, to see it kept
        auto expected = floatsOf(instance.chunk());

        auto bytes = bytesOf({-1000.0f, 5.0f, -6.0f, 7.0f});
        bytes.resize(bytes.size() + trailing, 0xFF);
        EXPECT_EQ(instance.restore(bytes), static_cast<VstIntPtr>(16 + trailing));
        expected[1] = 5.0f;
        expected[2] = -6.0f;
        expected[3] = 7.0f;
        EXPECT_EQ(floatsOf(instance.chunk()), expected);
        EXPECT_EQ(instance.get(0), static_cast<float>(29.0 / 48.0));
        EXPECT_EQ(instance.get(1), static_cast<float>(18.0 / 48.0));
        EXPECT_EQ(instance.get(5), 0.0f);

        // The marker alone restores nothing but is accepted.
        const auto before = instance.chunk();
        EXPECT_EQ(instance.restore(bytesOf({-1000.0f})), 4);
        EXPECT_EQ(instance.chunk(), before);
    }
}

TEST(Chunk, LongChunkUsesOnlyTheFirstSixtyFiveFloats) {
    RecordingHost::reset();
    const auto distinct = bytesOf(distinctStateFloats());
    {
        TonarvoInstance instance;
        ASSERT_NE(instance.effect, nullptr);
        auto bytes = distinct;
        bytes.push_back(0x12);
        bytes.push_back(0x34);
        ASSERT_EQ(bytes.size(), 262u);
        EXPECT_EQ(instance.restore(bytes), 262);
        EXPECT_EQ(instance.chunk(), distinct);
    }
    {
        TonarvoInstance instance;
        ASSERT_NE(instance.effect, nullptr);
        auto floats = distinctStateFloats();
        floats.resize(250, 1.0e30f);
        const auto bytes = bytesOf(floats);
        ASSERT_EQ(bytes.size(), 1000u);
        EXPECT_EQ(instance.restore(bytes), 1000);
        EXPECT_EQ(instance.chunk(), distinct);
    }
}

TEST(Chunk, WithoutTheMarkerNothingIsRestoredButTheLengthIsAccepted) {
    RecordingHost::reset();
    TonarvoInstance instance;
    ASSERT_NE(instance.effect, nullptr);
    instance.startUp();
    instance.set(0, 1.0f);
    const auto before = instance.chunk();
    const auto parameters = instance.parameters();

    auto floats = distinctStateFloats();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    for (const float marker : {0.0f, 1000.0f, std::nextafter(-1000.0f, 0.0f), -1000.0f * 1.0001f, nan}) {
        SCOPED_TRACE(marker);
        floats[0] = marker;
        EXPECT_EQ(instance.restore(bytesOf(floats)), 260);
        EXPECT_EQ(instance.chunk(), before);
        EXPECT_EQ(instance.parameters(), parameters);
    }
    // Fewer bytes than one float: accepted, nothing restored.
    const unsigned char three[3] = {0x00, 0x00, 0x7A};
    EXPECT_EQ(instance.restore(three, 3), 3);
    EXPECT_EQ(instance.restore(three, 0), 0);
    EXPECT_EQ(instance.chunk(), before);
}

}  // namespace
}  // namespace e2e
