// The VST 3 side of the adapter: a host for one Audio Module Class, in the
// call order the format's reference host uses, answering the plug-in through
// host objects the adapter owns (the plug-in's references are counted but
// never free them; everything it was given is taken back before the adapter
// goes).
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#if !defined(_WIN32)
#include <poll.h>
#endif

#include "host/vst3/Vst3Abi.h"
#include "host/vst3/Vst3Text.h"
#include "tools/vsthost/AdaptedEffect.h"
#include "tools/vsthost/Errors.h"

namespace vhost {

namespace {

using namespace vst3;

#if defined(_WIN32)
constexpr const char* kPlatformType = kPlatformTypeHWND;
#else
constexpr const char* kPlatformType = kPlatformTypeX11EmbedWindowID;
#endif

bool is(const TUID iid, const Tuid& wanted) { return sameTuid(iid, wanted); }

std::string fixedText(const char8* text, std::size_t capacity) { return std::string(text, strnlen(text, capacity)); }

// The class's first word, which is the identifier's own in any byte order.
std::int32_t firstWord(const TUID cid) {
    const auto* b = reinterpret_cast<const std::uint8_t*>(cid);
#if defined(_WIN32)
    return static_cast<std::int32_t>(b[0] | (b[1] << 8) | (b[2] << 16) | (static_cast<std::uint32_t>(b[3]) << 24));
#else
    return static_cast<std::int32_t>((static_cast<std::uint32_t>(b[0]) << 24) | (b[1] << 16) | (b[2] << 8) | b[3]);
#endif
}

SpeakerArrangement arrangementFor(int channels) {
    if (channels == 1) return SpeakerArr::kMono;
    if (channels == 2) return SpeakerArr::kStereo;
    return channels <= 0 ? SpeakerArr::kEmpty : (channels >= 64 ? ~0ull : (1ull << channels) - 1);
}

template <typename T>
void releaseAll(T*& object) {
    if (object != nullptr) object->release();
    object = nullptr;
}

// A state blob in memory, read or written the way hosts hand one over.
class MemoryStream final : public IBStream {
public:
    MemoryStream() = default;
    MemoryStream(const std::uint8_t* data, std::size_t size) : data_(data, data + size) {}
    std::vector<std::uint8_t>& data() { return data_; }

    tresult VST3_CALL queryInterface(const TUID iid, void** obj) override {
        if (obj == nullptr) return kInvalidArgument;
        if (is(iid, FUnknown::iid) || is(iid, IBStream::iid)) {
            *obj = static_cast<IBStream*>(this);
            addRef();
            return kResultOk;
        }
        *obj = nullptr;
        return kNoInterface;
    }
    uint32 VST3_CALL addRef() override { return ++refs_; }
    uint32 VST3_CALL release() override { return refs_ > 0 ? --refs_ : 0; }

    tresult VST3_CALL read(void* buffer, int32 numBytes, int32* numBytesRead) override {
        if (numBytesRead != nullptr) *numBytesRead = 0;
        if (numBytes < 0 || (buffer == nullptr && numBytes > 0)) return kInvalidArgument;
        const std::size_t left = position_ < data_.size() ? data_.size() - position_ : 0;
        const std::size_t n = std::min(left, static_cast<std::size_t>(numBytes));
        if (n > 0) std::memcpy(buffer, data_.data() + position_, n);
        position_ += n;
        if (numBytesRead != nullptr) *numBytesRead = static_cast<int32>(n);
        return kResultOk;
    }
    tresult VST3_CALL write(void* buffer, int32 numBytes, int32* numBytesWritten) override {
        if (numBytesWritten != nullptr) *numBytesWritten = 0;
        if (numBytes < 0 || (buffer == nullptr && numBytes > 0)) return kInvalidArgument;
        const std::size_t n = static_cast<std::size_t>(numBytes);
        if (position_ + n > data_.size()) data_.resize(position_ + n);
        if (n > 0) std::memcpy(data_.data() + position_, buffer, n);
        position_ += n;
        if (numBytesWritten != nullptr) *numBytesWritten = numBytes;
        return kResultOk;
    }
    tresult VST3_CALL seek(int64 pos, int32 mode, int64* result) override {
        int64 base = 0;
        if (mode == kIBSeekCur) base = static_cast<int64>(position_);
        else if (mode == kIBSeekEnd) base = static_cast<int64>(data_.size());
        else if (mode != kIBSeekSet) return kInvalidArgument;
        const int64 target = base + pos;
        if (target < 0 || target > static_cast<int64>(data_.size())) return kInvalidArgument;
        position_ = static_cast<std::size_t>(target);
        if (result != nullptr) *result = target;
        return kResultOk;
    }
    tresult VST3_CALL tell(int64* pos) override {
        if (pos == nullptr) return kInvalidArgument;
        *pos = static_cast<int64>(position_);
        return kResultOk;
    }

private:
    std::vector<std::uint8_t> data_;
    std::size_t position_ = 0;
    uint32 refs_ = 1;
};

// One parameter's change in a block: a single point at the block's start,
// VST 2.4's setParameter being a value for "from now on".
class ValueQueue final : public IParamValueQueue {
public:
    void set(ParamID id, int32 offset, ParamValue value) {
        id_ = id;
        offset_ = offset;
        value_ = value;
        points_ = 1;
    }
    tresult VST3_CALL queryInterface(const TUID iid, void** obj) override {
        if (obj == nullptr) return kInvalidArgument;
        if (is(iid, FUnknown::iid) || is(iid, IParamValueQueue::iid)) {
            *obj = static_cast<IParamValueQueue*>(this);
            return kResultOk;
        }
        *obj = nullptr;
        return kNoInterface;
    }
    uint32 VST3_CALL addRef() override { return 1; }
    uint32 VST3_CALL release() override { return 1; }
    ParamID VST3_CALL getParameterId() override { return id_; }
    int32 VST3_CALL getPointCount() override { return points_; }
    tresult VST3_CALL getPoint(int32 index, int32* sampleOffset, ParamValue* value) override {
        if (index < 0 || index >= points_) return kInvalidArgument;
        if (sampleOffset != nullptr) *sampleOffset = offset_;
        if (value != nullptr) *value = value_;
        return kResultOk;
    }
    // Output changes are not read back: the newest point replaces the last.
    tresult VST3_CALL addPoint(int32 sampleOffset, ParamValue value, int32* index) override {
        offset_ = sampleOffset;
        value_ = value;
        points_ = 1;
        if (index != nullptr) *index = 0;
        return kResultOk;
    }

private:
    ParamID id_ = kNoParamId;
    int32 offset_ = 0;
    ParamValue value_ = 0.0;
    int32 points_ = 0;
};

// The block's changes, in queues made once for every parameter, so handing
// values to the audio thread allocates nothing.
class Changes final : public IParameterChanges {
public:
    explicit Changes(std::size_t capacity) : queues_(capacity) {}
    void clear() { used_ = 0; }
    void add(ParamID id, ParamValue value) {
        if (used_ < static_cast<int32>(queues_.size())) queues_[static_cast<std::size_t>(used_++)].set(id, 0, value);
    }
    tresult VST3_CALL queryInterface(const TUID iid, void** obj) override {
        if (obj == nullptr) return kInvalidArgument;
        if (is(iid, FUnknown::iid) || is(iid, IParameterChanges::iid)) {
            *obj = static_cast<IParameterChanges*>(this);
            return kResultOk;
        }
        *obj = nullptr;
        return kNoInterface;
    }
    uint32 VST3_CALL addRef() override { return 1; }
    uint32 VST3_CALL release() override { return 1; }
    int32 VST3_CALL getParameterCount() override { return used_; }
    IParamValueQueue* VST3_CALL getParameterData(int32 index) override {
        return index >= 0 && index < used_ ? &queues_[static_cast<std::size_t>(index)] : nullptr;
    }
    IParamValueQueue* VST3_CALL addParameterData(const ParamID* id, int32* index) override {
        if (id == nullptr) return nullptr;
        for (int32 i = 0; i < used_; ++i)
            if (queues_[static_cast<std::size_t>(i)].getParameterId() == *id) {
                if (index != nullptr) *index = i;
                return &queues_[static_cast<std::size_t>(i)];
            }
        if (used_ >= static_cast<int32>(queues_.size())) return nullptr;
        if (index != nullptr) *index = used_;
        ValueQueue& queue = queues_[static_cast<std::size_t>(used_++)];
        queue.set(*id, 0, 0.0);
        return &queue;
    }

private:
    std::vector<ValueQueue> queues_;
    int32 used_ = 0;
};

class Vst3Effect;

// What the plug-in sees of its host: the application (the context of
// initialize), the component handler, and the editor's frame with the run
// loop a Linux editor needs, since VST 3 has no idle call of its own.
class HostSide final : public IHostApplication,
                       public IComponentHandler,
                       public IPlugFrame,
                       public Linux::IRunLoop {
public:
    Vst3Effect* owner = nullptr;

    tresult VST3_CALL queryInterface(const TUID iid, void** obj) override {
        if (obj == nullptr) return kInvalidArgument;
        void* found = nullptr;
        if (is(iid, FUnknown::iid) || is(iid, IHostApplication::iid)) found = static_cast<IHostApplication*>(this);
        else if (is(iid, IComponentHandler::iid)) found = static_cast<IComponentHandler*>(this);
        else if (is(iid, IPlugFrame::iid)) found = static_cast<IPlugFrame*>(this);
#if !defined(_WIN32)
        else if (is(iid, Linux::IRunLoop::iid)) found = static_cast<Linux::IRunLoop*>(this);
#endif
        *obj = found;
        return found != nullptr ? kResultOk : kNoInterface;
    }
    uint32 VST3_CALL addRef() override { return 1; }
    uint32 VST3_CALL release() override { return 1; }

    // IHostApplication
    tresult VST3_CALL getName(TChar* name) override {
        if (name == nullptr) return kInvalidArgument;
        vst3::toUtf16("vsthost", name, 128);
        return kResultOk;
    }
    tresult VST3_CALL createInstance(TUID, TUID, void** obj) override {
        if (obj != nullptr) *obj = nullptr;
        return kNotImplemented;
    }

    // IComponentHandler
    tresult VST3_CALL beginEdit(ParamID id) override;
    tresult VST3_CALL performEdit(ParamID id, ParamValue valueNormalized) override;
    tresult VST3_CALL endEdit(ParamID id) override;
    tresult VST3_CALL restartComponent(int32 flags) override;

    // IPlugFrame
    tresult VST3_CALL resizeView(IPlugView* view, ViewRect* newSize) override;

    // Linux::IRunLoop: served from effEditIdle.
    tresult VST3_CALL registerEventHandler(Linux::IEventHandler* handler, FileDescriptor fd) override {
        if (handler == nullptr || fd < 0) return kInvalidArgument;
        handler->addRef();
        fds_.push_back({handler, fd, ++serial_});
        return kResultOk;
    }
    tresult VST3_CALL unregisterEventHandler(Linux::IEventHandler* handler) override {
        if (handler == nullptr) return kInvalidArgument;
        for (auto it = fds_.begin(); it != fds_.end();) {
            if (it->handler == handler) {
                handler->release();
                it = fds_.erase(it);
            } else {
                ++it;
            }
        }
        return kResultOk;
    }
    tresult VST3_CALL registerTimer(Linux::ITimerHandler* handler, TimerInterval milliseconds) override {
        if (handler == nullptr) return kInvalidArgument;
        handler->addRef();
        const auto period = std::chrono::milliseconds(std::clamp<TimerInterval>(milliseconds, 1, 60000));
        timers_.push_back({handler, period, std::chrono::steady_clock::now() + period, ++serial_});
        return kResultOk;
    }
    tresult VST3_CALL unregisterTimer(Linux::ITimerHandler* handler) override {
        if (handler == nullptr) return kInvalidArgument;
        for (auto it = timers_.begin(); it != timers_.end();) {
            if (it->handler == handler) {
                handler->release();
                it = timers_.erase(it);
            } else {
                ++it;
            }
        }
        return kResultOk;
    }

    // Calls what is due; handlers may (un)register from inside their calls,
    // so each is looked up again before it is called.
    void serveRunLoop() {
#if !defined(_WIN32)
        if (!fds_.empty()) {
            std::vector<pollfd> polled;
            std::vector<unsigned> serials;
            for (const FdEntry& entry : fds_) {
                polled.push_back({entry.fd, POLLIN, 0});
                serials.push_back(entry.serial);
            }
            if (::poll(polled.data(), polled.size(), 0) > 0)
                for (std::size_t i = 0; i < polled.size(); ++i)
                    if ((polled[i].revents & (POLLIN | POLLHUP | POLLERR)) != 0)
                        if (FdEntry* entry = findFd(serials[i])) entry->handler->onFDIsSet(entry->fd);
        }
        const auto now = std::chrono::steady_clock::now();
        std::vector<unsigned> due;
        for (TimerEntry& timer : timers_)
            if (now >= timer.next) {
                timer.next = now + timer.period;
                due.push_back(timer.serial);
            }
        for (const unsigned serial : due)
            if (TimerEntry* timer = findTimer(serial)) timer->handler->onTimer();
#endif
    }

    void dropRunLoop() {
        for (FdEntry& entry : fds_) entry.handler->release();
        for (TimerEntry& timer : timers_) timer.handler->release();
        fds_.clear();
        timers_.clear();
    }

private:
    struct FdEntry {
        Linux::IEventHandler* handler;
        FileDescriptor fd;
        unsigned serial;
    };
    struct TimerEntry {
        Linux::ITimerHandler* handler;
        std::chrono::milliseconds period;
        std::chrono::steady_clock::time_point next;
        unsigned serial;
    };
    FdEntry* findFd(unsigned serial) {
        for (FdEntry& entry : fds_)
            if (entry.serial == serial) return &entry;
        return nullptr;
    }
    TimerEntry* findTimer(unsigned serial) {
        for (TimerEntry& timer : timers_)
            if (timer.serial == serial) return &timer;
        return nullptr;
    }
    std::vector<FdEntry> fds_;
    std::vector<TimerEntry> timers_;
    unsigned serial_ = 0;
};

class Vst3Module;

class Vst3Effect final : public AdaptedEffect {
public:
    Vst3Effect(const Vst3Module& module, vst2::audioMasterCallback host);
    ~Vst3Effect() override;

    int indexOf(ParamID id) const {
        for (std::size_t i = 0; i < params_.size(); ++i)
            if (params_[i].id == id) return static_cast<int>(i);
        return -1;
    }
    void edited(vst2::VstInt32 opcode, ParamID id, double value) {
        const int index = indexOf(id);
        if (index < 0) return;
        if (opcode == vst2::audioMasterAutomate) queueValue(index, value, false);
        callHost(opcode, index, 0, nullptr, static_cast<float>(value));
    }
    void restarted(int32 flags) {
        if ((flags & kLatencyChanged) != 0 && processor_ != nullptr) {
            setLatency(static_cast<std::int32_t>(processor_->getLatencySamples()));
            callHost(vst2::audioMasterIOChanged);
        }
        if ((flags & (kParamValuesChanged | kParamTitlesChanged)) != 0) callHost(vst2::audioMasterUpdateDisplay);
    }
    bool resized(IPlugView* view, ViewRect* size) {
        if (view == nullptr || view != view_ || size == nullptr) return false;
        view_->onSize(size);
        callHost(vst2::audioMasterSizeWindow, size->getWidth(), size->getHeight());
        return true;
    }

protected:
    void switchOn(bool on) override;
    void hostValue(int index, double normalised) override { controller_->setParamNormalized(idOf(index), normalised); }
    double pluginValue(int index) override { return controller_->getParamNormalized(idOf(index)); }
    std::string parameterName(int index) override { return params_[static_cast<std::size_t>(index)].name; }
    std::string parameterLabel(int index) override { return params_[static_cast<std::size_t>(index)].units; }
    std::string parameterDisplay(int index) override {
        String128 text{};
        const ParamID id = idOf(index);
        if (controller_->getParamStringByValue(id, controller_->getParamNormalized(id), text) != kResultOk) return {};
        text[127] = 0;
        return vst3::fromUtf16(text, 128);
    }
    bool automatable(int index) override {
        return (params_[static_cast<std::size_t>(index)].flags & ParameterInfo::kCanAutomate) != 0;
    }
    bool saveState(std::vector<std::uint8_t>& out) override {
        MemoryStream stream;
        if (component_->getState(&stream) != kResultOk) return false;
        out = std::move(stream.data());
        return true;
    }
    bool loadState(const std::uint8_t* data, std::size_t size) override {
        MemoryStream stream(data, size);
        if (component_->setState(&stream) != kResultOk) return false;
        // The controller learns the values from the same bytes, as hosts do.
        MemoryStream again(data, size);
        controller_->setComponentState(&again);
        return true;
    }
    bool editorSize(int& width, int& height) override {
        if (view_ != nullptr) {
            ViewRect rect{};
            if (view_->getSize(&rect) == kResultOk) {
                editorWidth_ = rect.getWidth();
                editorHeight_ = rect.getHeight();
            }
        }
        width = editorWidth_;
        height = editorHeight_;
        return hasEditor_;
    }
    bool openEditor(void* parent) override;
    void closeEditor() override;
    void idle() override { hostSide_.serveRunLoop(); }
    std::int32_t tailSamples() override {
        const uint32 tail = processor_->getTailSamples();
        return tail > 0x7FFFFFFFu ? 0x7FFFFFFF : static_cast<std::int32_t>(tail);
    }
    void flushPending() override;
    void processBlock(float** inputs, float** outputs, int frames) override { run(inputs, outputs, frames); }
    void processBlock(double** inputs, double** outputs, int frames) override { run(inputs, outputs, frames); }

private:
    struct Param {
        ParamID id;
        std::string name, units;
        int32 flags;
    };
    ParamID idOf(int index) const { return params_[static_cast<std::size_t>(index)].id; }
    template <typename Sample>
    void run(Sample** inputs, Sample** outputs, int frames);
    ProcessContext* context();

    HostSide hostSide_;
    IComponent* component_ = nullptr;
    IAudioProcessor* processor_ = nullptr;
    IEditController* controller_ = nullptr;
    bool separateController_ = false;
    IConnectionPoint* componentPoint_ = nullptr;
    IConnectionPoint* controllerPoint_ = nullptr;
    std::vector<Param> params_;
    int inputs_ = 0, outputs_ = 0;
    bool canDouble_ = false;
    bool hasEditor_ = false;
    int editorWidth_ = 0, editorHeight_ = 0;
    IPlugView* view_ = nullptr;
    Changes changes_{0};
    ProcessContext context_{};
};

tresult HostSide::beginEdit(ParamID id) {
    if (owner != nullptr) owner->edited(vst2::audioMasterBeginEdit, id, 0.0);
    return kResultOk;
}
tresult HostSide::performEdit(ParamID id, ParamValue valueNormalized) {
    if (owner != nullptr && std::isfinite(valueNormalized))
        owner->edited(vst2::audioMasterAutomate, id, std::clamp(valueNormalized, 0.0, 1.0));
    return kResultOk;
}
tresult HostSide::endEdit(ParamID id) {
    if (owner != nullptr) owner->edited(vst2::audioMasterEndEdit, id, 0.0);
    return kResultOk;
}
tresult HostSide::restartComponent(int32 flags) {
    if (owner != nullptr) owner->restarted(flags);
    return kResultOk;
}
tresult HostSide::resizeView(IPlugView* view, ViewRect* newSize) {
    return owner != nullptr && owner->resized(view, newSize) ? kResultOk : kResultFalse;
}

// The host application the module's factory is given, before any instance.
class ModuleContext final : public IHostApplication {
public:
    tresult VST3_CALL queryInterface(const TUID iid, void** obj) override {
        if (obj == nullptr) return kInvalidArgument;
        if (is(iid, FUnknown::iid) || is(iid, IHostApplication::iid)) {
            *obj = static_cast<IHostApplication*>(this);
            return kResultOk;
        }
        *obj = nullptr;
        return kNoInterface;
    }
    uint32 VST3_CALL addRef() override { return 1; }
    uint32 VST3_CALL release() override { return 1; }
    tresult VST3_CALL getName(TChar* name) override {
        if (name == nullptr) return kInvalidArgument;
        vst3::toUtf16("vsthost", name, 128);
        return kResultOk;
    }
    tresult VST3_CALL createInstance(TUID, TUID, void** obj) override {
        if (obj != nullptr) *obj = nullptr;
        return kNotImplemented;
    }
};

class Vst3Module final : public FormatModule {
public:
    explicit Vst3Module(const ModuleSymbols& symbols) : path_(symbols.path) {
        const auto getFactory = reinterpret_cast<GetFactoryProc>(symbols.find(symbols.library, "GetPluginFactory"));
        if (getFactory == nullptr)
            throw ToolError("'" + path_ + "' is not a VST 3 module: it exports no GetPluginFactory");
#if defined(_WIN32)
        const auto init = reinterpret_cast<InitDllProc>(symbols.find(symbols.library, "InitDll"));
        exit_ = reinterpret_cast<ExitDllProc>(symbols.find(symbols.library, "ExitDll"));
        if (init != nullptr && !init()) throw ToolError("VST 3 module '" + path_ + "' refused InitDll");
#else
        const auto entry = reinterpret_cast<ModuleEntryProc>(symbols.find(symbols.library, "ModuleEntry"));
        exit_ = reinterpret_cast<ModuleExitProc>(symbols.find(symbols.library, "ModuleExit"));
        if (entry == nullptr || exit_ == nullptr)
            throw ToolError("'" + path_ + "' is not a VST 3 module for Linux: it lacks ModuleEntry or ModuleExit");
        if (!entry(symbols.library)) throw ToolError("VST 3 module '" + path_ + "' refused ModuleEntry");
#endif
        entered_ = true;
        factory_ = getFactory();
        if (factory_ == nullptr) {
            leave();
            throw ToolError("VST 3 module '" + path_ + "' returned no factory");
        }
        findClass();
    }
    ~Vst3Module() override {
        releaseAll(factory_);
        leave();
    }

    vst2::AEffect* instantiate(vst2::audioMasterCallback host) override {
        return (new Vst3Effect(*this, host))->effect();
    }
    const char* entryName() const override { return "GetPluginFactory"; }

    IPluginFactory* factory() const { return factory_; }
    const TUID& cid() const { return cid_; }
    const std::string& name() const { return name_; }
    const std::string& vendor() const { return vendor_; }
    const std::string& version() const { return version_; }
    const std::string& path() const { return path_; }

private:
    void leave() {
        if (entered_ && exit_ != nullptr) exit_();
        entered_ = false;
    }
    void findClass() {
        PFactoryInfo info{};
        if (factory_->getFactoryInfo(&info) == kResultOk) vendor_ = fixedText(info.vendor, sizeof info.vendor);
        IPluginFactory2* factory2 = nullptr;
        factory_->queryInterface(IPluginFactory2::iid.data(), reinterpret_cast<void**>(&factory2));
        IPluginFactory3* factory3 = nullptr;
        factory_->queryInterface(IPluginFactory3::iid.data(), reinterpret_cast<void**>(&factory3));
        if (factory3 != nullptr) {
            factory3->setHostContext(&context_);
            factory3->release();
        }
        const int32 count = factory_->countClasses();
        bool found = false;
        for (int32 i = 0; i < count && !found; ++i) {
            PClassInfo classInfo{};
            if (factory_->getClassInfo(i, &classInfo) != kResultOk) continue;
            if (fixedText(classInfo.category, sizeof classInfo.category) != kAudioModuleClass) continue;
            found = true;
            std::memcpy(cid_, classInfo.cid, sizeof cid_);
            name_ = fixedText(classInfo.name, sizeof classInfo.name);
            PClassInfo2 more{};
            if (factory2 != nullptr && factory2->getClassInfo2(i, &more) == kResultOk) {
                if (more.vendor[0] != '\0') vendor_ = fixedText(more.vendor, sizeof more.vendor);
                version_ = fixedText(more.version, sizeof more.version);
            }
        }
        if (factory2 != nullptr) factory2->release();
        if (!found) {
            releaseAll(factory_);
            leave();
            throw ToolError("VST 3 module '" + path_ + "' has no Audio Module Class");
        }
    }

    std::string path_;
    IPluginFactory* factory_ = nullptr;
#if defined(_WIN32)
    ExitDllProc exit_ = nullptr;
#else
    ModuleExitProc exit_ = nullptr;
#endif
    bool entered_ = false;
    ModuleContext context_;
    TUID cid_{};
    std::string name_, vendor_, version_;
};

Vst3Effect::Vst3Effect(const Vst3Module& module, vst2::audioMasterCallback host) : AdaptedEffect(host) {
    const std::string& path = module.path();
    void* object = nullptr;
    if (module.factory()->createInstance(module.cid(), IComponent::iid.data(), &object) != kResultOk ||
        object == nullptr)
        throw ToolError("VST 3 module '" + path + "' could not create its Audio Module Class");
    component_ = static_cast<IComponent*>(object);
    const auto fail = [&](const std::string& why) {
        releaseAll(processor_);
        if (controller_ != nullptr && separateController_) controller_->terminate();
        releaseAll(controller_);
        component_->terminate();
        releaseAll(component_);
        throw ToolError("VST 3 plug-in '" + path + "': " + why);
    };
    if (component_->initialize(static_cast<IHostApplication*>(&hostSide_)) != kResultOk) {
        releaseAll(component_);
        throw ToolError("VST 3 plug-in '" + path + "' refused to initialise");
    }
    if (component_->queryInterface(IAudioProcessor::iid.data(), reinterpret_cast<void**>(&processor_)) != kResultOk ||
        processor_ == nullptr)
        fail("its component is no audio processor");
    // One object for both halves, or a controller class of its own.
    if (component_->queryInterface(IEditController::iid.data(), reinterpret_cast<void**>(&controller_)) != kResultOk ||
        controller_ == nullptr) {
        controller_ = nullptr;
        TUID controllerId{};
        if (component_->getControllerClassId(controllerId) != kResultOk ||
            module.factory()->createInstance(controllerId, IEditController::iid.data(), &object) != kResultOk ||
            object == nullptr)
            fail("no edit controller");
        controller_ = static_cast<IEditController*>(object);
        separateController_ = true;
        if (controller_->initialize(static_cast<IHostApplication*>(&hostSide_)) != kResultOk) {
            releaseAll(controller_);
            fail("its controller refused to initialise");
        }
        component_->queryInterface(IConnectionPoint::iid.data(), reinterpret_cast<void**>(&componentPoint_));
        controller_->queryInterface(IConnectionPoint::iid.data(), reinterpret_cast<void**>(&controllerPoint_));
        if (componentPoint_ != nullptr && controllerPoint_ != nullptr) {
            componentPoint_->connect(controllerPoint_);
            controllerPoint_->connect(componentPoint_);
        }
        MemoryStream state;
        if (component_->getState(&state) == kResultOk) {
            MemoryStream copy(state.data().data(), state.data().size());
            controller_->setComponentState(&copy);
        }
    }
    hostSide_.owner = this;
    controller_->setComponentHandler(&hostSide_);

    // The main buses; an effect without one has no channels that way.
    for (const BusDirection direction : {kInput, kOutput}) {
        int channels = 0;
        if (component_->getBusCount(kAudio, direction) > 0) {
            BusInfo bus{};
            if (component_->getBusInfo(kAudio, direction, 0, &bus) == kResultOk) channels = std::max(bus.channelCount, 0);
        }
        (direction == kInput ? inputs_ : outputs_) = channels;
    }
    setChannels(inputs_, outputs_);

    const int32 count = std::max(controller_->getParameterCount(), 0);
    for (int32 i = 0; i < count; ++i) {
        ParameterInfo info{};
        if (controller_->getParameterInfo(i, &info) != kResultOk) continue;
        params_.push_back(
            {info.id, vst3::fromUtf16(info.title, 128), vst3::fromUtf16(info.units, 128), info.flags});
    }
    setParameterCount(static_cast<int>(params_.size()));
    changes_ = Changes(params_.size());

    canDouble_ = processor_->canProcessSampleSize(kSample64) == kResultTrue;
    // A view made only to learn whether there is an editor, as hosts do.
    if (IPlugView* probe = controller_->createView(kEditorViewName)) {
        ViewRect rect{};
        hasEditor_ = probe->isPlatformTypeSupported(kPlatformType) == kResultTrue;
        if (hasEditor_ && probe->getSize(&rect) == kResultOk) {
            editorWidth_ = rect.getWidth();
            editorHeight_ = rect.getHeight();
        }
        probe->release();
    }
    std::int32_t flags = vst2::effFlagsCanReplacing | vst2::effFlagsProgramChunks;
    if (canDouble_) flags |= vst2::effFlagsCanDoubleReplacing;
    if (hasEditor_) flags |= vst2::effFlagsHasEditor;
    setFlags(flags);
    setUniqueId(firstWord(module.cid()));
    setLatency(static_cast<std::int32_t>(processor_->getLatencySamples()));
    name_ = module.name();
    product_ = module.name();
    vendor_ = module.vendor();
    vendorVersion_ = versionNumber(module.version().c_str());
}

Vst3Effect::~Vst3Effect() {
    closeEditor();
    hostSide_.dropRunLoop();
    controller_->setComponentHandler(nullptr);
    if (separateController_) {
        if (componentPoint_ != nullptr && controllerPoint_ != nullptr) {
            componentPoint_->disconnect(controllerPoint_);
            controllerPoint_->disconnect(componentPoint_);
        }
        releaseAll(componentPoint_);
        releaseAll(controllerPoint_);
        controller_->terminate();
    }
    releaseAll(controller_);
    releaseAll(processor_);
    component_->terminate();
    releaseAll(component_);
}

void Vst3Effect::switchOn(bool on) {
    if (on) {
        SpeakerArrangement in = arrangementFor(inputs_), out = arrangementFor(outputs_);
        processor_->setBusArrangements(&in, inputs_ > 0 ? 1 : 0, &out, outputs_ > 0 ? 1 : 0);
        ProcessSetup setup{kRealtime, canDouble_ && doublePrecision() ? kSample64 : kSample32, maxBlock(),
                           sampleRate()};
        processor_->setupProcessing(&setup);
        if (inputs_ > 0) component_->activateBus(kAudio, kInput, 0, 1);
        if (outputs_ > 0) component_->activateBus(kAudio, kOutput, 0, 1);
        component_->setActive(1);
        processor_->setProcessing(1);
        setLatency(static_cast<std::int32_t>(processor_->getLatencySamples()));
    } else {
        processor_->setProcessing(0);
        component_->setActive(0);
    }
}

bool Vst3Effect::openEditor(void* parent) {
    if (!hasEditor_) return false;
    closeEditor();
    view_ = controller_->createView(kEditorViewName);
    if (view_ == nullptr) return false;
    view_->setFrame(&hostSide_);
    ViewRect rect{};
    if (view_->isPlatformTypeSupported(kPlatformType) != kResultTrue || view_->getSize(&rect) != kResultOk ||
        view_->attached(parent, kPlatformType) != kResultOk) {
        view_->setFrame(nullptr);
        releaseAll(view_);
        return false;
    }
    editorWidth_ = rect.getWidth();
    editorHeight_ = rect.getHeight();
    return true;
}

void Vst3Effect::closeEditor() {
    if (view_ == nullptr) return;
    view_->removed();
    view_->setFrame(nullptr);
    releaseAll(view_);
}

ProcessContext* Vst3Effect::context() {
    const vst2::VstTimeInfo* time = hostTime();
    if (time == nullptr) return nullptr;
    ProcessContext& c = context_;
    c = ProcessContext{};
    c.sampleRate = sampleRate();
    c.projectTimeSamples = static_cast<TSamples>(time->samplePos);
    c.continousTimeSamples = c.projectTimeSamples;
    c.state = ProcessContext::kContTimeValid;
    if ((time->flags & vst2::kVstTransportPlaying) != 0) c.state |= ProcessContext::kPlaying;
    if ((time->flags & vst2::kVstTransportRecording) != 0) c.state |= ProcessContext::kRecording;
    if ((time->flags & vst2::kVstTransportCycleActive) != 0) c.state |= ProcessContext::kCycleActive;
    if ((time->flags & vst2::kVstNanosValid) != 0) {
        c.systemTime = static_cast<int64>(time->nanoSeconds);
        c.state |= ProcessContext::kSystemTimeValid;
    }
    if ((time->flags & vst2::kVstPpqPosValid) != 0) {
        c.projectTimeMusic = time->ppqPos;
        c.state |= ProcessContext::kProjectTimeMusicValid;
    }
    if ((time->flags & vst2::kVstTempoValid) != 0) {
        c.tempo = time->tempo;
        c.state |= ProcessContext::kTempoValid;
    }
    if ((time->flags & vst2::kVstBarsValid) != 0) {
        c.barPositionMusic = time->barStartPos;
        c.state |= ProcessContext::kBarPositionValid;
    }
    if ((time->flags & vst2::kVstCyclePosValid) != 0) {
        c.cycleStartMusic = time->cycleStartPos;
        c.cycleEndMusic = time->cycleEndPos;
        c.state |= ProcessContext::kCycleValid;
    }
    if ((time->flags & vst2::kVstTimeSigValid) != 0) {
        c.timeSigNumerator = time->timeSigNumerator;
        c.timeSigDenominator = time->timeSigDenominator;
        c.state |= ProcessContext::kTimeSigValid;
    }
    return &c;
}

template <typename Sample>
void Vst3Effect::run(Sample** inputs, Sample** outputs, int frames) {
    changes_.clear();
    takePending([&](int index, double value) { changes_.add(idOf(index), value); });
    AudioBusBuffers in{}, out{};
    in.numChannels = inputs_;
    out.numChannels = outputs_;
    constexpr bool isDouble = std::is_same_v<Sample, double>;
    if constexpr (isDouble) {
        in.channelBuffers64 = inputs;
        out.channelBuffers64 = outputs;
    } else {
        in.channelBuffers32 = inputs;
        out.channelBuffers32 = outputs;
    }
    ProcessData data{};
    data.processMode = callHost(vst2::audioMasterGetCurrentProcessLevel) == 4 ? kOffline : kRealtime;
    data.symbolicSampleSize = isDouble ? kSample64 : kSample32;
    data.numSamples = frames;
    data.numInputs = inputs_ > 0 && inputs != nullptr ? 1 : 0;
    data.numOutputs = outputs_ > 0 ? 1 : 0;
    data.inputs = data.numInputs > 0 ? &in : nullptr;
    data.outputs = data.numOutputs > 0 ? &out : nullptr;
    data.inputParameterChanges = &changes_;
    data.processContext = context();
    processor_->process(&data);
}

void Vst3Effect::flushPending() {
    // The format's parameter flush: no audio, only the changes.
    changes_.clear();
    takePending([&](int index, double value) { changes_.add(idOf(index), value); });
    ProcessData data{};
    data.symbolicSampleSize = canDouble_ && doublePrecision() ? kSample64 : kSample32;
    data.inputParameterChanges = &changes_;
    processor_->process(&data);
}

}  // namespace

std::string vst3Binary(const std::string& path) {
    namespace fs = std::filesystem;
    std::error_code ec;
    if (!fs::is_directory(path, ec)) return path;
    const fs::path bundle(path);
    std::string stem = bundle.filename().string();
    if (stem.empty()) stem = bundle.parent_path().filename().string();  // a trailing slash
    stem = fs::path(stem).stem().string();
#if defined(_WIN32)
    return (bundle / "Contents" / "x86_64-win" / (stem + ".vst3")).string();
#elif defined(__aarch64__)
    return (bundle / "Contents" / "aarch64-linux" / (stem + ".so")).string();
#else
    return (bundle / "Contents" / "x86_64-linux" / (stem + ".so")).string();
#endif
}

std::unique_ptr<FormatModule> openVst3Module(const ModuleSymbols& symbols) {
    return std::make_unique<Vst3Module>(symbols);
}

}  // namespace vhost
