// The CLAP side of the adapter: a host for the factory's first plug-in.
// VST 2.4's normalised value is the parameter's range mapped onto 0..1; a
// value set outside processing is flushed at once, one set while switched
// on travels as a parameter event in the next process call (or in a flush
// before the state is saved or loaded). Timers, descriptors and main-thread
// callbacks the plug-in asks for are served from effEditIdle and after each
// host-thread call.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#if !defined(_WIN32)
#include <poll.h>
#endif

#include "host/clap/ClapAbi.h"
#include "tools/vsthost/AdaptedEffect.h"
#include "tools/vsthost/Errors.h"

namespace vhost {

namespace {

#if defined(_WIN32)
constexpr const char* kWindowApi = CLAP_WINDOW_API_WIN32;
#else
constexpr const char* kWindowApi = CLAP_WINDOW_API_X11;
#endif

// FNV-1a of the plug-in's id: VST 2.4 wants a number where CLAP has a name.
std::int32_t idNumber(const char* id) {
    std::uint32_t hash = 2166136261u;
    for (const char* p = id != nullptr ? id : ""; *p != '\0'; ++p) hash = (hash ^ static_cast<unsigned char>(*p)) * 16777619u;
    return static_cast<std::int32_t>(hash);
}

class ClapModule;

class ClapEffect final : public AdaptedEffect {
public:
    ClapEffect(const ClapModule& module, vst2::audioMasterCallback host);
    ~ClapEffect() override;

    // What the host tables reach.
    struct Timer {
        clap_id id;
        std::chrono::milliseconds period;
        std::chrono::steady_clock::time_point next;
    };
    struct Fd {
        int fd;
        clap_posix_fd_flags_t flags;
    };
    static ClapEffect* of(const clap_host_t* host) {
        return host != nullptr ? static_cast<ClapEffect*>(host->host_data) : nullptr;
    }
    using AdaptedEffect::callHost;
    std::atomic<bool> callbackRequested_{false};
    std::atomic<bool> flushRequested_{false};
    std::vector<Timer> timers_;
    std::vector<Fd> fds_;
    clap_id nextTimer_ = 1;

protected:
    void switchOn(bool on) override;
    void hostValue(int index, double normalised) override;
    double pluginValue(int index) override;
    std::string parameterName(int index) override { return params_[static_cast<std::size_t>(index)].name; }
    std::string parameterLabel(int) override { return {}; }  // CLAP puts units into the text
    std::string parameterDisplay(int index) override;
    bool automatable(int index) override {
        return (params_[static_cast<std::size_t>(index)].flags & CLAP_PARAM_IS_AUTOMATABLE) != 0;
    }
    bool saveState(std::vector<std::uint8_t>& out) override;
    bool loadState(const std::uint8_t* data, std::size_t size) override;
    bool editorSize(int& width, int& height) override;
    bool openEditor(void* parent) override;
    void closeEditor() override;
    void idle() override;
    void afterHostCall() override { serveCallbacks(); }
    bool readsAfterTaking() const override { return true; }
    std::int32_t tailSamples() override;
    void flushPending() override;
    void processBlock(float** inputs, float** outputs, int frames) override { run(inputs, outputs, frames); }
    void processBlock(double** inputs, double** outputs, int frames) override { run(inputs, outputs, frames); }

private:
    struct Param {
        clap_id id;
        std::uint32_t flags;
        double min, max;
        std::string name;
        void* cookie;
    };
    static const void* hostExtension(const clap_host_t* host, const char* id);
    template <typename Sample>
    void run(Sample** inputs, Sample** outputs, int frames);
    const clap_event_transport_t* transport();
    double plain(int index, double normalised) const {
        const Param& p = params_[static_cast<std::size_t>(index)];
        return p.min + normalised * (p.max - p.min);
    }
    double normalised(int index, double value) const {
        const Param& p = params_[static_cast<std::size_t>(index)];
        return p.max > p.min ? (value - p.min) / (p.max - p.min) : 0.0;
    }
    int indexOf(clap_id id) const {
        for (std::size_t i = 0; i < params_.size(); ++i)
            if (params_[i].id == id) return static_cast<int>(i);
        return -1;
    }
    // Pending values as events in the list the next call reads.
    void queueEvents();
    void serveCallbacks();
    bool pushOut(const clap_event_header_t* event);
    void destroyGui();

    clap_host_t host_{};
    const clap_plugin_t* plugin_ = nullptr;
    const clap_plugin_params_t* params_ext_ = nullptr;
    const clap_plugin_state_t* state_ = nullptr;
    const clap_plugin_gui_t* gui_ = nullptr;
    const clap_plugin_timer_support_t* timerSupport_ = nullptr;
    const clap_plugin_posix_fd_support_t* fdSupport_ = nullptr;
    const clap_plugin_latency_t* latency_ = nullptr;
    const clap_plugin_tail_t* tail_ = nullptr;
    std::vector<Param> params_;
    int inputs_ = 0, outputs_ = 0;
    bool activated_ = false;
    bool processing_ = false;  // the audio side's, changed with it held
    std::int64_t steadyTime_ = 0;
    std::vector<clap_event_param_value_t> events_;
    std::uint32_t eventCount_ = 0;
    clap_input_events_t inEvents_{};
    clap_output_events_t outEvents_{};
    clap_event_transport_t transport_{};
    bool hasEditor_ = false;
    bool guiCreated_ = false;
    int editorWidth_ = 0, editorHeight_ = 0;
    bool knowSize_ = false;
    std::uint64_t blocksAtRequest_ = 0;
    int idleLooks_ = 0;
};

class ClapModule final : public FormatModule {
public:
    explicit ClapModule(const ModuleSymbols& symbols) : path_(symbols.path) {
        entry_ = static_cast<const clap_plugin_entry_t*>(symbols.find(symbols.library, CLAP_ENTRY_SYMBOL));
        if (entry_ == nullptr) throw ToolError("'" + path_ + "' is not a CLAP plug-in: it exports no clap_entry");
        if (!clap_version_is_compatible(entry_->clap_version) || entry_->init == nullptr ||
            entry_->deinit == nullptr || entry_->get_factory == nullptr)
            throw ToolError("'" + path_ + "' has a clap_entry of an incompatible version");
        if (!entry_->init(symbols.binary.c_str())) throw ToolError("CLAP plug-in '" + path_ + "' refused to initialise");
        factory_ = static_cast<const clap_plugin_factory_t*>(entry_->get_factory(CLAP_PLUGIN_FACTORY_ID));
        if (factory_ == nullptr || factory_->get_plugin_count == nullptr || factory_->get_plugin_count(factory_) == 0 ||
            (descriptor_ = factory_->get_plugin_descriptor(factory_, 0)) == nullptr || descriptor_->id == nullptr) {
            entry_->deinit();
            throw ToolError("CLAP file '" + path_ + "' offers no plug-in");
        }
    }
    ~ClapModule() override { entry_->deinit(); }

    vst2::AEffect* instantiate(vst2::audioMasterCallback host) override {
        return (new ClapEffect(*this, host))->effect();
    }
    const char* entryName() const override { return CLAP_ENTRY_SYMBOL; }

    const clap_plugin_factory_t* factory() const { return factory_; }
    const clap_plugin_descriptor_t* descriptor() const { return descriptor_; }
    const std::string& path() const { return path_; }

private:
    std::string path_;
    const clap_plugin_entry_t* entry_ = nullptr;
    const clap_plugin_factory_t* factory_ = nullptr;
    const clap_plugin_descriptor_t* descriptor_ = nullptr;
};

// The host tables: one set for every instance, which each call finds
// through host_data.
const clap_host_params_t kHostParams = {
    [](const clap_host_t* host, uint32_t) {
        if (ClapEffect* self = ClapEffect::of(host)) self->callHost(vst2::audioMasterUpdateDisplay);
    },
    [](const clap_host_t*, clap_id, uint32_t) {},
    [](const clap_host_t* host) {
        if (ClapEffect* self = ClapEffect::of(host)) self->flushRequested_.store(true);
    },
};
const clap_host_state_t kHostState = {[](const clap_host_t*) {}};
const clap_host_latency_t kHostLatency = {[](const clap_host_t*) {}};
const clap_host_tail_t kHostTail = {[](const clap_host_t*) {}};
const clap_host_audio_ports_t kHostAudioPorts = {[](const clap_host_t*, uint32_t) { return false; },
                                                 [](const clap_host_t*, uint32_t) {}};
const clap_host_log_t kHostLog = {[](const clap_host_t*, clap_log_severity severity, const char* message) {
    // What the plug-in reports as going wrong is worth a line on stderr.
    if (severity >= CLAP_LOG_ERROR && message != nullptr) std::fprintf(stderr, "plug-in: %s\n", message);
}};
const clap_host_gui_t kHostGui = {
    [](const clap_host_t*) {},
    [](const clap_host_t* host, uint32_t width, uint32_t height) {
        ClapEffect* self = ClapEffect::of(host);
        return self != nullptr && self->callHost(vst2::audioMasterSizeWindow, static_cast<vst2::VstInt32>(width),
                                                 static_cast<vst2::VstIntPtr>(height)) != 0;
    },
    [](const clap_host_t*) { return false; },
    [](const clap_host_t*) { return false; },
    [](const clap_host_t*, bool) {},
};
const clap_host_timer_support_t kHostTimers = {
    [](const clap_host_t* host, uint32_t period, clap_id* id) {
        ClapEffect* self = ClapEffect::of(host);
        if (self == nullptr || id == nullptr) return false;
        const auto ms = std::chrono::milliseconds(std::clamp<uint32_t>(period, 1, 60000));
        *id = self->nextTimer_++;
        self->timers_.push_back({*id, ms, std::chrono::steady_clock::now() + ms});
        return true;
    },
    [](const clap_host_t* host, clap_id id) {
        ClapEffect* self = ClapEffect::of(host);
        if (self == nullptr) return false;
        const auto before = self->timers_.size();
        self->timers_.erase(std::remove_if(self->timers_.begin(), self->timers_.end(),
                                           [&](const ClapEffect::Timer& t) { return t.id == id; }),
                            self->timers_.end());
        return self->timers_.size() != before;
    },
};
const clap_host_posix_fd_support_t kHostFds = {
    [](const clap_host_t* host, int fd, clap_posix_fd_flags_t flags) {
        ClapEffect* self = ClapEffect::of(host);
        if (self == nullptr || fd < 0) return false;
        for (const auto& entry : self->fds_)
            if (entry.fd == fd) return false;
        self->fds_.push_back({fd, flags});
        return true;
    },
    [](const clap_host_t* host, int fd, clap_posix_fd_flags_t flags) {
        if (ClapEffect* self = ClapEffect::of(host))
            for (auto& entry : self->fds_)
                if (entry.fd == fd) {
                    entry.flags = flags;
                    return true;
                }
        return false;
    },
    [](const clap_host_t* host, int fd) {
        ClapEffect* self = ClapEffect::of(host);
        if (self == nullptr) return false;
        const auto before = self->fds_.size();
        self->fds_.erase(std::remove_if(self->fds_.begin(), self->fds_.end(),
                                        [&](const ClapEffect::Fd& e) { return e.fd == fd; }),
                         self->fds_.end());
        return self->fds_.size() != before;
    },
};

const void* ClapEffect::hostExtension(const clap_host_t*, const char* id) {
    if (id == nullptr) return nullptr;
    const std::string name = id;
    if (name == CLAP_EXT_PARAMS) return &kHostParams;
    if (name == CLAP_EXT_STATE) return &kHostState;
    if (name == CLAP_EXT_LATENCY) return &kHostLatency;
    if (name == CLAP_EXT_TAIL) return &kHostTail;
    if (name == CLAP_EXT_AUDIO_PORTS) return &kHostAudioPorts;
    if (name == CLAP_EXT_LOG) return &kHostLog;
    if (name == CLAP_EXT_GUI) return &kHostGui;
    if (name == CLAP_EXT_TIMER_SUPPORT) return &kHostTimers;
#if !defined(_WIN32)
    if (name == CLAP_EXT_POSIX_FD_SUPPORT) return &kHostFds;
#endif
    return nullptr;
}

ClapEffect::ClapEffect(const ClapModule& module, vst2::audioMasterCallback host) : AdaptedEffect(host) {
    host_.clap_version = CLAP_VERSION_INIT;
    host_.host_data = this;
    host_.name = "vsthost";
    host_.vendor = "Tonarvo";
    host_.url = "";
    host_.version = "1.0";
    host_.get_extension = hostExtension;
    host_.request_restart = [](const clap_host_t*) {};
    host_.request_process = [](const clap_host_t*) {};
    host_.request_callback = [](const clap_host_t* h) {
        if (ClapEffect* self = of(h)) self->callbackRequested_.store(true);
    };
    inEvents_.ctx = this;
    inEvents_.size = [](const clap_input_events_t* list) { return static_cast<ClapEffect*>(list->ctx)->eventCount_; };
    inEvents_.get = [](const clap_input_events_t* list, uint32_t index) -> const clap_event_header_t* {
        auto* self = static_cast<ClapEffect*>(list->ctx);
        return index < self->eventCount_ ? &self->events_[index].header : nullptr;
    };
    outEvents_.ctx = this;
    outEvents_.try_push = [](const clap_output_events_t* list, const clap_event_header_t* event) {
        return static_cast<ClapEffect*>(list->ctx)->pushOut(event);
    };

    const std::string& path = module.path();
    const clap_plugin_descriptor_t* descriptor = module.descriptor();
    plugin_ = module.factory()->create_plugin(module.factory(), &host_, descriptor->id);
    if (plugin_ == nullptr) throw ToolError("CLAP plug-in '" + path + "' could not be created");
    if (plugin_->init == nullptr || !plugin_->init(plugin_)) {
        plugin_->destroy(plugin_);
        throw ToolError("CLAP plug-in '" + path + "' refused to initialise");
    }
    const auto extension = [&](const char* id) {
        return plugin_->get_extension != nullptr ? plugin_->get_extension(plugin_, id) : nullptr;
    };
    params_ext_ = static_cast<const clap_plugin_params_t*>(extension(CLAP_EXT_PARAMS));
    state_ = static_cast<const clap_plugin_state_t*>(extension(CLAP_EXT_STATE));
    gui_ = static_cast<const clap_plugin_gui_t*>(extension(CLAP_EXT_GUI));
    timerSupport_ = static_cast<const clap_plugin_timer_support_t*>(extension(CLAP_EXT_TIMER_SUPPORT));
    fdSupport_ = static_cast<const clap_plugin_posix_fd_support_t*>(extension(CLAP_EXT_POSIX_FD_SUPPORT));
    latency_ = static_cast<const clap_plugin_latency_t*>(extension(CLAP_EXT_LATENCY));
    tail_ = static_cast<const clap_plugin_tail_t*>(extension(CLAP_EXT_TAIL));

    bool canDouble = false;
    if (const auto* ports = static_cast<const clap_plugin_audio_ports_t*>(extension(CLAP_EXT_AUDIO_PORTS))) {
        canDouble = true;
        for (const bool input : {true, false}) {
            int channels = 0;
            clap_audio_port_info_t info{};
            if (ports->count(plugin_, input) > 0 && ports->get(plugin_, 0, input, &info)) {
                channels = static_cast<int>(std::min<uint32_t>(info.channel_count, 64));
                if ((info.flags & CLAP_AUDIO_PORT_SUPPORTS_64BITS) == 0) canDouble = false;
            }
            (input ? inputs_ : outputs_) = channels;
        }
    }
    setChannels(inputs_, outputs_);

    if (params_ext_ != nullptr) {
        const uint32_t count = params_ext_->count(plugin_);
        for (uint32_t i = 0; i < count; ++i) {
            clap_param_info_t info{};
            if (!params_ext_->get_info(plugin_, i, &info)) continue;
            info.name[CLAP_NAME_SIZE - 1] = '\0';
            const bool finite = std::isfinite(info.min_value) && std::isfinite(info.max_value);
            params_.push_back({info.id, info.flags, finite ? info.min_value : 0.0, finite ? info.max_value : 1.0,
                               info.name, info.cookie});
        }
    }
    setParameterCount(static_cast<int>(params_.size()));
    events_.assign(params_.size(), clap_event_param_value_t{});

    hasEditor_ = gui_ != nullptr && gui_->is_api_supported(plugin_, kWindowApi, false);
    std::int32_t flags = vst2::effFlagsCanReplacing;
    if (canDouble) flags |= vst2::effFlagsCanDoubleReplacing;
    if (state_ != nullptr) flags |= vst2::effFlagsProgramChunks;
    if (hasEditor_) flags |= vst2::effFlagsHasEditor;
    setFlags(flags);
    setUniqueId(idNumber(descriptor->id));
    name_ = descriptor->name != nullptr ? descriptor->name : "";
    product_ = name_;
    vendor_ = descriptor->vendor != nullptr ? descriptor->vendor : "";
    vendorVersion_ = versionNumber(descriptor->version);
    serveCallbacks();
}

ClapEffect::~ClapEffect() {
    destroyGui();
    if (activated_) {
        if (processing_ && plugin_->stop_processing != nullptr) plugin_->stop_processing(plugin_);
        plugin_->deactivate(plugin_);
    }
    plugin_->destroy(plugin_);
}

void ClapEffect::switchOn(bool on) {
    if (on) {
        activated_ = plugin_->activate(plugin_, sampleRate(), 1, static_cast<uint32_t>(maxBlock()));
        if (activated_ && latency_ != nullptr) setLatency(static_cast<std::int32_t>(latency_->get(plugin_)));
    } else if (activated_) {
        withAudioSide([&] {
            if (processing_ && plugin_->stop_processing != nullptr) plugin_->stop_processing(plugin_);
            processing_ = false;
        });
        plugin_->deactivate(plugin_);
        activated_ = false;
    }
}

void ClapEffect::hostValue(int, double) {
    // Outside processing the main thread may flush; switched on, the audio
    // side carries it (the next process call, or a flush before the state).
    if (!switchedOn()) flushPending();
}

double ClapEffect::pluginValue(int index) {
    // What the plug-in makes of a value (it may round it) shows only once it
    // has the value: flushed now rather than read back as it was sent.
    if (hasPending(index)) settlePending();
    double value = 0.0;
    if (params_ext_ == nullptr || !params_ext_->get_value(plugin_, params_[static_cast<std::size_t>(index)].id, &value))
        return 0.0;
    return normalised(index, value);
}

std::string ClapEffect::parameterDisplay(int index) {
    char text[256] = {};
    const double value = plain(index, pluginValue(index));
    if (params_ext_ == nullptr ||
        !params_ext_->value_to_text(plugin_, params_[static_cast<std::size_t>(index)].id, value, text, sizeof text))
        return {};
    text[sizeof text - 1] = '\0';
    return text;
}

bool ClapEffect::saveState(std::vector<std::uint8_t>& out) {
    if (state_ == nullptr) return false;
    clap_ostream_t stream{&out, [](const clap_ostream_t* s, const void* buffer, uint64_t size) -> int64_t {
                              auto* bytes = static_cast<std::vector<std::uint8_t>*>(s->ctx);
                              if (buffer == nullptr && size > 0) return -1;
                              const auto* p = static_cast<const std::uint8_t*>(buffer);
                              bytes->insert(bytes->end(), p, p + size);
                              return static_cast<int64_t>(size);
                          }};
    return state_->save(plugin_, &stream);
}

bool ClapEffect::loadState(const std::uint8_t* data, std::size_t size) {
    if (state_ == nullptr) return false;
    struct Reader {
        const std::uint8_t* data;
        std::size_t size, at;
    } reader{data, size, 0};
    clap_istream_t stream{&reader, [](const clap_istream_t* s, void* buffer, uint64_t want) -> int64_t {
                              auto* r = static_cast<Reader*>(s->ctx);
                              if (buffer == nullptr && want > 0) return -1;
                              const std::size_t n = static_cast<std::size_t>(std::min<uint64_t>(want, r->size - r->at));
                              std::memcpy(buffer, r->data + r->at, n);
                              r->at += n;
                              return static_cast<int64_t>(n);
                          }};
    return state_->load(plugin_, &stream);
}

bool ClapEffect::editorSize(int& width, int& height) {
    if (!hasEditor_) return false;
    uint32_t w = 0, h = 0;
    if (guiCreated_) {
        if (gui_->get_size(plugin_, &w, &h)) {
            editorWidth_ = static_cast<int>(w);
            editorHeight_ = static_cast<int>(h);
        }
    } else if (!knowSize_) {
        // The size exists only with a GUI: one made and dropped to learn it.
        if (gui_->create(plugin_, kWindowApi, false)) {
            if (gui_->get_size(plugin_, &w, &h)) {
                editorWidth_ = static_cast<int>(w);
                editorHeight_ = static_cast<int>(h);
                knowSize_ = true;
            }
            gui_->destroy(plugin_);
        }
    }
    width = editorWidth_;
    height = editorHeight_;
    return true;
}

bool ClapEffect::openEditor(void* parent) {
    if (!hasEditor_) return false;
    destroyGui();
    if (!gui_->create(plugin_, kWindowApi, false)) return false;
    guiCreated_ = true;
    uint32_t w = 0, h = 0;
    if (gui_->get_size(plugin_, &w, &h)) {
        editorWidth_ = static_cast<int>(w);
        editorHeight_ = static_cast<int>(h);
        knowSize_ = true;
    }
    clap_window_t window{};
    window.api = kWindowApi;
#if defined(_WIN32)
    window.win32 = parent;
#else
    window.x11 = static_cast<clap_xwnd>(reinterpret_cast<std::uintptr_t>(parent));
#endif
    if (!gui_->set_parent(plugin_, &window)) {
        destroyGui();
        return false;
    }
    gui_->show(plugin_);
    return true;
}

void ClapEffect::closeEditor() { destroyGui(); }

void ClapEffect::destroyGui() {
    if (!guiCreated_) return;
    gui_->destroy(plugin_);
    guiCreated_ = false;
}

void ClapEffect::idle() {
    serveCallbacks();
#if !defined(_WIN32)
    if (fdSupport_ != nullptr && !fds_.empty()) {
        std::vector<pollfd> polled;
        for (const Fd& entry : fds_) {
            short events = 0;
            if ((entry.flags & CLAP_POSIX_FD_READ) != 0) events |= POLLIN;
            if ((entry.flags & CLAP_POSIX_FD_WRITE) != 0) events |= POLLOUT;
            polled.push_back({entry.fd, events, 0});
        }
        if (::poll(polled.data(), polled.size(), 0) > 0)
            for (const pollfd& p : polled) {
                clap_posix_fd_flags_t happened = 0;
                if ((p.revents & (POLLIN | POLLHUP)) != 0) happened |= CLAP_POSIX_FD_READ;
                if ((p.revents & POLLOUT) != 0) happened |= CLAP_POSIX_FD_WRITE;
                if ((p.revents & (POLLERR | POLLNVAL)) != 0) happened |= CLAP_POSIX_FD_ERROR;
                // Still registered: an earlier call may have dropped it.
                const bool live = std::any_of(fds_.begin(), fds_.end(), [&](const Fd& e) { return e.fd == p.fd; });
                if (happened != 0 && live) fdSupport_->on_fd(plugin_, p.fd, happened);
            }
    }
#endif
    if (timerSupport_ != nullptr && !timers_.empty()) {
        const auto now = std::chrono::steady_clock::now();
        std::vector<clap_id> due;
        for (Timer& timer : timers_)
            if (now >= timer.next) {
                timer.next = now + timer.period;
                due.push_back(timer.id);
            }
        for (const clap_id id : due)
            if (std::any_of(timers_.begin(), timers_.end(), [&](const Timer& t) { return t.id == id; }))
                timerSupport_->on_timer(plugin_, id);
    }
    serveCallbacks();
}

void ClapEffect::serveCallbacks() {
    if (callbackRequested_.exchange(false) && plugin_->on_main_thread != nullptr) plugin_->on_main_thread(plugin_);
    if (flushRequested_.load() && params_ext_ != nullptr) {
        // The editor's changes wait in the plug-in for a flush or a process
        // call: a running audio thread's next block takes them, and only
        // when none has run since the last look is the flush made here.
        const std::uint64_t done = blocksDone();
        if (!switchedOn()) {
            flushRequested_.store(false);
            flushPending();
        } else if (done != blocksAtRequest_) {
            flushRequested_.store(false);
        } else if (++idleLooks_ >= 2) {
            flushRequested_.store(false);
            withAudioSide([&] { flushPending(); });
        }
        if (!flushRequested_.load()) idleLooks_ = 0;
        blocksAtRequest_ = done;
    }
}

std::int32_t ClapEffect::tailSamples() {
    if (tail_ == nullptr || !activated_) return 0;
    const uint32_t tail = tail_->get(plugin_);
    return tail > 0x7FFFFFFFu ? 0x7FFFFFFF : static_cast<std::int32_t>(tail);
}

void ClapEffect::queueEvents() {
    eventCount_ = 0;
    takePending([&](int index, double value) {
        const Param& p = params_[static_cast<std::size_t>(index)];
        clap_event_param_value_t& event = events_[eventCount_++];
        event = clap_event_param_value_t{};
        event.header.size = sizeof event;
        event.header.time = 0;
        event.header.space_id = CLAP_CORE_EVENT_SPACE_ID;
        event.header.type = CLAP_EVENT_PARAM_VALUE;
        event.param_id = p.id;
        event.cookie = p.cookie;
        event.note_id = -1;
        event.port_index = -1;
        event.channel = -1;
        event.key = -1;
        event.value = plain(index, value);
    });
}

void ClapEffect::flushPending() {
    if (params_ext_ == nullptr || params_ext_->flush == nullptr) return;
    queueEvents();
    params_ext_->flush(plugin_, &inEvents_, &outEvents_);
    eventCount_ = 0;
}

bool ClapEffect::pushOut(const clap_event_header_t* event) {
    if (event == nullptr || event->space_id != CLAP_CORE_EVENT_SPACE_ID) return true;
    if (event->type == CLAP_EVENT_PARAM_VALUE && event->size >= sizeof(clap_event_param_value_t)) {
        const auto* value = reinterpret_cast<const clap_event_param_value_t*>(event);
        const int index = indexOf(value->param_id);
        if (index >= 0 && std::isfinite(value->value))
            callHost(vst2::audioMasterAutomate, index, 0, nullptr,
                     static_cast<float>(std::clamp(normalised(index, value->value), 0.0, 1.0)));
    } else if ((event->type == CLAP_EVENT_PARAM_GESTURE_BEGIN || event->type == CLAP_EVENT_PARAM_GESTURE_END) &&
               event->size >= sizeof(clap_event_param_gesture_t)) {
        const auto* gesture = reinterpret_cast<const clap_event_param_gesture_t*>(event);
        const int index = indexOf(gesture->param_id);
        if (index >= 0)
            callHost(event->type == CLAP_EVENT_PARAM_GESTURE_BEGIN ? vst2::audioMasterBeginEdit
                                                                    : vst2::audioMasterEndEdit,
                     index);
    }
    return true;
}

const clap_event_transport_t* ClapEffect::transport() {
    const vst2::VstTimeInfo* time = hostTime();
    if (time == nullptr) return nullptr;
    clap_event_transport_t& t = transport_;
    t = clap_event_transport_t{};
    t.header.size = sizeof t;
    t.header.type = CLAP_EVENT_TRANSPORT;
    const auto fixed = [](double x) { return static_cast<int64_t>(std::llround(x * static_cast<double>(CLAP_BEATTIME_FACTOR))); };
    if ((time->flags & vst2::kVstTransportPlaying) != 0) t.flags |= CLAP_TRANSPORT_IS_PLAYING;
    if ((time->flags & vst2::kVstTransportRecording) != 0) t.flags |= CLAP_TRANSPORT_IS_RECORDING;
    if ((time->flags & vst2::kVstTransportCycleActive) != 0) t.flags |= CLAP_TRANSPORT_IS_LOOP_ACTIVE;
    if (time->sampleRate > 0.0) {
        t.flags |= CLAP_TRANSPORT_HAS_SECONDS_TIMELINE;
        t.song_pos_seconds = fixed(time->samplePos / time->sampleRate);
    }
    if ((time->flags & vst2::kVstTempoValid) != 0) {
        t.flags |= CLAP_TRANSPORT_HAS_TEMPO;
        t.tempo = time->tempo;
    }
    if ((time->flags & vst2::kVstPpqPosValid) != 0) {
        t.flags |= CLAP_TRANSPORT_HAS_BEATS_TIMELINE;
        t.song_pos_beats = fixed(time->ppqPos);
        if ((time->flags & vst2::kVstBarsValid) != 0) t.bar_start = fixed(time->barStartPos);
        if ((time->flags & vst2::kVstCyclePosValid) != 0) {
            t.loop_start_beats = fixed(time->cycleStartPos);
            t.loop_end_beats = fixed(time->cycleEndPos);
        }
    }
    if ((time->flags & vst2::kVstTimeSigValid) != 0 && time->timeSigNumerator > 0 && time->timeSigDenominator > 0) {
        t.flags |= CLAP_TRANSPORT_HAS_TIME_SIGNATURE;
        t.tsig_num = static_cast<uint16_t>(std::min(time->timeSigNumerator, 65535));
        t.tsig_denom = static_cast<uint16_t>(std::min(time->timeSigDenominator, 65535));
        if ((time->flags & vst2::kVstBarsValid) != 0) {
            const double barLength = time->timeSigNumerator * 4.0 / time->timeSigDenominator;
            t.bar_number = static_cast<int32_t>(std::floor(time->barStartPos / barLength + 0.5));
        }
    }
    return &t;
}

template <typename Sample>
void ClapEffect::run(Sample** inputs, Sample** outputs, int frames) {
    if (!activated_) return;
    if (!processing_) {
        // The audio thread starts the processing, as the format wants.
        processing_ = plugin_->start_processing == nullptr || plugin_->start_processing(plugin_);
        if (!processing_) return;
    }
    queueEvents();
    clap_audio_buffer_t in{}, out{};
    in.channel_count = static_cast<uint32_t>(inputs_);
    out.channel_count = static_cast<uint32_t>(outputs_);
    if constexpr (std::is_same_v<Sample, double>) {
        in.data64 = inputs;
        out.data64 = outputs;
    } else {
        in.data32 = inputs;
        out.data32 = outputs;
    }
    clap_process_t process{};
    process.steady_time = steadyTime_;
    process.frames_count = static_cast<uint32_t>(frames);
    process.transport = transport();
    process.audio_inputs = inputs != nullptr && inputs_ > 0 ? &in : nullptr;
    process.audio_inputs_count = process.audio_inputs != nullptr ? 1 : 0;
    process.audio_outputs = outputs_ > 0 ? &out : nullptr;
    process.audio_outputs_count = outputs_ > 0 ? 1 : 0;
    process.in_events = &inEvents_;
    process.out_events = &outEvents_;
    plugin_->process(plugin_, &process);
    eventCount_ = 0;
    steadyTime_ += frames;
}

}  // namespace

std::unique_ptr<FormatModule> openClapModule(const ModuleSymbols& symbols) {
    return std::make_unique<ClapModule>(symbols);
}

}  // namespace vhost
