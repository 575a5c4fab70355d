#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

#include "TestSupport.h"
#include "runtime/TPlexa.h"

using namespace plexa;

namespace {

// Streams a fixed number of values, like an effect's serialize section.
struct StreamingEffect : TPlexa {
    int valueCount = 64;
    int initRuns = 0, serializeRuns = 0, sliderRuns = 0;
    std::vector<double> values = std::vector<double>(64, 0.0);
    std::vector<std::string> order;
    void initSection() override { ++initRuns; order.push_back("init"); }
    void sliderSection() override { ++sliderRuns; order.push_back("slider"); }
    void serializeSection() override {
        ++serializeRuns;
        order.push_back("serialize");
        for (int i = 0; i < valueCount; ++i) streamValue(stateStream(), values[static_cast<std::size_t>(i)]);
    }
};

std::vector<unsigned char> bytesOf(const void* data, int length) {
    const auto* p = static_cast<const unsigned char*>(data);
    return std::vector<unsigned char>(p, p + length);
}

}  // namespace

TEST(StateStream, WritesGrowAndReadsStopAtTheEnd) {
    FileRecord record;
    record.reset(FileRecord::Writing);
    double a = 0.1, b = -2.0;
    record.streamValue(a);
    record.streamValue(b);
    ASSERT_EQ(record.data.size(), 2u);
    EXPECT_EQ(record.data[0], 0.1f);

    const std::vector<float> written = record.data;
    record.reset(FileRecord::Reading);
    EXPECT_TRUE(record.data.empty());
    record.data = written;
    double x = 5, y = 5, z = 5;
    record.streamValue(x);
    record.streamValue(y);
    record.streamValue(z);  // past the end: left alone
    EXPECT_EQ(x, 0.10000000149011612);
    EXPECT_EQ(y, -2.0);
    EXPECT_EQ(z, 5.0);
    EXPECT_EQ(record.position, 2);

    record.reset(FileRecord::Closed);
    record.streamValue(x);
    EXPECT_TRUE(record.data.empty());
    EXPECT_EQ(record.initialFlag, 1);
}

TEST(StateStream, NamedRecordsFlushOneBytePerValueBesideTheLibrary) {
    TempFolder folder;
    const std::string library = folder.file("Tonarvo.so");
    platform::Hooks hooks;
    hooks.modulePath = library.c_str();
    ScopedHooks scoped(hooks);

    FileRecord record;
    record.reset(FileRecord::Writing);
    record.fileName = "\\out.bin";
    for (double value : {65.0, 65.99995, 256.0 + 67.0, -1.0}) record.streamValue(value);
    record.reset(FileRecord::Closed);

    std::ifstream in(folder.file("out.bin"), std::ios::binary);
    const std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 3), "ABC");
    EXPECT_EQ(static_cast<unsigned char>(bytes[3]), 0xFF);
}

TEST(StateChunks, SaveWritesMarkerThenValues) {
    StreamingEffect effect;
    effect.values[0] = 25.2;
    void* data = nullptr;
    const int length = effect.writeStateChunk(&data);
    ASSERT_EQ(length, 260);
    const auto bytes = bytesOf(data, length);
    EXPECT_EQ(std::vector<unsigned char>(bytes.begin(), bytes.begin() + 4),
              (std::vector<unsigned char>{0x00, 0x00, 0x7A, 0xC4}));
    float first;
    std::memcpy(&first, bytes.data() + 4, 4);
    EXPECT_EQ(first, 25.2f);
    EXPECT_EQ(effect.initRuns + effect.sliderRuns, 0);  // saving runs only the serialize section

    void* second = nullptr;
    EXPECT_EQ(effect.writeStateChunk(&second), 260);
    EXPECT_EQ(bytesOf(second, 260), bytes);
}

TEST(StateChunks, SectionThatWritesNothingGivesNoChunk) {
    StreamingEffect effect;
    effect.valueCount = 0;
    void* data = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(effect.writeStateChunk(&data), 0);
    EXPECT_EQ(data, reinterpret_cast<void*>(0x1));
}

TEST(StateChunks, RestoreRunsInitOnceThenSerializeThenSlider) {
    StreamingEffect source;
    for (int i = 0; i < 64; ++i) source.values[static_cast<std::size_t>(i)] = i * 0.5;
    void* data = nullptr;
    const int length = source.writeStateChunk(&data);
    const auto chunk = bytesOf(data, length);

    StreamingEffect effect;
    EXPECT_EQ(effect.readStateChunk(chunk.data(), length), length);
    EXPECT_EQ(effect.order, (std::vector<std::string>{"init", "serialize", "slider"}));
    EXPECT_EQ(effect.values, source.values);
    EXPECT_EQ(effect.initCount, 1u);

    effect.order.clear();
    EXPECT_EQ(effect.readStateChunk(chunk.data(), length), length);
    EXPECT_EQ(effect.order, (std::vector<std::string>{"serialize", "slider"}));
    EXPECT_EQ(effect.initCount, 2u);
}

TEST(StateChunks, ShortLongAndForeignChunks) {
    StreamingEffect source;
    for (int i = 0; i < 64; ++i) source.values[static_cast<std::size_t>(i)] = i + 1;
    void* data = nullptr;
    const int length = source.writeStateChunk(&data);
    const std::vector<unsigned char> chunk = bytesOf(data, length);

    {  // truncated: what is there is restored, the rest kept
        StreamingEffect effect;
        effect.values.assign(64, -7.0);
        EXPECT_EQ(effect.readStateChunk(chunk.data(), 4 + 3 * 4 + 2), 18);
        EXPECT_EQ(effect.values[2], 3.0);
        EXPECT_EQ(effect.values[3], -7.0);
    }
    {  // oversized: trailing bytes ignored
        std::vector<unsigned char> longer = chunk;
        longer.resize(262, 0xAB);
        StreamingEffect effect;
        EXPECT_EQ(effect.readStateChunk(longer.data(), 262), 262);
        EXPECT_EQ(effect.values, source.values);
    }
    {  // no marker: nothing runs, nothing changes, length still accepted
        std::vector<unsigned char> foreign = chunk;
        std::memset(foreign.data(), 0, 4);
        StreamingEffect effect;
        EXPECT_EQ(effect.readStateChunk(foreign.data(), 260), 260);
        EXPECT_TRUE(effect.order.empty());
        EXPECT_EQ(effect.values[0], 0.0);
        EXPECT_EQ(effect.stateStream().mode, FileRecord::Reading);
    }
    {  // a NaN where the marker belongs is no marker
        std::vector<unsigned char> foreign = chunk;
        const float nan = std::nanf("");
        std::memcpy(foreign.data(), &nan, 4);
        StreamingEffect effect;
        effect.readStateChunk(foreign.data(), 260);
        EXPECT_TRUE(effect.order.empty());
    }
    {  // under four bytes, or nothing at all
        StreamingEffect effect;
        EXPECT_EQ(effect.readStateChunk(chunk.data(), 3), 3);
        EXPECT_EQ(effect.readStateChunk(nullptr, 0), 0);
        EXPECT_TRUE(effect.order.empty());
    }
}
