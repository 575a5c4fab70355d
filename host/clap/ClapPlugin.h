// The CLAP face: one clap_plugin_t that translates the shared model
// (wrap::PluginModel): parameters in the sliders' own units (ids = VST 2.4
// indexes, then the bypass), host values taken at their frame, the model's
// state, tail and latency; the editor is the view's (ClapView).
//
// Threads: the editor's edits are made on the main thread (the effect's own
// design: its interface sets sliders) and cross to the audio thread as
// gesture records in a single-producer, single-consumer ring; process and
// flush drain it into the host's output events without allocating.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "host/clap/ClapAbi.h"
#include "host/clap/ClapEntry.h"
#include "host/wrap/PluginModel.h"

namespace clapface {

class View;

// A state larger than this is not ours (the state is a few hundred bytes).
inline constexpr std::uint64_t kMaxStateBytes = 1u << 20;

// One gesture record from the editor (main thread) to process or flush.
struct Edit {
    std::uint16_t type = 0;  // CLAP_EVENT_PARAM_GESTURE_BEGIN, _VALUE or _END
    clap_id param = 0;
    double value = 0.0;
};

// Single producer (the main thread's editor idle), single consumer (process
// or flush, which never run at once). Fixed size: the audio side never
// allocates; a full ring drops values but never a gesture's end.
class EditRing {
public:
    static constexpr std::uint32_t kSize = 4096;
    bool push(const Edit& edit, std::uint32_t keepFree = 0);
    const Edit* front() const;
    void pop();

private:
    std::array<Edit, kSize> slots{};
    std::atomic<std::uint32_t> written{0}, read{0};
};

class Plugin final : private wrap::EditReporter::Listener {
public:
    Plugin(const PluginRecord& record, const clap_host_t* host);
    ~Plugin();
    Plugin(const Plugin&) = delete;
    Plugin& operator=(const Plugin&) = delete;

    clap_plugin_t clap{};

    static Plugin* of(const clap_plugin_t* p) { return p ? static_cast<Plugin*>(p->plugin_data) : nullptr; }
    // Every call but init and destroy needs the model, which init makes.
    static Plugin* ready(const clap_plugin_t* p) {
        Plugin* self = of(p);
        return self && self->model ? self : nullptr;
    }

    // For the view, on the main thread.
    const clap_host_t* hostObject() const { return host; }
    const clap_host_timer_support_t* hostTimers() const { return timers; }
    const clap_host_posix_fd_support_t* hostFds() const { return fds; }
    const clap_host_gui_t* hostGui() const { return gui; }
    void log(clap_log_severity severity, const char* text) const;
    wrap::WrappedEffect& effect() const { return model->effect(); }
    View* view() const { return editor.get(); }
    // Where the editor's edits go: queued for the host as gestures, which
    // requestFlush announces.
    wrap::EditReporter::Listener& editListener() { return *this; }
    void requestFlush();

private:
    static bool init(const clap_plugin_t* p);
    static void destroy(const clap_plugin_t* p);
    static bool activate(const clap_plugin_t* p, double rate, std::uint32_t minFrames, std::uint32_t maxFrames);
    static void deactivate(const clap_plugin_t* p);
    static bool startProcessing(const clap_plugin_t* p);
    static void stopProcessing(const clap_plugin_t* p);
    static void reset(const clap_plugin_t* p);
    static clap_process_status process(const clap_plugin_t* p, const clap_process_t* block);
    static const void* extension(const clap_plugin_t* p, const char* id);

    static std::uint32_t paramCount(const clap_plugin_t* p);
    static bool paramInfo(const clap_plugin_t* p, std::uint32_t index, clap_param_info_t* info);
    static bool paramValue(const clap_plugin_t* p, clap_id id, double* value);
    static bool valueToText(const clap_plugin_t* p, clap_id id, double value, char* text, std::uint32_t capacity);
    static bool textToValue(const clap_plugin_t* p, clap_id id, const char* text, double* value);
    static void flush(const clap_plugin_t* p, const clap_input_events_t* in, const clap_output_events_t* out);
    static bool save(const clap_plugin_t* p, const clap_ostream_t* stream);
    static bool load(const clap_plugin_t* p, const clap_istream_t* stream);
    static bool loadPreset(const clap_plugin_t* p, std::uint32_t kind, const char* location, const char* key);
    static std::uint32_t remotePages(const clap_plugin_t* p);
    static bool remotePage(const clap_plugin_t* p, std::uint32_t index, clap_remote_controls_page_t* page);

    clap_process_status run(const clap_process_t& block);
    template <typename Sample>
    clap_process_status runEvents(const clap_process_t& block, Sample** in, Sample** out);
    // A value event as the model's change; false for what is not one of ours.
    bool changeOf(const clap_event_header_t& e, wrap::PluginModel::Change& change) const;
    void takeEvents(const clap_input_events_t* events);
    void setTransport(const clap_event_transport_t& t);
    void drainEdits(const clap_output_events_t* out);

    // EditReporter::Listener, on the main thread.
    void beginEdit(std::uint32_t p) override;
    void performEdit(std::uint32_t p, double units, double normalised) override;
    void endEdit(std::uint32_t p) override;
    bool changedByHost(std::uint32_t p) override;

    const PluginRecord& record;
    const clap_host_t* host;
    const clap_host_params_t* params = nullptr;
    const clap_host_timer_support_t* timers = nullptr;
    const clap_host_posix_fd_support_t* fds = nullptr;
    const clap_host_gui_t* gui = nullptr;
    const clap_host_log_t* logger = nullptr;

    std::unique_ptr<wrap::PluginModel> model;
    std::unique_ptr<View> editor;
    std::vector<std::uint32_t> writesSeen;
    std::array<wrap::PluginModel::Change, 512> changes{};
    EditRing ring;
};

// A new plug-in object for `host`, or null (no host, an incompatible host
// version, no memory). Nothing calls the host here.
const clap_plugin_t* createPlugin(const PluginRecord& record, const clap_host_t* host);

}  // namespace clapface
