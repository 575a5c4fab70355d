// Every bad input ends in one line on stderr and a non-zero exit, never a
// crash, and a failed render leaves no output file behind.
#include <sndfile.h>

#include <filesystem>

#include <gtest/gtest.h>

#include "CliSupport.h"

using namespace clitest;

namespace {

struct Files {
    std::string dir;
    std::string stereo;  // float WAV, 2 channels
    std::string mono;
    std::string surround;  // 3 channels
    std::string text;      // not audio
    std::string out;
};

Files prepare() {
    Files s;
    s.dir = scratchDir();
    s.stereo = s.dir + "/stereo.wav";
    s.mono = s.dir + "/mono.wav";
    s.surround = s.dir + "/three.wav";
    s.text = s.dir + "/notes.txt";
    s.out = s.dir + "/out.wav";
    writeAudio(s.stereo, makeSignal(2, 500, 44100, SF_FORMAT_WAV | SF_FORMAT_FLOAT));
    writeAudio(s.mono, makeSignal(1, 500, 44100, SF_FORMAT_WAV | SF_FORMAT_FLOAT));
    writeAudio(s.surround, makeSignal(3, 500, 44100, SF_FORMAT_WAV | SF_FORMAT_FLOAT));
    writeText(s.text, "this is not audio, nor a shared library\n");
    std::filesystem::remove(s.out);
    return s;
}

// Runs and checks the failure shape; returns stderr for the reason's wording.
std::string expectCleanFailure(const std::vector<std::string>& args, int exitCode = 1) {
    const RunResult run = runHost(args);
    EXPECT_TRUE(run.exited) << "killed by signal " << run.signal << ": " << run.err;
    EXPECT_EQ(run.exitCode, exitCode) << run.err;
    const auto errLines = lines(run.err);
    EXPECT_EQ(errLines.size(), 1u) << run.err;
    EXPECT_EQ(run.err.rfind("vsthost: ", 0), 0u) << run.err;
    return run.err;
}

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

}  // namespace

TEST(Errors, PluginsThatCannotBeLoaded) {
    const Files s = prepare();
    const struct {
        std::string plugin;
        const char* reason;
    } cases[] = {
        {s.dir + "/missing.so", "no such file"},
        {s.dir, "is a directory"},
        {s.text, "cannot load plug-in"},
        {pluginPath("fake_no_entry"), "exports neither VSTPluginMain nor main"},
        {pluginPath("fake_null_entry"), "returned no effect"},
        {pluginPath("fake_bad_magic"), "wrong magic 0x4E6F7065"},
        {s.dir + "/Empty.vst3", "the bundle has no module for this platform"},
        {s.dir + "/probe.vst3", "exports no GetPluginFactory"},
        {s.dir + "/probe.clap", "exports no clap_entry"},
        {s.dir + "/notes.clap", "cannot load plug-in"},
    };
    // Named as the other formats are, but not of them.
    std::filesystem::create_directories(s.dir + "/Empty.vst3/Contents");
    for (const char* name : {"/probe.vst3", "/probe.clap"})
        std::filesystem::copy_file(pluginPath("fake_probe"), s.dir + name,
                                   std::filesystem::copy_options::overwrite_existing);
    std::filesystem::copy_file(s.text, s.dir + "/notes.clap", std::filesystem::copy_options::overwrite_existing);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.plugin);
        EXPECT_TRUE(contains(expectCleanFailure({"info", c.plugin}), c.reason));
        EXPECT_TRUE(contains(expectCleanFailure({"render", c.plugin, s.stereo, s.out}), c.reason));
        EXPECT_TRUE(contains(expectCleanFailure({"state", "save", c.plugin, s.dir + "/st.bin"}), c.reason));
        EXPECT_TRUE(contains(expectCleanFailure({"analyze", c.plugin, "--out", s.dir + "/an"}), c.reason));
        EXPECT_FALSE(fileExists(s.out));
    }
}

TEST(Errors, InputsAndOutputsThatDoNotFit) {
    const Files s = prepare();
    const std::string probe = pluginPath("fake_probe");
    EXPECT_TRUE(contains(expectCleanFailure({"render", probe, s.dir + "/nope.wav", s.out}), "no such file"));
    EXPECT_TRUE(contains(expectCleanFailure({"render", probe, s.text, s.out}), "as audio"));
    EXPECT_TRUE(contains(expectCleanFailure({"render", probe, s.surround, s.out}),
                         "input has 3 channel(s) but the plug-in takes 2"));
    EXPECT_TRUE(contains(expectCleanFailure({"render", pluginPath("fake_mono_main"), s.stereo, s.out}),
                         "input has 2 channel(s) but the plug-in takes 1"));
    EXPECT_TRUE(contains(expectCleanFailure({"render", pluginPath("fake_mono_main"), s.mono, s.out, "--double"}),
                         "double precision"));
    EXPECT_TRUE(contains(expectCleanFailure({"render", probe, s.stereo, s.dir + "/no/such/dir/out.wav"}),
                         "cannot write"));
    EXPECT_TRUE(contains(expectCleanFailure({"render", probe, s.stereo, s.stereo}), "is the input file"));
    EXPECT_TRUE(contains(expectCleanFailure({"render", probe, s.stereo, s.out, "--load-state", s.dir + "/none.bin"}),
                         "no such file"));
    EXPECT_TRUE(contains(expectCleanFailure({"render", pluginPath("fake_mono_main"), s.mono, s.out, "--save-state",
                                             s.dir + "/st.bin"}),
                         "chunk"));
    EXPECT_TRUE(contains(expectCleanFailure({"state", "load", tonarvoPath(), s.dir + "/none.bin"}), "no such file"));
    const auto analyze = [&](std::vector<std::string> options) {
        std::vector<std::string> args = {"analyze", probe, "--out", s.dir + "/an"};
        args.insert(args.end(), options.begin(), options.end());
        return expectCleanFailure(args);
    };
    EXPECT_TRUE(contains(analyze({"--out", s.text}), "not a folder"));
    EXPECT_TRUE(contains(analyze({"--sample-rate", "8000", "--min-frequency", "600"}), "three octaves"));
    EXPECT_TRUE(contains(analyze({"--thd-frequency", "15000"}), "no harmonic below Nyquist"));
    EXPECT_TRUE(contains(analyze({"--vary", "gain=90u"}), "cannot show 90"));
    EXPECT_FALSE(fileExists(s.out));
    // The input survived the attempt to overwrite it.
    EXPECT_EQ(readAudio(s.stereo).frames(), 500);
}

TEST(Errors, ParametersThatCannotBeSet) {
    const Files s = prepare();
    const std::string tonarvo = tonarvoPath();
    auto render = [&](const std::string& param, int exitCode) {
        return expectCleanFailure({"render", tonarvo, s.stereo, s.out, "--param", param}, exitCode);
    };
    EXPECT_TRUE(contains(render("wobble=0.5", 2), "no parameter name contains 'wobble'"));
    const std::string ambiguous = render("trim=0.5", 2);
    EXPECT_TRUE(contains(ambiguous, "0 \"OSK's Input Trim\", 1 \"OSK's Output Trim\"")) << ambiguous;
    EXPECT_TRUE(contains(render("6=0.5", 2), "no parameter with index 6"));
    EXPECT_TRUE(contains(render("slew=1.5", 2), "0..1"));
    EXPECT_TRUE(contains(render("slew=fast", 2), "not a number"));
    EXPECT_TRUE(contains(render("slew", 2), "NAME_OR_INDEX=VALUE"));
    EXPECT_TRUE(contains(render("slew=60u", 1), "cannot show 60: its display ranges over 0..48"));
    EXPECT_TRUE(contains(expectCleanFailure({"render", pluginPath("fake_probe"), s.stereo, s.out, "--param", "mode=1u"}),
                         "not a number"));
    EXPECT_FALSE(fileExists(s.out));
}

TEST(Errors, MalformedCommandLines) {
    const Files s = prepare();
    const std::string probe = pluginPath("fake_probe");
    const std::vector<std::vector<std::string>> bad = {
        {"frobnicate"},
        {"info"},
        {"info", probe, "extra"},
        {"state"},
        {"state", "swap", probe, "x"},
        {"render", probe, s.stereo},
        {"render", probe, s.stereo, s.out, "--block-size", "0"},
        {"render", probe, s.stereo, s.out, "--block-size", "12x"},
        {"render", probe, s.stereo, s.out, "--block-size"},
        {"render", probe, s.stereo, s.out, "--sample-rate", "-44100"},
        {"render", probe, s.stereo, s.out, "--tempo", "nan"},
        {"render", probe, s.stereo, s.out, "--time-sig", "3/5"},
        {"render", probe, s.stereo, s.out, "--time-sig", "0/4"},
        {"render", probe, s.stereo, s.out, "--double=yes"},
        {"render", probe, s.stereo, s.out, "--louder"},
        {"render", probe, s.stereo, s.out, "--quiet", "--verbose"},
        {"info", probe, "--tempo", "100"},
        {"analyze", probe},
        {"analyze", probe, "--out", s.dir, "--only", "noise"},
        {"analyze", probe, "--out", s.dir, "--vary", "gain=0.1,,0.2"},
        {"analyze", probe, "--out", s.dir, "--plot", "x.png"},
        {"render", probe, s.stereo, s.out, "--out", s.dir},
    };
    for (const auto& args : bad) {
        SCOPED_TRACE(::testing::PrintToString(args));
        expectCleanFailure(args, 2);
    }
    EXPECT_FALSE(fileExists(s.out));
}
