// Rendering end to end. The probe plug-in passes audio through untouched and
// logs what the host does, so any change to the samples or any slip in the
// call sequence is the host's.
#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>

#include <gtest/gtest.h>

#include "CliSupport.h"

using namespace clitest;

namespace {

constexpr int kWavFloat = SF_FORMAT_WAV | SF_FORMAT_FLOAT;

struct Rendered {
    RunResult run;
    Audio in;
    Audio out;
};

Rendered renderThrough(const std::string& plugin, const Audio& input, const std::string& inName,
                       const std::string& outName, std::vector<std::string> options = {},
                       const std::vector<std::string>& env = {}) {
    const std::string dir = scratchDir();
    const std::string in = dir + "/" + inName;
    const std::string out = dir + "/" + outName;
    writeAudio(in, input);
    std::vector<std::string> args{"render", plugin, in, out};
    args.insert(args.end(), options.begin(), options.end());
    Rendered r{runHost(args, env), input, {}};
    if (r.run.exited && r.run.exitCode == 0) r.out = readAudio(out);
    return r;
}

void expectSucceeded(const RunResult& run) {
    ASSERT_TRUE(run.exited) << "killed by signal " << run.signal << "\n" << run.err;
    ASSERT_EQ(run.exitCode, 0) << run.err;
}

// Every sample identical, bit for bit (-0.0 and 0.0 told apart too).
void expectSameBits(const std::vector<float>& expected, const std::vector<float>& actual) {
    ASSERT_EQ(expected.size(), actual.size());
    ASSERT_EQ(0, std::memcmp(expected.data(), actual.data(), expected.size() * sizeof(float)));
}

}  // namespace

TEST(RenderIdentity, FloatWavComesBackBitExactInEveryPrecisionAndBlockSize) {
    const Audio input = makeSignal(2, 10007, 44100, kWavFloat);  // a prime: the last block is always short
    const std::vector<std::vector<std::string>> variants = {
        {}, {"--double"}, {"--block-size", "1"}, {"--block-size", "4096"}, {"--block-size=4096", "--double"}};
    for (const auto& options : variants) {
        SCOPED_TRACE(::testing::PrintToString(options));
        const Rendered r = renderThrough(pluginPath("fake_probe"), input, "in.wav", "out.wav", options);
        expectSucceeded(r.run);
        EXPECT_EQ(r.out.format, kWavFloat);
        EXPECT_EQ(r.out.channels, 2);
        EXPECT_EQ(r.out.sampleRate, 44100);
        expectSameBits(input.samples, r.out.samples);
    }
}

TEST(RenderIdentity, OutputFormatFollowsInputOrExtension) {
    struct Case {
        int inFormat;
        const char* inName;
        const char* outName;
        int expected;
    };
    const Case cases[] = {
        {SF_FORMAT_FLAC | SF_FORMAT_PCM_16, "in.flac", "out.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16},
        {SF_FORMAT_WAV | SF_FORMAT_PCM_16, "in.wav", "out.wav", kWavFloat},
        {SF_FORMAT_AIFF | SF_FORMAT_PCM_24, "in.aiff", "out.aiff", SF_FORMAT_AIFF | SF_FORMAT_FLOAT},
        {SF_FORMAT_FLAC | SF_FORMAT_PCM_24, "in.flac", "out.wav", kWavFloat},
        {SF_FORMAT_WAV | SF_FORMAT_PCM_24, "in.wav", "out.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_24},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.inName) + " -> " + c.outName);
        const Audio input = makeSignal(2, 3000, 48000, c.inFormat);
        const Rendered r = renderThrough(pluginPath("fake_probe"), input, c.inName, c.outName);
        expectSucceeded(r.run);
        EXPECT_EQ(r.out.format, c.expected);
        EXPECT_EQ(r.out.sampleRate, 48000);
        // What the host read is what it wrote: integer samples survive
        // int -> float -> int, and float files hold them exactly.
        expectSameBits(readAudio(scratchDir() + "/" + c.inName).samples, r.out.samples);
    }
}

TEST(RenderIdentity, MonoInputFeedsBothChannels) {
    const Audio input = makeSignal(1, 5000, 22050, kWavFloat);
    const Rendered r = renderThrough(pluginPath("fake_probe"), input, "mono.wav", "out.wav");
    expectSucceeded(r.run);
    ASSERT_EQ(r.out.channels, 2);
    ASSERT_EQ(r.out.frames(), 5000);
    for (long long f = 0; f < 5000; ++f) {
        ASSERT_EQ(r.out.samples[static_cast<std::size_t>(2 * f)], input.samples[static_cast<std::size_t>(f)]);
        ASSERT_EQ(r.out.samples[static_cast<std::size_t>(2 * f + 1)], input.samples[static_cast<std::size_t>(f)]);
    }
}

TEST(RenderIdentity, MonoPluginFoundThroughMainIsReallyCalled) {
    const Audio input = makeSignal(1, 3000, 44100, kWavFloat);
    const Rendered r = renderThrough(pluginPath("fake_mono_main"), input, "mono.wav", "out.wav");
    expectSucceeded(r.run);
    ASSERT_EQ(r.out.channels, 1);
    ASSERT_EQ(r.out.samples.size(), input.samples.size());
    for (std::size_t i = 0; i < input.samples.size(); ++i) ASSERT_EQ(r.out.samples[i], input.samples[i] * 0.5f);
}

TEST(RenderSummary, ReportsFramesTimeSpeedAndPeaks) {
    Audio input = makeSignal(2, 44100, 44100, kWavFloat);
    std::fill(input.samples.begin(), input.samples.end(), 0.0f);
    input.samples[10] = 0.5f;    // left: -6.02 dBFS
    input.samples[21] = -2.0f;   // right: +6.02 dBFS
    const Rendered r = renderThrough(pluginPath("fake_probe"), input, "in.wav", "out.wav");
    expectSucceeded(r.run);
    EXPECT_NE(r.run.out.find("44100 frames (1.000 s at 44100 Hz)"), std::string::npos) << r.run.out;
    EXPECT_NE(r.run.out.find("Real-time factor:"), std::string::npos);
    EXPECT_NE(r.run.out.find("Input peak:  L -6.02 dBFS, R +6.02 dBFS"), std::string::npos) << r.run.out;
    EXPECT_NE(r.run.out.find("Output peak: L -6.02 dBFS, R +6.02 dBFS"), std::string::npos) << r.run.out;
    // Not a terminal: no progress bar, nothing on stderr.
    EXPECT_EQ(r.run.err, "");

    const Rendered quiet = renderThrough(pluginPath("fake_probe"), input, "in.wav", "out.wav", {"--quiet"});
    expectSucceeded(quiet.run);
    EXPECT_EQ(quiet.run.out, "");
}

TEST(HostSequence, CallsComeInHostOrderWithAdvancingMusicalTime) {
    const std::string log = scratchDir() + "/probe.log";
    std::filesystem::remove(log);
    const std::string state = scratchDir() + "/state.bin";
    // 90 BPM at 48 kHz: a quarter is 32000 samples, a 3/4 bar 96000.
    const Audio input = makeSignal(2, 120000, 44100, kWavFloat);
    const Rendered r = renderThrough(pluginPath("fake_probe"), input, "in.wav", "out.wav",
                                     {"--sample-rate", "48000", "--block-size", "50000", "--tempo", "90",
                                      "--time-sig", "3/4", "--playing", "--param", "mode=1", "--save-state", state},
                                     {"VSTHOST_PROBE_LOG=" + log});
    expectSucceeded(r.run);
    const std::vector<std::string> expected = {
        "created",
        "open vendor=Tonarvo product=vsthost version=1000 cando=1,0",
        "rate 48000",
        "block 50000",
        "mains 1 host-rate=48000 host-block=50000 midi=1 display=1",
        "start",
        "process 50000 pos=0 rate=48000 ppq=0.000000 bar=0.000000 tempo=90.000 sig=3/4 flags=11778 level=4",
        "process 50000 pos=50000 rate=48000 ppq=1.562500 bar=0.000000 tempo=90.000 sig=3/4 flags=11778 level=4",
        "process 20000 pos=100000 rate=48000 ppq=3.125000 bar=3.000000 tempo=90.000 sig=3/4 flags=11778 level=4",
        "stop",
        "mains 0 host-rate=48000 host-block=50000 midi=1 display=1",
        "getchunk",
        "close",
    };
    // 11778 = tempo | time signature | ppq | bars | playing.
    EXPECT_EQ(lines(readText(log)), expected);
    // The output file keeps the file's rate; only the plug-in was told 48000.
    EXPECT_EQ(r.out.sampleRate, 44100);
    EXPECT_EQ(readBytes(state).size(), 24u);
}

TEST(HostSequence, RecordingWithoutPlayingAndStateLoadedAfterSwitchOn) {
    const std::string dir = scratchDir();
    const std::string log = dir + "/probe.log";
    std::filesystem::remove(log);
    // A probe chunk: tag then five floats; Mode (the last) switched on.
    std::string chunk = "PRB1";
    const float params[5] = {0.25f, 0.5f, 0.0f, 0.0f, 1.0f};
    chunk.append(reinterpret_cast<const char*>(params), sizeof params);
    writeText(dir + "/state.bin", chunk);
    const Audio input = makeSignal(2, 100, 44100, kWavFloat);
    const Rendered r = renderThrough(pluginPath("fake_probe"), input, "in.wav", "out.wav",
                                     {"--recording", "--load-state", dir + "/state.bin", "--save-state",
                                      dir + "/saved.bin"},
                                     {"VSTHOST_PROBE_LOG=" + log});
    expectSucceeded(r.run);
    const auto got = lines(readText(log));
    ASSERT_GE(got.size(), 8u);
    EXPECT_EQ(got[4].substr(0, 7), "mains 1");
    EXPECT_EQ(got[5], "setchunk 24");
    EXPECT_EQ(got[6], "start");
    // Defaults: 120 BPM in 4/4; recording alone sets only its own flag (8).
    EXPECT_EQ(got[7], "process 100 pos=0 rate=44100 ppq=0.000000 bar=0.000000 tempo=120.000 sig=4/4 flags=11784 level=4");
    // What was loaded is what comes back out.
    const auto saved = readBytes(dir + "/saved.bin");
    EXPECT_EQ(std::string(saved.begin(), saved.end()), chunk);
}

TEST(HostSequence, VerboseNamesEveryHostCall) {
    const Audio input = makeSignal(2, 64, 44100, kWavFloat);
    const Rendered r = renderThrough(pluginPath("fake_probe"), input, "in.wav", "out.wav", {"--verbose"});
    expectSucceeded(r.run);
    for (const char* name : {"audioMasterVersion (1)", "audioMasterGetVendorString (32)", "audioMasterCanDo (37)",
                             "\"sendVstTimeInfo\"", "audioMasterWantMidi (6)", "audioMasterGetTime (7)",
                             "audioMasterGetCurrentProcessLevel (23)", "audioMasterUpdateDisplay (42)"})
        EXPECT_NE(r.run.err.find(name), std::string::npos) << name << "\n" << r.run.err;
}

TEST(RenderTonarvo, ProcessesInBothPrecisionsAndAnyBlockSizeDeterministically) {
    const Audio input = makeSignal(2, 6000, 44100, kWavFloat);
    const std::vector<std::vector<std::string>> variants = {
        {}, {"--double"}, {"--block-size", "1"}, {"--block-size", "4096", "--playing"}};
    for (const auto& options : variants) {
        SCOPED_TRACE(::testing::PrintToString(options));
        const Rendered first = renderThrough(tonarvoPath(), input, "in.wav", "a.wav", options);
        expectSucceeded(first.run);
        ASSERT_EQ(first.out.frames(), 6000);
        ASSERT_EQ(first.out.channels, 2);
        for (float s : first.out.samples) ASSERT_TRUE(std::isfinite(s));
        const Rendered second = renderThrough(tonarvoPath(), input, "in.wav", "b.wav", options);
        expectSucceeded(second.run);
        expectSameBits(first.out.samples, second.out.samples);
    }
}

TEST(RenderTonarvo, FlacAndMonoInputs) {
    const Rendered flac =
        renderThrough(tonarvoPath(), makeSignal(2, 4000, 44100, SF_FORMAT_FLAC | SF_FORMAT_PCM_24), "in.flac", "out.flac");
    expectSucceeded(flac.run);
    EXPECT_EQ(flac.out.format, SF_FORMAT_FLAC | SF_FORMAT_PCM_24);
    EXPECT_EQ(flac.out.frames(), 4000);

    const Rendered mono = renderThrough(tonarvoPath(), makeSignal(1, 4000, 44100, kWavFloat), "in.wav", "out.wav");
    expectSucceeded(mono.run);
    EXPECT_EQ(mono.out.channels, 2);
    EXPECT_EQ(mono.out.frames(), 4000);
}

// The VST 3 bundle and the CLAP file are the same effect behind another
// format: hosted through those formats, the demo's opening comes out byte
// for byte as through the VST 2.4 library, at the defaults and with
// settings, transport, precision and block size changed.
TEST(RenderFaces, Vst3AndClapRenderTheDemoByteForByteAsTheLibrary) {
    const std::string dir = scratchDir();
    Audio demo = readAudio(demoPath());
    // Its first half second: the sanitizer builds run this too.
    demo.samples.resize(std::min(demo.samples.size(), static_cast<std::size_t>(demo.sampleRate / 2 * demo.channels)));
    writeAudio(dir + "/demo.wav", demo);
    const std::vector<std::vector<std::string>> variants = {
        {},
        {"--param", "slew=0.25", "--param", "1=0.3", "--param", "frequency response=0.7", "--playing", "--tempo", "97"},
        {"--double", "--block-size", "300", "--param", "0=0.9", "--param", "damping=0.35"}};
    ASSERT_FALSE(otherFacePaths().empty());
    for (const auto& options : variants) {
        SCOPED_TRACE(::testing::PrintToString(options));
        std::vector<std::string> args{"render", tonarvoPath(), dir + "/demo.wav", dir + "/library.wav", "--quiet"};
        args.insert(args.end(), options.begin(), options.end());
        expectSucceeded(runHost(args));
        for (const std::string& face : otherFacePaths()) {
            SCOPED_TRACE(face);
            args[1] = face;
            args[3] = dir + "/face.wav";
            expectSucceeded(runHost(args));
            EXPECT_EQ(readBytes(dir + "/library.wav"), readBytes(dir + "/face.wav"));
        }
    }
}
