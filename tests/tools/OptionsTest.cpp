#include "tools/vsthost/Options.h"

#include <gtest/gtest.h>

#include "tools/vsthost/Errors.h"

using namespace vhost;

namespace {
Options parse(std::vector<std::string> args) { return parseCommandLine(args); }
}  // namespace

TEST(CommandLine, RenderDefaultsMatchWhatAUserExpects) {
    const Options o = parse({"render", "p.so", "in.wav", "out.wav"});
    EXPECT_EQ(o.command, Command::Render);
    EXPECT_EQ(o.positional, (std::vector<std::string>{"p.so", "in.wav", "out.wav"}));
    EXPECT_FALSE(o.sampleRate.has_value());
    EXPECT_EQ(o.blockSize, 512);
    EXPECT_FALSE(o.useDouble);
    EXPECT_DOUBLE_EQ(o.transport.tempo, 120.0);
    EXPECT_EQ(o.transport.timeSigNumerator, 4);
    EXPECT_EQ(o.transport.timeSigDenominator, 4);
    EXPECT_FALSE(o.transport.playing);
    EXPECT_FALSE(o.transport.recording);
}

TEST(CommandLine, EveryRenderOptionInBothSpellingsAndAnyPosition) {
    const Options o = parse({"render", "--double", "p.so", "--sample-rate=96000", "in.wav", "--block-size", "64",
                             "out.flac", "--param", "gain=0.5", "--param=1=30u", "--load-state", "a.bin",
                             "--save-state=b.bin", "--tempo", "87.5", "--time-sig", "6/8", "--playing", "--recording",
                             "--verbose", "--plot", "w.png"});
    EXPECT_EQ(o.positional, (std::vector<std::string>{"p.so", "in.wav", "out.flac"}));
    EXPECT_DOUBLE_EQ(*o.sampleRate, 96000.0);
    EXPECT_EQ(o.blockSize, 64);
    EXPECT_TRUE(o.useDouble);
    ASSERT_EQ(o.params.size(), 2u);
    EXPECT_EQ(o.params[0].selector, "gain");
    EXPECT_EQ(o.params[1].selector, "1");
    EXPECT_TRUE(o.params[1].inDisplayUnits);
    EXPECT_EQ(o.loadState, "a.bin");
    EXPECT_EQ(o.saveState, "b.bin");
    EXPECT_DOUBLE_EQ(o.transport.tempo, 87.5);
    EXPECT_EQ(o.transport.timeSigNumerator, 6);
    EXPECT_EQ(o.transport.timeSigDenominator, 8);
    EXPECT_TRUE(o.transport.playing);
    EXPECT_TRUE(o.transport.recording);
    EXPECT_TRUE(o.verbose);
    EXPECT_EQ(o.plot, "w.png");
    EXPECT_EQ(parse({"render", "p", "i", "o", "--plot=x.png"}).plot, "x.png");
    EXPECT_EQ(parse({"render", "p", "i", "o"}).plot, "");
}

TEST(CommandLine, AnalyzeDefaultsAndOptions) {
    const Options d = parse({"analyze", "p.so", "--out", "dir"});
    EXPECT_EQ(d.command, Command::Analyze);
    EXPECT_EQ(d.analyze.outDir, "dir");
    EXPECT_TRUE(d.analyze.response && d.analyze.thd && d.analyze.step);
    EXPECT_TRUE(d.analyze.vary.empty());
    EXPECT_DOUBLE_EQ(d.analyze.levelDbfs, -18.0);
    EXPECT_DOUBLE_EQ(d.analyze.thdFrequency, 1000.0);
    const Options o = parse({"analyze", "p.so", "--out=o", "--only", "step,response", "--vary", "Gain, Fine=0.25,-3u",
                             "--level", "-30", "--thd-frequency", "440", "--sample-rate", "96000", "--param", "1=0.5",
                             "--double", "--min-frequency", "20", "--sweep-seconds", "3", "--thd-step", "2"});
    EXPECT_TRUE(o.analyze.response && o.analyze.step);
    EXPECT_FALSE(o.analyze.thd);
    ASSERT_EQ(o.analyze.vary.values.size(), 2u);
    EXPECT_EQ(o.analyze.vary.values[1].selector, "Gain, Fine");  // a name may hold commas; values may not
    EXPECT_TRUE(o.analyze.vary.values[1].inDisplayUnits);
    EXPECT_DOUBLE_EQ(o.analyze.vary.values[1].value, -3.0);
    EXPECT_DOUBLE_EQ(o.analyze.levelDbfs, -30.0);
    EXPECT_DOUBLE_EQ(o.analyze.thdFrequency, 440.0);
    EXPECT_DOUBLE_EQ(o.analyze.lowestFrequency, 20.0);
    EXPECT_DOUBLE_EQ(o.analyze.sweepSeconds, 3.0);
    EXPECT_DOUBLE_EQ(o.analyze.thdStepDb, 2.0);
    EXPECT_DOUBLE_EQ(*o.sampleRate, 96000.0);
    EXPECT_TRUE(o.useDouble);
}

TEST(CommandLine, CommandsAndHelp) {
    EXPECT_EQ(parse({}).command, Command::Help);
    EXPECT_EQ(parse({"--help"}).command, Command::Help);
    EXPECT_EQ(parse({"render", "a", "--help"}).command, Command::Help);
    EXPECT_EQ(parse({"info", "p.so"}).command, Command::Info);
    EXPECT_EQ(parse({"info", "p.so", "--quiet"}).command, Command::Info);
    EXPECT_EQ(parse({"state", "save", "p.so", "f"}).command, Command::StateSave);
    EXPECT_EQ(parse({"state", "load", "p.so", "f"}).command, Command::StateLoad);
}

TEST(CommandLine, RejectsWhatCannotBeMeant) {
    const std::vector<std::vector<std::string>> bad = {
        {"play", "p.so"},
        {"state", "copy", "p", "f"},
        {"state"},
        {"info"},
        {"state", "save", "p.so"},
        {"render", "p", "i", "o", "extra"},
        {"render", "p", "i", "o", "--block-size", "0"},
        {"render", "p", "i", "o", "--block-size", "1048577"},
        {"render", "p", "i", "o", "--block-size", "2.5"},
        {"render", "p", "i", "o", "--block-size", " 4"},
        {"render", "p", "i", "o", "--sample-rate", "0"},
        {"render", "p", "i", "o", "--sample-rate", "inf"},
        {"render", "p", "i", "o", "--tempo", "0"},
        {"render", "p", "i", "o", "--tempo", "120bpm"},
        {"render", "p", "i", "o", "--time-sig", "4"},
        {"render", "p", "i", "o", "--time-sig", "4/3"},
        {"render", "p", "i", "o", "--time-sig", "65/4"},
        {"render", "p", "i", "o", "--time-sig", "/4"},
        {"render", "p", "i", "o", "--playing=1"},
        {"render", "p", "i", "o", "--param"},
        {"render", "p", "i", "o", "--unknown"},
        {"render", "p", "i", "o", "--quiet", "--verbose"},
        {"info", "p", "--double"},
        {"render", "p", "i", "o", "--plot"},
        {"render", "p", "i", "o", "--plot="},
        {"info", "p", "--plot", "x.png"},
        {"analyze", "p"},
        {"analyze", "p", "--out", "o", "--vary", "gain=0.1", "--vary", "mode=1"},
        {"analyze", "p", "--out", "o", "--vary", "gain=0,0.1,0.2,0.3,0.4,0.5,0.6,0.7,0.8,0.9,1,0,0.5"},
        {"analyze", "p", "--out", "o", "--vary", "gain=0.5,"},
        {"analyze", "p", "--out", "o", "--only", ""},
        {"analyze", "p", "--out", "o", "--level", "40"},
        {"analyze", "p", "--out", "o", "--save-state", "s.bin"},
        {"render", "p", "i", "o", "--vary", "gain=0.5"},
    };
    for (const auto& args : bad) {
        SCOPED_TRACE(::testing::PrintToString(args));
        EXPECT_THROW(parse(args), UsageError);
    }
}

TEST(Numbers, WholeStringsOnly) {
    EXPECT_EQ(parseNumber("1.5"), 1.5);
    EXPECT_EQ(parseNumber("-2e3"), -2000.0);
    EXPECT_FALSE(parseNumber(""));
    EXPECT_FALSE(parseNumber("1.5x"));
    EXPECT_FALSE(parseNumber(" 1"));
    EXPECT_FALSE(parseNumber("nan"));
    EXPECT_FALSE(parseNumber("1e999"));
    EXPECT_EQ(parseInteger("4096"), 4096);
    EXPECT_FALSE(parseInteger("4096.0"));
    EXPECT_FALSE(parseInteger("99999999999999999999"));
}

TEST(Numbers, TimeSignatures) {
    int n = 0;
    int d = 0;
    parseTimeSignature("7/8", n, d);
    EXPECT_EQ(n, 7);
    EXPECT_EQ(d, 8);
    parseTimeSignature("1/1", n, d);
    EXPECT_EQ(n, 1);
    EXPECT_EQ(d, 1);
    for (const char* bad : {"3/0", "3/6", "3/-4", "x/4", "3/4/4", "3\\4"}) {
        SCOPED_TRACE(bad);
        EXPECT_THROW(parseTimeSignature(bad, n, d), UsageError);
    }
}
