#include "host/vst3/Vst3Plugin.h"

#include <algorithm>
#include <bit>
#include <climits>
#include <cmath>
#include <cstring>
#include <new>

#include "host/vst3/Vst3Text.h"

namespace vst3face {

using namespace vst3;

namespace {

// Changes one block can carry at their own frames; a host sending more has
// the rest of each queue reduced to its last point.
constexpr std::size_t kChangeCapacity = 4096;
// Plugin states are VST 2.4 chunks: a few kilobytes. Anything past this
// is not ours.
constexpr std::size_t kStateLimit = 1 << 20;
// The largest block size passed on: the in-place copies are made for it.
// Longer blocks still work, in pieces of this size.
constexpr int32 kLargestBlock = 1 << 20;

bool sameBits(double a, double b) { return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b); }

double clampUnit(double x) { return x < 0.0 ? 0.0 : (x > 1.0 ? 1.0 : x); }

template <typename T>
void releaseAndClear(T*& p) {
    if (p) p->release();
    p = nullptr;
}

}  // namespace

Plugin* Plugin::create(const PluginClass& plugin, Linux::IRunLoop* factoryRunLoop) {
    try {
        std::unique_ptr<wrap::WrappedEffect> core = wrap::WrappedEffect::create(plugin.factory, 44100.0);
        if (!core) return nullptr;
        auto* self = new Plugin(plugin, std::move(core));
        if (factoryRunLoop) {
            factoryRunLoop->addRef();
            self->runLoop = factoryRunLoop;
        }
        return self;
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

Plugin::Plugin(const PluginClass& plugin, std::unique_ptr<wrap::WrappedEffect> made)
    : plugin(plugin), core(std::move(made)),
      lastTaken(new std::atomic<double>[core->parameters() > 0 ? core->parameters() : 1]),
      changeBuffer(kChangeCapacity) {
    takeCurrent();
}

Plugin::~Plugin() {
    // The effect closes its editor and switches off as it goes.
    releaseAndClear(handler);
    releaseAndClear(runLoop);
}

void Plugin::takeCurrent() {
    for (std::uint32_t p = 0; p < core->parameters(); ++p)
        lastTaken[p].store(core->normalized(p), std::memory_order_relaxed);
}

// ---------------------------------------------------------------- FUnknown

tresult VST3_CALL Plugin::queryInterface(const TUID iid, void** obj) {
    if (obj == nullptr) return kInvalidArgument;
    void* found = nullptr;
    if (sameTuid(iid, FUnknown::iid) || sameTuid(iid, IPluginBase::iid) || sameTuid(iid, IComponent::iid))
        found = static_cast<IComponent*>(this);
    else if (sameTuid(iid, IAudioProcessor::iid))
        found = static_cast<IAudioProcessor*>(this);
    else if (sameTuid(iid, IEditController::iid))
        found = static_cast<IEditController*>(this);
    else if (sameTuid(iid, IProcessContextRequirements::iid))
        found = static_cast<IProcessContextRequirements*>(this);
    *obj = found;
    if (found == nullptr) return kNoInterface;
    addRef();
    return kResultOk;
}

uint32 VST3_CALL Plugin::addRef() { return ++references; }

uint32 VST3_CALL Plugin::release() {
    const uint32 left = --references;
    if (left == 0) delete this;
    return left;
}

// ---------------------------------------------------------------- IPluginBase

// The host initialises the one object as component and as controller, and
// terminates it twice: every call stands alone.
tresult VST3_CALL Plugin::initialize(FUnknown*) { return kResultOk; }

tresult VST3_CALL Plugin::terminate() {
    core->setActive(false);
    releaseAndClear(handler);
    return kResultOk;
}

// ---------------------------------------------------------------- IComponent

tresult VST3_CALL Plugin::getControllerClassId(TUID) { return kNotImplemented; }  // no separate controller

tresult VST3_CALL Plugin::setIoMode(IoMode) { return kResultOk; }

int32 VST3_CALL Plugin::getBusCount(MediaType type, BusDirection dir) {
    return type == kAudio && (dir == kInput || dir == kOutput) ? 1 : 0;
}

tresult VST3_CALL Plugin::getBusInfo(MediaType type, BusDirection dir, int32 index, BusInfo* bus) {
    if (bus == nullptr || type != kAudio || index != 0 || (dir != kInput && dir != kOutput)) return kInvalidArgument;
    std::memset(bus, 0, sizeof *bus);
    bus->mediaType = kAudio;
    bus->direction = dir;
    bus->channelCount = 2;
    toUtf16(dir == kInput ? "Stereo In" : "Stereo Out", bus->name, 128);
    bus->busType = kMain;
    bus->flags = kDefaultActive;
    return kResultOk;
}

tresult VST3_CALL Plugin::getRoutingInfo(RoutingInfo*, RoutingInfo*) { return kNotImplemented; }

tresult VST3_CALL Plugin::activateBus(MediaType type, BusDirection dir, int32 index, TBool) {
    // The effect always runs both buses; a host switching one off still
    // hands buffers (or none, which process copes with).
    return type == kAudio && index == 0 && (dir == kInput || dir == kOutput) ? kResultOk : kInvalidArgument;
}

tresult VST3_CALL Plugin::setActive(TBool state) {
    core->setActive(state != 0);
    return kResultOk;
}

namespace {

// Reads everything from the stream's position on: loops over short reads,
// stops at the end; false past `limit` or on a failing read.
bool readAll(IBStream* stream, std::vector<std::uint8_t>& bytes, std::size_t limit) {
    bytes.clear();
    std::uint8_t piece[4096];
    for (;;) {
        int32 got = 0;
        const tresult result = stream->read(piece, static_cast<int32>(sizeof piece), &got);
        if (got < 0 || got > static_cast<int32>(sizeof piece)) return false;
        if (got > 0) {
            if (bytes.size() + static_cast<std::size_t>(got) > limit) return false;
            bytes.insert(bytes.end(), piece, piece + got);
        }
        if (result != kResultOk || got == 0) return result == kResultOk || !bytes.empty();
    }
}

bool writeAll(IBStream* stream, const std::vector<std::uint8_t>& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const std::size_t left = bytes.size() - done;
        int32 wrote = 0;
        const int32 ask = left > INT32_MAX ? INT32_MAX : static_cast<int32>(left);
        const tresult result = stream->write(const_cast<std::uint8_t*>(bytes.data() + done), ask, &wrote);
        if (result != kResultOk || wrote <= 0 || wrote > ask) return false;
        done += static_cast<std::size_t>(wrote);
    }
    return true;
}

}  // namespace

tresult Plugin::restore(IBStream* state, bool unlessCurrent) {
    if (state == nullptr) return kInvalidArgument;
    try {
        std::vector<std::uint8_t> bytes;
        if (!readAll(state, bytes, kStateLimit) || bytes.empty()) return kResultFalse;
        // The controller's half of a restore gets the bytes the component's
        // half has just taken: restoring them again would change nothing but
        // could restart what the effect keeps running.
        if (unlessCurrent && bytes == core->saveChunk()) return kResultOk;
        if (!core->restoreChunk(bytes.data(), bytes.size())) return kResultFalse;
        takeCurrent();
        return kResultOk;
    } catch (const std::bad_alloc&) {
        return kOutOfMemory;
    }
}

tresult VST3_CALL Plugin::setState(IBStream* state) { return restore(state, false); }

tresult VST3_CALL Plugin::getState(IBStream* state) {
    if (state == nullptr) return kInvalidArgument;
    try {
        // Values the host set on the controller are in the effect already.
        const std::vector<std::uint8_t> chunk = core->saveChunk();
        if (chunk.empty()) return kResultFalse;
        return writeAll(state, chunk) ? kResultOk : kResultFalse;
    } catch (const std::bad_alloc&) {
        return kOutOfMemory;
    }
}

// ---------------------------------------------------------------- IAudioProcessor

tresult VST3_CALL Plugin::setBusArrangements(SpeakerArrangement* inputs, int32 numIns, SpeakerArrangement* outputs,
                                                int32 numOuts) {
    const bool stereo = numIns == 1 && numOuts == 1 && inputs && outputs && inputs[0] == SpeakerArr::kStereo &&
                        outputs[0] == SpeakerArr::kStereo;
    // Anything else: the buses stay stereo, which the host reads back.
    return stereo ? kResultTrue : kResultFalse;
}

tresult VST3_CALL Plugin::getBusArrangement(BusDirection dir, int32 index, SpeakerArrangement* arr) {
    if (arr == nullptr || index != 0 || (dir != kInput && dir != kOutput)) return kInvalidArgument;
    *arr = SpeakerArr::kStereo;
    return kResultOk;
}

tresult VST3_CALL Plugin::canProcessSampleSize(int32 size) {
    return size == kSample32 || size == kSample64 ? kResultTrue : kResultFalse;
}

uint32 VST3_CALL Plugin::getLatencySamples() { return 0; }

tresult VST3_CALL Plugin::setupProcessing(ProcessSetup* setup) {
    if (setup == nullptr) return kInvalidArgument;
    // The rate and block size reach the effect at its next switch-on; while
    // it runs, its buffers must not change under the audio thread.
    if (core->isActive()) return kResultFalse;
    // The effect takes its rate as float, as from a VST 2.4 host.
    if (!(setup->sampleRate > 0.0) || !std::isfinite(static_cast<float>(setup->sampleRate))) return kInvalidArgument;
    if (setup->symbolicSampleSize != kSample32 && setup->symbolicSampleSize != kSample64) return kResultFalse;
    sampleRate = setup->sampleRate;
    core->setSampleRate(setup->sampleRate);
    const int32 block = setup->maxSamplesPerBlock;
    core->setBlockSize(block > 0 ? std::min(block, kLargestBlock) : wrap::kDefaultBlockSize);
    return kResultOk;
}

tresult VST3_CALL Plugin::setProcessing(TBool) { return kResultOk; }

std::size_t Plugin::collectChanges(IParameterChanges* changes, int32 frames) {
    if (changes == nullptr) return 0;
    const int32 queues = changes->getParameterCount();
    std::size_t count = 0;
    for (int32 q = 0; q < queues; ++q) {
        IParamValueQueue* queue = changes->getParameterData(q);
        if (queue == nullptr) continue;
        const ParamID id = queue->getParameterId();
        if (!validParameter(id)) continue;
        const int32 points = queue->getPointCount();
        if (points <= 0) continue;
        // A queue that does not fit keeps its last point.
        const int32 first = static_cast<std::size_t>(points) <= kChangeCapacity - count ? 0 : points - 1;
        for (int32 k = first; k < points; ++k) {
            int32 offset = 0;
            ParamValue value = 0.0;
            if (queue->getPoint(k, &offset, &value) != kResultOk || !std::isfinite(value)) continue;
            value = clampUnit(value);
            // The value the host last had from us, or gave: nothing to do.
            if (sameBits(value, lastTaken[id].load(std::memory_order_relaxed))) continue;
            lastTaken[id].store(value, std::memory_order_relaxed);
            const auto frame = static_cast<std::uint32_t>(std::clamp(offset, 0, frames > 0 ? frames : 0));
            if (count == kChangeCapacity) {
                core->setNormalized(id, value);  // no room at all: at the block's start
                continue;
            }
            // Queues come one parameter after another: insert in frame order,
            // after the changes at the same frame.
            std::size_t at = count++;
            while (at > 0 && changeBuffer[at - 1].frame > frame) {
                changeBuffer[at] = changeBuffer[at - 1];
                --at;
            }
            changeBuffer[at] = wrap::ParameterChange{frame, id, value};
        }
    }
    return count;
}

tresult VST3_CALL Plugin::process(ProcessData* data) {
    if (data == nullptr) return kInvalidArgument;
    const int32 frames = data->numSamples > 0 ? data->numSamples : 0;
    const std::size_t count = collectChanges(data->inputParameterChanges, frames);

    if (const ProcessContext* c = data->processContext) {
        wrap::Transport t;
        t.sampleRate = c->sampleRate > 0.0 ? c->sampleRate : sampleRate;
        t.samplePos = static_cast<double>(c->projectTimeSamples);
        t.playing = (c->state & ProcessContext::kPlaying) != 0;
        t.recording = (c->state & ProcessContext::kRecording) != 0;
        t.tempoValid = (c->state & ProcessContext::kTempoValid) != 0;
        t.tempo = c->tempo;
        t.ppqValid = (c->state & ProcessContext::kProjectTimeMusicValid) != 0;
        t.ppqPos = c->projectTimeMusic;
        t.barsValid = (c->state & ProcessContext::kBarPositionValid) != 0;
        t.barStartPos = c->barPositionMusic;
        t.timeSigValid = (c->state & ProcessContext::kTimeSigValid) != 0;
        if (t.timeSigValid) {
            t.timeSigNumerator = c->timeSigNumerator;
            t.timeSigDenominator = c->timeSigDenominator;
        }
        core->setTransport(&t);
    } else {
        core->setTransport(nullptr);
    }

    const bool doubles = data->symbolicSampleSize == kSample64;
    const bool known = doubles || data->symbolicSampleSize == kSample32;
    AudioBusBuffers* in = known && data->numInputs > 0 ? data->inputs : nullptr;
    AudioBusBuffers* out = known && data->numOutputs > 0 ? data->outputs : nullptr;
    const auto channelsOf = [doubles](AudioBusBuffers* bus) -> void** {
        if (bus == nullptr || bus->numChannels < 2) return nullptr;
        void** channels = doubles ? reinterpret_cast<void**>(bus->channelBuffers64)
                                  : reinterpret_cast<void**>(bus->channelBuffers32);
        return channels && channels[0] && channels[1] ? channels : nullptr;
    };
    void** inputs = channelsOf(in);
    void** outputs = channelsOf(out);
    if (frames == 0 || inputs == nullptr || outputs == nullptr) {
        // A flush, or a block without the buffers to process: the changes
        // still count, and outputs there are fall silent.
        for (std::size_t k = 0; k < count; ++k) core->setNormalized(changeBuffer[k].parameter, changeBuffer[k].value);
        if (outputs && frames > 0)
            for (int c = 0; c < 2; ++c)
                std::memset(outputs[c], 0, static_cast<std::size_t>(frames) * (doubles ? sizeof(double) : sizeof(float)));
        if (out) out->silenceFlags = 0;
        return kResultOk;
    }
    if (doubles)
        core->process(reinterpret_cast<double**>(inputs), reinterpret_cast<double**>(outputs),
                      static_cast<std::uint32_t>(frames), changeBuffer.data(), count, true);
    else
        core->process(reinterpret_cast<float**>(inputs), reinterpret_cast<float**>(outputs),
                      static_cast<std::uint32_t>(frames), changeBuffer.data(), count, true);
    out->silenceFlags = 0;
    return kResultOk;
}

uint32 VST3_CALL Plugin::getTailSamples() {
    const double samples = std::ceil(plugin.tailSeconds * sampleRate);
    return samples > 0 && samples < 4.0e9 ? static_cast<uint32>(samples) : 0;
}

uint32 VST3_CALL Plugin::getProcessContextRequirements() {
    // What the effect asks a VST 2.4 host for: tempo and time signature,
    // the musical position, and whether the transport plays or records.
    return IProcessContextRequirements::kNeedTempo | IProcessContextRequirements::kNeedTimeSignature |
           IProcessContextRequirements::kNeedProjectTimeMusic | IProcessContextRequirements::kNeedBarPositionMusic |
           IProcessContextRequirements::kNeedTransportState;
}

// ---------------------------------------------------------------- IEditController

tresult VST3_CALL Plugin::setComponentState(IBStream* state) { return restore(state, true); }

// Everything lives in the component's state.
tresult VST3_CALL Plugin::setControllerState(IBStream* state) {
    return state ? kResultOk : kInvalidArgument;
}
tresult VST3_CALL Plugin::getControllerState(IBStream* state) {
    return state ? kResultOk : kInvalidArgument;
}

int32 VST3_CALL Plugin::getParameterCount() { return static_cast<int32>(core->parameters()); }

tresult VST3_CALL Plugin::getParameterInfo(int32 index, ParameterInfo* info) {
    if (info == nullptr || index < 0 || !validParameter(static_cast<ParamID>(index))) return kInvalidArgument;
    try {
        const auto p = static_cast<std::uint32_t>(index);
        const wrap::WrappedEffect::ParameterInfo slider = core->parameterInfo(p);
        std::memset(info, 0, sizeof *info);
        info->id = p;
        toUtf16(slider.name.c_str(), info->title, 128);
        toUtf16(slider.name.c_str(), info->shortTitle, 128);
        toUtf16(slider.label.c_str(), info->units, 128);
        info->stepCount = slider.stepCount;
        // As a VST 2.4 host reads it: through float.
        const double span = slider.maximum - slider.minimum;
        const double x = span != 0.0 ? (slider.defaultValue - slider.minimum) / span : 0.0;
        info->defaultNormalizedValue = std::isfinite(x) ? clampUnit(static_cast<double>(static_cast<float>(x))) : 0.0;
        info->unitId = kRootUnitId;
        info->flags = ParameterInfo::kCanAutomate;
        return kResultOk;
    } catch (const std::bad_alloc&) {
        return kOutOfMemory;
    }
}

tresult VST3_CALL Plugin::getParamStringByValue(ParamID id, ParamValue x, TChar* string) {
    if (string == nullptr || !validParameter(id) || !std::isfinite(x)) return kInvalidArgument;
    try {
        const std::string text = core->displayTextAt(id, core->unitsOfNormalized(id, clampUnit(x)));
        toUtf16(text.c_str(), string, 128);
        return kResultOk;
    } catch (const std::bad_alloc&) {
        return kOutOfMemory;
    }
}

tresult VST3_CALL Plugin::getParamValueByString(ParamID id, TChar* string, ParamValue* x) {
    if (string == nullptr || x == nullptr || !validParameter(id)) return kInvalidArgument;
    try {
        double units = 0.0;
        if (!core->parseText(id, fromUtf16(string, 128), units)) return kResultFalse;
        *x = plainParamToNormalized(id, units);
        return kResultOk;
    } catch (const std::bad_alloc&) {
        return kOutOfMemory;
    }
}

ParamValue VST3_CALL Plugin::normalizedParamToPlain(ParamID id, ParamValue x) {
    if (!validParameter(id) || !std::isfinite(x)) return 0.0;
    const wrap::WrappedEffect::ParameterInfo slider = core->parameterInfo(id);
    return slider.minimum + clampUnit(x) * (slider.maximum - slider.minimum);
}

ParamValue VST3_CALL Plugin::plainParamToNormalized(ParamID id, ParamValue plain) {
    if (!validParameter(id) || !std::isfinite(plain)) return 0.0;
    const wrap::WrappedEffect::ParameterInfo slider = core->parameterInfo(id);
    const double span = slider.maximum - slider.minimum;
    const double x = span != 0.0 ? (plain - slider.minimum) / span : 0.0;
    return std::isfinite(x) ? clampUnit(x) : 0.0;
}

ParamValue VST3_CALL Plugin::getParamNormalized(ParamID id) {
    if (!validParameter(id)) return 0.0;
    const double x = core->normalized(id);
    return std::isfinite(x) ? x : 0.0;
}

tresult VST3_CALL Plugin::setParamNormalized(ParamID id, ParamValue value) {
    if (!validParameter(id) || !std::isfinite(value)) return kInvalidArgument;
    value = clampUnit(value);
    // The host's value goes in at once, so a state saved before the next
    // block holds it; the same value arriving with that block is an echo.
    // A value the host only rounded (it keeps plain values as float) is the
    // effect's own, which stands as the editor set it.
    if (sameBits(value, lastTaken[id].load(std::memory_order_relaxed))) return kResultOk;
    lastTaken[id].store(value, std::memory_order_relaxed);
    if (static_cast<float>(value) != static_cast<float>(core->normalized(id))) core->setNormalized(id, value);
    return kResultOk;
}

tresult VST3_CALL Plugin::setComponentHandler(IComponentHandler* next) {
    if (next) next->addRef();
    releaseAndClear(handler);
    handler = next;
    return kResultOk;
}

IPlugView* VST3_CALL Plugin::createView(FIDString name) {
    if (name == nullptr || std::strcmp(name, kEditorViewName) != 0) return nullptr;
    return createEditorView(*this);
}

// ---------------------------------------------------------------- the editor

void Plugin::beginEdit(std::uint32_t p) {
    if (handler) handler->beginEdit(p);
}

void Plugin::performEdit(std::uint32_t p, double, double normalised) {
    lastTaken[p].store(normalised, std::memory_order_relaxed);
    if (handler) handler->performEdit(p, normalised);
}

void Plugin::endEdit(std::uint32_t p) {
    if (handler) handler->endEdit(p);
}

}  // namespace vst3face
