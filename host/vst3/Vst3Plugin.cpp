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
// Component states are a few hundred bytes. Anything past this is not ours.
constexpr std::size_t kStateLimit = 1 << 20;

template <typename T>
void releaseAndClear(T*& p) {
    if (p) p->release();
    p = nullptr;
}

}  // namespace

Plugin* Plugin::create(const PluginClass& plugin, Linux::IRunLoop* factoryRunLoop) {
    try {
        std::unique_ptr<wrap::PluginModel> model =
            wrap::PluginModel::create(plugin.description, wrap::HostUnits::Normalized);
        if (!model) return nullptr;
        auto* self = new Plugin(std::move(model));
        if (factoryRunLoop) {
            factoryRunLoop->addRef();
            self->runLoop = factoryRunLoop;
        }
        return self;
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

Plugin::Plugin(std::unique_ptr<wrap::PluginModel> made)
    : model(std::move(made)), changeBuffer(kChangeCapacity), writesSeen(model->parameterCount(), 0) {}

Plugin::~Plugin() {
    // The effect closes its editor and switches off as it goes.
    releaseAndClear(groups);
    releaseAndClear(handler);
    releaseAndClear(runLoop);
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
    model->setActive(false);
    model->effect().editor().finishEdits(*this);  // on the handler that saw the gestures begin
    releaseAndClear(groups);
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
    model->setActive(state != 0);
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
        if (unlessCurrent && bytes == model->saveState()) return kResultOk;
        return model->loadState(bytes.data(), bytes.size()) ? kResultOk : kResultFalse;
    } catch (const std::bad_alloc&) {
        return kOutOfMemory;
    }
}

tresult VST3_CALL Plugin::setState(IBStream* state) { return restore(state, false); }

tresult VST3_CALL Plugin::getState(IBStream* state) {
    if (state == nullptr) return kInvalidArgument;
    try {
        // Values the host set on the controller are in it, taken or not.
        const std::vector<std::uint8_t> saved = model->saveState();
        if (saved.empty()) return kResultFalse;
        return writeAll(state, saved) ? kResultOk : kResultFalse;
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

uint32 VST3_CALL Plugin::getLatencySamples() { return model->latencyFrames(); }

tresult VST3_CALL Plugin::setupProcessing(ProcessSetup* setup) {
    if (setup == nullptr) return kInvalidArgument;
    // The rate and block size reach the effect at its next switch-on; while
    // it runs, its buffers must not change under the audio thread.
    if (model->isActive()) return kResultFalse;
    if (setup->symbolicSampleSize != kSample32 && setup->symbolicSampleSize != kSample64) return kResultFalse;
    if (!model->setup(setup->sampleRate, setup->maxSamplesPerBlock)) return kInvalidArgument;
    sampleSize = setup->symbolicSampleSize;
    return kResultOk;
}

tresult VST3_CALL Plugin::setProcessing(TBool state) {
    model->setProcessing(state != 0);
    return kResultOk;
}

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
            const auto frame = static_cast<std::uint32_t>(std::clamp(offset, 0, frames > 0 ? frames : 0));
            if (count == kChangeCapacity) {
                const wrap::PluginModel::Change late{0, id, value};
                model->take(&late, 1);  // no room at all: at the block's start
                continue;
            }
            // Queues come one parameter after another: insert in frame order,
            // after the changes at the same frame.
            std::size_t at = count++;
            while (at > 0 && changeBuffer[at - 1].frame > frame) {
                changeBuffer[at] = changeBuffer[at - 1];
                --at;
            }
            changeBuffer[at] = wrap::PluginModel::Change{frame, id, value};
        }
    }
    return count;
}

namespace {

// Every channel of every output bus the host handed over gets written: zeros
// where no processed audio goes.
void silenceOutputs(ProcessData& data, bool doubles, std::int32_t fromBus, std::int32_t frames) {
    for (int32 b = fromBus; b < data.numOutputs && data.outputs; ++b) {
        AudioBusBuffers& bus = data.outputs[b];
        const auto channels = static_cast<std::uint32_t>(std::max(bus.numChannels, 0));
        if (doubles)
            wrap::PluginModel::silence(bus.channelBuffers64, channels, static_cast<std::uint32_t>(frames));
        else
            wrap::PluginModel::silence(bus.channelBuffers32, channels, static_cast<std::uint32_t>(frames));
        bus.silenceFlags = channels >= 64 ? ~std::uint64_t(0) : (std::uint64_t(1) << channels) - 1;
    }
}

}  // namespace

tresult VST3_CALL Plugin::process(ProcessData* data) {
    if (data == nullptr) return kInvalidArgument;
    const int32 frames = data->numSamples > 0 ? data->numSamples : 0;
    const std::size_t count = collectChanges(data->inputParameterChanges, frames);

    if (const ProcessContext* c = data->processContext) {
        wrap::Transport t;
        t.sampleRate = c->sampleRate > 0.0 ? c->sampleRate : model->sampleRate();
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
        model->setTransport(&t);
    } else {
        model->setTransport(nullptr);
    }

    const bool doubles = data->symbolicSampleSize == kSample64;
    if (!doubles && data->symbolicSampleSize != kSample32) {
        // No width to write the outputs in: the changes still count.
        model->takeBlock(changeBuffer.data(), count);
        return kInvalidArgument;
    }
    const auto stereo = [doubles](AudioBusBuffers* buses, int32 n) -> void** {
        if (buses == nullptr || n < 1 || buses[0].numChannels < 2) return nullptr;
        void** channels = doubles ? reinterpret_cast<void**>(buses[0].channelBuffers64)
                                  : reinterpret_cast<void**>(buses[0].channelBuffers32);
        return channels && channels[0] && channels[1] ? channels : nullptr;
    };
    void** inputs = stereo(data->inputs, data->numInputs);
    void** outputs = stereo(data->outputs, data->numOutputs);
    if (frames == 0 || inputs == nullptr || outputs == nullptr) {
        // A flush, or a block the effect cannot run on (a bus the host keeps
        // mono, buffers missing): the changes still count, and every output
        // there is falls silent. A controller value the host echoes after
        // it is as late as after any other block.
        model->takeBlock(changeBuffer.data(), count);
        silenceOutputs(*data, doubles, 0, frames);
        return kResultOk;
    }
    const wrap::PluginModel::BlockResult result =
        doubles ? model->process(reinterpret_cast<double**>(inputs), reinterpret_cast<double**>(outputs),
                                 static_cast<std::uint32_t>(frames), changeBuffer.data(), count)
                : model->process(reinterpret_cast<float**>(inputs), reinterpret_cast<float**>(outputs),
                                 static_cast<std::uint32_t>(frames), changeBuffer.data(), count);
    // Channels past the pair, and other buses, are not the effect's.
    AudioBusBuffers& main = data->outputs[0];
    for (int32 c = 2; c < main.numChannels; ++c) {
        if (doubles && main.channelBuffers64[c])
            wrap::PluginModel::silence(main.channelBuffers64 + c, 1, static_cast<std::uint32_t>(frames));
        if (!doubles && main.channelBuffers32[c])
            wrap::PluginModel::silence(main.channelBuffers32 + c, 1, static_cast<std::uint32_t>(frames));
    }
    const std::uint64_t extra = main.numChannels >= 64 ? ~std::uint64_t(0)
                                                      : ((std::uint64_t(1) << main.numChannels) - 1) & ~std::uint64_t(3);
    // Only what is truly zeros: the effect's tail and its tiny offset against
    // denormals are not silence.
    main.silenceFlags = result.silentOutputs | extra;
    silenceOutputs(*data, doubles, 1, frames);
    return kResultOk;
}

uint32 VST3_CALL Plugin::getTailSamples() { return model->tailFrames(); }

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

int32 VST3_CALL Plugin::getParameterCount() { return static_cast<int32>(model->parameterCount()); }

tresult VST3_CALL Plugin::getParameterInfo(int32 index, ParameterInfo* info) {
    if (info == nullptr || index < 0 || !validParameter(static_cast<ParamID>(index))) return kInvalidArgument;
    const wrap::Parameter& p = *model->parameter(static_cast<std::uint32_t>(index));
    std::memset(info, 0, sizeof *info);
    info->id = p.id;
    toUtf16(p.name.c_str(), info->title, 128);
    toUtf16(p.name.c_str(), info->shortTitle, 128);
    toUtf16(p.unit.c_str(), info->units, 128);
    // Continuous, but for the bypass switch: a step count makes hosts draw
    // automation in stairs and offer lists.
    info->stepCount = p.bypass ? 1 : 0;
    info->defaultNormalizedValue = model->defaultHostValue(p.id);
    info->unitId = kRootUnitId;
    info->flags = ParameterInfo::kCanAutomate | (p.bypass ? ParameterInfo::kIsBypass : 0);
    return kResultOk;
}

tresult VST3_CALL Plugin::getParamStringByValue(ParamID id, ParamValue x, TChar* string) {
    if (string == nullptr || !validParameter(id) || !std::isfinite(x)) return kInvalidArgument;
    try {
        // The unit is the parameter's, shown beside the text by the host.
        toUtf16(model->text(id, x, false).c_str(), string, 128);
        return kResultOk;
    } catch (const std::bad_alloc&) {
        return kOutOfMemory;
    }
}

tresult VST3_CALL Plugin::getParamValueByString(ParamID id, TChar* string, ParamValue* x) {
    if (string == nullptr || x == nullptr || !validParameter(id)) return kInvalidArgument;
    try {
        return model->parse(id, fromUtf16(string, 128), *x) ? kResultOk : kResultFalse;
    } catch (const std::bad_alloc&) {
        return kOutOfMemory;
    }
}

ParamValue VST3_CALL Plugin::normalizedParamToPlain(ParamID id, ParamValue x) {
    return validParameter(id) && std::isfinite(x) ? model->plainOf(id, x) : 0.0;
}

ParamValue VST3_CALL Plugin::plainParamToNormalized(ParamID id, ParamValue plain) {
    return validParameter(id) && std::isfinite(plain) ? model->hostOf(id, plain) : 0.0;
}

ParamValue VST3_CALL Plugin::getParamNormalized(ParamID id) { return validParameter(id) ? model->hostValue(id) : 0.0; }

tresult VST3_CALL Plugin::setParamNormalized(ParamID id, ParamValue value) {
    if (!validParameter(id) || !std::isfinite(value)) return kInvalidArgument;
    // While blocks run, the host sends the processor the same value itself;
    // what it tells the controller is only shown and saved meanwhile.
    model->setFromHost(id, value);
    return kResultOk;
}

tresult VST3_CALL Plugin::setComponentHandler(IComponentHandler* next) {
    if (next) next->addRef();
    // A drag still held ends on the handler that saw it begin: the host
    // would otherwise keep the parameter touched (its automation in touch
    // mode) for good.
    if (next != handler) model->effect().editor().finishEdits(*this);
    releaseAndClear(groups);
    releaseAndClear(handler);
    handler = next;
    void* found = nullptr;
    if (next && next->queryInterface(IComponentHandler2::iid.data(), &found) == kResultOk && found)
        groups = static_cast<IComponentHandler2*>(found);
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
    model->noteReported(p);
    if (handler) handler->performEdit(p, normalised);
}

void Plugin::endEdit(std::uint32_t p) {
    if (handler) handler->endEdit(p);
}

bool Plugin::changedByHost(std::uint32_t p) {
    const std::uint32_t writes = model->hostWrites(p);
    const bool changed = writes != writesSeen[p];
    writesSeen[p] = writes;
    return changed;
}

// The logo's reset changes several controls at once: one undo step.
void Plugin::beginGroup() {
    if (groups) groups->startGroupEdit();
}

void Plugin::endGroup() {
    if (groups) groups->finishGroupEdit();
}

}  // namespace vst3face
