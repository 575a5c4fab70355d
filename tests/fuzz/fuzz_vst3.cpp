// The VST 3 face in any order a host may call it, through the module's
// exports only (ModuleEntry, GetPluginFactory, ModuleExit): the input chooses
// the calls (lifecycle, also in orders hosts should not use; blocks of any
// size, precision and bus layout with parameter points anywhere; controller
// values, texts and states through streams that break; the editor in the
// host's window with its run loop, clicks and scales). A twin instance gets
// the same calls but the controller values a host sends while processing,
// which must not change what the processor renders. After the sequence: a
// save reloads into a fresh instance with the same values and renders the
// same block, every gesture is ended, and nothing registered with the host or
// referenced from it outlives the instance.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "../vst3/Vst3TestHost.h"
#include "FaceFuzz.h"
#include "host/vst3/Vst3Abi.h"

extern "C" vst3::IPluginFactory* GetPluginFactory();
extern "C" bool ModuleEntry(void*);
extern "C" bool ModuleExit();

namespace {

using namespace vst3;
using namespace facefuzz;

// ---------------------------------------------------------------- host objects

// Counts the references the plug-in takes: any still held after everything
// of the plug-in's is released is one it never gave back.
template <typename Interface>
class HostObject : public Interface {
public:
    tresult VST3_CALL queryInterface(const TUID iid, void** obj) override {
        if (obj == nullptr) return kInvalidArgument;
        *obj = nullptr;
        if (!sameTuid(iid, FUnknown::iid) && !sameTuid(iid, Interface::iid)) return kNoInterface;
        *obj = static_cast<Interface*>(this);
        addRef();
        return kResultOk;
    }
    uint32 VST3_CALL addRef() override { return static_cast<uint32>(++references); }
    uint32 VST3_CALL release() override {
        const int left = --references;
        check(left >= 0, "vst3-host-reference-overreleased");
        return static_cast<uint32>(left);
    }
    std::atomic<int> references{0};
};

class RunLoop final : public HostObject<Linux::IRunLoop> {
public:
    tresult VST3_CALL registerEventHandler(Linux::IEventHandler* handler, FileDescriptor fd) override {
        if (handler == nullptr || fd < 0) return kInvalidArgument;
        fds.emplace_back(handler, fd);
        return kResultOk;
    }
    tresult VST3_CALL unregisterEventHandler(Linux::IEventHandler* handler) override {
        const auto before = fds.size();
        std::erase_if(fds, [handler](const auto& f) { return f.first == handler; });
        return fds.size() < before ? kResultOk : kInvalidArgument;
    }
    tresult VST3_CALL registerTimer(Linux::ITimerHandler* handler, TimerInterval ms) override {
        if (handler == nullptr || refuseTimers) return kResultFalse;
        check(ms > 0 && ms < 10000, "vst3-timer-interval", describe("%.0f ms", static_cast<double>(ms)));
        timers.push_back(handler);
        return kResultOk;
    }
    tresult VST3_CALL unregisterTimer(Linux::ITimerHandler* handler) override {
        const auto before = timers.size();
        std::erase(timers, handler);
        return timers.size() < before ? kResultOk : kInvalidArgument;
    }
    // One turn of the host's loop: the clock moves, every timer fires, every
    // descriptor counts as readable (a handler may unregister meanwhile).
    void turn() {
        FACE_TRACE("vst3:   turn: %zu timers, %zu descriptors\n", timers.size(), fds.size());
        advanceClock(40);
        for (std::size_t k = 0; k < timers.size(); ++k) {
            Linux::ITimerHandler* handler = timers[k];
            handler->onTimer();
        }
        for (std::size_t k = 0; k < fds.size(); ++k) fds[k].first->onFDIsSet(fds[k].second);
    }
    bool refuseTimers = false;
    std::vector<Linux::ITimerHandler*> timers;
    std::vector<std::pair<Linux::IEventHandler*, int>> fds;
};

class Frame final : public HostObject<IPlugFrame> {
public:
    explicit Frame(RunLoop& loop) : loop(loop) {}
    tresult VST3_CALL queryInterface(const TUID iid, void** obj) override {
        if (obj && offerRunLoop && sameTuid(iid, Linux::IRunLoop::iid)) return loop.queryInterface(iid, obj);
        return HostObject::queryInterface(iid, obj);
    }
    tresult VST3_CALL resizeView(IPlugView* view, ViewRect* size) override {
        check(view != nullptr && size != nullptr, "vst3-resize-request", "no view or size");
        const int32 w = size->getWidth(), h = size->getHeight();
        check(w > 0 && h > 0 && w <= 4 * 2048 && h <= 4 * 2048, "vst3-resize-request",
              describe("%.0f x %.0f", w, h));
        if (refuseResize) return kResultFalse;
        if (view) view->onSize(size);  // as hosts do, from inside the request
        return kResultOk;
    }
    RunLoop& loop;
    bool offerRunLoop = true, refuseResize = false;
};

// Records the edits: each begin ended, values only inside a gesture, all
// finite and in [0, 1]. A host sends the performed values to the processor.
class Handler final : public HostObject<IComponentHandler> {
public:
    tresult VST3_CALL beginEdit(ParamID id) override {
        FACE_TRACE("vst3: < beginEdit %u\n", id);
        check(!open(id), "vst3-gesture-order", describe("begin of %.0f while it is open", id));
        gestures.push_back(id);
        return kResultOk;
    }
    tresult VST3_CALL performEdit(ParamID id, ParamValue value) override {
        FACE_TRACE("vst3: < performEdit %u %g\n", id, value);
        check(open(id), "vst3-gesture-order", describe("value of %.0f outside a gesture", id));
        check(std::isfinite(value) && value >= 0 && value <= 1, "vst3-edit-value", describe("%g", value));
        performed.emplace_back(id, value);
        edits++;
        return kResultOk;
    }
    tresult VST3_CALL endEdit(ParamID id) override {
        FACE_TRACE("vst3: < endEdit %u\n", id);
        check(open(id), "vst3-gesture-order", describe("end of %.0f never begun", id));
        std::erase(gestures, id);
        return kResultOk;
    }
    tresult VST3_CALL restartComponent(int32) override { return kResultOk; }
    bool open(ParamID id) const { return std::find(gestures.begin(), gestures.end(), id) != gestures.end(); }
    std::vector<ParamID> gestures;
    std::vector<std::pair<ParamID, ParamValue>> performed;  // for the next block
    int edits = 0;
};

class Application final : public HostObject<IHostApplication> {
public:
    tresult VST3_CALL getName(TChar* name) override {
        const char16_t text[] = u"fuzz";
        std::memcpy(name, text, sizeof text);
        return kResultOk;
    }
    tresult VST3_CALL createInstance(TUID, TUID, void** obj) override {
        if (obj) *obj = nullptr;
        return kNoInterface;
    }
};

class Stream final : public HostObject<IBStream> {
public:
    Stream(std::vector<std::uint8_t> data, StreamPlan plan) : bytes(std::move(data)), plan(plan) {}
    tresult VST3_CALL read(void* buffer, int32 n, int32* done) override {
        if (const tresult lie = wrong(done, n); lie != kNotImplemented) return lie;
        const auto left = static_cast<std::int64_t>(bytes.size()) - position;
        const auto count = static_cast<int32>(std::clamp<std::int64_t>(std::min<std::int64_t>(n, plan.piece), 0, left));
        if (count > 0) std::memcpy(buffer, bytes.data() + position, static_cast<std::size_t>(count));
        position += count;
        if (done) *done = count;
        return kResultOk;
    }
    tresult VST3_CALL write(void* buffer, int32 n, int32* done) override {
        if (const tresult lie = wrong(done, n); lie != kNotImplemented) return lie;
        const int32 count = std::clamp<int32>(static_cast<int32>(std::min<std::int64_t>(n, plan.piece)), 0, n);
        const auto* from = static_cast<const std::uint8_t*>(buffer);
        bytes.insert(bytes.end(), from, from + count);
        position += count;
        if (done) *done = count;
        return kResultOk;
    }
    tresult VST3_CALL seek(int64 pos, int32 mode, int64* result) override {
        const int64 base = mode == kIBSeekCur ? position : mode == kIBSeekEnd ? static_cast<int64>(bytes.size()) : 0;
        if (base + pos < 0) return kResultFalse;
        position = base + pos;
        if (result) *result = position;
        return kResultOk;
    }
    tresult VST3_CALL tell(int64* pos) override {
        if (pos) *pos = position;
        return kResultOk;
    }
    std::vector<std::uint8_t> bytes;

private:
    // Past the plan's point a broken stream fails, lies about the count, or
    // ends; kNotImplemented means it still works.
    tresult wrong(int32* done, int32 n) {
        if (!plan.goesWrong() || static_cast<std::uint64_t>(position) < plan.failAt) return kNotImplemented;
        switch (plan.ending) {
            case StreamPlan::kError:
                if (done) *done = 0;
                return kResultFalse;
            case StreamPlan::kOverReport:
                if (done) *done = n + 17;
                return kResultOk;
            case StreamPlan::kNegative:
                if (done) *done = -5;
                return kResultOk;
            default:
                if (done) *done = 0;
                return kResultOk;
        }
    }
    StreamPlan plan;
    int64 position = 0;
};

// Parameter changes as a host hands them in: the VST 3 tests' own queues.
using ParamChanges = vst3test::ParamChanges;

struct Host {
    RunLoop loop;
    Frame frame{loop};
    Handler handler;
    Application application;
    // Everything the plug-in may still hold of the host's, and how much.
    void checkReleased() const {
        check(loop.timers.empty() && loop.fds.empty(), "vst3-registration-outlives",
              describe("%.0f timers, %.0f descriptors", loop.timers.size(), loop.fds.size()));
        check(loop.references == 0 && frame.references == 0 && handler.references == 0 &&
                  application.references == 0,
              "vst3-host-reference-kept",
              describe("run loop %.0f, frame %.0f, handler %.0f", loop.references.load(), frame.references.load(),
                       handler.references.load()));
    }
};

std::string narrow(const TChar* text, std::size_t capacity) {
    std::string out;
    for (std::size_t k = 0; k < capacity && text[k]; ++k) out.push_back(text[k] < 128 ? static_cast<char>(text[k]) : '?');
    return out;
}

void widen(const std::string& text, TChar* out, std::size_t capacity) {
    std::size_t k = 0;
    for (; k + 1 < capacity && k < text.size(); ++k) out[k] = static_cast<unsigned char>(text[k]);
    out[k] = 0;
}

// ---------------------------------------------------------------- one instance

struct Instance {
    IComponent* component = nullptr;
    IAudioProcessor* processor = nullptr;
    IEditController* controller = nullptr;
    std::vector<ParameterInfo> params;
    int32 outputChannels = 0;  // of the main output bus, as the host reads them
    ProcessSetup setup{kRealtime, kSample32, 1024, 44100.0};
    bool active = false, processing = false, blocksSinceStart = false;

    bool make(IPluginFactory* factory, const char8* cid, FUnknown* context, IComponentHandler* handler) {
        void* obj = nullptr;
        if (factory->createInstance(cid, IComponent::iid.data(), &obj) != kResultOk || obj == nullptr) return false;
        component = static_cast<IComponent*>(obj);
        component->initialize(context);
        if (component->queryInterface(IAudioProcessor::iid.data(), &obj) == kResultOk) processor = static_cast<IAudioProcessor*>(obj);
        if (component->queryInterface(IEditController::iid.data(), &obj) == kResultOk) controller = static_cast<IEditController*>(obj);
        check(processor && controller, "vst3-interfaces", "one object must process and control");
        controller->initialize(context);
        if (handler) controller->setComponentHandler(handler);
        BusInfo bus{};
        if (component->getBusInfo(kAudio, kOutput, 0, &bus) == kResultOk) outputChannels = bus.channelCount;
        // The parameters as a host scans them.
        const int32 count = controller->getParameterCount();
        check(count >= 0 && count < 4096, "vst3-parameter-info", describe("%.0f parameters", count));
        for (int32 k = 0; k < count; ++k) {
            ParameterInfo info{};
            check(controller->getParameterInfo(k, &info) == kResultOk, "vst3-parameter-info", "an index below the count");
            check(std::isfinite(info.defaultNormalizedValue) && info.defaultNormalizedValue >= 0 &&
                      info.defaultNormalizedValue <= 1 && info.stepCount >= 0,
                  "vst3-parameter-info", describe("default %g, steps %.0f", info.defaultNormalizedValue, info.stepCount));
            for (const ParameterInfo& other : params) check(other.id != info.id, "vst3-parameter-info", "an id twice");
            params.push_back(info);
        }
        ParameterInfo past{};
        check(controller->getParameterInfo(count, &past) != kResultOk, "vst3-parameter-info", "an index past the count");
        return true;
    }

    void release() {
        if (controller) controller->release();
        if (processor) processor->release();
        if (component) component->release();
        controller = nullptr;
        processor = nullptr;
        component = nullptr;
    }

    void terminate() {
        if (controller) controller->terminate();
        if (component) component->terminate();
    }

    std::vector<ParamValue> values() {
        std::vector<ParamValue> out;
        for (const ParameterInfo& p : params) {
            const ParamValue v = controller->getParamNormalized(p.id);
            check(std::isfinite(v) && v >= 0 && v <= 1, "vst3-value-range", describe("parameter %.0f at %g", p.id, v));
            out.push_back(v);
        }
        return out;
    }

    std::vector<std::uint8_t> save(StreamPlan plan = {}, tresult* result = nullptr) {
        Stream stream({}, plan);
        const tresult r = component->getState(&stream);
        if (result) *result = r;
        check(stream.references == 0, "vst3-host-reference-kept", "a state stream");
        return r == kResultOk ? stream.bytes : std::vector<std::uint8_t>{};
    }

    tresult load(const std::vector<std::uint8_t>& bytes, StreamPlan plan, int how) {
        Stream stream(bytes, plan);
        tresult r = how == 0 ? component->setState(&stream)
                  : how == 1 ? controller->setComponentState(&stream)
                             : controller->setControllerState(&stream);
        check(stream.references == 0, "vst3-host-reference-kept", "a state stream");
        return r;
    }
};

// ---------------------------------------------------------------- blocks

struct Change {
    ParamID id;
    int32 offset;
    ParamValue value;
};

struct Block {
    int32 frames = 0;
    int32 sampleSize = kSample32;
    int32 mode = kRealtime;
    bool inPlace = false;
    std::uint8_t inLayout = 0, outLayout = 0;  // see busOf
    std::uint64_t inSilence = 0;
    std::uint8_t signal = 1;
    std::uint32_t seed = 0;
    bool hasContext = false;
    ProcessContext context{};
    std::vector<Change> changes;
};

Block readBlock(ByteReader& in, const Instance& instance) {
    Block b;
    const std::uint8_t shape = in.u8();
    b.frames = static_cast<int32>(pickFrames(in, static_cast<std::uint32_t>(instance.setup.maxSamplesPerBlock)));
    if (shape == 0xFF) b.frames = -1 - in.u8();  // a negative count
    b.sampleSize = (shape & 3) == 3 ? (shape & 4 ? 7 : 1 - instance.setup.symbolicSampleSize)
                                    : instance.setup.symbolicSampleSize;
    b.mode = (shape >> 3) % 3;
    b.inPlace = (shape & 0x20) != 0;
    const std::uint8_t layouts = in.u8();
    b.inLayout = layouts & 0xF;
    b.outLayout = layouts >> 4;
    b.inSilence = in.u8() % 4;
    b.signal = in.u8();
    b.seed = in.read<std::uint16_t>();
    b.hasContext = (shape & 0x40) != 0;
    if (b.hasContext) {
        ProcessContext& c = b.context;
        c.state = in.read<std::uint32_t>();
        const double specials[] = {0.0, 48000.0, -1.0, NAN, 1e300, 120.0, 3.5, INFINITY};
        c.sampleRate = specials[in.u8() % 8];
        c.projectTimeSamples = in.read<std::int64_t>() >> (in.u8() % 64);
        c.projectTimeMusic = specials[in.u8() % 8] * (in.u8() % 2 ? 1 : -1);
        c.barPositionMusic = specials[in.u8() % 8];
        c.tempo = specials[in.u8() % 8];
        c.timeSigNumerator = static_cast<int8_t>(in.u8());
        c.timeSigDenominator = static_cast<int8_t>(in.u8());
    }
    const int queues = in.u8() % 5;
    for (int q = 0; q < queues; ++q) {
        const std::uint8_t pick = in.u8();
        const ParamID id = instance.params.empty() || pick >= 250
                               ? (pick == 255 ? kNoParamId : static_cast<ParamID>(pick))
                               : instance.params[pick % instance.params.size()].id;
        const int points = 1 + in.u8() % 4;
        for (int k = 0; k < points; ++k) {
            const std::uint8_t at = in.u8();
            const int32 offset = at < 200 ? (b.frames > 0 ? at * b.frames / 200 : 0)
                                          : at < 250 ? b.frames - 1 + (at - 200) : -static_cast<int32>(at);
            b.changes.push_back({id, offset, pickValue(in, 0.0, 1.0, 0.5)});
        }
    }
    return b;
}

// What one block gave back: the result and every output sample.
struct Rendered {
    tresult result = kResultFalse;
    std::vector<std::uint8_t> outputs;
};

// Bus layouts: 0-9 the stereo pair, 10 no bus, 11 a count of one but no
// buses, 12 mono, 13 a channel without memory, 14 three channels, 15 none
// of the channels' memory.
template <typename Sample>
Rendered runTyped(Instance& instance, const Block& b, const std::vector<std::pair<ParamID, ParamValue>>& edits) {
    const std::size_t frames = b.frames > 0 ? static_cast<std::size_t>(b.frames) : 0;
    BlockBuffers<Sample> buffers(frames, b.signal, b.seed, b.inPlace);
    const auto busOf = [](std::uint8_t layout, Sample** pointers, AudioBusBuffers& bus, int32& count) -> AudioBusBuffers* {
        bus = AudioBusBuffers{};
        count = 1;
        if (layout == 10) {
            count = 0;
            return nullptr;
        }
        if (layout == 11) return nullptr;
        bus.numChannels = layout == 12 ? 1 : layout == 14 ? 3 : 2;
        if (layout == 13) pointers[1] = nullptr;
        if constexpr (sizeof(Sample) == 4)
            bus.channelBuffers32 = layout == 15 ? nullptr : pointers;
        else
            bus.channelBuffers64 = layout == 15 ? nullptr : pointers;
        return &bus;
    };
    AudioBusBuffers inBus, outBus;
    ProcessData data{};
    data.processMode = b.mode;
    data.symbolicSampleSize = b.sampleSize;
    data.numSamples = b.frames;
    data.inputs = busOf(b.inLayout, buffers.in, inBus, data.numInputs);
    data.outputs = busOf(b.outLayout, buffers.out, outBus, data.numOutputs);
    if (data.inputs) inBus.silenceFlags = b.inSilence;
    // Hosts reuse the record: what the last block said stays unless written.
    if (data.outputs) outBus.silenceFlags = b.inSilence;
    ParamChanges changes;
    for (const auto& [id, value] : edits) changes.add(id, 0, value);
    for (const Change& c : b.changes) changes.add(c.id, c.offset, c.value);
    data.inputParameterChanges = &changes;
    ProcessContext context = b.context;
    data.processContext = b.hasContext ? &context : nullptr;

    Rendered r;
    r.result = instance.processor->process(&data);
    // Of a sample size that is neither, the plug-in cannot know the width.
    const bool known = b.sampleSize == kSample32 || b.sampleSize == kSample64;
    if (r.result != kResultOk || frames == 0 || !known || data.outputs == nullptr || outBus.channelBuffers32 == nullptr)
        return r;
    // The channels the plug-in has and the host gave memory for.
    for (int32 c = 0; c < std::min(outBus.numChannels, instance.outputChannels); ++c) {
        const Sample* out = buffers.out[c];
        if (out == nullptr) continue;
        checkOutput(out, frames, "vst3-unwritten-outputs", "vst3-nonfinite-output",
                    buffers.inputBefore(static_cast<std::size_t>(c)));
        if (outBus.silenceFlags & (1ull << c))
            for (std::size_t i = 0; i < frames; ++i)
                check(out[i] == 0, "vst3-silence-flags", "a channel flagged silent is not");
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(out);
        r.outputs.insert(r.outputs.end(), bytes, bytes + frames * sizeof(Sample));
    }
    buffers.checkInputsKept("vst3-input-written");
    return r;
}

Rendered render(Instance& instance, const Block& b, const std::vector<std::pair<ParamID, ParamValue>>& edits) {
    return b.sampleSize == kSample64 ? runTyped<double>(instance, b, edits) : runTyped<float>(instance, b, edits);
}

// ---------------------------------------------------------------- editor

struct ViewSlot {
    IPlugView* view = nullptr;
    bool attached = false, framed = false;
};

// ---------------------------------------------------------------- the sequence

class Sequence {
public:
    explicit Sequence(ByteReader& in) : in(in) {}

    void run() {
        const std::uint8_t setupByte = in.u8();
        entered = ModuleEntry(nullptr);
        check(entered, "vst3-module-entry");
        IPluginFactory* base = GetPluginFactory();
        check(base != nullptr, "vst3-factory");
        void* obj = nullptr;
        check(base->queryInterface(IPluginFactory3::iid.data(), &obj) == kResultOk && obj, "vst3-factory", "no IPluginFactory3");
        base->release();
        factory = static_cast<IPluginFactory3*>(obj);
        PClassInfo info{};
        check(factory->countClasses() >= 1 && factory->getClassInfo(0, &info) == kResultOk, "vst3-factory", "no class");
        std::memcpy(cid, info.cid, sizeof cid);
        // Hosts that hand the factory their run loop (the validator), and
        // those that do not (Ardour).
        if (setupByte & 1) factory->setHostContext(&host.loop);
        host.frame.offerRunLoop = (setupByte & 2) == 0;
        host.loop.refuseTimers = (setupByte & 0x1C) == 0x1C;
        host.frame.refuseResize = (setupByte & 0x20) != 0;
        context = setupByte & 0x40 ? static_cast<FUnknown*>(&host.application) : nullptr;
        twinned = !audio.threaded();

        if (!main.make(factory, cid, context, &host.handler)) check(false, "vst3-create", "no instance");
        if (twinned) check(twin.make(factory, cid, context, nullptr), "vst3-create", "no twin");

        for (int step = 0; step < kMaxSteps && !in.empty(); ++step) this->step(in.u8());
        finish();
    }

private:
    // Calls only the main instance gets that may change what it renders.
    void untwin() { twinInSync = false; }

    void both(const std::function<void(Instance&)>& call) {
        call(main);
        if (twinned) call(twin);
    }

    void step(std::uint8_t op) {
        static const char* const names[] = {"setupProcessing", "setBusArrangements", "activateBus", "setActive",
                                            "setProcessing", "process", "process", "process", "setParamNormalized",
                                            "setParamNormalized", "texts", "getState", "setState", "lifecycle",
                                            "editor", "editor", "editor", "queries", "setComponentHandler", "run loop"};
        FACE_TRACE("vst3: %s\n", names[op % 20]);
        switch (op % 20) {
            case 0: {  // setupProcessing, the host's or an absurd one
                const double rates[] = {44100, 48000, 96000, 22050, 192000, 8000, 0, -1, NAN, 1e12};
                const std::uint8_t r = in.u8();
                ProcessSetup s{in.u8() % 4, in.u8() % 3 == 2 ? kSample64 : kSample32,
                               static_cast<int32>(r & 0x80 ? static_cast<int8_t>(in.u8()) : 1 + in.read<std::uint16_t>() % 2048),
                               rates[r % 10]};
                if (r % 10 == 9) s.symbolicSampleSize = 5;
                quiet();
                tresult result = kResultOk;
                both([&](Instance& i) {
                    ProcessSetup copy = s;
                    result = i.processor->setupProcessing(&copy);
                    if (result == kResultOk) i.setup = s;
                });
                break;
            }
            case 1: {  // arrangements: stereo, mono, none, odd counts
                const SpeakerArrangement kinds[] = {SpeakerArr::kStereo, SpeakerArr::kMono, SpeakerArr::kEmpty, 0x3F};
                SpeakerArrangement ins[2] = {kinds[in.u8() % 4], kinds[in.u8() % 4]};
                SpeakerArrangement outs[2] = {kinds[in.u8() % 4], kinds[in.u8() % 4]};
                const int32 nIn = in.u8() % 3, nOut = in.u8() % 3;
                quiet();
                both([&](Instance& i) {
                    SpeakerArrangement a[2] = {ins[0], ins[1]}, b[2] = {outs[0], outs[1]};
                    i.processor->setBusArrangements(nIn ? a : nullptr, nIn, nOut ? b : nullptr, nOut);
                    SpeakerArrangement back = 0;
                    i.processor->getBusArrangement(kOutput, 0, &back);
                });
                break;
            }
            case 2: {
                const MediaType type = in.u8() % 3;
                const BusDirection dir = in.u8() % 3;
                const int32 index = static_cast<int8_t>(in.u8()) % 3;
                const TBool state = in.u8() & 1;
                quiet();
                both([&](Instance& i) { i.component->activateBus(type, dir, index, state); });
                break;
            }
            case 3: {
                const bool on = in.u8() & 1;
                FACE_TRACE("vst3:   %d\n", on);
                quiet();
                both([&](Instance& i) {
                    check(i.component->setActive(on) == kResultOk, "vst3-set-active", "refused");
                    i.active = on;
                    if (!on) i.blocksSinceStart = false;
                });
                if (!on && echoed) untwin();
                break;
            }
            case 4: {  // setProcessing: hosts call it from the audio thread too
                const bool on = in.u8() & 1;
                FACE_TRACE("vst3:   %d\n", on);
                if (!legalOnAudioThread()) break;
                if (!on && echoed) untwin();
                audio.post([this, on] {
                    both([on](Instance& i) {
                        i.processor->setProcessing(on);
                        i.processing = on;
                        i.blocksSinceStart = false;
                    });
                });
                break;
            }
            case 5: case 6: case 7: block(); break;
            case 8: case 9: setValue(); break;
            case 10: texts(); break;
            case 11: saveState(); break;
            case 12: loadState(); break;
            case 13: lifecycle(); break;
            case 14: case 15: case 16: editor(); break;
            case 17: queries(); break;
            case 18: {  // the host takes the handler away, or gives it again
                const bool give = in.u8() & 1;
                main.controller->setComponentHandler(give ? &host.handler : nullptr);
                break;
            }
            default: host.loop.turn(); break;
        }
    }

    void quiet() { audio.drain(); }

    // With an audio thread of its own the host keeps to the format's order
    // (processing only while active), so what races is the plug-in's doing;
    // without one, any order goes.
    bool legalOnAudioThread() const { return !audio.threaded() || main.active; }

    void block() {
        const Block b = readBlock(in, main);
        std::vector<std::pair<ParamID, ParamValue>> edits;
        edits.swap(host.handler.performed);
        if (!audio.threaded()) {
            const Rendered a = render(main, b, edits);
            // A block the instance was off for ran nothing: the next value
            // the controller gets is still one set before any audio.
            main.blocksSinceStart = main.blocksSinceStart || (b.frames > 0 && main.active);
            if (twinned) {
                const Rendered t = render(twin, b, edits);
                if (twinInSync && a.result == t.result)
                    check(a.outputs == t.outputs, echoed ? "vst3-late-echo" : "vst3-twin-differs",
                          echoed ? "the processor follows a value echoed while processing"
                                 : "the same calls rendered differently");
            }
            return;
        }
        if (legalOnAudioThread())
            audio.post([this, b, edits] { render(main, b, edits); });
    }

    void setValue() {
        if (main.params.empty()) return;
        const ParameterInfo& p = main.params[in.u8() % main.params.size()];
        const ParamID id = in.u8() == 0 ? kNoParamId : p.id;
        const ParamValue v = pickValue(in, 0.0, 1.0, p.defaultNormalizedValue);
        FACE_TRACE("vst3:   %u = %g\n", id, v);
        main.controller->setParamNormalized(id, v);
        const ParamValue back = main.controller->getParamNormalized(id);
        check(std::isfinite(back) && back >= 0 && back <= 1, "vst3-value-range", describe("%g after %g", back, v));
        // While audio runs only the processor's changes may move the effect:
        // the twin does not hear this one.
        if (!audio.threaded() && main.active && main.processing && main.blocksSinceStart) {
            echoed = true;
            return;
        }
        if (twinned) twin.controller->setParamNormalized(id, v);
    }

    void texts() {
        if (main.params.empty()) return;
        const ParameterInfo& p = main.params[in.u8() % main.params.size()];
        const ParamValue v = pickValue(in, 0.0, 1.0, p.defaultNormalizedValue);
        String128 text{};
        if (main.controller->getParamStringByValue(p.id, v, text) == kResultOk) {
            const std::string shown = narrow(text, 128);
            ParamValue back = -1;
            check(main.controller->getParamValueByString(p.id, text, &back) == kResultOk, "vst3-text-parses",
                  "'" + shown + "' does not parse back");
            check(std::isfinite(back) && back >= 0 && back <= 1, "vst3-text-parses", shown + describe(" gives %g", back));
        }
        // Text typed by a user: any bytes.
        std::string typed(in.u8() % 24, ' ');
        in.bytes(typed.data(), typed.size());
        widen(typed, text, 128);
        ParamValue typedValue = -1;
        if (main.controller->getParamValueByString(p.id, text, &typedValue) == kResultOk)
            check(std::isfinite(typedValue) && typedValue >= 0 && typedValue <= 1, "vst3-text-parses",
                  describe("typed text gives %g", typedValue));
        const ParamValue plain = main.controller->normalizedParamToPlain(p.id, v);
        const ParamValue norm = main.controller->plainParamToNormalized(p.id, pickValue(in, -1e3, 1e3, 0));
        check(std::isfinite(plain) && std::isfinite(norm) && norm >= 0 && norm <= 1, "vst3-plain-values",
              describe("plain %g, normalised %g", plain, norm));
    }

    void saveState() {
        const StreamPlan plan = StreamPlan::read(in);
        tresult result = kResultOk;
        std::vector<std::uint8_t> bytes = main.save(plan, &result);
        if (!plan.goesWrong()) check(result == kResultOk && !bytes.empty(), "vst3-save", "a working stream refused");
        if (result == kResultOk) saved = bytes;
        Stream controllerStream({}, plan);
        main.controller->getControllerState(&controllerStream);
    }

    void loadState() {
        const std::vector<std::uint8_t> bytes = pickStateBytes(in, saved);
        const StreamPlan plan = StreamPlan::read(in);
        const int how = in.u8() % 3;
        // Hosts restore presets while audio runs.
        main.load(bytes, plan, how);
        if (twinned) twin.load(bytes, plan, how);
        main.values();
    }

    void lifecycle() {
        const std::uint8_t what = in.u8() % 5;
        FACE_TRACE("vst3:   %u\n", what);
        quiet();
        if (what == 0) {
            both([](Instance& i) { i.terminate(); i.active = false; i.processing = false; });
        } else if (what == 1) {
            both([this](Instance& i) {
                i.component->initialize(context);
                i.controller->initialize(context);
            });
        } else if (what == 2) {
            // A new main instance; the old one goes the careless way (views
            // left to the end, active, processing, never terminated).
            closeViews(in.u8() & 1);
            Instance old = main;
            main = Instance{};
            check(main.make(factory, cid, context, &host.handler), "vst3-create");
            old.release();
            if (twinned) {
                twin.release();
                twin = Instance{};
                check(twin.make(factory, cid, context, nullptr), "vst3-create");
            }
            twinInSync = true;
            echoed = false;
            host.handler.gestures.clear();
            host.handler.performed.clear();
        } else if (what == 3) {
            // Module entry and exit counted, as a scanner calls them.
            check(ModuleEntry(nullptr), "vst3-module-entry");
            check(ModuleExit(), "vst3-module-entry", "an exit after an entry refused");
        } else {
            IPluginFactory* again = GetPluginFactory();
            again->release();
            factory->setHostContext(in.u8() & 1 ? &host.loop : nullptr);
        }
    }

    void queries() {
        const Tuid asked[] = {IUnitInfo::iid, IMidiMapping::iid, IConnectionPoint::iid, IEditController2::iid,
                              IProcessContextRequirements::iid, IAudioPresentationLatency::iid, IPlugView::iid,
                              FUnknown::iid};
        void* obj = nullptr;
        if (main.component->queryInterface(asked[in.u8() % 8].data(), &obj) == kResultOk && obj)
            static_cast<FUnknown*>(obj)->release();
        BusInfo bus{};
        main.component->getBusInfo(in.u8() % 3, in.u8() % 3, static_cast<int8_t>(in.u8()), &bus);
        main.component->getBusCount(in.u8() % 3, in.u8() % 3);
        main.processor->canProcessSampleSize(static_cast<int8_t>(in.u8()));
        main.processor->getLatencySamples();
        main.processor->getTailSamples();
        RoutingInfo a{}, b{};
        main.component->getRoutingInfo(&a, &b);
        main.component->setIoMode(in.u8() % 4);
        TUID controllerId{};
        main.component->getControllerClassId(controllerId);
    }

    // ------------------------------------------------------------ editor

    void editor() {
        ViewSlot& slot = views[in.u8() & 1];
        switch (in.u8() % 12) {
            case 0:
                if (!slot.view) {
                    const char* names[] = {kEditorViewName, "other", nullptr};
                    slot.view = main.controller->createView(names[in.u8() % 3]);
                    slot.attached = slot.framed = false;
                    if (slot.view) untwin();
                }
                break;
            case 1:
                if (slot.view) {
                    const bool give = in.u8() % 4 != 0;
                    slot.view->setFrame(give ? &host.frame : nullptr);
                    slot.framed = give;
                }
                break;
            case 2:
                if (slot.view && opens < kMaxEditorOpens) {
                    ++opens;
                    const std::uint8_t how = in.u8();
                    void* parent = how % 8 == 0 ? nullptr : reinterpret_cast<void*>(display::parentWindow());
                    const char* type = how % 8 == 1 ? kPlatformTypeHWND : kPlatformTypeX11EmbedWindowID;
                    const tresult attached = slot.view->attached(parent, type);
                    FACE_TRACE("vst3:   attached: %d\n", attached);
                    if (attached == kResultOk) {
                        slot.attached = true;
                        checkSize(slot);
                    }
                }
                break;
            case 3:
                if (slot.view) {
                    slot.view->removed();
                    slot.attached = false;
                }
                break;
            case 4:
                if (slot.view) checkSize(slot);
                break;
            case 5:
                if (slot.view) {
                    void* obj = nullptr;
                    if (slot.view->queryInterface(IPlugViewContentScaleSupport::iid.data(), &obj) == kResultOk && obj) {
                        const float scales[] = {1.0f, 1.25f, 2.0f, 0.5f, 4.0f, 8.0f, NAN, 1.5f};
                        const std::uint8_t s = in.u8();
                        const float scale = s < 200 ? scales[s % 8] : static_cast<float>(s) / 37.0f;
                        static_cast<IPlugViewContentScaleSupport*>(obj)->setContentScaleFactor(scale);
                        static_cast<IPlugViewContentScaleSupport*>(obj)->release();
                        checkSize(slot);
                    }
                }
                break;
            case 6:
                if (slot.view) {
                    ViewRect r{in.read<int16_t>(), in.read<int16_t>(), in.read<int16_t>(), in.read<int16_t>()};
                    if (in.u8() & 1)
                        slot.view->onSize(&r);
                    else if (slot.view->checkSizeConstraint(&r) == kResultOk)
                        check(r.getWidth() > 0 && r.getHeight() > 0, "vst3-size", "a constraint gave no area");
                    slot.view->canResize();
                    slot.view->onFocus(in.u8() & 1);
                    slot.view->onWheel(1.0f);
                    slot.view->onKeyDown(u'a', 0, 0);
                    slot.view->isPlatformTypeSupported(in.u8() & 1 ? "HWND" : kPlatformTypeX11EmbedWindowID);
                }
                break;
            case 7:
                if (slot.view) {
                    // Released, attached or not: the view must let go of all.
                    slot.view->release();
                    slot = ViewSlot{};
                }
                break;
            case 8: case 9: click(); break;
            default:
                for (int k = in.u8() % 4; k >= 0; --k) host.loop.turn();
                break;
        }
    }

    void checkSize(const ViewSlot& slot) {
        ViewRect r{};
        check(slot.view->getSize(&r) == kResultOk, "vst3-size", "getSize refused");
        check(r.getWidth() >= 100 && r.getHeight() >= 50 && r.getWidth() <= 4 * 2048 && r.getHeight() <= 4 * 2048,
              "vst3-size", describe("%.0f x %.0f", r.getWidth(), r.getHeight()));
    }

    void click() {
        const std::vector<ParamValue> before = main.values();
        Click::read(in).send([this](int turns) {
            for (int k = 0; k < turns; ++k) host.loop.turn();
        });
        const std::vector<ParamValue> after = main.values();
        for (std::size_t k = 0; k < before.size(); ++k)
            if (before[k] != after[k]) FACE_TRACE("vst3:   clicked %zu: %g -> %g\n", k, before[k], after[k]);
    }

    void closeViews(bool careful) {
        for (ViewSlot& slot : views) {
            if (!slot.view) continue;
            if (careful && slot.attached) slot.view->removed();
            if (careful) slot.view->setFrame(nullptr);
            slot.view->release();
            slot = ViewSlot{};
        }
    }

    // ------------------------------------------------------------ the end

    void finish() {
        quiet();
        closeViews(true);
        check(host.handler.gestures.empty(), "vst3-open-gesture",
              describe("%.0f gestures begun and never ended", host.handler.gestures.size()));
        check(host.loop.timers.empty() && host.loop.fds.empty(), "vst3-registration-outlives",
              "the view is gone, its timer or descriptor is not");
        check(display::childWindows() == 0, "editor-window-left", "a window stays in the host's");

        // A save reloads into a fresh instance with the very same values,
        // saves the same bytes again, and renders the same block.
        main.processor->setProcessing(0);
        main.component->setActive(0);
        const std::vector<ParamValue> before = main.values();
        tresult result = kResultOk;
        const std::vector<std::uint8_t> state = main.save({}, &result);
        check(result == kResultOk && !state.empty(), "vst3-save", "the final save failed");
        Instance fresh;
        check(fresh.make(factory, cid, context, nullptr), "vst3-create");
        check(fresh.load(state, {}, 0) == kResultOk && fresh.load(state, {}, 1) == kResultOk, "vst3-load",
              "an own save refused");
        const std::vector<ParamValue> after = fresh.values();
        bool same = true;
        for (std::size_t k = 0; k < before.size(); ++k) {
            if (sameBits(before[k], after[k])) continue;
            same = false;
            check(false, "vst3-inexact-state", describe("parameter %.0f: %.17g became %.17g", k, before[k], after[k]));
        }
        check(fresh.save() == state, "vst3-state-reproducible", "a loaded save saves other bytes");
        // The same state loaded into an instance already switched on (hosts
        // load presets while audio runs) renders what the one loaded before
        // the switch-on renders.
        if (same) {
            Instance late;
            check(late.make(factory, cid, context, nullptr), "vst3-create");
            Block b;
            b.frames = 256;
            b.signal = 2;
            b.seed = 99;
            Rendered rendered[2];
            Instance* both[2] = {&fresh, &late};
            for (int k = 0; k < 2; ++k) {
                ProcessSetup s{kRealtime, kSample32, 256, 48000.0};
                SpeakerArrangement stereo[2] = {SpeakerArr::kStereo, SpeakerArr::kStereo};
                both[k]->processor->setupProcessing(&s);
                both[k]->processor->setBusArrangements(&stereo[0], 1, &stereo[1], 1);
                both[k]->component->setActive(1);
                both[k]->processor->setProcessing(1);
                if (k == 1) check(late.load(state, {}, 0) == kResultOk, "vst3-load", "an own save refused while active");
                rendered[k] = render(*both[k], b, {});
                both[k]->processor->setProcessing(0);
                both[k]->component->setActive(0);
            }
            check(rendered[0].result == kResultOk && rendered[0].outputs == rendered[1].outputs,
                  "vst3-render-after-load", "loaded while switched on, the state renders another block");
            late.terminate();
            late.release();
        }
        fresh.terminate();
        fresh.release();
        main.terminate();
        main.release();
        if (twinned) {
            twin.terminate();
            twin.release();
        }
        factory->setHostContext(nullptr);
        factory->release();
        ModuleExit();
        host.checkReleased();
    }

    ByteReader& in;
    AudioThread audio;
    Host host;
    IPluginFactory3* factory = nullptr;
    char8 cid[16]{};
    FUnknown* context = nullptr;
    bool entered = false, twinned = false, twinInSync = true, echoed = false;
    Instance main, twin;
    std::array<ViewSlot, 2> views{};
    int opens = 0;
    std::vector<std::uint8_t> saved;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return runInput<Sequence>(data, size);
}
