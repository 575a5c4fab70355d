#include "host/clap/ClapPlugin.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <bit>
#include <cmath>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <vector>

namespace clapface {

namespace {

#if defined(_WIN32)
constexpr const char* kWindowApi = CLAP_WINDOW_API_WIN32;
#else
constexpr const char* kWindowApi = CLAP_WINDOW_API_X11;
#endif

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

    bool push(const Edit& edit, std::uint32_t keepFree = 0) {
        const std::uint32_t head = written.load(std::memory_order_relaxed);
        const std::uint32_t tail = read.load(std::memory_order_acquire);
        if (head - tail + keepFree >= kSize) return false;
        slots[head % kSize] = edit;
        written.store(head + 1, std::memory_order_release);
        return true;
    }
    const Edit* front() const {
        const std::uint32_t tail = read.load(std::memory_order_relaxed);
        if (tail == written.load(std::memory_order_acquire)) return nullptr;
        return &slots[tail % kSize];
    }
    void pop() { read.store(read.load(std::memory_order_relaxed) + 1, std::memory_order_release); }

private:
    std::array<Edit, kSize> slots{};
    std::atomic<std::uint32_t> written{0}, read{0};
};

bool sameBits(double a, double b) { return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b); }

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

class Plugin final : private wrap::EditReporter::Listener, private wrap::EditorHost::Face {
public:
    Plugin(const PluginRecord& record, const clap_host_t* host) : record(record), host(host) {
        clap.desc = &record.descriptor;
        clap.plugin_data = this;
        clap.init = &Plugin::init;
        clap.destroy = &Plugin::destroy;
        clap.activate = &Plugin::activate;
        clap.deactivate = &Plugin::deactivate;
        clap.start_processing = [](const clap_plugin_t*) { return true; };
        clap.stop_processing = [](const clap_plugin_t*) {};
        clap.reset = &Plugin::reset;
        clap.process = &Plugin::process;
        clap.get_extension = &Plugin::extension;
        clap.on_main_thread = [](const clap_plugin_t*) {};
    }
    // The editor closes with nothing reported: the host is destroying us.
    ~Plugin() {
        if (core) core->editor().close(*this, false);
    }

    clap_plugin_t clap{};

    static Plugin* of(const clap_plugin_t* p) { return p ? static_cast<Plugin*>(p->plugin_data) : nullptr; }
    // Every call but init and destroy needs the effect, which init makes.
    static Plugin* ready(const clap_plugin_t* p) {
        Plugin* self = of(p);
        return self && self->core ? self : nullptr;
    }

    // ------------------------------------------------------------ lifecycle

    static bool init(const clap_plugin_t* p) {
        Plugin* self = of(p);
        if (!self || self->core) return false;
        const clap_host_t* h = self->host;
        self->hostParams = hostExtension<clap_host_params_t>(h, CLAP_EXT_PARAMS);
        self->hostTimers = hostExtension<clap_host_timer_support_t>(h, CLAP_EXT_TIMER_SUPPORT);
        self->hostFds = hostExtension<clap_host_posix_fd_support_t>(h, CLAP_EXT_POSIX_FD_SUPPORT);
        self->hostGui = hostExtension<clap_host_gui_t>(h, CLAP_EXT_GUI);
        self->hostLog = hostExtension<clap_host_log_t>(h, CLAP_EXT_LOG);
        try {
            self->core = wrap::WrappedEffect::create(self->record.factory, 44100.0);
            if (!self->core) return false;
            for (std::uint32_t i = 0; i < self->core->parameters(); ++i)
                self->infos.push_back(self->core->parameterInfo(i));
            self->batchValue.assign(self->core->parameters(), 0.0);
            self->batchHas.assign(self->core->parameters(), false);
            self->hostSets = std::make_unique<std::atomic<std::uint32_t>[]>(self->core->parameters());
            self->hostSetsSeen.assign(self->core->parameters(), 0);
        } catch (const std::bad_alloc&) {
            self->core.reset();
            return false;
        }
        return true;
    }

    // Hosts may destroy an instance whose init never ran or failed.
    static void destroy(const clap_plugin_t* p) { delete of(p); }

    static bool activate(const clap_plugin_t* p, double rate, std::uint32_t minFrames, std::uint32_t maxFrames) {
        Plugin* self = ready(p);
        if (!self || !std::isfinite(rate) || rate <= 0) return false;
        (void)minFrames;
        const std::int32_t block = maxFrames == 0 || maxFrames > INT32_MAX ? wrap::kDefaultBlockSize
                                                                            : static_cast<std::int32_t>(maxFrames);
        self->core->setActive(false);
        self->core->setSampleRate(rate);
        self->core->setBlockSize(block);
        self->rate = rate;
        self->core->setActive(true);
        return true;
    }

    static void deactivate(const clap_plugin_t* p) {
        if (Plugin* self = ready(p)) self->core->setActive(false);
    }

    // A VST 2.4 host clears an effect by switching it off and on.
    static void reset(const clap_plugin_t* p) {
        Plugin* self = ready(p);
        if (!self || !self->core->isActive()) return;
        self->core->setActive(false);
        self->core->setActive(true);
    }

    // ------------------------------------------------------------ processing

    static clap_process_status process(const clap_plugin_t* p, const clap_process_t* block) {
        Plugin* self = ready(p);
        if (!self || !block) return CLAP_PROCESS_ERROR;
        return self->run(*block);
    }

    clap_process_status run(const clap_process_t& block) {
        const std::uint32_t frames = block.frames_count;
        if (frames > 0) drainEdits(block.out_events);
        if (block.transport)
            setTransport(*block.transport);
        else
            core->setTransport(nullptr);

        const clap_audio_buffer_t* in = block.audio_inputs_count > 0 ? block.audio_inputs : nullptr;
        clap_audio_buffer_t* out = block.audio_outputs_count > 0 ? block.audio_outputs : nullptr;
        const auto usable = [](const clap_audio_buffer_t* b, bool wide) {
            if (!b || b->channel_count < 2) return false;
            if (wide) return b->data64 && b->data64[0] && b->data64[1];
            return b->data32 && b->data32[0] && b->data32[1];
        };
        if (usable(in, true) && usable(out, true)) {
            runEvents(block, in->data64, out->data64, frames);
        } else if (usable(in, false) && usable(out, false)) {
            runEvents(block, in->data32, out->data32, frames);
        } else {
            // No audio we can read or write as one precision: silence where
            // we can write, and the changes still taken.
            if (out && out->data32)
                for (std::uint32_t c = 0; c < out->channel_count; ++c)
                    if (out->data32[c]) std::fill_n(out->data32[c], frames, 0.0f);
            if (out && !out->data32 && out->data64)
                for (std::uint32_t c = 0; c < out->channel_count; ++c)
                    if (out->data64[c]) std::fill_n(out->data64[c], frames, 0.0);
            takeEvents(block.in_events);
        }
        return CLAP_PROCESS_CONTINUE;
    }

    // The block in pieces: parameter changes go to the core, which applies
    // each at its frame; a transport change mid-block ends a piece, as does a
    // full change list.
    template <typename Sample>
    void runEvents(const clap_process_t& block, Sample** in, Sample** out, std::uint32_t frames) {
        const clap_input_events_t* events = block.in_events;
        const std::uint32_t n = events && events->size && events->get ? events->size(events) : 0;
        std::uint32_t next = 0, start = 0;
        for (;;) {
            std::size_t count = 0;
            std::uint32_t end = frames;
            std::fill(batchHas.begin(), batchHas.end(), false);
            for (; next < n; ++next) {
                const clap_event_header_t* e = events->get(events, next);
                if (!e || e->space_id != CLAP_CORE_EVENT_SPACE_ID) continue;
                const std::uint32_t at = std::clamp(e->time, start, frames);
                if (e->type == CLAP_EVENT_PARAM_VALUE) {
                    wrap::ParameterChange change;
                    if (count == changes.size()) {
                        end = at;
                        break;
                    }
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
            core->process(inPiece, outPiece, end - start, changes.data(), count);
            // Counted again once applied: an editor idle that ran between the
            // listing and the processing still sees the host's hand in it.
            for (std::size_t i = 0; i < batchHas.size(); ++i)
                if (batchHas[i]) hostSets[i].fetch_add(1, std::memory_order_release);
            start = end;
            if (next >= n && end == frames) break;
        }
    }

    // A host value in the slider's units, kept inside the slider's range. A
    // value the slider holds already (the host echoing what the editor set
    // off the step grid) changes nothing.
    // Within one list of changes the value to compare with is the last one
    // listed for that parameter.
    bool changeOf(const clap_event_header_t& e, wrap::ParameterChange& change, bool listed = true) {
        if (e.size < sizeof(clap_event_param_value_t)) return false;
        const auto& v = reinterpret_cast<const clap_event_param_value_t&>(e);
        if (v.param_id >= core->parameters() || !std::isfinite(v.value)) return false;
        const wrap::WrappedEffect::ParameterInfo& info = infos[v.param_id];
        change.parameter = v.param_id;
        change.value = std::clamp(v.value, info.minimum, info.maximum);
        const double now = listed && batchHas[v.param_id] ? batchValue[v.param_id] : core->value(v.param_id);
        if (sameBits(change.value, now)) return false;
        hostSets[v.param_id].fetch_add(1, std::memory_order_release);
        if (listed) {
            batchHas[v.param_id] = true;
            batchValue[v.param_id] = change.value;
        }
        return true;
    }

    void takeEvents(const clap_input_events_t* events) {
        const std::uint32_t n = events && events->size && events->get ? events->size(events) : 0;
        for (std::uint32_t i = 0; i < n; ++i) {
            const clap_event_header_t* e = events->get(events, i);
            wrap::ParameterChange change;
            if (e && e->space_id == CLAP_CORE_EVENT_SPACE_ID && e->type == CLAP_EVENT_PARAM_VALUE &&
                changeOf(*e, change, false))
                core->setValue(change.parameter, change.value);
        }
    }

    void setTransport(const clap_event_transport_t& t) {
        const wrap::Transport transport = transportOf(t, rate);
        core->setTransport(&transport);
    }

    // The editor's gesture records become the host's events. A record the
    // host refuses stays for the next call.
    void drainEdits(const clap_output_events_t* out) {
        if (!out || !out->try_push) return;
        while (const Edit* edit = ring.front()) {
            bool pushed;
            if (edit->type == CLAP_EVENT_PARAM_VALUE) {
                clap_event_param_value_t v{};
                v.header = {sizeof v, 0, CLAP_CORE_EVENT_SPACE_ID, CLAP_EVENT_PARAM_VALUE, CLAP_EVENT_IS_LIVE};
                v.param_id = edit->param;
                v.note_id = -1;
                v.port_index = v.channel = v.key = -1;
                v.value = edit->value;
                pushed = out->try_push(out, &v.header);
            } else {
                clap_event_param_gesture_t g{};
                g.header = {sizeof g, 0, CLAP_CORE_EVENT_SPACE_ID, edit->type, CLAP_EVENT_IS_LIVE};
                g.param_id = edit->param;
                pushed = out->try_push(out, &g.header);
            }
            if (!pushed) return;
            ring.pop();
        }
    }

    // ------------------------------------------------------------ parameters

    static std::uint32_t paramCount(const clap_plugin_t* p) {
        Plugin* self = ready(p);
        return self ? self->core->parameters() : 0;
    }

    static bool paramInfo(const clap_plugin_t* p, std::uint32_t index, clap_param_info_t* info) {
        Plugin* self = ready(p);
        if (!self || !info || index >= self->core->parameters()) return false;
        const wrap::WrappedEffect::ParameterInfo& slider = self->infos[index];
        *info = clap_param_info_t{};
        info->id = index;
        // Not stepped: the sliders move in steps of 0.001 or 0.01, and a CLAP
        // stepped parameter is an integer one, which hosts truncate.
        info->flags = CLAP_PARAM_IS_AUTOMATABLE;
        copyText(info->name, sizeof info->name, slider.name);
        info->min_value = slider.minimum;
        info->max_value = slider.maximum;
        info->default_value = slider.defaultValue;
        return true;
    }

    static bool paramValue(const clap_plugin_t* p, clap_id id, double* value) {
        Plugin* self = ready(p);
        if (!self || !value || id >= self->core->parameters()) return false;
        const double v = self->core->value(id);
        if (!std::isfinite(v)) return false;
        *value = v;
        return true;
    }

    static bool valueToText(const clap_plugin_t* p, clap_id id, double value, char* text, std::uint32_t capacity) {
        Plugin* self = ready(p);
        if (!self || !text || capacity == 0 || id >= self->core->parameters() || !std::isfinite(value)) return false;
        copyText(text, capacity, self->core->displayTextAt(id, value));
        return true;
    }

    static bool textToValue(const clap_plugin_t* p, clap_id id, const char* text, double* value) {
        Plugin* self = ready(p);
        if (!self || !text || !value || id >= self->core->parameters()) return false;
        double units = 0;
        if (!self->core->parseText(id, text, units) || !std::isfinite(units)) return false;
        *value = units;
        return true;
    }

    static void flush(const clap_plugin_t* p, const clap_input_events_t* in, const clap_output_events_t* out) {
        Plugin* self = ready(p);
        if (!self) return;
        self->takeEvents(in);
        self->drainEdits(out);
    }

    // ------------------------------------------------------------ state

    static bool save(const clap_plugin_t* p, const clap_ostream_t* stream) {
        Plugin* self = ready(p);
        if (!self || !stream || !stream->write) return false;
        try {
            std::vector<std::uint8_t> blob = self->core->saveChunk();
            if (blob.empty()) return false;
            const std::uint32_t count = self->core->parameters();
            for (std::uint32_t i = 0; i < count; ++i) append(blob, self->core->value(i));
            append(blob, count);
            blob.insert(blob.end(), std::begin(kExactValuesTag), std::end(kExactValuesTag));
            std::uint64_t done = 0;
            while (done < blob.size()) {
                const std::int64_t n = stream->write(stream, blob.data() + done, blob.size() - done);
                if (n <= 0 || static_cast<std::uint64_t>(n) > blob.size() - done) return false;
                done += static_cast<std::uint64_t>(n);
            }
            return true;
        } catch (const std::bad_alloc&) {
            return false;
        }
    }

    static bool load(const clap_plugin_t* p, const clap_istream_t* stream) {
        Plugin* self = ready(p);
        if (!self || !stream || !stream->read) return false;
        std::vector<std::uint8_t> blob;
        try {
            std::uint8_t buffer[4096];
            for (;;) {
                const std::int64_t n = stream->read(stream, buffer, sizeof buffer);
                if (n == 0) break;
                if (n < 0 || static_cast<std::uint64_t>(n) > sizeof buffer) return false;
                if (blob.size() + static_cast<std::uint64_t>(n) > kMaxStateBytes) return false;
                blob.insert(blob.end(), buffer, buffer + n);
            }
        } catch (const std::bad_alloc&) {
            return false;
        }
        if (!self->restore(blob)) return false;
        if (self->hostParams && self->hostParams->rescan) self->hostParams->rescan(self->host, CLAP_PARAM_RESCAN_VALUES);
        return true;
    }

    // The chunk, then the exact values when a CLAP save put them behind it
    // and they are the chunk's values (each rounds to the float it holds).
    // A chunk from another face is read as it is.
    bool restore(const std::vector<std::uint8_t>& blob) {
        const std::uint32_t count = core->parameters();
        std::size_t chunkSize = blob.size();
        const std::size_t trailer = sizeof kExactValuesTag + sizeof(std::uint32_t) + count * sizeof(double);
        const double* exact = nullptr;
        std::vector<double> values(count);
        if (blob.size() > trailer &&
            std::memcmp(blob.data() + blob.size() - sizeof kExactValuesTag, kExactValuesTag, sizeof kExactValuesTag) ==
                0) {
            std::uint32_t stored = 0;
            std::memcpy(&stored, blob.data() + blob.size() - sizeof kExactValuesTag - sizeof stored, sizeof stored);
            if (stored == count) {
                chunkSize = blob.size() - trailer;
                std::memcpy(values.data(), blob.data() + chunkSize, count * sizeof(double));
                exact = values.data();
            }
        }
        // The chunk rules: a chunk without the effect's marker restores
        // nothing, which a CLAP host must hear as a failed load.
        float marker = 0;
        if (chunkSize < sizeof marker) return false;
        std::memcpy(&marker, blob.data(), sizeof marker);
        if (marker != kChunkMarker) return false;
        if (!core->restoreChunk(blob.data(), chunkSize)) return false;
        if (exact)
            for (std::uint32_t i = 0; i < count; ++i)
                if (std::isfinite(exact[i]) &&
                    std::bit_cast<std::uint32_t>(static_cast<float>(exact[i])) ==
                        std::bit_cast<std::uint32_t>(static_cast<float>(core->value(i))))
                    core->restoreValue(i, exact[i]);
        return true;
    }

    // ------------------------------------------------------------ editor

    static bool apiSupported(const clap_plugin_t*, const char* api, bool floating) {
        return !floating && api && std::strcmp(api, kWindowApi) == 0;
    }

    static bool preferredApi(const clap_plugin_t*, const char** api, bool* floating) {
        if (!api || !floating) return false;
        *api = kWindowApi;
        *floating = false;
        return true;
    }

    static bool guiCreate(const clap_plugin_t* p, const char* api, bool floating) {
        Plugin* self = ready(p);
        if (!self || !apiSupported(p, api, floating) || self->guiCreated) return false;
#if !defined(_WIN32)
        // Nothing else would run the editor's idle on Linux, and no thread
        // of ours may touch the effect: without the host's timers the editor
        // is not offered, and the host shows its own controls.
        if (!self->hostTimers || !self->hostTimers->register_timer || !self->hostTimers->unregister_timer) {
            self->log(CLAP_LOG_WARNING, "no clap.timer-support from the host: the editor cannot run");
            return false;
        }
#endif
        self->guiCreated = true;
        return true;
    }

    static void guiDestroy(const clap_plugin_t* p) {
        Plugin* self = ready(p);
        if (!self) return;
        self->core->editor().close(*self);
        self->guiCreated = false;
    }

    static bool guiSize(const clap_plugin_t* p, std::uint32_t* width, std::uint32_t* height) {
        Plugin* self = ready(p);
        if (!self || !width || !height) return false;
        const editor_scale::Size size = self->core->editor().size(*self);
        *width = static_cast<std::uint32_t>(size.width);
        *height = static_cast<std::uint32_t>(size.height);
        return true;
    }

    static bool guiResizeHints(const clap_plugin_t* p, clap_gui_resize_hints_t* hints) {
        Plugin* self = ready(p);
        if (!self || !hints) return false;
        const editor_scale::Size layout = self->core->editor().layout();
        *hints = {true, true, true, static_cast<std::uint32_t>(layout.width), static_cast<std::uint32_t>(layout.height)};
        return true;
    }

    static bool guiAdjustSize(const clap_plugin_t* p, std::uint32_t* width, std::uint32_t* height) {
        Plugin* self = ready(p);
        if (!self || !width || !height) return false;
        const editor_scale::Size fitted = self->core->editor().fit(*width, *height);
        *width = static_cast<std::uint32_t>(fitted.width);
        *height = static_cast<std::uint32_t>(fitted.height);
        return true;
    }

    static bool guiSetSize(const clap_plugin_t* p, std::uint32_t width, std::uint32_t height) {
        Plugin* self = ready(p);
        return self && self->core->editor().setSize(*self, width, height);
    }

    static bool guiSetParent(const clap_plugin_t* p, const clap_window_t* window) {
        Plugin* self = ready(p);
        if (!self || !self->guiCreated || !window || !apiSupported(p, window->api, false)) return false;
#if defined(_WIN32)
        void* parent = window->win32;
#else
        void* parent = reinterpret_cast<void*>(static_cast<std::uintptr_t>(window->x11));
#endif
        if (!self->core->editor().open(*self, *self, parent)) return false;
        // The first frame is in the parent when this returns.
        self->core->editor().idle(*self);
        return true;
    }

    // x11 and win32 count physical pixels: the host's scale replaces the
    // screen's (it never multiplies it); the user's choice still wins.
    static bool guiSetScale(const clap_plugin_t* p, double scale) {
        Plugin* self = ready(p);
        return self && self->core->editor().setScale(*self, scale);
    }

    static bool guiShow(const clap_plugin_t* p, bool shown) {
        Plugin* self = ready(p);
        return self && self->guiCreated && self->core->editor().show(*self, shown);
    }

    static void onTimer(const clap_plugin_t* p, clap_id id) {
        Plugin* self = ready(p);
        if (self && id == self->timerId) self->core->editor().idle(*self);
    }

    static void onFd(const clap_plugin_t* p, int fd, clap_posix_fd_flags_t) {
        Plugin* self = ready(p);
        if (self && fd == self->watchedFd) self->core->editor().idle(*self);
    }

    // ------------------------------------------------------------ extensions

    static std::uint32_t tail(const clap_plugin_t* p) {
        Plugin* self = of(p);
        return self ? self->record.tailFrames : 0;
    }

    static const void* extension(const clap_plugin_t* p, const char* id);

private:
    static constexpr float kChunkMarker = -1000.0f;

    // EditReporter::Listener, on the main thread.
    void beginEdit(std::uint32_t p) override { ring.push({CLAP_EVENT_PARAM_GESTURE_BEGIN, p, 0.0}, 1); }
    void performEdit(std::uint32_t p, double units, double) override { ring.push({CLAP_EVENT_PARAM_VALUE, p, units}, 1); }
    void endEdit(std::uint32_t p) override { ring.push({CLAP_EVENT_PARAM_GESTURE_END, p, 0.0}); }
    bool changedByHost(std::uint32_t p) override {
        const std::uint32_t sets = hostSets[p].load(std::memory_order_acquire);
        const bool changed = sets != hostSetsSeen[p];
        hostSetsSeen[p] = sets;
        return changed;
    }

    // EditorHost::Face, on the main thread: the host's timer and fd support,
    // its gui's request_resize; edits are announced for the next flush.
    bool startTimer(std::uint32_t milliseconds) override {
        if (!hostTimers || !hostTimers->register_timer(host, milliseconds, &timerId)) {
            timerId = CLAP_INVALID_ID;
            return false;
        }
        return true;
    }
    void stopTimer() override {
        if (timerId != CLAP_INVALID_ID) hostTimers->unregister_timer(host, timerId);
        timerId = CLAP_INVALID_ID;
    }
    // The X connection's events wake the host's loop at once; the timer
    // paces the frames and pumps when the host has no fd support.
    bool watchDescriptor(int fd) override {
        if (!hostFds || !hostFds->register_fd || !hostFds->unregister_fd ||
            !hostFds->register_fd(host, fd, CLAP_POSIX_FD_READ | CLAP_POSIX_FD_ERROR))
            return false;
        watchedFd = fd;
        return true;
    }
    void unwatchDescriptor(int fd) override {
        hostFds->unregister_fd(host, fd);
        watchedFd = -1;
    }
    bool requestSize(std::uint32_t width, std::uint32_t height) override {
        return !hostGui || !hostGui->request_resize || hostGui->request_resize(host, width, height);
    }
    void editsReported() override { requestFlush(); }

    void requestFlush() {
        if (hostParams && hostParams->request_flush)
            hostParams->request_flush(host);
        else if (host && host->request_process)
            host->request_process(host);
    }

    void log(clap_log_severity severity, const char* text) const {
        if (hostLog && hostLog->log) hostLog->log(host, severity, text);
    }

    static void copyText(char* to, std::size_t capacity, const std::string& text) {
        const std::size_t n = std::min(text.size(), capacity - 1);
        std::memcpy(to, text.data(), n);
        to[n] = '\0';
    }

    template <typename T>
    static void append(std::vector<std::uint8_t>& blob, T value) {
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(&value);
        blob.insert(blob.end(), bytes, bytes + sizeof value);
    }

    const PluginRecord& record;
    const clap_host_t* host;
    const clap_host_params_t* hostParams = nullptr;
    const clap_host_timer_support_t* hostTimers = nullptr;
    const clap_host_posix_fd_support_t* hostFds = nullptr;
    const clap_host_gui_t* hostGui = nullptr;
    const clap_host_log_t* hostLog = nullptr;

    std::unique_ptr<wrap::WrappedEffect> core;
    std::vector<wrap::WrappedEffect::ParameterInfo> infos;
    std::vector<double> batchValue;
    std::vector<char> batchHas;
    // Host changes per parameter (audio side counts, the editor's idle reads).
    std::unique_ptr<std::atomic<std::uint32_t>[]> hostSets;
    std::vector<std::uint32_t> hostSetsSeen;
    double rate = 44100.0;
    std::array<wrap::ParameterChange, 512> changes{};
    EditRing ring;

    bool guiCreated = false;
    clap_id timerId = CLAP_INVALID_ID;
    int watchedFd = -1;
};

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
            // The core copies an input that shares an output's memory.
            info->in_place_pair = 0;
            return true;
        }};
    static const clap_plugin_params_t params{&paramCount, &paramInfo,   &paramValue,
                                             &valueToText, &textToValue, &flush};
    static const clap_plugin_state_t state{&save, &load};
    static const clap_plugin_gui_t gui{&apiSupported,
                                       &preferredApi,
                                       &guiCreate,
                                       &guiDestroy,
                                       &guiSetScale,
                                       &guiSize,
                                       [](const clap_plugin_t* q) { return ready(q) != nullptr; },
                                       &guiResizeHints,
                                       &guiAdjustSize,
                                       &guiSetSize,
                                       &guiSetParent,
                                       [](const clap_plugin_t*, const clap_window_t*) { return false; },
                                       [](const clap_plugin_t*, const char*) {},
                                       [](const clap_plugin_t* q) { return guiShow(q, true); },
                                       [](const clap_plugin_t* q) { return guiShow(q, false); }};
    static const clap_plugin_latency_t latency{[](const clap_plugin_t*) -> std::uint32_t { return 0; }};
    static const clap_plugin_tail_t tailTable{&tail};
#if !defined(_WIN32)
    static const clap_plugin_timer_support_t timers{&onTimer};
    static const clap_plugin_posix_fd_support_t fds{&onFd};
#endif
    if (!of(p) || !id) return nullptr;
    const auto is = [id](const char* name) { return std::strcmp(id, name) == 0; };
    if (is(CLAP_EXT_AUDIO_PORTS)) return &audioPorts;
    if (is(CLAP_EXT_PARAMS)) return &params;
    if (is(CLAP_EXT_STATE)) return &state;
    if (is(CLAP_EXT_GUI)) return &gui;
    if (is(CLAP_EXT_LATENCY)) return &latency;
    if (is(CLAP_EXT_TAIL)) return &tailTable;
#if !defined(_WIN32)
    if (is(CLAP_EXT_TIMER_SUPPORT)) return &timers;
    if (is(CLAP_EXT_POSIX_FD_SUPPORT)) return &fds;
#endif
    return nullptr;
}

}  // namespace

const clap_plugin_t* createPlugin(const PluginRecord& record, const clap_host_t* host) {
    if (!host || !clap_version_is_compatible(host->clap_version)) return nullptr;
    Plugin* plugin = new (std::nothrow) Plugin(record, host);
    return plugin ? &plugin->clap : nullptr;
}

Factory makeFactory(const PluginRecord& record) {
    Factory factory{};
    factory.record = &record;
    factory.clap.get_plugin_count = [](const clap_plugin_factory_t*) -> std::uint32_t { return 1; };
    factory.clap.get_plugin_descriptor = [](const clap_plugin_factory_t* f,
                                            std::uint32_t index) -> const clap_plugin_descriptor_t* {
        return f && index == 0 ? &reinterpret_cast<const Factory*>(f)->record->descriptor : nullptr;
    };
    factory.clap.create_plugin = [](const clap_plugin_factory_t* f, const clap_host_t* host,
                                    const char* id) -> const clap_plugin_t* {
        if (!f || !id) return nullptr;
        const PluginRecord& r = *reinterpret_cast<const Factory*>(f)->record;
        // Only the exact id: a validator appends text to a real one.
        if (std::strcmp(id, r.descriptor.id) != 0) return nullptr;
        return createPlugin(r, host);
    };
    return factory;
}

namespace {
std::mutex gEntryMutex;
int gEntryCount = 0;
}  // namespace

// Nothing to set up or tear down beyond the count: instances carry all they need.
bool entryInit(const char*) {
    const std::lock_guard<std::mutex> lock(gEntryMutex);
    ++gEntryCount;
    return true;
}

void entryDeinit() {
    const std::lock_guard<std::mutex> lock(gEntryMutex);
    if (gEntryCount > 0) --gEntryCount;
}

}  // namespace clapface
