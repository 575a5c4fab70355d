#include "host/wrap/WrappedEffect.h"

#include <algorithm>
#include <bit>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>

#include "host/CVeST.h"
#include "runtime/SharedValue.h"
#include "runtime/TPlexa.h"

namespace wrap {

using namespace vst2;

vst2::VstTimeInfo timeInfoOf(const Transport& t) {
    VstTimeInfo record{};
    record.sampleRate = t.sampleRate;
    record.samplePos = t.samplePos;
    record.tempo = t.tempo;
    record.ppqPos = t.ppqPos;
    record.barStartPos = t.barStartPos;
    record.timeSigNumerator = t.timeSigNumerator;
    record.timeSigDenominator = t.timeSigDenominator;
    record.flags = (t.playing ? kVstTransportPlaying : 0) | (t.recording ? kVstTransportRecording : 0) |
                   (t.tempoValid ? kVstTempoValid : 0) |
                   (t.ppqValid ? kVstPpqPosValid : 0) | (t.barsValid ? kVstBarsValid : 0) |
                   (t.timeSigValid ? kVstTimeSigValid : 0);
    return record;
}

WrappedEffect::WrappedEffect(AEffect* instance)
    : instance(instance), vst(static_cast<CVeST*>(static_cast<AudioEffect*>(instance->object))) {}

std::unique_ptr<WrappedEffect> WrappedEffect::create(InstanceFactory factory, double sampleRate,
                                                     std::int32_t maxBlock) {
    try {
        AEffect* instance = factory ? factory(&hostCallback) : nullptr;
        if (instance == nullptr) return nullptr;
        std::unique_ptr<WrappedEffect> self(new (std::nothrow) WrappedEffect(instance));
        if (!self) {
            instance->dispatcher(instance, effClose, 0, 0, nullptr, 0.0f);
            return nullptr;
        }
        instance->user = self.get();
        self->inputCount = static_cast<std::uint32_t>(std::max(instance->numInputs, 0));
        self->outputCount = static_cast<std::uint32_t>(std::max(instance->numOutputs, 0));
        self->parameterCount = static_cast<std::uint32_t>(std::max(instance->numParams, 0));
        self->floatPointers.assign(self->inputCount + self->outputCount, nullptr);
        self->doublePointers.assign(self->inputCount + self->outputCount, nullptr);
        // A VST 2.4 host's opening sequence; the effect reads rate and block
        // size when it is switched on.
        self->dispatch(effOpen);
        self->setSampleRate(sampleRate);
        self->setBlockSize(maxBlock);
        self->editorHost = std::make_unique<EditorHost>(*self);
        return self;
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

WrappedEffect::~WrappedEffect() {
    // The editor's host closes the editor while the effect is whole.
    editorHost.reset();
    // Closing the descriptor destroys the adapter, the effect and the editor.
    if (active) dispatch(effMainsChanged, 0, 0);
    instance->dispatcher(instance, effClose, 0, 0, nullptr, 0.0f);
}

plexa::TPlexa& WrappedEffect::effect() const { return *vst->effect; }

VstIntPtr WrappedEffect::dispatch(std::int32_t opcode, std::int32_t index, VstIntPtr value, void* ptr, float opt) {
    return instance->dispatcher(instance, opcode, index, value, ptr, opt);
}

VstIntPtr WrappedEffect::hostCallback(AEffect* effect, std::int32_t opcode, std::int32_t, VstIntPtr, void*, float) {
    switch (opcode) {
        case audioMasterVersion: return 2400;
        case audioMasterGetTime: {
            const auto* self = effect ? static_cast<const WrappedEffect*>(effect->user) : nullptr;
            return self && self->timeKnown ? reinterpret_cast<VstIntPtr>(&self->time) : 0;
        }
        default: return 0;  // MIDI, idle, display and edit requests have nothing to reach here
    }
}

void WrappedEffect::setSampleRate(double rate) {
    dispatch(effSetSampleRate, 0, 0, nullptr, static_cast<float>(rate));
}

void WrappedEffect::setBlockSize(std::int32_t frames) {
    // The copies for in-place hosts are made here, never while processing.
    if (frames <= 0) frames = kDefaultBlockSize;
    frames = std::min(frames, kLargestBlockSize);
    maxBlock = frames;
    dispatch(effSetBlockSize, 0, frames);
    try {
        floatCopy.assign(static_cast<std::size_t>(inputCount) * static_cast<std::size_t>(frames), 0.0f);
        doubleCopy.assign(static_cast<std::size_t>(inputCount) * static_cast<std::size_t>(frames), 0.0);
    } catch (const std::bad_alloc&) {
        // Absurd sizes from a host: process in the default's pieces instead.
        maxBlock = kDefaultBlockSize;
        floatCopy.assign(static_cast<std::size_t>(inputCount) * kDefaultBlockSize, 0.0f);
        doubleCopy.assign(static_cast<std::size_t>(inputCount) * kDefaultBlockSize, 0.0);
    }
}

void WrappedEffect::setActive(bool on) {
    if (on == active) return;
    active = on;
    dispatch(effMainsChanged, 0, on ? 1 : 0);
}

void WrappedEffect::clearHistory() {
    if (!active) effect().clearSignalHistory();
}

double WrappedEffect::value(std::uint32_t p) const {
    const plexa::TPlexa& e = effect();
    if (!e.isSliderIndex(static_cast<std::int32_t>(p))) return 0.0;
    return plexa::readShared(e.sliderValues[e.sliderRecords[p].number]);
}

double WrappedEffect::normalized(std::uint32_t p) const {
    return effect().normalizedValue(static_cast<std::int32_t>(p));
}

void WrappedEffect::setValue(std::uint32_t p, double units) {
    effect().setSliderValue(static_cast<std::int32_t>(p), units);
}

void WrappedEffect::setNormalized(std::uint32_t p, double x) {
    if (p >= parameterCount || !std::isfinite(x)) return;
    instance->setParameter(instance, static_cast<std::int32_t>(p), static_cast<float>(x));
}

void WrappedEffect::restoreValue(std::uint32_t p, double units) {
    plexa::TPlexa& e = effect();
    if (!e.isSliderIndex(static_cast<std::int32_t>(p)) || !std::isfinite(units)) return;
    const plexa::SliderRecord& r = e.sliderRecords[p];
    plexa::writeShared(e.sliderValues[r.number], units);
    if (r.boundVariable) *r.boundVariable = units;
    e.sliderSection();
}

WrappedEffect::ParameterInfo WrappedEffect::parameterInfo(std::uint32_t p) const {
    ParameterInfo info;
    const plexa::TPlexa& e = effect();
    if (!e.isSliderIndex(static_cast<std::int32_t>(p))) return info;
    const plexa::SliderRecord& r = e.sliderRecords[p];
    info.name = e.sliderName(static_cast<std::int32_t>(p));
    info.label = e.sliderLabel(static_cast<std::int32_t>(p));
    info.minimum = r.minimum;
    info.maximum = r.maximum;
    info.defaultValue = r.defaultValue;
    info.step = r.step;
    return info;
}


double WrappedEffect::unitsOfNormalized(std::uint32_t p, double x) const {
    // What setParameter hands the effect (a float), then its write's stepping.
    if (p >= parameterCount || !std::isfinite(x)) return value(p);
    return effect().steppedNormalized(static_cast<std::int32_t>(p), static_cast<double>(static_cast<float>(x)));
}

double WrappedEffect::unitsOfValue(std::uint32_t p, double units) const {
    if (p >= parameterCount || !std::isfinite(units)) return value(p);
    return effect().steppedValue(static_cast<std::int32_t>(p), units);
}

std::string WrappedEffect::displayTextAt(std::uint32_t p, double units) const {
    return effect().displayTextAt(static_cast<std::int32_t>(p), units);
}

template <typename Sample>
void WrappedEffect::run(Sample** inputs, Sample** outputs, std::uint32_t offset, std::uint32_t frames) {
    Sample** pointers;
    Sample* copy;
    if constexpr (sizeof(Sample) == sizeof(float)) {
        pointers = floatPointers.data();
        copy = floatCopy.data();
    } else {
        pointers = doublePointers.data();
        copy = doubleCopy.data();
    }
    for (std::uint32_t c = 0; c < inputCount; ++c) {
        Sample* in = inputs[c] + offset;
        // A host processing in place hands the same memory for an input and
        // an output. The effect reads each frame before writing it today, but
        // VST 2.4 promises it separate buffers: it gets a copy.
        bool shared = false;
        for (std::uint32_t o = 0; o < outputCount; ++o) shared = shared || inputs[c] == outputs[o];
        if (shared) {
            Sample* held = copy + static_cast<std::size_t>(c) * static_cast<std::size_t>(maxBlock);
            std::memcpy(held, in, sizeof(Sample) * frames);
            in = held;
        }
        pointers[c] = in;
    }
    for (std::uint32_t o = 0; o < outputCount; ++o) pointers[inputCount + o] = outputs[o] + offset;
    if constexpr (sizeof(Sample) == sizeof(float))
        instance->processReplacing(instance, pointers, pointers + inputCount, static_cast<std::int32_t>(frames));
    else
        instance->processDoubleReplacing(instance, pointers, pointers + inputCount, static_cast<std::int32_t>(frames));
}

template <typename Sample>
void WrappedEffect::processSplit(Sample** inputs, Sample** outputs, std::uint32_t frames,
                                 const ParameterChange* changes, std::size_t count, bool normalised) {
    if ((inputCount > 0 && inputs == nullptr) || (outputCount > 0 && outputs == nullptr)) return;
    for (std::uint32_t c = 0; c < inputCount; ++c)
        if (inputs[c] == nullptr) return;
    for (std::uint32_t o = 0; o < outputCount; ++o)
        if (outputs[o] == nullptr) return;
    std::size_t next = 0;
    const auto applyUpTo = [&](std::uint32_t frame) {
        for (; next < count && changes[next].frame <= frame; ++next) {
            if (normalised)
                setNormalized(changes[next].parameter, changes[next].value);
            else
                setValue(changes[next].parameter, changes[next].value);
        }
    };
    std::uint32_t done = 0;
    while (done < frames) {
        // Every change due at this frame, then the frames up to the next one.
        applyUpTo(done);
        std::uint32_t end = frames;
        if (next < count && changes[next].frame < end) end = changes[next].frame;
        end = std::min<std::uint32_t>(end, done + static_cast<std::uint32_t>(maxBlock));
        run(inputs, outputs, done, end - done);
        done = end;
    }
    // Changes at or past the block's end, and all of them in an empty block.
    applyUpTo(UINT32_MAX);
}

void WrappedEffect::process(float** inputs, float** outputs, std::uint32_t frames, const ParameterChange* changes,
                            std::size_t count, bool normalised) {
    processSplit(inputs, outputs, frames, changes, count, normalised);
}

void WrappedEffect::process(double** inputs, double** outputs, std::uint32_t frames, const ParameterChange* changes,
                            std::size_t count, bool normalised) {
    processSplit(inputs, outputs, frames, changes, count, normalised);
}

void WrappedEffect::setTransport(const Transport* transport) {
    timeKnown = transport != nullptr;
    if (transport) time = timeInfoOf(*transport);
}

void WrappedEffect::setTimeInfo(const VstTimeInfo* info) {
    timeKnown = info != nullptr;
    if (info) time = *info;
}

std::vector<std::uint8_t> WrappedEffect::saveChunk(const double* values) {
    void* chunk = nullptr;
    VstIntPtr size = 0;
    if (values == nullptr) {
        size = dispatch(effGetChunk, 0, 0, &chunk);
    } else {
        plexa::TPlexa& e = effect();
        double sliders[plexa::TPlexa::SliderValueCount];
        std::fill(std::begin(sliders), std::end(sliders), std::nan(""));
        for (std::uint32_t p = 0; p < parameterCount; ++p)
            if (e.isSliderIndex(static_cast<std::int32_t>(p)) && std::isfinite(values[p]))
                sliders[e.sliderRecords[p].number] = values[p];
        size = e.writeStateChunkWith(&chunk, sliders);
    }
    if (size <= 0 || chunk == nullptr) return {};
    const auto* bytes = static_cast<const std::uint8_t*>(chunk);
    return std::vector<std::uint8_t>(bytes, bytes + size);
}

bool WrappedEffect::restoreChunk(const void* data, std::size_t size) {
    if (data == nullptr || size == 0 || size > INT32_MAX) return false;
    return dispatch(effSetChunk, 0, static_cast<VstIntPtr>(size), const_cast<void*>(data)) != 0;
}

}  // namespace wrap
