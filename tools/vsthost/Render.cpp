#include "tools/vsthost/Render.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>
#include <type_traits>
#include <vector>

#include "tools/vsthost/AudioFile.h"
#include "tools/vsthost/ClipMeter.h"
#include "tools/vsthost/Commands.h"
#include "tools/vsthost/Errors.h"
#include "tools/vsthost/HostCallback.h"
#include "tools/vsthost/Levels.h"
#include "tools/vsthost/Plot.h"
#include "tools/vsthost/PluginLoader.h"
#include "tools/vsthost/Progress.h"
#include "tools/vsthost/Session.h"

namespace vhost {

namespace {

// Removes a half-written output unless the render completes, so a failed
// render never leaves a plausible-looking file behind.
class OutputGuard {
public:
    OutputGuard(std::string path, AudioWriter& writer) : path_(std::move(path)), writer_(writer) {}
    ~OutputGuard() {
        if (!kept_) {
            writer_.abandon();
            std::error_code ec;
            std::filesystem::remove(path_, ec);
        }
    }
    void keep() { kept_ = true; }

private:
    std::string path_;
    AudioWriter& writer_;
    bool kept_ = false;
};

// What the render measures on the way through.
struct Meters {
    PeakMeter inPeaks;
    PeakMeter outPeaks;
    ClipMeter inClips;
    ClipMeter outClips;
    PlotRecorder* plot;  // null unless a picture was asked for, so it costs nothing otherwise
};

struct Totals {
    std::int64_t frames = 0;
    double processSeconds = 0.0;
};

bool sameFile(const std::string& a, const std::string& b) {
    std::error_code ec;
    return std::filesystem::exists(b, ec) && std::filesystem::equivalent(a, b, ec);
}

// A mono file feeds every input of the plug-in; otherwise the counts must match.
void checkChannels(int fileChannels, const Plugin& plugin) {
    if (fileChannels == plugin.numInputs() || (fileChannels == 1 && plugin.numInputs() == 2)) return;
    throw ToolError("input has " + std::to_string(fileChannels) + " channel(s) but the plug-in takes " +
                    std::to_string(plugin.numInputs()));
}

// Streams the file through the plug-in block by block in one precision.
template <typename Sample>
Totals processFile(AudioReader& in, AudioWriter& writer, Session& session, int blockSize, Meters& meters,
                   ProgressBar& progress) {
    const auto fileChannels = static_cast<std::size_t>(in.channels());
    const auto pluginIns = static_cast<std::size_t>(session.plugin().numInputs());
    const auto pluginOuts = static_cast<std::size_t>(session.plugin().numOutputs());
    const auto block = static_cast<std::size_t>(blockSize);

    BlockDriver<Sample> driver(session, blockSize);
    std::vector<Sample> interleavedIn(fileChannels * block);
    std::vector<Sample> interleavedOut(pluginOuts * block);
    Totals totals;
    for (;;) {
        std::int64_t frames = 0;
        if constexpr (std::is_same_v<Sample, float>)
            frames = in.readFloat(interleavedIn.data(), blockSize);
        else
            frames = in.readDouble(interleavedIn.data(), blockSize);
        if (frames <= 0) break;
        const auto n = static_cast<std::size_t>(frames);
        meters.inPeaks.addInterleaved(interleavedIn.data(), frames);
        meters.inClips.addInterleaved(interleavedIn.data(), frames);
        if (meters.plot != nullptr) meters.plot->addInput(interleavedIn.data(), frames);

        for (std::size_t c = 0; c < pluginIns; ++c) {
            // A mono file feeds every input (only mono -> stereo gets this far).
            const std::size_t source = fileChannels == 1 ? 0 : c;
            Sample* input = driver.input(c);
            for (std::size_t f = 0; f < n; ++f) input[f] = interleavedIn[f * fileChannels + source];
        }
        driver.process(static_cast<int>(frames));

        meters.outClips.addPlanar(driver.outputs(), frames);
        if (meters.plot != nullptr) meters.plot->addOutput(driver.outputs(), frames);
        for (std::size_t c = 0; c < pluginOuts; ++c) {
            meters.outPeaks.addChannel(c, driver.output(c), frames);
            for (std::size_t f = 0; f < n; ++f) interleavedOut[f * pluginOuts + c] = driver.output(c)[f];
        }
        if constexpr (std::is_same_v<Sample, float>)
            writer.writeFloat(interleavedOut.data(), frames);
        else
            writer.writeDouble(interleavedOut.data(), frames);
        totals.frames += frames;
        progress.update(totals.frames);
    }
    totals.processSeconds = driver.busySeconds();
    return totals;
}

}  // namespace

void runRender(const Options& options, std::FILE* out) {
    const std::string& inPath = options.positional[1];
    const std::string& outPath = options.positional[2];

    AudioReader in(inPath);
    if (sameFile(inPath, outPath)) throw ToolError("output '" + outPath + "' is the input file; refusing to overwrite it");
    if (!options.plot.empty() && (sameFile(inPath, options.plot) || options.plot == outPath))
        throw ToolError("plot '" + options.plot + "' would overwrite an audio file; choose another name");
    std::vector<std::uint8_t> stateToLoad;
    if (!options.loadState.empty()) stateToLoad = readStateFile(options.loadState);

    Session session(options);
    Plugin& plugin = session.plugin();
    session.requireAudio(options);
    checkChannels(in.channels(), plugin);
    if ((!options.loadState.empty() || !options.saveState.empty()) && !plugin.hasFlag(vst2::effFlagsProgramChunks))
        throw ToolError("plug-in does not exchange its state as a chunk (no effFlagsProgramChunks)");

    const int outFormat = chooseOutputFormat(in.format(), outPath, plugin.numOutputs());
    AudioWriter writer(outPath, outFormat, plugin.numOutputs(), in.sampleRate());
    OutputGuard guard(outPath, writer);

    const double toldRate = options.sampleRate.value_or(static_cast<double>(in.sampleRate()));
    session.switchOn(toldRate, options.blockSize, options.params, stateToLoad, options.quiet ? nullptr : out);

    // The indicator is the plug-in's, so its second is the one the plug-in was told.
    const auto holdFrames = static_cast<std::int64_t>(std::llround(toldRate));
    std::unique_ptr<PlotRecorder> plot;
    if (!options.plot.empty())
        plot = std::make_unique<PlotRecorder>(static_cast<std::size_t>(in.channels()),
                                              static_cast<std::size_t>(plugin.numOutputs()), in.frames());
    Meters meters{PeakMeter(in.channels()), PeakMeter(plugin.numOutputs()),
                  ClipMeter(static_cast<std::size_t>(in.channels()), holdFrames),
                  ClipMeter(static_cast<std::size_t>(plugin.numOutputs()), holdFrames), plot.get()};
    ProgressBar progress(in.frames(), !options.quiet && stderrIsTerminal());
    session.host().processLevel = ProcessLevel::Offline;
    const Totals totals = options.useDouble
                              ? processFile<double>(in, writer, session, options.blockSize, meters, progress)
                              : processFile<float>(in, writer, session, options.blockSize, meters, progress);
    session.host().processLevel = ProcessLevel::User;
    progress.finish();

    session.switchOff();
    std::size_t savedBytes = 0;
    if (!options.saveState.empty()) {
        const auto chunk = plugin.getChunk();
        if (chunk.empty()) throw ToolError("plug-in returned an empty state chunk; nothing saved");
        writeStateFile(options.saveState, chunk);
        savedBytes = chunk.size();
    }
    const std::string name = plugin.effectName();
    const int outputs = plugin.numOutputs();
    plugin.close();
    writer.finish();
    guard.keep();

    const double seconds = static_cast<double>(totals.frames) / static_cast<double>(in.sampleRate());
    if (plot) {
        char subtitle[160];
        std::snprintf(subtitle, sizeof subtitle, "%.3f s at %d Hz, %d in / %d out channel(s), %s precision",
                      seconds, in.sampleRate(), in.channels(), outputs,
                      options.useDouble ? "double" : "single");
        const PlotLabels labels{"\"" + name + "\": " + std::filesystem::path(inPath).filename().string() + " \u2192 " +
                                    std::filesystem::path(outPath).filename().string(),
                                subtitle, static_cast<double>(in.sampleRate())};
        writePlot(options.plot, *plot, labels);
    }

    if (options.quiet) return;
    std::fprintf(out, "Rendered %lld frames (%.3f s at %d Hz) through \"%s\", blocks of %d, %s precision\n",
                 static_cast<long long>(totals.frames), seconds, in.sampleRate(), name.c_str(), options.blockSize,
                 options.useDouble ? "double" : "single");
    if (totals.processSeconds > 0.0)
        std::fprintf(out, "Real-time factor: %.1fx (%.3f s in the plug-in)\n", seconds / totals.processSeconds,
                     totals.processSeconds);
    else
        std::fprintf(out, "Real-time factor: n/a (no processing time measured)\n");
    std::fprintf(out, "Input peak:  %s\n", formatPeaks(meters.inPeaks.peaks()).c_str());
    std::fprintf(out, "Output peak: %s\n", formatPeaks(meters.outPeaks.peaks()).c_str());
    std::fprintf(out, "Input clipping: %s\n", describeOverFrames(meters.inClips).c_str());
    std::fprintf(out, "Clip indicator: %s\n",
                 describeIndicator(meters.outClips, static_cast<double>(holdFrames) / toldRate).c_str());
    std::fprintf(out, "Wrote %s (%s)\n", outPath.c_str(), describeFormat(outFormat).c_str());
    if (plot) std::fprintf(out, "Plot: %s (%dx%d PNG)\n", options.plot.c_str(), kPlotWidth, kPlotHeight);
    if (savedBytes > 0) std::fprintf(out, "Saved %zu bytes of state to %s\n", savedBytes, options.saveState.c_str());
}

}  // namespace vhost
