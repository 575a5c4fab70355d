// The plug-in as every wrapped face (VST 3, CLAP, LV2) presents it to a
// host, decided once: the parameter table (the effect's sliders, then a
// bypass switch), the texts a host shows for their values, the rule for a
// value a host hands back, the state with exact values, the tail, the
// latency and the time information. A face translates this model into its
// interface's calls and structures and decides nothing of its own.
//
// Threads. Two paths reach the effect: the audio path (process, and calls a
// format makes in its place while nothing processes: a CLAP flush, an LV2
// run) and the host's main thread. While the audio path runs blocks, only it
// writes the effect's values: a value the host sets on its main thread (a
// VST 3 controller's setParamNormalized) is what the host is shown and what
// a state saved now holds, but it reaches the effect only when the host
// sends it through the audio path, so a value the host echoes late never
// moves the effect back. While nothing processes, a value the host sets goes
// into the effect at once.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "host/wrap/WrappedEffect.h"

namespace wrap {

// How one slider's value is shown: the editor's law from the slider's units
// to what it names (Hz, grams, a factor, dB), and back for typed text.
struct ValueText {
    const char* unit;  // "" for a plain factor
    int decimals;
    bool signedValue;  // "+1.50 dB"
    double (*shown)(double units);
    double (*units)(double shown);
};

// What the effect tells every face beside how to make its instances.
struct PluginDescription {
    InstanceFactory factory;
    // One per slider, in parameter order.
    const ValueText* valueTexts;
    std::size_t valueTextCount;
    // Frames the output rings on after the input falls silent, at a rate.
    std::uint32_t (*tailFrames)(double sampleRate);
};

// How a face's host carries parameter values: in the sliders' own units
// (CLAP, LV2) or normalised to 0..1 (VST 3, as VST 2.4's setParameter).
enum class HostUnits { Plain, Normalized };

struct Parameter {
    std::uint32_t id = 0;  // the VST 2.4 index for a slider; then the bypass
    std::string name;
    std::string unit;  // what the value text names
    // In the slider's own units (bypass: 0 or 1).
    double minimum = 0.0, maximum = 1.0, defaultValue = 0.0;
    // The one switch; every slider is continuous (its step of 0.001 or 0.01
    // is finer than any host control, and hosts turn stepped parameters
    // into lists or whole numbers).
    bool bypass = false;
};

class PluginModel {
public:
    // How long the switch between the effect and the dry input fades.
    static constexpr double kBypassFadeSeconds = 0.02;
    // An input no louder than this counts as silence (-180 dBFS: even both
    // trims at +24 dB leave it below -120 dBFS).
    static constexpr double kSilentInput = 1e-9;

    static std::unique_ptr<PluginModel> create(const PluginDescription& description, HostUnits units,
                                               double sampleRate = 44100.0,
                                               std::int32_t maxBlock = kDefaultBlockSize);
    ~PluginModel();
    PluginModel(const PluginModel&) = delete;
    PluginModel& operator=(const PluginModel&) = delete;

    // ------------------------------------------------------------ lifecycle

    // Rate and the largest block, taken at the next activation (as a VST 2.4
    // host's calls are). False for a rate the effect cannot take.
    bool setup(double sampleRate, std::int32_t maxBlock);
    double sampleRate() const { return rate; }
    std::int32_t maxBlock() const { return blockLimit; }
    // Whether the audio path runs blocks. A block also says so; stopping
    // hands the effect every host value no block has delivered since.
    void setProcessing(bool on);
    // Every switch-on starts afresh: the signal's history is forgotten.
    void setActive(bool on);
    bool isActive() const { return core->isActive(); }
    // Clears what the effect holds of the past, as switching it off and on.
    void reset();

    // The effect's name and vendor, as VST 2.4 reports them.
    std::string name() const;
    std::string vendor() const;
    std::uint32_t latencyFrames() const { return 0; }
    std::uint32_t tailFrames() const;

    // ------------------------------------------------------------ parameters

    std::uint32_t parameterCount() const { return static_cast<std::uint32_t>(table.size()); }
    std::uint32_t sliderCount() const { return sliders; }
    std::uint32_t bypassId() const { return sliders; }
    bool isParameter(std::uint32_t id) const { return id < table.size(); }
    // Null for an id past the table.
    const Parameter* parameter(std::uint32_t id) const { return isParameter(id) ? &table[id] : nullptr; }

    // What the host is shown, in its units: the effect's value, or a value the
    // host set on its main thread that no block has taken yet.
    double hostValue(std::uint32_t id) const;
    // The slider's units (bypass: 0 or 1) from the host's units and back,
    // held inside the range; a non-finite value gives the minimum.
    double plainOf(std::uint32_t id, double hostValue) const;
    double hostOf(std::uint32_t id, double plain) const;
    double defaultHostValue(std::uint32_t id) const;
    // The text a host shows for a value in its units, as the editor names it
    // ("55.26 Hz", "2.05 g", "+1.50 dB"), and back: false when the text names
    // no value. With `withUnit` false the unit is left off (VST 3 shows the
    // parameter's unit beside the text itself).
    std::string text(std::uint32_t id, double hostValue, bool withUnit = true) const;
    bool parse(std::uint32_t id, const std::string& text, double& hostValue) const;

    // A value the host sets on its main thread (see Threads above).
    void setFromHost(std::uint32_t id, double hostValue);
    // The editor told the host this parameter's current value: the host
    // handing it back is an echo and changes nothing.
    void noteReported(std::uint32_t id);
    // A count of the host's writes to a parameter: an editor that notices
    // changes after the fact (Win32) tells the host's from its own by it.
    std::uint32_t hostWrites(std::uint32_t id) const {
        return isParameter(id) ? writes[id].load(std::memory_order_acquire) : 0;
    }

    // ------------------------------------------------------------ audio

    // A host's parameter value for the frame of a block it is due at.
    struct Change {
        std::uint32_t frame = 0;
        std::uint32_t id = 0;
        double value = 0.0;  // in the host's units
    };
    struct BlockResult {
        // Bit c: output channel c is all zeros.
        std::uint64_t silentOutputs = 0;
        // The input has been silent for longer than the tail: nothing comes
        // out until something goes in.
        bool tailDone = false;
    };
    // Two input and two output channels of `frames` frames (an input may be
    // an output's memory). Changes come in frame order; each takes effect at
    // its frame, as a VST 2.4 host's setParameter between shorter calls.
    // Allocates nothing, waits on nothing.
    BlockResult process(float** inputs, float** outputs, std::uint32_t frames, const Change* changes = nullptr,
                        std::size_t count = 0);
    BlockResult process(double** inputs, double** outputs, std::uint32_t frames, const Change* changes = nullptr,
                        std::size_t count = 0);
    // The changes of a block that cannot be processed (a flush, or buffers the
    // effect cannot run on), all at once.
    void take(const Change* changes, std::size_t count);
    // The same for a block the audio path brought: while the instance is on
    // it counts as a block (processing, and what the host set before it no
    // longer the host's word), as one with audio would.
    void takeBlock(const Change* changes, std::size_t count);
    // Zeros wherever a host handed over an output to write.
    template <typename Sample>
    static void silence(Sample* const* channels, std::uint32_t count, std::uint32_t frames);

    void setTransport(const Transport* transport) { core->setTransport(transport); }
    void setTimeInfo(const vst2::VstTimeInfo* info) { core->setTimeInfo(info); }

    // ------------------------------------------------------------ state

    // The effect's VST 2.4 chunk (first, so VST 2.4 readers read it as theirs),
    // then every parameter's exact value, their count and a tag.
    std::vector<std::uint8_t> saveState();
    // Such a state, or a plain chunk from any face; false, with nothing
    // changed, for bytes that are not the effect's state.
    bool loadState(const std::uint8_t* data, std::size_t size);
    // The chunk alone: what VST 2.4 saves.
    std::vector<std::uint8_t> saveChunk() { return core->saveChunk(); }
    // Sets sliders to exact values (presets): what a state load does.
    void loadValues(const double* plain, std::size_t count);

    // The effect's instance, for its editor.
    WrappedEffect& effect() const { return *core; }

private:
    PluginModel(const PluginDescription& description, HostUnits units, std::unique_ptr<WrappedEffect> core);
    // The rule for a host's value: false for an echo (the value last
    // exchanged with the host either way, or one the editor reported in the
    // last second of audio) and for a value the effect holds already (at the
    // host's float precision, so an editor value off the step grid stands);
    // else true, with the value held inside its range.
    // Either way it counts as exchanged.
    bool accept(std::uint32_t id, double raw, double& hostValue, bool inThisBlock = false);
    void apply(std::uint32_t id, double hostValue);
    // A finite host value held inside the range (bypass: 0 or 1).
    double inRange(std::uint32_t id, double hostValue) const;
    // What a slider stores when the host's value is written to it.
    double storedPlain(std::uint32_t id, double hostValue) const;
    double effectHostValue(std::uint32_t id) const;
    void noteAllExchanged();
    template <typename Sample>
    BlockResult run(Sample** inputs, Sample** outputs, std::uint32_t frames, const Change* changes, std::size_t count);
    template <typename Sample>
    void runSegment(Sample** inputs, Sample** outputs, std::uint32_t offset, std::uint32_t frames,
                    const ParameterChange* changes, std::size_t count);
    void resizeBuffers();

    const PluginDescription& description;
    const HostUnits units;
    std::unique_ptr<WrappedEffect> core;
    std::vector<Parameter> table;
    std::uint32_t sliders = 0;
    double rate = 44100.0;
    std::int32_t blockLimit = kDefaultBlockSize;

    // Per parameter, the host's value last exchanged either way.
    std::unique_ptr<std::atomic<double>[]> exchanged;
    // Per parameter, a value the host set on its main thread while blocks
    // ran, and the block count then: it stands until the next block.
    std::unique_ptr<std::atomic<double>[]> hostSet;
    std::unique_ptr<std::atomic<std::uint64_t>[]> hostSetAt;
    std::unique_ptr<std::atomic<std::uint32_t>[]> writes;
    // Per parameter, the values the editor reported lately and the audio
    // frame count then (plus one; 0: none): a host hands a drag's values
    // back one block behind, when the editor has moved on.
    static constexpr std::size_t kRecentReports = 8;
    struct Report {
        std::atomic<double> value{0.0};
        std::atomic<std::uint64_t> at{0};
    };
    std::unique_ptr<Report[]> reports;
    std::unique_ptr<std::atomic<std::uint32_t>[]> nextReport;
    std::atomic<std::uint64_t> framesRun{0};
    bool reportedLately(std::uint32_t id, double hostValue) const;
    // A block of the audio path begins (with audio or without).
    void countBlock();
    std::atomic<std::uint64_t> blocks{1};
    std::atomic<bool> processing{false};

    // Bypass: where the switch is going (1 bypassed) and where it is.
    std::atomic<double> bypassTarget{0.0};
    // Set by a state load: the switch stands where the load put it, at once.
    std::atomic<bool> bypassJump{false};
    std::atomic<double> bypassLoaded{0.0};
    double bypassMix = 0.0;
    std::uint64_t silentFrames = 0;
    std::vector<float> dryFloat;
    std::vector<double> dryDouble;
    std::vector<ParameterChange> sliderChanges;
    // Per parameter, within the block being read: the last value taken.
    std::vector<double> blockValue;
    std::vector<char> inBlock;
};

template <typename Sample>
void PluginModel::silence(Sample* const* channels, std::uint32_t count, std::uint32_t frames) {
    if (channels == nullptr) return;
    for (std::uint32_t c = 0; c < count; ++c)
        if (channels[c] != nullptr)
            for (std::uint32_t n = 0; n < frames; ++n) channels[c][n] = Sample(0);
}

}  // namespace wrap
