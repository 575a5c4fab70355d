#include "host/clap/ClapPlugin.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <string>

#include "host/clap/ClapPresets.h"
#include "host/clap/ClapView.h"

namespace clapface {

namespace {

wrap::Transport transportOf(const clap_event_transport_t& t, double rate) {
    constexpr double kFixed = static_cast<double>(CLAP_BEATTIME_FACTOR);
    wrap::Transport out;
    out.sampleRate = rate;
    out.playing = (t.flags & CLAP_TRANSPORT_IS_PLAYING) != 0;
    if ((t.flags & CLAP_TRANSPORT_HAS_TEMPO) && std::isfinite(t.tempo) && t.tempo > 0) {
        out.tempo = t.tempo;
        out.tempoValid = true;
    }
    if (t.flags & CLAP_TRANSPORT_HAS_BEATS_TIMELINE) {
        out.ppqPos = static_cast<double>(t.song_pos_beats) / kFixed;
        out.barStartPos = static_cast<double>(t.bar_start) / kFixed;
        out.ppqValid = out.barsValid = true;
    }
    if (t.flags & CLAP_TRANSPORT_HAS_SECONDS_TIMELINE)
        out.samplePos = static_cast<double>(t.song_pos_seconds) / kFixed * rate;
    else if (out.ppqValid && out.tempoValid)
        out.samplePos = out.ppqPos * 60.0 / out.tempo * rate;
    if ((t.flags & CLAP_TRANSPORT_HAS_TIME_SIGNATURE) && t.tsig_num > 0 && t.tsig_denom > 0) {
        out.timeSigNumerator = t.tsig_num;
        out.timeSigDenominator = t.tsig_denom;
        out.timeSigValid = true;
    }
    if (!std::isfinite(out.samplePos) || out.samplePos < 0) out.samplePos = 0;
    return out;
}

template <typename T>
const T* hostExtension(const clap_host_t* host, const char* id) {
    return host && host->get_extension ? static_cast<const T*>(host->get_extension(host, id)) : nullptr;
}

void copyText(char* to, std::size_t capacity, const std::string& text) {
    const std::size_t n = std::min(text.size(), capacity - 1);
    std::memcpy(to, text.data(), n);
    to[n] = '\0';
}

// Zeros in every channel of every port a host handed over, from `fromPort`
// on; the constant mask says so.
void silencePorts(const clap_process_t& block, std::uint32_t fromPort) {
    for (std::uint32_t k = fromPort; k < block.audio_outputs_count && block.audio_outputs; ++k) {
        clap_audio_buffer_t& port = block.audio_outputs[k];
        wrap::PluginModel::silence(port.data32, port.channel_count, block.frames_count);
        wrap::PluginModel::silence(port.data64, port.channel_count, block.frames_count);
        port.constant_mask = port.channel_count >= 64 ? ~std::uint64_t(0) : (std::uint64_t(1) << port.channel_count) - 1;
    }
}

}  // namespace

// ---------------------------------------------------------------- edit ring

bool EditRing::push(const Edit& edit, std::uint32_t keepFree) {
    const std::uint32_t head = written.load(std::memory_order_relaxed);
    const std::uint32_t tail = read.load(std::memory_order_acquire);
    if (head - tail + keepFree >= kSize) return false;
    slots[head % kSize] = edit;
    written.store(head + 1, std::memory_order_release);
    return true;
}

const Edit* EditRing::front() const {
    const std::uint32_t tail = read.load(std::memory_order_relaxed);
    if (tail == written.load(std::memory_order_acquire)) return nullptr;
    return &slots[tail % kSize];
}

void EditRing::pop() { read.store(read.load(std::memory_order_relaxed) + 1, std::memory_order_release); }

// ---------------------------------------------------------------- lifecycle

Plugin::Plugin(const PluginRecord& record, const clap_host_t* host) : record(record), host(host) {
    clap.desc = &record.descriptor;
    clap.plugin_data = this;
    clap.init = &Plugin::init;
    clap.destroy = &Plugin::destroy;
    clap.activate = &Plugin::activate;
    clap.deactivate = &Plugin::deactivate;
    clap.start_processing = &Plugin::startProcessing;
    clap.stop_processing = &Plugin::stopProcessing;
    clap.reset = &Plugin::reset;
    clap.process = &Plugin::process;
    clap.get_extension = &Plugin::extension;
    clap.on_main_thread = [](const clap_plugin_t*) {};
}

// The view goes first: it still closes the editor through the model, with
// nothing reported (the host is destroying us).
Plugin::~Plugin() { editor.reset(); }

const clap_plugin_t* createPlugin(const PluginRecord& record, const clap_host_t* host) {
    if (!host || !clap_version_is_compatible(host->clap_version)) return nullptr;
    Plugin* plugin = new (std::nothrow) Plugin(record, host);
    return plugin ? &plugin->clap : nullptr;
}

bool Plugin::init(const clap_plugin_t* p) {
    Plugin* self = of(p);
    if (!self || self->model) return false;
    const clap_host_t* h = self->host;
    self->params = hostExtension<clap_host_params_t>(h, CLAP_EXT_PARAMS);
    self->timers = hostExtension<clap_host_timer_support_t>(h, CLAP_EXT_TIMER_SUPPORT);
    self->fds = hostExtension<clap_host_posix_fd_support_t>(h, CLAP_EXT_POSIX_FD_SUPPORT);
    self->gui = hostExtension<clap_host_gui_t>(h, CLAP_EXT_GUI);
    self->logger = hostExtension<clap_host_log_t>(h, CLAP_EXT_LOG);
    try {
        self->model = wrap::PluginModel::create(self->record.description, wrap::HostUnits::Plain);
        if (!self->model) return false;
        self->writesSeen.assign(self->model->parameterCount(), 0);
        self->editor = std::make_unique<View>(*self);
    } catch (const std::bad_alloc&) {
        self->editor.reset();
        self->model.reset();
        return false;
    }
    return true;
}

// Hosts may destroy an instance whose init never ran or failed.
void Plugin::destroy(const clap_plugin_t* p) { delete of(p); }

bool Plugin::activate(const clap_plugin_t* p, double rate, std::uint32_t, std::uint32_t maxFrames) {
    Plugin* self = ready(p);
    if (!self) return false;
    self->model->setActive(false);
    const std::int32_t block = maxFrames == 0 || maxFrames > INT32_MAX ? wrap::kDefaultBlockSize
                                                                        : static_cast<std::int32_t>(maxFrames);
    if (!self->model->setup(rate, block)) return false;
    self->model->setActive(true);
    return true;
}

void Plugin::deactivate(const clap_plugin_t* p) {
    if (Plugin* self = ready(p)) self->model->setActive(false);
}

bool Plugin::startProcessing(const clap_plugin_t* p) {
    Plugin* self = ready(p);
    if (!self || !self->model->isActive()) return false;
    self->model->setProcessing(true);
    return true;
}

void Plugin::stopProcessing(const clap_plugin_t* p) {
    if (Plugin* self = ready(p)) self->model->setProcessing(false);
}

void Plugin::reset(const clap_plugin_t* p) {
    if (Plugin* self = ready(p)) self->model->reset();
}

// ---------------------------------------------------------------- processing

clap_process_status Plugin::process(const clap_plugin_t* p, const clap_process_t* block) {
    Plugin* self = ready(p);
    if (!self || !block) return CLAP_PROCESS_ERROR;
    if (!self->model->isActive()) {
        // A host that never activated: nothing to run, but no output of its
        // is left as it was.
        silencePorts(*block, 0);
        return CLAP_PROCESS_ERROR;
    }
    return self->run(*block);
}

clap_process_status Plugin::run(const clap_process_t& block) {
    if (block.frames_count > 0) drainEdits(block.out_events);
    if (block.transport)
        setTransport(*block.transport);
    else
        model->setTransport(nullptr);

    const clap_audio_buffer_t* in = block.audio_inputs_count > 0 ? block.audio_inputs : nullptr;
    clap_audio_buffer_t* out = block.audio_outputs_count > 0 ? block.audio_outputs : nullptr;
    const auto usable = [](const clap_audio_buffer_t* b, bool wide) {
        if (!b || b->channel_count < 2) return false;
        if (wide) return b->data64 && b->data64[0] && b->data64[1];
        return b->data32 && b->data32[0] && b->data32[1];
    };
    clap_process_status status = CLAP_PROCESS_CONTINUE;
    if (usable(in, true) && usable(out, true)) {
        status = runEvents(block, in->data64, out->data64);
    } else if (usable(in, false) && usable(out, false)) {
        status = runEvents(block, in->data32, out->data32);
    } else {
        // No audio the effect can run on as one precision: zeros wherever the
        // host gave an output, and the changes still taken.
        takeEvents(block.in_events);
        silencePorts(block, 0);
        return CLAP_PROCESS_CONTINUE;
    }
    // Channels past the pair, and other ports, are not the effect's.
    for (std::uint32_t c = 2; c < out->channel_count; ++c) {
        if (out->data32 && out->data32[c]) wrap::PluginModel::silence(out->data32 + c, 1, block.frames_count);
        if (out->data64 && out->data64[c]) wrap::PluginModel::silence(out->data64 + c, 1, block.frames_count);
        if (c < 64) out->constant_mask |= std::uint64_t(1) << c;
    }
    silencePorts(block, 1);
    return status;
}

// The block in pieces: parameter changes go to the model, which applies each
// at its frame; a transport change mid-block ends a piece, as does a full
// change list.
template <typename Sample>
clap_process_status Plugin::runEvents(const clap_process_t& block, Sample** in, Sample** out) {
    const std::uint32_t frames = block.frames_count;
    const clap_input_events_t* events = block.in_events;
    const std::uint32_t n = events && events->size && events->get ? events->size(events) : 0;
    std::uint32_t next = 0, start = 0;
    std::uint64_t silent = 3;
    bool tailDone = false;
    for (;;) {
        std::size_t count = 0;
        std::uint32_t end = frames;
        for (; next < n; ++next) {
            const clap_event_header_t* e = events->get(events, next);
            if (!e || e->space_id != CLAP_CORE_EVENT_SPACE_ID) continue;
            const std::uint32_t at = std::clamp(e->time, start, frames);
            if (e->type == CLAP_EVENT_PARAM_VALUE) {
                if (count == changes.size()) {
                    end = at;
                    break;
                }
                wrap::PluginModel::Change change;
                if (!changeOf(*e, change)) continue;
                change.frame = at - start;
                changes[count++] = change;
            } else if (e->type == CLAP_EVENT_TRANSPORT && e->size >= sizeof(clap_event_transport_t)) {
                if (at > start) {
                    end = at;
                    break;
                }
                setTransport(*reinterpret_cast<const clap_event_transport_t*>(e));
            }
        }
        Sample* inPiece[2] = {in[0] + start, in[1] + start};
        Sample* outPiece[2] = {out[0] + start, out[1] + start};
        const wrap::PluginModel::BlockResult result =
            model->process(inPiece, outPiece, end - start, changes.data(), count);
        silent &= result.silentOutputs;
        tailDone = result.tailDone;
        start = end;
        if (next >= n && end == frames) break;
    }
    block.audio_outputs[0].constant_mask = silent;
    // Once the input has been silent for the whole tail, nothing comes out
    // until something goes in: the host may let the plug-in sleep.
    return tailDone ? CLAP_PROCESS_SLEEP : CLAP_PROCESS_CONTINUE;
}

bool Plugin::changeOf(const clap_event_header_t& e, wrap::PluginModel::Change& change) const {
    if (e.size < sizeof(clap_event_param_value_t)) return false;
    const auto& v = reinterpret_cast<const clap_event_param_value_t&>(e);
    if (!model->isParameter(v.param_id) || !std::isfinite(v.value)) return false;
    change.id = v.param_id;
    change.value = v.value;
    return true;
}

void Plugin::takeEvents(const clap_input_events_t* events) {
    const std::uint32_t n = events && events->size && events->get ? events->size(events) : 0;
    for (std::uint32_t i = 0; i < n; ++i) {
        const clap_event_header_t* e = events->get(events, i);
        wrap::PluginModel::Change change;
        if (e && e->space_id == CLAP_CORE_EVENT_SPACE_ID && e->type == CLAP_EVENT_PARAM_VALUE && changeOf(*e, change))
            model->take(&change, 1);
    }
}

void Plugin::setTransport(const clap_event_transport_t& t) {
    const wrap::Transport transport = transportOf(t, model->sampleRate());
    model->setTransport(&transport);
}

void Plugin::drainEdits(const clap_output_events_t* out) {
    if (!out || !out->try_push) return;
    while (const Edit* edit = ring.front()) {
        bool taken;
        if (edit->type == CLAP_EVENT_PARAM_VALUE) {
            clap_event_param_value_t v{};
            v.header = {sizeof v, 0, CLAP_CORE_EVENT_SPACE_ID, CLAP_EVENT_PARAM_VALUE, CLAP_EVENT_IS_LIVE};
            v.param_id = edit->param;
            v.note_id = -1;
            v.port_index = v.channel = v.key = -1;
            v.value = edit->value;
            taken = out->try_push(out, &v.header);
        } else {
            clap_event_param_gesture_t g{};
            g.header = {sizeof g, 0, CLAP_CORE_EVENT_SPACE_ID, edit->type, CLAP_EVENT_IS_LIVE};
            g.param_id = edit->param;
            taken = out->try_push(out, &g.header);
        }
        if (!taken) return;
        ring.pop();
    }
}

// ---------------------------------------------------------------- parameters

std::uint32_t Plugin::paramCount(const clap_plugin_t* p) {
    Plugin* self = ready(p);
    return self ? self->model->parameterCount() : 0;
}

bool Plugin::paramInfo(const clap_plugin_t* p, std::uint32_t index, clap_param_info_t* info) {
    Plugin* self = ready(p);
    const wrap::Parameter* parameter = self && info ? self->model->parameter(index) : nullptr;
    if (!parameter) return false;
    *info = clap_param_info_t{};
    info->id = parameter->id;
    // Continuous sliders (CLAP's stepped means whole numbers, which hosts
    // truncate to); the bypass is the one switch.
    info->flags = CLAP_PARAM_IS_AUTOMATABLE;
    if (parameter->bypass) info->flags |= CLAP_PARAM_IS_BYPASS | CLAP_PARAM_IS_STEPPED;
    copyText(info->name, sizeof info->name, parameter->name);
    info->min_value = parameter->minimum;
    info->max_value = parameter->maximum;
    info->default_value = parameter->defaultValue;
    return true;
}

bool Plugin::paramValue(const clap_plugin_t* p, clap_id id, double* value) {
    Plugin* self = ready(p);
    if (!self || !value || !self->model->isParameter(id)) return false;
    *value = self->model->hostValue(id);
    return true;
}

bool Plugin::valueToText(const clap_plugin_t* p, clap_id id, double value, char* text, std::uint32_t capacity) {
    Plugin* self = ready(p);
    if (!self || !text || capacity == 0 || !self->model->isParameter(id) || !std::isfinite(value)) return false;
    try {
        copyText(text, capacity, self->model->text(id, value));
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

bool Plugin::textToValue(const clap_plugin_t* p, clap_id id, const char* text, double* value) {
    Plugin* self = ready(p);
    if (!self || !text || !value || !self->model->isParameter(id)) return false;
    try {
        return self->model->parse(id, text, *value);
    } catch (const std::bad_alloc&) {
        return false;
    }
}

void Plugin::flush(const clap_plugin_t* p, const clap_input_events_t* in, const clap_output_events_t* out) {
    Plugin* self = ready(p);
    if (!self) return;
    self->takeEvents(in);
    self->drainEdits(out);
}

// ---------------------------------------------------------------- state

bool Plugin::save(const clap_plugin_t* p, const clap_ostream_t* stream) {
    Plugin* self = ready(p);
    if (!self || !stream || !stream->write) return false;
    try {
        const std::vector<std::uint8_t> state = self->model->saveState();
        if (state.empty()) return false;
        std::uint64_t done = 0;
        while (done < state.size()) {
            const std::int64_t n = stream->write(stream, state.data() + done, state.size() - done);
            if (n <= 0 || static_cast<std::uint64_t>(n) > state.size() - done) return false;
            done += static_cast<std::uint64_t>(n);
        }
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

bool Plugin::load(const clap_plugin_t* p, const clap_istream_t* stream) {
    Plugin* self = ready(p);
    if (!self || !stream || !stream->read) return false;
    std::vector<std::uint8_t> state;
    try {
        std::uint8_t buffer[4096];
        for (;;) {
            const std::int64_t n = stream->read(stream, buffer, sizeof buffer);
            if (n == 0) break;
            if (n < 0 || static_cast<std::uint64_t>(n) > sizeof buffer) return false;
            if (state.size() + static_cast<std::uint64_t>(n) > kMaxStateBytes) return false;
            state.insert(state.end(), buffer, buffer + n);
        }
    } catch (const std::bad_alloc&) {
        return false;
    }
    if (!self->model->loadState(state.data(), state.size())) return false;
    if (self->params && self->params->rescan) self->params->rescan(self->host, CLAP_PARAM_RESCAN_VALUES);
    return true;
}

// ---------------------------------------------------------------- presets

// A factory preset the host found through preset discovery, loaded as a
// state is: the table's exact values, the host told of the new values.
bool Plugin::loadPreset(const clap_plugin_t* p, std::uint32_t kind, const char* location, const char* key) {
    Plugin* self = ready(p);
    if (!self || !self->record.presets) return false;
    const auto* host = hostExtension<clap_host_preset_load_t>(self->host, CLAP_EXT_PRESET_LOAD);
    if (!host) host = hostExtension<clap_host_preset_load_t>(self->host, CLAP_EXT_PRESET_LOAD_COMPAT);
    const std::int32_t index = findPreset(*self->record.presets, kind, location, key);
    if (index < 0 || !applyPreset(*self->record.presets, index, *self->model)) {
        if (host && host->on_error) host->on_error(self->host, kind, location, key, 0, "no such factory preset");
        return false;
    }
    if (self->params && self->params->rescan) self->params->rescan(self->host, CLAP_PARAM_RESCAN_VALUES);
    if (host && host->loaded) host->loaded(self->host, kind, location, key);
    return true;
}

// ---------------------------------------------------------------- remote controls

// One page with the six controls, for controller surfaces.
std::uint32_t Plugin::remotePages(const clap_plugin_t* p) { return ready(p) ? 1 : 0; }

bool Plugin::remotePage(const clap_plugin_t* p, std::uint32_t index, clap_remote_controls_page_t* page) {
    Plugin* self = ready(p);
    if (!self || !page || index != 0) return false;
    *page = clap_remote_controls_page_t{};
    copyText(page->section_name, sizeof page->section_name, "Tone arm and stylus");
    page->page_id = 0;
    copyText(page->page_name, sizeof page->page_name, "Controls");
    for (std::uint32_t k = 0; k < CLAP_REMOTE_CONTROLS_COUNT; ++k)
        page->param_ids[k] = k < self->model->sliderCount() ? k : CLAP_INVALID_ID;
    page->is_for_preset = false;
    return true;
}

// ---------------------------------------------------------------- editor edits

void Plugin::log(clap_log_severity severity, const char* text) const {
    if (logger && logger->log) logger->log(host, severity, text);
}

void Plugin::requestFlush() {
    if (params && params->request_flush)
        params->request_flush(host);
    else if (host && host->request_process)
        host->request_process(host);
}

void Plugin::beginEdit(std::uint32_t p) { ring.push({CLAP_EVENT_PARAM_GESTURE_BEGIN, p, 0.0}, 1); }

void Plugin::performEdit(std::uint32_t p, double units, double) {
    model->noteReported(p);
    ring.push({CLAP_EVENT_PARAM_VALUE, p, units}, 1);
}

void Plugin::endEdit(std::uint32_t p) { ring.push({CLAP_EVENT_PARAM_GESTURE_END, p, 0.0}); }

bool Plugin::changedByHost(std::uint32_t p) {
    const std::uint32_t writes = model->hostWrites(p);
    const bool changed = writes != writesSeen[p];
    writesSeen[p] = writes;
    return changed;
}

// ---------------------------------------------------------------- extensions

const void* Plugin::extension(const clap_plugin_t* p, const char* id) {
    static const clap_plugin_audio_ports_t audioPorts{
        [](const clap_plugin_t*, bool) -> std::uint32_t { return 1; },
        [](const clap_plugin_t*, std::uint32_t index, bool isInput, clap_audio_port_info_t* info) {
            if (index != 0 || !info) return false;
            *info = clap_audio_port_info_t{};
            info->id = 0;
            std::strcpy(info->name, isInput ? "Input" : "Output");
            // One precision for both directions: the effect runs one block in one.
            info->flags =
                CLAP_AUDIO_PORT_IS_MAIN | CLAP_AUDIO_PORT_SUPPORTS_64BITS | CLAP_AUDIO_PORT_REQUIRES_COMMON_SAMPLE_SIZE;
            info->channel_count = 2;
            info->port_type = CLAP_PORT_STEREO;
            // The model copies an input that shares an output's memory.
            info->in_place_pair = 0;
            return true;
        }};
    static const clap_plugin_params_t paramsTable{&paramCount, &paramInfo,   &paramValue,
                                                  &valueToText, &textToValue, &flush};
    static const clap_plugin_state_t state{&save, &load};
    static const clap_plugin_latency_t latency{[](const clap_plugin_t* q) -> std::uint32_t {
        Plugin* self = ready(q);
        return self ? self->model->latencyFrames() : 0;
    }};
    static const clap_plugin_tail_t tail{[](const clap_plugin_t* q) -> std::uint32_t {
        Plugin* self = ready(q);
        return self ? self->model->tailFrames() : 0;
    }};
    static const clap_plugin_remote_controls_t remote{&remotePages, &remotePage};
    static const clap_plugin_preset_load_t presetLoad{&loadPreset};
    if (!of(p) || !id) return nullptr;
    const auto is = [id](const char* name) { return std::strcmp(id, name) == 0; };
    if (is(CLAP_EXT_AUDIO_PORTS)) return &audioPorts;
    if (is(CLAP_EXT_PARAMS)) return &paramsTable;
    if (is(CLAP_EXT_STATE)) return &state;
    if (is(CLAP_EXT_GUI)) return View::guiExtension();
    if (is(CLAP_EXT_LATENCY)) return &latency;
    if (is(CLAP_EXT_TAIL)) return &tail;
    if (is(CLAP_EXT_REMOTE_CONTROLS) || is(CLAP_EXT_REMOTE_CONTROLS_COMPAT)) return &remote;
    if ((is(CLAP_EXT_PRESET_LOAD) || is(CLAP_EXT_PRESET_LOAD_COMPAT)) && of(p)->record.presets) return &presetLoad;
#if !defined(_WIN32)
    if (is(CLAP_EXT_TIMER_SUPPORT)) return View::timerExtension();
    if (is(CLAP_EXT_POSIX_FD_SUPPORT)) return View::fdExtension();
#endif
    return nullptr;
}

}  // namespace clapface
