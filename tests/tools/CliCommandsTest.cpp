// info, state save/load and parameter setting, against the real plug-in and
// the probe.
#include <sndfile.h>

#include <gtest/gtest.h>

#include "CliSupport.h"

using namespace clitest;

namespace {

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

void expectSucceeded(const RunResult& run) {
    ASSERT_TRUE(run.exited) << "killed by signal " << run.signal << "\n" << run.err;
    ASSERT_EQ(run.exitCode, 0) << run.err;
}

// The parameter line of `info` or `state load` output for one index.
std::string paramLine(const std::string& out, int index) {
    const std::string prefix = "  " + std::string(index < 10 ? "  " : " ") + std::to_string(index) + "  ";
    bool inParameters = false;
    for (const auto& line : lines(out)) {
        if (line.rfind("Parameters:", 0) == 0) inParameters = true;
        if (inParameters && line.rfind(prefix, 0) == 0) return line;
    }
    return {};
}

std::string renderSmall(const std::string& plugin, std::vector<std::string> options) {
    const std::string dir = scratchDir();
    writeAudio(dir + "/in.wav", makeSignal(2, 256, 44100, SF_FORMAT_WAV | SF_FORMAT_FLOAT));
    std::vector<std::string> args{"render", plugin, dir + "/in.wav", dir + "/out.wav"};
    args.insert(args.end(), options.begin(), options.end());
    const RunResult run = runHost(args);
    EXPECT_TRUE(run.exited && run.exitCode == 0) << run.err;
    return run.out;
}

}  // namespace

TEST(Usage, HelpIsOutputAndBareCallIsAUsageError) {
    const RunResult help = runHost({"--help"});
    expectSucceeded(help);
    EXPECT_TRUE(contains(help.out, "vsthost render PLUGIN IN OUT [options]"));
    EXPECT_TRUE(contains(help.out, "--param SEL=VALUE"));
    const RunResult renderHelp = runHost({"render", "--help"});
    expectSucceeded(renderHelp);
    EXPECT_EQ(renderHelp.out, help.out);

    const RunResult bare = runHost({});
    ASSERT_TRUE(bare.exited);
    EXPECT_EQ(bare.exitCode, 2);
    EXPECT_TRUE(contains(bare.err, "Usage:"));
}

TEST(Info, ReportsTonarvoIdentityFlagsAndParameters) {
    const RunResult run = runHost({"info", tonarvoPath()});
    expectSucceeded(run);
    EXPECT_TRUE(contains(run.out, "Effect name:    MARVOLTIC - Tonarvo - 20241108")) << run.out;
    EXPECT_TRUE(contains(run.out, "Vendor:         MARVOLTIC\n"));
    EXPECT_TRUE(contains(run.out, "Vendor version: 1000"));
    EXPECT_TRUE(contains(run.out, "Unique ID:      6248 (0x00001868, '\\x00\\x00\\x18h')"));
    EXPECT_TRUE(contains(run.out, "VST version:    2400"));
    EXPECT_TRUE(contains(run.out, "Flags:          0x00001031 effFlagsHasEditor | effFlagsCanReplacing | "
                                  "effFlagsProgramChunks | effFlagsCanDoubleReplacing"));
    EXPECT_TRUE(contains(run.out, "Inputs:         2\nOutputs:        2"));
    EXPECT_TRUE(contains(run.out, "Programs:       1 (current 0)"));
    EXPECT_TRUE(contains(run.out, "Parameters:     6"));
    EXPECT_TRUE(contains(paramLine(run.out, 5), "OSK's Slew Rate Limit (dB/sample)")) << run.out;
    EXPECT_TRUE(contains(paramLine(run.out, 0), "0.500000")) << run.out;
}

TEST(Info, ShowsLabelsAndTheEntryPointUsed) {
    const RunResult probe = runHost({"info", pluginPath("fake_probe")});
    expectSucceeded(probe);
    EXPECT_TRUE(contains(probe.out, "(entry VSTPluginMain)"));
    EXPECT_TRUE(contains(probe.out, "Unique ID:      1349673521 (0x50726231, 'Prb1')")) << probe.out;
    EXPECT_TRUE(contains(paramLine(probe.out, 2), "20.0 Hz")) << probe.out;
    EXPECT_TRUE(contains(paramLine(probe.out, 0), "-24.0 dB")) << probe.out;

    const RunResult mono = runHost({"info", pluginPath("fake_mono_main")});
    expectSucceeded(mono);
    EXPECT_TRUE(contains(mono.out, "(entry main)"));
    EXPECT_TRUE(contains(mono.out, "Flags:          0x00000010 effFlagsCanReplacing"));
    EXPECT_TRUE(contains(mono.out, "Parameters:     0"));
}

TEST(Parameters, SetByNameIndexAndDisplayedUnits) {
    const std::string out = renderSmall(tonarvoPath(), {"--param", "slew=30u", "--param", "1=0.75", "--param",
                                                        "INPUT TRIM=0.25", "--param", "cartridge=1.5u"});
    EXPECT_TRUE(contains(out, "Parameter 5 \"OSK's Slew Rate Limit (dB/sample)\" = 0.625000 (30.00)")) << out;
    EXPECT_TRUE(contains(out, "Parameter 1 \"OSK's Output Trim\" = 0.750000 (12.00)")) << out;
    EXPECT_TRUE(contains(out, "Parameter 0 \"OSK's Input Trim\" = 0.250000 (-12.00)")) << out;
    EXPECT_TRUE(contains(out, "Parameter 2 \"OSK's Cartridge Frequency Response\" = 0.750000 (1.50)")) << out;
}

TEST(Parameters, UnitsWorkOnFallingAndExponentialDisplaysAndExactNamesWin) {
    const std::string out = renderSmall(pluginPath("fake_probe"),
                                        {"--param", "depth=25u", "--param", "cutoff=632.5u", "--param", "gain=-6u"});
    EXPECT_TRUE(contains(out, "\"Depth\" = 0.75")) << out;
    EXPECT_TRUE(contains(out, "(632.5)")) << out;
    // "gain" is part of "Gain Fine" too, but names "Gain" exactly.
    EXPECT_TRUE(contains(out, "Parameter 0 \"Gain\"")) << out;
    EXPECT_TRUE(contains(out, "= 0.750000 (-6.0)")) << out;
}

TEST(State, FreshTonarvoChunkSavesAndLoadsBack) {
    const std::string dir = scratchDir();
    const RunResult save = runHost({"state", "save", tonarvoPath(), dir + "/fresh.bin"});
    expectSucceeded(save);
    const auto chunk = readBytes(dir + "/fresh.bin");
    ASSERT_EQ(chunk.size(), 260u);
    EXPECT_EQ(chunk[0], 0x00);
    EXPECT_EQ(chunk[1], 0x00);
    EXPECT_EQ(chunk[2], 0x7A);
    EXPECT_EQ(chunk[3], 0xC4);

    const RunResult load = runHost({"state", "load", tonarvoPath(), dir + "/fresh.bin"});
    expectSucceeded(load);
    EXPECT_TRUE(contains(load.out, "Loaded 260 bytes"));
    EXPECT_TRUE(contains(paramLine(load.out, 5), "25.20")) << load.out;
}

TEST(State, RenderSavesParametersThatStateLoadShows) {
    const std::string dir = scratchDir();
    renderSmall(tonarvoPath(), {"--param", "slew=30u", "--param", "output=0.75", "--save-state", dir + "/s.bin"});
    ASSERT_EQ(readBytes(dir + "/s.bin").size(), 260u);
    const RunResult load = runHost({"state", "load", tonarvoPath(), dir + "/s.bin"});
    expectSucceeded(load);
    EXPECT_TRUE(contains(paramLine(load.out, 5), "30.00")) << load.out;
    EXPECT_TRUE(contains(paramLine(load.out, 1), "12.00")) << load.out;

    // And a render from that state sees the same values.
    const std::string again = renderSmall(tonarvoPath(), {"--load-state", dir + "/s.bin", "--save-state", dir + "/t.bin"});
    EXPECT_EQ(readBytes(dir + "/s.bin"), readBytes(dir + "/t.bin"));
}

// The other faces report what the library reports (but for their entry, the
// number that stands for their identifier, their parameters' texts, which
// name what the editor shows, and their bypass), and their state goes
// through state save/load and render as the library's does.
TEST(Faces, InfoAndStateThroughTheVst3BundleAndTheClapFile) {
    const RunResult library = runHost({"info", tonarvoPath()});
    expectSucceeded(library);
    // Parameter lines ("  %3d  %-16s  %-10.6f  %s") without the display column.
    const auto comparable = [](const std::string& out) {
        std::vector<std::string> kept;
        for (const auto& line : lines(out)) {
            if (line.rfind("Plug-in:", 0) == 0 || line.rfind("Unique ID:", 0) == 0 ||
                line.rfind("Parameters:", 0) == 0 || contains(line, "Bypass"))
                continue;
            const bool parameter = line.size() > 25 && line.find_first_not_of(" 0123456789") >= 5 &&
                                   line[4] >= '0' && line[4] <= '9' && line.compare(5, 2, "  ") == 0 &&
                                   line.rfind("Programs", 0) != 0 && line.find("MARVOLTIC") == std::string::npos;
            kept.push_back(parameter ? line.substr(0, 7) + line.substr(25) : line);
        }
        return kept;
    };
    for (const std::string& face : otherFacePaths()) {
        SCOPED_TRACE(face);
        const RunResult info = runHost({"info", face});
        expectSucceeded(info);
        EXPECT_EQ(comparable(library.out), comparable(info.out));
        EXPECT_TRUE(contains(info.out, "(entry GetPluginFactory)") || contains(info.out, "(entry clap_entry)"))
            << info.out;

        const std::string dir = scratchDir();
        EXPECT_TRUE(contains(info.out, "Parameters:     7")) << info.out;
        EXPECT_TRUE(contains(paramLine(info.out, 6), "Bypass")) << info.out;
        renderSmall(face, {"--param", "slew=0.625", "--param", "output=0.75", "--save-state", dir + "/s.bin"});
        const RunResult load = runHost({"state", "load", face, dir + "/s.bin"});
        expectSucceeded(load);
        EXPECT_TRUE(contains(paramLine(load.out, 5), "2.26 g")) << load.out;  // 30 dB per sample
        EXPECT_TRUE(contains(paramLine(load.out, 1), "+12.00 dB")) << load.out;
        renderSmall(face, {"--load-state", dir + "/s.bin", "--save-state", dir + "/t.bin"});
        EXPECT_EQ(readBytes(dir + "/s.bin"), readBytes(dir + "/t.bin"));

        expectSucceeded(runHost({"state", "save", face, dir + "/fresh.bin"}));
        const RunResult fresh = runHost({"state", "load", face, dir + "/fresh.bin"});
        expectSucceeded(fresh);
        EXPECT_TRUE(contains(paramLine(fresh.out, 5), "2.05 g")) << fresh.out;
    }
}
