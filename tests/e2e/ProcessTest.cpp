// The processing entries of the descriptor, in both precisions. The effect's
// own signal path is not asserted here; what is asserted holds for any
// effect code: untouched buffers when nothing is to be processed, shared
// state across precisions, in-place equivalence, and bounded finite output.
#include <cmath>

#include "PluginHost.h"

namespace e2e {
namespace {

constexpr float kCanaryFloat = -12345.5f;
constexpr double kCanaryDouble = -67890.25;

// A deterministic, float-representable test signal, well inside full scale.
std::vector<float> signal(std::size_t frames, std::size_t offset, double frequency) {
    std::vector<float> out(frames);
    for (std::size_t i = 0; i < frames; ++i)
        out[i] = static_cast<float>(0.45 * std::sin(0.0137 * frequency * static_cast<double>(i + offset)));
    return out;
}

template <typename Sample>
struct Stereo {
    std::vector<Sample> left, right;
    Sample* channels[2];
    Stereo(std::size_t frames, Sample fill) : left(frames, fill), right(frames, fill) {
        channels[0] = left.data();
        channels[1] = right.data();
    }
    Stereo(const std::vector<float>& l, const std::vector<float>& r)
        : left(l.begin(), l.end()), right(r.begin(), r.end()) {
        channels[0] = left.data();
        channels[1] = right.data();
    }
};

void processFloat(Instance& instance, Stereo<float>& in, Stereo<float>& out, VstInt32 frames) {
    instance.effect->processReplacing(instance.effect, in.channels, out.channels, frames);
}
void processDouble(Instance& instance, Stereo<double>& in, Stereo<double>& out, VstInt32 frames) {
    instance.effect->processDoubleReplacing(instance.effect, in.channels, out.channels, frames);
}

template <typename Sample>
void expectBoundedAndFinite(const Stereo<Sample>& out) {
    for (const auto* channel : {&out.left, &out.right})
        for (Sample s : *channel) {
            ASSERT_TRUE(std::isfinite(s));
            ASSERT_LE(std::fabs(s), 2.0);
        }
}

TEST(Process, EmptyBlocksTouchNoBuffer) {
    RecordingHost::reset();
    TonarvoInstance instance;
    ASSERT_NE(instance.effect, nullptr);
    instance.startUp();
    for (const VstInt32 frames : {0, -1, -512, INT32_MIN}) {
        SCOPED_TRACE(frames);
        Stereo<float> fin(16, 0.25f), fout(16, kCanaryFloat);
        processFloat(instance, fin, fout, frames);
        EXPECT_EQ(fin.left, std::vector<float>(16, 0.25f));
        EXPECT_EQ(fin.right, std::vector<float>(16, 0.25f));
        EXPECT_EQ(fout.left, std::vector<float>(16, kCanaryFloat));
        EXPECT_EQ(fout.right, std::vector<float>(16, kCanaryFloat));

        Stereo<double> din(16, 0.25), dout(16, kCanaryDouble);
        processDouble(instance, din, dout, frames);
        EXPECT_EQ(din.left, std::vector<double>(16, 0.25));
        EXPECT_EQ(dout.left, std::vector<double>(16, kCanaryDouble));
        EXPECT_EQ(dout.right, std::vector<double>(16, kCanaryDouble));
    }
}

TEST(Process, WritesExactlyTheRequestedFrames) {
    RecordingHost::reset();
    TonarvoInstance instance;
    ASSERT_NE(instance.effect, nullptr);
    instance.startUp();
    Stereo<float> in(signal(64, 0, 1.0), signal(64, 0, 2.0));
    Stereo<float> out(64, kCanaryFloat);
    processFloat(instance, in, out, 40);
    for (std::size_t i = 40; i < 64; ++i) {
        EXPECT_EQ(out.left[i], kCanaryFloat);
        EXPECT_EQ(out.right[i], kCanaryFloat);
    }
    Stereo<double> din(64, 0.1), dout(64, kCanaryDouble);
    processDouble(instance, din, dout, 1);
    for (std::size_t i = 1; i < 64; ++i) EXPECT_EQ(dout.left[i], kCanaryDouble);
}

TEST(Process, InPlaceBuffersGiveTheSameResultAsSeparateOnes) {
    RecordingHost::reset();
    TonarvoInstance separate, inPlace;
    ASSERT_NE(separate.effect, nullptr);
    ASSERT_NE(inPlace.effect, nullptr);
    separate.startUp(48000.0f, 300);
    inPlace.startUp(48000.0f, 300);
    for (std::size_t block = 0; block < 4; ++block) {
        SCOPED_TRACE(block);
        const auto l = signal(300, block * 300, 3.0), r = signal(300, block * 300, 5.0);
        if (block % 2 == 0) {
            Stereo<float> in(l, r), out(300, 0.0f), io(l, r);
            processFloat(separate, in, out, 300);
            processFloat(inPlace, io, io, 300);
            EXPECT_EQ(io.left, out.left);
            EXPECT_EQ(io.right, out.right);
            expectBoundedAndFinite(out);
        } else {
            Stereo<double> in(l, r), out(300, 0.0), io(l, r);
            processDouble(separate, in, out, 300);
            processDouble(inPlace, io, io, 300);
            EXPECT_EQ(io.left, out.left);
            EXPECT_EQ(io.right, out.right);
            expectBoundedAndFinite(out);
        }
    }
}

TEST(Process, AlternatingPrecisionsContinueOneSimulation) {
    RecordingHost::reset();
    TonarvoInstance alternating, doubleOnly;
    ASSERT_NE(alternating.effect, nullptr);
    ASSERT_NE(doubleOnly.effect, nullptr);
    alternating.startUp(44100.0f, 128);
    doubleOnly.startUp(44100.0f, 128);
    // A single-precision block differs from a double one only in the final
    // narrowing, as the inputs widen exactly: both instances must agree.
    const VstInt32 sizes[] = {128, 1, 77, 128, 5, 64};
    std::size_t offset = 0;
    for (std::size_t b = 0; b < std::size(sizes); ++b) {
        SCOPED_TRACE(b);
        const auto frames = static_cast<std::size_t>(sizes[b]);
        const auto l = signal(frames, offset, 7.0), r = signal(frames, offset, 11.0);
        offset += frames;
        Stereo<double> din(l, r), dout(frames, 0.0);
        processDouble(doubleOnly, din, dout, sizes[b]);
        if (b % 2 == 0) {
            Stereo<float> in(l, r), out(frames, 0.0f);
            processFloat(alternating, in, out, sizes[b]);
            for (std::size_t i = 0; i < frames; ++i) {
                ASSERT_EQ(out.left[i], static_cast<float>(dout.left[i])) << i;
                ASSERT_EQ(out.right[i], static_cast<float>(dout.right[i])) << i;
            }
        } else {
            Stereo<double> in(l, r), out(frames, 0.0);
            processDouble(alternating, in, out, sizes[b]);
            EXPECT_EQ(out.left, dout.left);
            EXPECT_EQ(out.right, dout.right);
        }
        // Parameter changes between blocks reach both alike.
        alternating.set(static_cast<VstInt32>(b % 6), 0.3f + 0.1f * static_cast<float>(b));
        doubleOnly.set(static_cast<VstInt32>(b % 6), 0.3f + 0.1f * static_cast<float>(b));
    }
}

TEST(Process, DeprecatedAccumulatingCallLeavesOutputsUnchanged) {
    RecordingHost::reset();
    TonarvoInstance instance;
    ASSERT_NE(instance.effect, nullptr);
    instance.startUp();
    Stereo<float> in(signal(32, 0, 1.0), signal(32, 0, 2.0));
    Stereo<float> out(signal(32, 9, 3.0), signal(32, 9, 4.0));
    const auto inBefore = in.left;
    const auto outLeft = out.left, outRight = out.right;
    instance.effect->process(instance.effect, in.channels, out.channels, 32);
    EXPECT_EQ(out.left, outLeft);
    EXPECT_EQ(out.right, outRight);
    EXPECT_EQ(in.left, inBefore);
    instance.effect->process(instance.effect, nullptr, nullptr, 32);
}

TEST(Process, RunsBeforeOpenOrSwitchOnWithoutFault) {
    RecordingHost::reset();
    {
        TonarvoInstance untouched;  // as created: not opened, never switched on
        ASSERT_NE(untouched.effect, nullptr);
        Stereo<float> in(signal(64, 0, 1.0), signal(64, 0, 2.0)), out(64, kCanaryFloat);
        processFloat(untouched, in, out, 64);
        expectBoundedAndFinite(out);
        Stereo<double> din(64, 0.1), dout(64, kCanaryDouble);
        processDouble(untouched, din, dout, 64);
        expectBoundedAndFinite(dout);
    }
    {
        // The scanner's way: open with rate and block size 0, switch off, close.
        TonarvoInstance scanned;
        ASSERT_NE(scanned.effect, nullptr);
        scanned.dispatch(effOpen);
        scanned.dispatch(effSetSampleRate, 0, 0, nullptr, 0.0f);
        scanned.dispatch(effSetBlockSize, 0, 0);
        scanned.dispatch(effMainsChanged, 0, 0);
        scanned.dispatch(effMainsChanged, 0, 1);
        Stereo<float> in(signal(64, 0, 1.0), signal(64, 0, 2.0)), out(64, kCanaryFloat);
        processFloat(scanned, in, out, 64);
        for (float s : out.left) ASSERT_TRUE(std::isfinite(s));
        EXPECT_EQ(scanned.close(), 1);
    }
}

}  // namespace
}  // namespace e2e
