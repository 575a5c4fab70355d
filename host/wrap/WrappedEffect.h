// What every wrapped face (LV2, VST 3, CLAP) shares: the effect's own VST 2.4
// instance, driven as a VST 2.4 host would drive it. Initialisation, the
// slider section, processing and state therefore run exactly where they run
// under VST 2.4, and a format adapter is only its interface's translation.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "host/vst2_abi.h"
#include "host/wrap/EditorHost.h"

class CVeST;
namespace plexa {
class TPlexa;
}

namespace wrap {

// Makes one instance behind a VST 2.4 descriptor, as the library's VST 2.4
// entry point does; null when it cannot.
using InstanceFactory = vst2::AEffect* (*)(vst2::audioMasterCallback host);

// Frames per call announced to the effect when the host names none.
constexpr std::int32_t kDefaultBlockSize = 1024;
// The largest block size passed on: the in-place copies (12 bytes a frame)
// are made for it. A host may announce up to 2^31 - 1 frames (CLAP's
// max_frames_count, LV2's maxBlockLength); longer blocks go in pieces.
constexpr std::int32_t kLargestBlockSize = 1 << 20;

// A host's transport at the first frame of a block, in VST 2.4's terms
// (quarter notes). Formats that leave a field unknown say so; the effect reads
// tempo, time signature, position and whether the transport plays or records.
struct Transport {
    double sampleRate = 0.0;
    double samplePos = 0.0;
    double tempo = 0.0;
    double ppqPos = 0.0;
    double barStartPos = 0.0;
    std::int32_t timeSigNumerator = 4;
    std::int32_t timeSigDenominator = 4;
    bool playing = false;
    bool recording = false;
    bool tempoValid = false;
    bool ppqValid = false;
    bool barsValid = false;
    bool timeSigValid = false;
};

// The record a VST 2.4 host answers audioMasterGetTime with.
vst2::VstTimeInfo timeInfoOf(const Transport& transport);

// A parameter change that takes effect at a frame of the block being
// processed. Values are in the slider's own units or normalised, as the
// format carries them.
struct ParameterChange {
    std::uint32_t frame = 0;
    std::uint32_t parameter = 0;
    double value = 0.0;
};

class WrappedEffect {
public:
    // Opens the instance as a VST 2.4 host does: open, sample rate, block
    // size. Null when the effect cannot be made.
    static std::unique_ptr<WrappedEffect> create(InstanceFactory factory, double sampleRate,
                                                 std::int32_t maxBlock = kDefaultBlockSize);
    ~WrappedEffect();
    WrappedEffect(const WrappedEffect&) = delete;
    WrappedEffect& operator=(const WrappedEffect&) = delete;

    // Both take effect at the next switch-on, as under VST 2.4. Absurd values
    // are the effect's business, as they are for a VST 2.4 host's.
    void setSampleRate(double rate);
    void setBlockSize(std::int32_t frames);
    // Switch on and off; repeating either is harmless.
    void setActive(bool on);
    // Switched off, the signal that went through is forgotten (see
    // TPlexa::clearSignalHistory).
    void clearHistory();
    bool isActive() const { return active; }

    std::uint32_t inputs() const { return inputCount; }
    std::uint32_t outputs() const { return outputCount; }
    std::uint32_t parameters() const { return parameterCount; }

    // Parameter p in the slider's own units and normalised; 0 outside.
    double value(std::uint32_t p) const;
    double normalized(std::uint32_t p) const;
    // Writes in the slider's own units, stepped as every write is.
    void setValue(std::uint32_t p, double units);
    // Writes as a VST 2.4 host's setParameter: the normalised value as float.
    void setNormalized(std::uint32_t p, double x);
    // Writes as a chunk restore does: the value as given, off the step grid
    // or not, then the slider section. For a format whose state holds values
    // more exactly than the chunk's floats.
    void restoreValue(std::uint32_t p, double units);

    struct ParameterInfo {
        std::string name, label;
        double minimum = 0, maximum = 0, defaultValue = 0, step = 0;
    };
    ParameterInfo parameterInfo(std::uint32_t p) const;
    // The VST 2.4 display text of p at a value in its own units.
    std::string displayTextAt(std::uint32_t p, double units) const;
    // The value in the slider's units that setNormalized(p, x) would store:
    // the same float, the same steps.
    double unitsOfNormalized(std::uint32_t p, double x) const;
    // The value in the slider's units that setValue(p, units) would store.
    double unitsOfValue(std::uint32_t p, double units) const;

    // A block at `frames` frames, split at each change's frame: the changes
    // at a frame are written (`normalised` says how), then the frames up to
    // the next change are processed, as a VST 2.4 host would call setParameter
    // between two shorter process calls. Changes must be in frame order; one
    // past the block is taken at its end. Input and output may be the same
    // memory. Blocks longer than the announced size go in pieces of it.
    // Nothing here allocates.
    void process(float** inputs, float** outputs, std::uint32_t frames, const ParameterChange* changes = nullptr,
                 std::size_t count = 0, bool normalised = false);
    void process(double** inputs, double** outputs, std::uint32_t frames, const ParameterChange* changes = nullptr,
                 std::size_t count = 0, bool normalised = false);

    // The transport the effect sees from the next block on; null for none.
    void setTransport(const Transport* transport);
    void setTimeInfo(const vst2::VstTimeInfo* info);

    // State as the VST 2.4 chunk bytes; with `values` (one per parameter in
    // the slider's units, NaN for the slider's own), the chunk as it would be
    // with those values, the effect's unchanged.
    std::vector<std::uint8_t> saveChunk(const double* values = nullptr);
    // Reads as the chunk rules say; false when the effect refused it.
    bool restoreChunk(const void* data, std::size_t size);

    // The effect's editor, as every face hosts it.
    EditorHost& editor() const { return *editorHost; }

    vst2::VstIntPtr dispatch(std::int32_t opcode, std::int32_t index = 0, vst2::VstIntPtr value = 0,
                             void* ptr = nullptr, float opt = 0.0f);
    CVeST& adapter() const { return *vst; }
    plexa::TPlexa& effect() const;

private:
    explicit WrappedEffect(vst2::AEffect* instance);
    static vst2::VstIntPtr hostCallback(vst2::AEffect* effect, std::int32_t opcode, std::int32_t index,
                                        vst2::VstIntPtr value, void* ptr, float opt);
    template <typename Sample>
    void processSplit(Sample** inputs, Sample** outputs, std::uint32_t frames, const ParameterChange* changes,
                      std::size_t count, bool normalised);
    template <typename Sample>
    void run(Sample** inputs, Sample** outputs, std::uint32_t offset, std::uint32_t frames);

    vst2::AEffect* instance;
    CVeST* vst;
    std::unique_ptr<EditorHost> editorHost;
    std::uint32_t inputCount = 0, outputCount = 0, parameterCount = 0;
    std::int32_t maxBlock = kDefaultBlockSize;
    bool active = false;
    vst2::VstTimeInfo time{};
    bool timeKnown = false;
    // Channel pointers for one piece of a block, and copies of the inputs
    // for a host that processes in place: made when the block size is known.
    std::vector<float*> floatPointers;
    std::vector<double*> doublePointers;
    std::vector<float> floatCopy;
    std::vector<double> doubleCopy;
};

}  // namespace wrap
