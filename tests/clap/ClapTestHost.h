// A minimal CLAP host for the tests: loads a built .clap, walks entry and
// factory, and serves the host extensions the plug-in asks for (params with
// request_flush, timers, file descriptors, log), recording what it is asked.
#pragma once

#include <gtest/gtest.h>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

#include <cstring>
#include <string>
#include <vector>

#include "host/clap/ClapAbi.h"
#include "host/clap/ClapPresets.h"

namespace claptest {

inline const clap_plugin_entry_t* loadEntry(const char* path) {
#if defined(_WIN32)
    HMODULE library = LoadLibraryA(path);
    return library ? reinterpret_cast<const clap_plugin_entry_t*>(GetProcAddress(library, CLAP_ENTRY_SYMBOL)) : nullptr;
#else
    void* library = dlopen(path, RTLD_NOW | RTLD_LOCAL);  // stays loaded for the process
    return library ? static_cast<const clap_plugin_entry_t*>(dlsym(library, CLAP_ENTRY_SYMBOL)) : nullptr;
#endif
}

// Events as a host hands them in: copies of whole event structs.
class EventList {
public:
    template <typename Event>
    void add(const Event& event) {
        const auto* bytes = reinterpret_cast<const unsigned char*>(&event);
        offsets.push_back(storage.size());
        storage.insert(storage.end(), bytes, bytes + sizeof event);
        storage.resize((storage.size() + 7) / 8 * 8);
    }
    void value(clap_id id, double v, std::uint32_t time = 0, std::uint16_t space = CLAP_CORE_EVENT_SPACE_ID) {
        clap_event_param_value_t e{};
        e.header = {sizeof e, time, space, CLAP_EVENT_PARAM_VALUE, 0};
        e.param_id = id;
        e.note_id = -1;
        e.port_index = e.channel = e.key = -1;
        e.value = v;
        add(e);
    }
    void clear() {
        storage.clear();
        offsets.clear();
    }
    const clap_input_events_t* list() {
        clap.ctx = this;
        clap.size = [](const clap_input_events_t* l) {
            return static_cast<std::uint32_t>(static_cast<EventList*>(l->ctx)->offsets.size());
        };
        clap.get = [](const clap_input_events_t* l, std::uint32_t i) -> const clap_event_header_t* {
            auto* self = static_cast<EventList*>(l->ctx);
            return i < self->offsets.size()
                       ? reinterpret_cast<const clap_event_header_t*>(self->storage.data() + self->offsets[i])
                       : nullptr;
        };
        return &clap;
    }

private:
    alignas(8) std::vector<unsigned char> storage;
    std::vector<std::size_t> offsets;
    clap_input_events_t clap{};
};

// What the plug-in pushed: type, parameter, value (0 for gestures), time.
struct OutEvent {
    std::uint16_t type;
    clap_id param;
    double value;
    std::uint32_t time;
    std::uint32_t flags;
};

class OutputList {
public:
    std::vector<OutEvent> events;
    // Refuses pushes beyond this many, as a full host queue would.
    std::size_t capacity = SIZE_MAX;
    const clap_output_events_t* list() {
        clap.ctx = this;
        clap.try_push = [](const clap_output_events_t* l, const clap_event_header_t* e) {
            auto* self = static_cast<OutputList*>(l->ctx);
            if (self->events.size() >= self->capacity) return false;
            OutEvent out{e->type, 0, 0.0, e->time, e->flags};
            if (e->type == CLAP_EVENT_PARAM_VALUE) {
                const auto* v = reinterpret_cast<const clap_event_param_value_t*>(e);
                out.param = v->param_id;
                out.value = v->value;
            } else {
                out.param = reinterpret_cast<const clap_event_param_gesture_t*>(e)->param_id;
            }
            self->events.push_back(out);
            return true;
        };
        return &clap;
    }

private:
    clap_output_events_t clap{};
};

// Streams that move at most `step` bytes per call.
struct OutStream {
    std::vector<unsigned char> bytes;
    std::uint64_t step = 1;
    clap_ostream_t clap{this, [](const clap_ostream_t* s, const void* data, std::uint64_t size) -> std::int64_t {
                            auto* self = static_cast<OutStream*>(s->ctx);
                            const std::uint64_t n = size < self->step ? size : self->step;
                            const auto* b = static_cast<const unsigned char*>(data);
                            self->bytes.insert(self->bytes.end(), b, b + n);
                            return static_cast<std::int64_t>(n);
                        }};
};

struct InStream {
    std::vector<unsigned char> bytes;
    std::uint64_t step = 1;
    std::size_t position = 0;
    bool failAtEnd = false;  // -1 instead of 0 at the end
    clap_istream_t clap{this, [](const clap_istream_t* s, void* data, std::uint64_t size) -> std::int64_t {
                            auto* self = static_cast<InStream*>(s->ctx);
                            const std::uint64_t left = self->bytes.size() - self->position;
                            if (left == 0) return self->failAtEnd ? -1 : 0;
                            std::uint64_t n = size < self->step ? size : self->step;
                            if (n > left) n = left;
                            std::memcpy(data, self->bytes.data() + self->position, n);
                            self->position += n;
                            return static_cast<std::int64_t>(n);
                        }};
};

class Host {
public:
    Host() {
        clap.clap_version = CLAP_VERSION_INIT;
        clap.host_data = this;
        clap.name = "tonarvo-test-host";
        clap.vendor = "test";
        clap.url = "";
        clap.version = "1";
        clap.get_extension = &extension;
        clap.request_restart = [](const clap_host_t*) {};
        clap.request_process = [](const clap_host_t* h) { self(h)->processRequests++; };
        clap.request_callback = [](const clap_host_t*) {};
    }
    Host(const Host&) = delete;
    Host& operator=(const Host&) = delete;

    clap_host_t clap{};
    bool offerParams = true, offerTimers = true, offerFds = true;
    int flushRequests = 0, processRequests = 0, rescans = 0;
    std::vector<std::pair<clap_id, std::uint32_t>> timers;  // id, period
    std::vector<int> fds;
    std::vector<std::string> logs;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> resizes;  // the sizes the editor asked for
    std::vector<std::string> presetsLoaded, presetErrors;           // load keys

private:
    static Host* self(const clap_host_t* h) { return static_cast<Host*>(h->host_data); }
    static const void* extension(const clap_host_t* h, const char* id) {
        static const clap_host_params_t params{
            [](const clap_host_t* h, std::uint32_t) { self(h)->rescans++; }, [](const clap_host_t*, clap_id, std::uint32_t) {},
            [](const clap_host_t* h) { self(h)->flushRequests++; }};
        static const clap_host_timer_support_t timers{
            [](const clap_host_t* h, std::uint32_t period, clap_id* id) {
                *id = static_cast<clap_id>(self(h)->timers.size() + 7);
                self(h)->timers.push_back({*id, period});
                return true;
            },
            [](const clap_host_t* h, clap_id id) {
                auto& t = self(h)->timers;
                for (auto i = t.begin(); i != t.end(); ++i)
                    if (i->first == id) {
                        t.erase(i);
                        return true;
                    }
                return false;
            }};
        static const clap_host_posix_fd_support_t fds{
            [](const clap_host_t* h, int fd, std::uint32_t) {
                self(h)->fds.push_back(fd);
                return true;
            },
            [](const clap_host_t*, int, std::uint32_t) { return true; },
            [](const clap_host_t* h, int fd) {
                auto& f = self(h)->fds;
                for (auto i = f.begin(); i != f.end(); ++i)
                    if (*i == fd) {
                        f.erase(i);
                        return true;
                    }
                return false;
            }};
        static const clap_host_log_t log{[](const clap_host_t* h, clap_log_severity, const char* text) {
            self(h)->logs.push_back(text ? text : "");
        }};
        static const clap_host_gui_t gui{
            [](const clap_host_t*) {},
            [](const clap_host_t* h, std::uint32_t width, std::uint32_t height) {
                self(h)->resizes.push_back({width, height});
                return true;
            },
            [](const clap_host_t*) { return false; }, [](const clap_host_t*) { return false; },
            [](const clap_host_t*, bool) {}};
        static const clap_host_preset_load_t presets{
            [](const clap_host_t* h, std::uint32_t, const char*, const char* key, std::int32_t, const char*) {
                self(h)->presetErrors.push_back(key ? key : "");
            },
            [](const clap_host_t* h, std::uint32_t, const char*, const char* key) {
                self(h)->presetsLoaded.push_back(key ? key : "");
            }};
        Host* host = self(h);
        if (std::strcmp(id, CLAP_EXT_PRESET_LOAD) == 0) return &presets;
        if (std::strcmp(id, CLAP_EXT_GUI) == 0) return &gui;
        if (std::strcmp(id, CLAP_EXT_PARAMS) == 0) return host->offerParams ? &params : nullptr;
        if (std::strcmp(id, CLAP_EXT_TIMER_SUPPORT) == 0) return host->offerTimers ? &timers : nullptr;
        if (std::strcmp(id, CLAP_EXT_POSIX_FD_SUPPORT) == 0) return host->offerFds ? &fds : nullptr;
        if (std::strcmp(id, CLAP_EXT_LOG) == 0) return &log;
        return nullptr;
    }
};

// One instance with its extension tables.
class Plugin {
public:
    Plugin(const clap_plugin_entry_t* entry, Host& host, const char* id = "com.marvoltic.tonarvo") {
        if (!entry) return;
        const auto* factory = static_cast<const clap_plugin_factory_t*>(entry->get_factory(CLAP_PLUGIN_FACTORY_ID));
        if (!factory) return;
        plugin = factory->create_plugin(factory, &host.clap, id);
        if (!plugin || !plugin->init(plugin)) return;
        params = ext<clap_plugin_params_t>(CLAP_EXT_PARAMS);
        state = ext<clap_plugin_state_t>(CLAP_EXT_STATE);
        gui = ext<clap_plugin_gui_t>(CLAP_EXT_GUI);
        ports = ext<clap_plugin_audio_ports_t>(CLAP_EXT_AUDIO_PORTS);
        ready = true;
    }
    ~Plugin() {
        if (!plugin) return;
        if (active) plugin->deactivate(plugin);
        plugin->destroy(plugin);
    }
    Plugin(const Plugin&) = delete;
    Plugin& operator=(const Plugin&) = delete;

    template <typename T>
    const T* ext(const char* id) const {
        return static_cast<const T*>(plugin->get_extension(plugin, id));
    }
    bool activate(double rate, std::uint32_t maxFrames) {
        active = plugin->activate(plugin, rate, 1, maxFrames) && plugin->start_processing(plugin);
        return active;
    }
    double value(clap_id id) const {
        double v = -12345.0;
        EXPECT_TRUE(params->get_value(plugin, id, &v));
        return v;
    }
    // Values through params.flush, as a host sets them while not processing.
    void set(clap_id id, double v) {
        EventList in;
        in.value(id, v);
        OutputList out;
        params->flush(plugin, in.list(), out.list());
    }
    std::vector<unsigned char> save(std::uint64_t step = 1) const {
        OutStream out;
        out.step = step;
        EXPECT_TRUE(state->save(plugin, &out.clap));
        return out.bytes;
    }
    bool load(const std::vector<unsigned char>& bytes, std::uint64_t step = 1) const {
        InStream in;
        in.bytes = bytes;
        in.step = step;
        return state->load(plugin, &in.clap);
    }

    const clap_plugin_t* plugin = nullptr;
    const clap_plugin_params_t* params = nullptr;
    const clap_plugin_state_t* state = nullptr;
    const clap_plugin_gui_t* gui = nullptr;
    const clap_plugin_audio_ports_t* ports = nullptr;
    bool ready = false, active = false;
};

// A preset browser's indexer and metadata receiver: what a provider declares
// and lists, copied. Calls into the indexer before init count as misuse.
struct PresetIndex {
    struct Location {
        std::uint32_t flags, kind;
        std::string name;
        bool hasPath;
    };
    struct Preset {
        std::string name, loadKey, description;
        std::vector<std::string> pluginIds, features, creators;  // plug-in ids as "abi:id"
        std::uint32_t flags = 0;
    };
    std::vector<Location> locations;
    std::vector<Preset> presets;
    int callsBeforeInit = 0, errors = 0;
    bool initialising = false;
    std::size_t stopAfter = SIZE_MAX;  // begin_preset answers false past this many

    PresetIndex() {
        indexer.clap_version = CLAP_VERSION_INIT;
        indexer.name = "claptest";
        indexer.indexer_data = this;
        indexer.declare_filetype = [](const clap_preset_discovery_indexer_t* i, const clap_preset_discovery_filetype_t*) {
            return self(i->indexer_data).declared();
        };
        indexer.declare_location = [](const clap_preset_discovery_indexer_t* i,
                                      const clap_preset_discovery_location_t* l) {
            PresetIndex& x = self(i->indexer_data);
            x.locations.push_back({l->flags, l->kind, l->name ? l->name : "", l->location != nullptr});
            return x.declared();
        };
        indexer.declare_soundpack = [](const clap_preset_discovery_indexer_t* i,
                                       const clap_preset_discovery_soundpack_t*) {
            return self(i->indexer_data).declared();
        };
        indexer.get_extension = [](const clap_preset_discovery_indexer_t*, const char*) -> const void* { return nullptr; };
        receiver.receiver_data = this;
        receiver.on_error = [](const clap_preset_discovery_metadata_receiver_t* r, std::int32_t, const char*) {
            ++self(r->receiver_data).errors;
        };
        receiver.begin_preset = [](const clap_preset_discovery_metadata_receiver_t* r, const char* name,
                                   const char* key) {
            PresetIndex& x = self(r->receiver_data);
            if (x.presets.size() >= x.stopAfter) return false;
            x.presets.push_back({name ? name : "", key ? key : "", "", {}, {}, {}, 0});
            return true;
        };
        receiver.add_plugin_id = [](const clap_preset_discovery_metadata_receiver_t* r,
                                    const clap_universal_plugin_id_t* id) {
            self(r->receiver_data).current().pluginIds.push_back(std::string(id->abi) + ":" + id->id);
        };
        receiver.set_soundpack_id = [](const clap_preset_discovery_metadata_receiver_t*, const char*) {};
        receiver.set_flags = [](const clap_preset_discovery_metadata_receiver_t* r, std::uint32_t flags) {
            self(r->receiver_data).current().flags = flags;
        };
        receiver.add_creator = [](const clap_preset_discovery_metadata_receiver_t* r, const char* creator) {
            self(r->receiver_data).current().creators.push_back(creator);
        };
        receiver.set_description = [](const clap_preset_discovery_metadata_receiver_t* r, const char* text) {
            self(r->receiver_data).current().description = text;
        };
        receiver.set_timestamps = [](const clap_preset_discovery_metadata_receiver_t*, clap_timestamp, clap_timestamp) {};
        receiver.add_feature = [](const clap_preset_discovery_metadata_receiver_t* r, const char* feature) {
            self(r->receiver_data).current().features.push_back(feature);
        };
        receiver.add_extra_info = [](const clap_preset_discovery_metadata_receiver_t*, const char*, const char*) {};
    }
    PresetIndex(const PresetIndex&) = delete;
    PresetIndex& operator=(const PresetIndex&) = delete;

    // Creates the provider, initialises it and asks for each declared
    // location's presets; false when any step fails.
    bool index(const clap_preset_discovery_factory_t* factory, const char* providerId) {
        const clap_preset_discovery_provider_t* provider = factory->create(factory, &indexer, providerId);
        if (provider == nullptr) return false;
        initialising = true;
        bool ok = provider->init(provider);
        initialising = false;
        for (const Location& l : locations)
            ok = ok && provider->get_metadata(provider, l.kind, nullptr, &receiver);
        provider->destroy(provider);
        return ok;
    }

    clap_preset_discovery_indexer_t indexer{};
    clap_preset_discovery_metadata_receiver_t receiver{};

private:
    static PresetIndex& self(void* data) { return *static_cast<PresetIndex*>(data); }
    bool declared() {
        if (!initialising) ++callsBeforeInit;
        return true;
    }
    Preset& current() {
        if (presets.empty()) presets.push_back({});  // metadata before any begin_preset: kept apart
        return presets.back();
    }
};

}  // namespace claptest
