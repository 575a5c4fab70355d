// The render's clip counts and its --plot picture, end to end. The probe
// passes audio through untouched, so what the summary and the picture show
// is known from the input alone; the mono stand-in halves its input, so its
// output and input tell apart.
#include <cairo.h>
#include <sndfile.h>

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <numbers>

#include <gtest/gtest.h>

#include "CliSupport.h"
#include "tools/vsthost/Plot.h"

using namespace clitest;

namespace {

constexpr int kWavFloat = SF_FORMAT_WAV | SF_FORMAT_FLOAT;

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

void expectSucceeded(const RunResult& run) {
    ASSERT_TRUE(run.exited) << "killed by signal " << run.signal << "\n" << run.err;
    ASSERT_EQ(run.exitCode, 0) << run.err;
}

// Silence with a 1.5 sample in every channel at each of the given frames.
Audio clicks(int channels, long long frames, const std::vector<long long>& at) {
    Audio audio{kWavFloat, channels, 44100, std::vector<float>(static_cast<std::size_t>(frames * channels), 0.0f)};
    for (long long f : at)
        for (int c = 0; c < channels; ++c) audio.samples[static_cast<std::size_t>(f * channels + c)] = 1.5f;
    return audio;
}

Audio tone(double hz, double amplitude, long long frames) {
    Audio audio{kWavFloat, 2, 44100, std::vector<float>(static_cast<std::size_t>(frames * 2))};
    for (long long f = 0; f < frames; ++f)
        for (int c = 0; c < 2; ++c)
            audio.samples[static_cast<std::size_t>(2 * f + c)] =
                static_cast<float>(amplitude * std::sin(2.0 * std::numbers::pi * hz * static_cast<double>(f) / 44100.0));
    return audio;
}

// Width and height from a PNG's signature and IHDR chunk, after checking
// both; {0, 0} when the bytes are not a PNG.
std::pair<std::uint32_t, std::uint32_t> pngSize(const std::vector<unsigned char>& bytes) {
    static const unsigned char signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    if (bytes.size() < 33 || !std::equal(signature, signature + 8, bytes.begin())) return {0, 0};
    if (std::string(bytes.begin() + 12, bytes.begin() + 16) != "IHDR") return {0, 0};
    const auto be32 = [&](std::size_t at) {
        return (std::uint32_t{bytes[at]} << 24) | (std::uint32_t{bytes[at + 1]} << 16) |
               (std::uint32_t{bytes[at + 2]} << 8) | std::uint32_t{bytes[at + 3]};
    };
    return {be32(16), be32(20)};
}

// The decoded picture, for looking at what was drawn where.
class Picture {
public:
    explicit Picture(const std::string& path)
        : surface_(cairo_image_surface_create_from_png(path.c_str()), cairo_surface_destroy) {}
    bool ok() const { return cairo_surface_status(surface_.get()) == CAIRO_STATUS_SUCCESS; }
    int width() const { return cairo_image_surface_get_width(surface_.get()); }
    int height() const { return cairo_image_surface_get_height(surface_.get()); }
    // 0xRRGGBB
    std::uint32_t at(int x, int y) const {
        const unsigned char* row = cairo_image_surface_get_data(surface_.get()) +
                                   static_cast<std::ptrdiff_t>(y) * cairo_image_surface_get_stride(surface_.get());
        return reinterpret_cast<const std::uint32_t*>(row)[x] & 0xffffffu;
    }
    int brightness(int x, int y) const {
        const std::uint32_t p = at(x, y);
        return static_cast<int>(((p >> 16) & 0xff) + ((p >> 8) & 0xff) + (p & 0xff));
    }
    // The output's line colour, orange, unmistakable against the dark panel,
    // the grey grid and the blue input.
    bool outputLine(int x, int y) const {
        const std::uint32_t p = at(x, y);
        const auto r = (p >> 16) & 0xff, g = (p >> 8) & 0xff, b = p & 0xff;
        return r > 200 && g > 110 && g < 200 && b < 110;
    }

private:
    std::unique_ptr<cairo_surface_t, decltype(&cairo_surface_destroy)> surface_;
};

}  // namespace

TEST(RenderClipCounts, InputAndOutputCountedWithAOneSecondHoldInThePluginsTime) {
    const std::string dir = scratchDir();
    writeAudio(dir + "/in.wav", clicks(2, 3 * 44100, {100, 30000, 60000}));

    // At 44100 Hz the clip at 30000 falls in the hold that 100 started.
    RunResult run = runHost({"render", pluginPath("fake_probe"), dir + "/in.wav", dir + "/out.wav"});
    expectSucceeded(run);
    EXPECT_TRUE(contains(run.out, "Input clipping: 3 frames over full scale\n")) << run.out;
    EXPECT_TRUE(contains(run.out, "Clip indicator: lit 2 times (1 s hold), 3 frames over full scale\n")) << run.out;
    EXPECT_FALSE(contains(run.out, "Plot:"));

    // Told 22050 Hz, the plug-in's second is 22050 frames: 30000 is past it.
    run = runHost({"render", pluginPath("fake_probe"), dir + "/in.wav", dir + "/out.wav", "--sample-rate", "22050"});
    expectSucceeded(run);
    EXPECT_TRUE(contains(run.out, "Clip indicator: lit 3 times (1 s hold), 3 frames over full scale\n")) << run.out;

    // The indicator watches the output: halved, the clicks no longer clip.
    writeAudio(dir + "/mono.wav", clicks(1, 44100, {10, 20}));
    run = runHost({"render", pluginPath("fake_mono_main"), dir + "/mono.wav", dir + "/out.wav"});
    expectSucceeded(run);
    EXPECT_TRUE(contains(run.out, "Input clipping: 2 frames over full scale\n")) << run.out;
    EXPECT_TRUE(contains(run.out, "Clip indicator: never lit (1 s hold), no frame over full scale\n")) << run.out;
}

TEST(RenderPlot, PictureShowsTheWaveformAndATonesPeakAtItsFrequency) {
    const std::string dir = scratchDir();
    const std::string png = dir + "/plot.png";
    std::filesystem::remove(png);
    writeAudio(dir + "/in.wav", tone(1000.0, 0.5, 2 * 44100));
    const RunResult run =
        runHost({"render", pluginPath("fake_probe"), dir + "/in.wav", dir + "/out.wav", "--plot", png});
    expectSucceeded(run);
    EXPECT_TRUE(contains(run.out, "Plot: " + png + " (1400x900 PNG)\n")) << run.out;
    EXPECT_EQ(pngSize(readBytes(png)), std::make_pair(1400u, 900u));

    const Picture picture(png);
    ASSERT_TRUE(picture.ok());
    ASSERT_EQ(picture.width(), vhost::kPlotWidth);
    ASSERT_EQ(picture.height(), vhost::kPlotHeight);

    // Waveform: a steady 0.5 tone on a +-1.08 scale fills the middle of every
    // column and leaves the region near full scale empty.
    const int middle = static_cast<int>((vhost::kWaveTop + vhost::kWaveBottom) / 2.0);
    const double perUnit = (vhost::kWaveBottom - vhost::kWaveTop) / 2.0 / 1.08;
    for (int x = static_cast<int>(vhost::kPlotLeft) + 5; x < static_cast<int>(vhost::kPlotRight) - 5; x += 97) {
        SCOPED_TRACE(x);
        for (const double v : {0.4, 0.2, -0.2, -0.4})
            EXPECT_GT(picture.brightness(x, static_cast<int>(middle - v * perUnit)), 300);
        for (const double v : {0.8, -0.8}) EXPECT_LT(picture.brightness(x, static_cast<int>(middle - v * perUnit)), 250);
    }

    // Spectrum: the output line's highest point is the tone's peak.
    int peakX = -1, peakY = vhost::kPlotHeight;
    for (int y = static_cast<int>(vhost::kSpecTop) + 2; y < static_cast<int>(vhost::kSpecBottom) - 2 && peakX < 0; ++y)
        for (int x = static_cast<int>(vhost::kPlotLeft) + 2; x < static_cast<int>(vhost::kPlotRight) - 2; ++x)
            if (picture.outputLine(x, y)) {
                peakX = x;
                peakY = y;
                break;
            }
    ASSERT_GE(peakX, 0) << "no output line in the spectrum panel";
    EXPECT_NEAR(peakX, vhost::spectrumX(1000.0, 44100.0), 4.0);
    EXPECT_LT(peakY, (vhost::kSpecTop + vhost::kSpecBottom) / 2.0);
}

TEST(RenderPlot, TonarvoRenderDrawsAPictureOfTheRightSize) {
    const std::string dir = scratchDir();
    const std::string png = dir + "/tonarvo.png";
    std::filesystem::remove(png);
    writeAudio(dir + "/in.wav", makeSignal(2, 30000, 44100, kWavFloat));
    const RunResult run =
        runHost({"render", tonarvoPath(), dir + "/in.wav", dir + "/out.wav", "--plot=" + png, "--double"});
    expectSucceeded(run);
    EXPECT_EQ(pngSize(readBytes(png)), std::make_pair(1400u, 900u));
    EXPECT_TRUE(Picture(png).ok());

    // --quiet silences the summary but still draws.
    std::filesystem::remove(png);
    const RunResult quiet = runHost({"render", tonarvoPath(), dir + "/in.wav", dir + "/out.wav", "--plot", png, "--quiet"});
    expectSucceeded(quiet);
    EXPECT_EQ(quiet.out, "");
    EXPECT_EQ(pngSize(readBytes(png)), std::make_pair(1400u, 900u));
}

TEST(RenderPlot, RefusesToOverwriteAudioAndReportsAnUnwritablePath) {
    const std::string dir = scratchDir();
    writeAudio(dir + "/in.wav", tone(440.0, 0.5, 1000));
    const std::string probe = pluginPath("fake_probe");

    for (const std::string& target : {dir + "/in.wav", dir + "/out.wav"}) {
        SCOPED_TRACE(target);
        std::filesystem::remove(dir + "/out.wav");
        const RunResult run = runHost({"render", probe, dir + "/in.wav", dir + "/out.wav", "--plot", target});
        ASSERT_TRUE(run.exited);
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_TRUE(contains(run.err, "would overwrite an audio file")) << run.err;
        EXPECT_FALSE(fileExists(dir + "/out.wav"));
        EXPECT_EQ(readAudio(dir + "/in.wav").frames(), 1000);
    }

    const RunResult run =
        runHost({"render", probe, dir + "/in.wav", dir + "/out.wav", "--plot", dir + "/missing/plot.png"});
    ASSERT_TRUE(run.exited);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(lines(run.err).size(), 1u);
    EXPECT_TRUE(contains(run.err, "cannot write plot '" + dir + "/missing/plot.png'")) << run.err;
}
