// A minimal VST 3 host for the tests: loads the built module as hosts do
// (dlopen/LoadLibrary, entry, GetPluginFactory), and supplies the host-side
// objects the plug-in talks to: streams, parameter changes, a component
// handler that records, a frame with a run loop the test serves itself.
// Host objects live on the test's stack; their counts are not kept.
#pragma once

#include <gtest/gtest.h>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

#include <algorithm>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "host/vst3/Vst3Abi.h"

namespace vst3test {

using namespace vst3;

template <typename Interface>
class HostObject : public Interface {
public:
    tresult VST3_CALL queryInterface(const TUID iid, void** obj) override {
        if (sameTuid(iid, FUnknown::iid) || sameTuid(iid, Interface::iid)) {
            *obj = this;
            return kResultOk;
        }
        *obj = nullptr;
        return kNoInterface;
    }
    uint32 VST3_CALL addRef() override { return 1; }
    uint32 VST3_CALL release() override { return 1; }
};

class Module {
public:
    explicit Module(const char* path) {
#if defined(_WIN32)
        handle = LoadLibraryA(path);
        if (auto init = reinterpret_cast<InitDllProc>(symbol("InitDll"))) entered = init();
#else
        handle = dlopen(path, RTLD_LAZY | RTLD_LOCAL);
        if (auto entry = reinterpret_cast<ModuleEntryProc>(symbol("ModuleEntry"))) entered = entry(handle);
#endif
        if (auto get = reinterpret_cast<GetFactoryProc>(symbol("GetPluginFactory"))) {
            void* f = nullptr;
            IPluginFactory* base = get();
            if (base && base->queryInterface(IPluginFactory3::iid.data(), &f) == kResultOk) factory = static_cast<IPluginFactory3*>(f);
            if (base) base->release();
        }
    }
    // The module stays loaded: a failing test may leave objects behind.
    ~Module() {
        if (factory) factory->release();
#if defined(_WIN32)
        if (auto exit = reinterpret_cast<ExitDllProc>(symbol("ExitDll"))) exit();
#else
        if (auto exit = reinterpret_cast<ModuleExitProc>(symbol("ModuleExit"))) exit();
#endif
    }
    void* symbol(const char* name) const {
#if defined(_WIN32)
        return handle ? reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle), name)) : nullptr;
#else
        return handle ? dlsym(handle, name) : nullptr;
#endif
    }

    void* handle = nullptr;
    bool entered = false;
    IPluginFactory3* factory = nullptr;
};

// A byte stream; reads and writes move at most `piece` bytes per call, as
// hosts' streams may.
class MemoryStream final : public HostObject<IBStream> {
public:
    MemoryStream() = default;
    explicit MemoryStream(std::vector<std::uint8_t> data, int32 piece = 1 << 30) : bytes(std::move(data)), piece(piece) {}
    tresult VST3_CALL read(void* buffer, int32 n, int32* done) override {
        const auto count = static_cast<int32>(std::min<std::int64_t>({n, piece, static_cast<std::int64_t>(bytes.size()) - position}));
        if (count > 0) std::memcpy(buffer, bytes.data() + position, static_cast<std::size_t>(count));
        position += std::max(count, 0);
        if (done) *done = std::max(count, 0);
        return kResultOk;
    }
    tresult VST3_CALL write(void* buffer, int32 n, int32* done) override {
        const int32 count = std::min(n, piece);
        if (bytes.size() < static_cast<std::size_t>(position + count)) bytes.resize(static_cast<std::size_t>(position + count));
        std::memcpy(bytes.data() + position, buffer, static_cast<std::size_t>(count));
        position += count;
        if (done) *done = count;
        return kResultOk;
    }
    tresult VST3_CALL seek(int64 pos, int32 mode, int64* result) override {
        position = mode == kIBSeekSet ? pos : mode == kIBSeekCur ? position + pos : static_cast<int64>(bytes.size()) + pos;
        if (result) *result = position;
        return kResultOk;
    }
    tresult VST3_CALL tell(int64* pos) override {
        if (pos) *pos = position;
        return kResultOk;
    }
    std::vector<std::uint8_t> bytes;
    int64 position = 0;
    int32 piece = 1 << 30;
};

class ParamQueue final : public HostObject<IParamValueQueue> {
public:
    explicit ParamQueue(ParamID id) : id(id) {}
    ParamID VST3_CALL getParameterId() override { return id; }
    int32 VST3_CALL getPointCount() override { return static_cast<int32>(points.size()); }
    tresult VST3_CALL getPoint(int32 k, int32* offset, ParamValue* value) override {
        if (k < 0 || k >= getPointCount()) return kInvalidArgument;
        *offset = points[static_cast<std::size_t>(k)].first;
        *value = points[static_cast<std::size_t>(k)].second;
        return kResultOk;
    }
    tresult VST3_CALL addPoint(int32 offset, ParamValue value, int32* index) override {
        points.emplace_back(offset, value);
        if (index) *index = getPointCount() - 1;
        return kResultOk;
    }
    ParamID id;
    std::vector<std::pair<int32, ParamValue>> points;
};

class ParamChanges final : public HostObject<IParameterChanges> {
public:
    // Reserved up front: the queues' addresses must not move.
    ParamChanges() { queues.reserve(64); }
    int32 VST3_CALL getParameterCount() override { return static_cast<int32>(queues.size()); }
    IParamValueQueue* VST3_CALL getParameterData(int32 k) override {
        return k >= 0 && k < getParameterCount() ? &queues[static_cast<std::size_t>(k)] : nullptr;
    }
    IParamValueQueue* VST3_CALL addParameterData(const ParamID* id, int32* index) override {
        for (std::size_t k = 0; k < queues.size(); ++k)
            if (queues[k].id == *id) {
                if (index) *index = static_cast<int32>(k);
                return &queues[k];
            }
        queues.emplace_back(*id);
        if (index) *index = getParameterCount() - 1;
        return &queues.back();
    }
    void add(ParamID id, int32 offset, ParamValue value) { addParameterData(&id, nullptr)->addPoint(offset, value, nullptr); }
    std::vector<ParamQueue> queues;
};

struct Edit {
    char kind;  // 'b'egin, 'p'erform, 'e'nd
    ParamID id;
    ParamValue value;
    bool operator==(const Edit&) const = default;
};

// Records the edits, and where in them each group edit (IComponentHandler2)
// started and finished.
class RecordingHandler final : public HostObject<IComponentHandler> {
public:
    RecordingHandler() { grouping.owner = this; }
    tresult VST3_CALL queryInterface(const TUID iid, void** obj) override {
        if (!sameTuid(iid, IComponentHandler2::iid)) return HostObject<IComponentHandler>::queryInterface(iid, obj);
        *obj = &grouping;
        return kResultOk;
    }
    tresult VST3_CALL beginEdit(ParamID id) override { return record({'b', id, 0.0}); }
    tresult VST3_CALL performEdit(ParamID id, ParamValue v) override { return record({'p', id, v}); }
    tresult VST3_CALL endEdit(ParamID id) override { return record({'e', id, 0.0}); }
    tresult VST3_CALL restartComponent(int32) override { return kResultOk; }
    tresult record(const Edit& e) {
        edits.push_back(e);
        return kResultOk;
    }
    std::vector<Edit> edits;
    std::vector<std::size_t> groupStarts, groupEnds;

private:
    struct Grouping final : HostObject<IComponentHandler2> {
        tresult VST3_CALL setDirty(TBool) override { return kResultOk; }
        tresult VST3_CALL requestOpenEditor(FIDString) override { return kResultOk; }
        tresult VST3_CALL startGroupEdit() override { return mark(owner->groupStarts); }
        tresult VST3_CALL finishGroupEdit() override { return mark(owner->groupEnds); }
        tresult mark(std::vector<std::size_t>& at) {
            at.push_back(owner->edits.size());
            return kResultOk;
        }
        RecordingHandler* owner = nullptr;
    } grouping;
};

// One instance with its three faces, set up as Ardour does.
struct Plugin {
    explicit Plugin(Module& module, const Tuid& cid) {
        void* obj = nullptr;
        if (!module.factory || module.factory->createInstance(cid.data(), IComponent::iid.data(), &obj) != kResultOk) return;
        component = static_cast<IComponent*>(obj);
        component->initialize(nullptr);
        component->queryInterface(IAudioProcessor::iid.data(), reinterpret_cast<void**>(&processor));
        component->queryInterface(IEditController::iid.data(), reinterpret_cast<void**>(&controller));
    }
    ~Plugin() {
        if (!component) return;
        component->setActive(false);
        component->terminate();
        if (processor) processor->release();
        if (controller) controller->release();
        component->release();
    }
    Plugin(const Plugin&) = delete;
    Plugin& operator=(const Plugin&) = delete;

    void start(double rate, int32 block, int32 sampleSize = kSample32) {
        ProcessSetup setup{kRealtime, sampleSize, block, rate};
        ASSERT_EQ(processor->setupProcessing(&setup), kResultOk);
        SpeakerArrangement stereo = SpeakerArr::kStereo;
        ASSERT_EQ(processor->setBusArrangements(&stereo, 1, &stereo, 1), kResultTrue);
        ASSERT_EQ(component->setActive(1), kResultOk);
        ASSERT_EQ(processor->setProcessing(1), kResultOk);
    }

    template <typename Sample>
    tresult process(Sample** in, Sample** out, int32 frames, IParameterChanges* changes = nullptr,
                    ProcessContext* context = nullptr) {
        AudioBusBuffers input{}, output{};
        input.numChannels = output.numChannels = 2;
        if constexpr (sizeof(Sample) == sizeof(float)) {
            input.channelBuffers32 = in;
            output.channelBuffers32 = out;
        } else {
            input.channelBuffers64 = in;
            output.channelBuffers64 = out;
        }
        ProcessData data{};
        data.processMode = kRealtime;
        data.symbolicSampleSize = sizeof(Sample) == sizeof(float) ? kSample32 : kSample64;
        data.numSamples = frames;
        data.numInputs = data.numOutputs = 1;
        data.inputs = &input;
        data.outputs = &output;
        data.inputParameterChanges = changes;
        data.processContext = context;
        return processor->process(&data);
    }

    std::vector<std::uint8_t> state() {
        MemoryStream stream;
        EXPECT_EQ(component->getState(&stream), kResultOk);
        return stream.bytes;
    }

    IComponent* component = nullptr;
    IAudioProcessor* processor = nullptr;
    IEditController* controller = nullptr;
};

}  // namespace vst3test
