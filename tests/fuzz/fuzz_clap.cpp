// The CLAP face in any order a host may call it, through clap_entry only:
// the input chooses the host (which optional extensions it offers) and the
// calls (entry and factory, lifecycle also in orders the format forbids,
// blocks of any size, precision and port layout with events of every kind and
// order, flushes, parameter values and texts, states through streams that
// break, loads while active, the editor with the host's timers and
// descriptors, clicks and scales). The host checks what the plug-in calls on
// which thread and every event it pushes. After the sequence: a save loads
// into a fresh instance with the same values and saves the same bytes (also
// after a flush), renders what it renders loaded while active, every gesture
// is ended, and no timer or descriptor outlives the instance.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "../clap/ClapTestHost.h"
#include "FaceFuzz.h"
#include "host/clap/ClapAbi.h"

extern "C" const clap_plugin_entry_t clap_entry;

namespace {

using namespace facefuzz;

// ---------------------------------------------------------------- host

struct Host;
Host* hostOf(const clap_host_t* h) { return static_cast<Host*>(h->host_data); }

struct Host {
    Host() {
        clap.clap_version = CLAP_VERSION_INIT;
        clap.host_data = this;
        clap.name = "fuzz";
        clap.vendor = "tonarvo";
        clap.url = "";
        clap.version = "1";
        clap.get_extension = &extension;
        clap.request_restart = [](const clap_host_t*) {};
        clap.request_process = [](const clap_host_t* h) { hostOf(h)->processRequests++; };
        clap.request_callback = [](const clap_host_t* h) { hostOf(h)->callbackRequests++; };
    }

    clap_host_t clap{};
    // What this host offers; each optional extension may be missing.
    bool offerParams = true, offerTimers = true, offerFds = true, offerGui = true, offerLog = true,
         offerThreadCheck = true, offerState = true, refuseTimers = false, refuseFds = false, refuseResize = false;
    AudioThread* audio = nullptr;
    bool inAudioCall = false;  // without threads: inside a call of the audio thread's
    std::vector<clap_id> timers;
    std::vector<int> fds;
    clap_id nextTimer = 100;
    std::atomic<int> processRequests{0}, callbackRequests{0}, flushRequests{0};

    bool onAudioThread() const { return audio->threaded() ? audio->onAudioThread() : inAudioCall; }
    void mainThreadOnly(const char* what) const {
        check(!onAudioThread(), "clap-host-thread", std::string(what) + " called from the audio thread");
    }

private:
    static const void* extension(const clap_host_t* h, const char* id) {
        static const clap_host_params_t params{
            [](const clap_host_t* h, std::uint32_t) { hostOf(h)->mainThreadOnly("params.rescan"); },
            [](const clap_host_t* h, clap_id, std::uint32_t) { hostOf(h)->mainThreadOnly("params.clear"); },
            [](const clap_host_t* h) {
                Host* self = hostOf(h);
                check(!self->onAudioThread(), "clap-host-thread", "params.request_flush from the audio thread");
                self->flushRequests++;
            }};
        static const clap_host_timer_support_t timerSupport{
            [](const clap_host_t* h, std::uint32_t period, clap_id* id) {
                Host* self = hostOf(h);
                self->mainThreadOnly("register_timer");
                check(id != nullptr && period > 0 && period < 10000, "clap-timer", describe("period %.0f", period));
                if (self->refuseTimers || id == nullptr) return false;
                *id = self->nextTimer++;
                self->timers.push_back(*id);
                return true;
            },
            [](const clap_host_t* h, clap_id id) {
                Host* self = hostOf(h);
                self->mainThreadOnly("unregister_timer");
                const auto before = self->timers.size();
                std::erase(self->timers, id);
                return self->timers.size() < before;
            }};
        static const clap_host_posix_fd_support_t fdSupport{
            [](const clap_host_t* h, int fd, clap_posix_fd_flags_t) {
                Host* self = hostOf(h);
                self->mainThreadOnly("register_fd");
                if (self->refuseFds || fd < 0) return false;
                check(std::find(self->fds.begin(), self->fds.end(), fd) == self->fds.end(), "clap-fd", "registered twice");
                self->fds.push_back(fd);
                return true;
            },
            [](const clap_host_t* h, int, clap_posix_fd_flags_t) {
                hostOf(h)->mainThreadOnly("modify_fd");
                return true;
            },
            [](const clap_host_t* h, int fd) {
                Host* self = hostOf(h);
                self->mainThreadOnly("unregister_fd");
                const auto before = self->fds.size();
                std::erase(self->fds, fd);
                return self->fds.size() < before;
            }};
        static const clap_host_gui_t gui{
            [](const clap_host_t*) {},
            [](const clap_host_t* h, std::uint32_t w, std::uint32_t height) {
                check(w > 0 && height > 0 && w <= 4 * 2048 && height <= 4 * 2048, "clap-resize-request",
                      describe("%.0f x %.0f", w, height));
                return !hostOf(h)->refuseResize;
            },
            [](const clap_host_t*) { return false; }, [](const clap_host_t*) { return false; },
            [](const clap_host_t*, bool) {}};
        static const clap_host_log_t log{[](const clap_host_t*, clap_log_severity severity, const char* text) {
            check(text != nullptr && severity >= CLAP_LOG_DEBUG && severity <= CLAP_LOG_PLUGIN_MISBEHAVING, "clap-log",
                  "a message without text or severity");
        }};
        static const clap_host_thread_check_t threads{
            [](const clap_host_t* h) { return !hostOf(h)->onAudioThread(); },
            [](const clap_host_t* h) { return hostOf(h)->onAudioThread(); }};
        static const clap_host_state_t state{[](const clap_host_t* h) { hostOf(h)->mainThreadOnly("state.mark_dirty"); }};
        const Host* self = hostOf(h);
        const auto is = [id](const char* name) { return id && std::strcmp(id, name) == 0; };
        if (is(CLAP_EXT_PARAMS)) return self->offerParams ? &params : nullptr;
        if (is(CLAP_EXT_TIMER_SUPPORT)) return self->offerTimers ? &timerSupport : nullptr;
        if (is(CLAP_EXT_POSIX_FD_SUPPORT)) return self->offerFds ? &fdSupport : nullptr;
        if (is(CLAP_EXT_GUI)) return self->offerGui ? &gui : nullptr;
        if (is(CLAP_EXT_LOG)) return self->offerLog ? &log : nullptr;
        if (is(CLAP_EXT_THREAD_CHECK)) return self->offerThreadCheck ? &threads : nullptr;
        if (is(CLAP_EXT_STATE)) return self->offerState ? &state : nullptr;
        return nullptr;
    }
};

// Marks the host's own audio-thread calls when there is no thread of its own.
struct AudioCall {
    explicit AudioCall(Host& host) : host(host) { host.inAudioCall = true; }
    ~AudioCall() { host.inAudioCall = false; }
    Host& host;
};

// ---------------------------------------------------------------- events

// Events as a host hands them in: the CLAP tests' own list.
using InEvents = claptest::EventList;

struct ParamRange {
    clap_id id;
    double minimum, maximum, defaultValue;
};

// What the plug-in pushes: only its parameters' gestures and values, in
// time order inside the block, values finite and in range, each gesture
// begun once and ended once.
class OutEvents {
public:
    OutEvents(const std::vector<ParamRange>& params, std::vector<clap_id>& gestures,
              std::vector<std::pair<clap_id, double>>& echoes, std::uint32_t frames, std::size_t capacity)
        : params(params), gestures(gestures), echoes(echoes), frames(frames), capacity(capacity) {
        clap.ctx = this;
        clap.try_push = [](const clap_output_events_t* l, const clap_event_header_t* e) {
            return static_cast<OutEvents*>(l->ctx)->push(e);
        };
    }
    clap_output_events_t clap{};

private:
    bool push(const clap_event_header_t* e) {
        FACE_TRACE("clap: < event %u at %u\n", e ? e->type : 0u, e ? e->time : 0u);
        check(e != nullptr && e->space_id == CLAP_CORE_EVENT_SPACE_ID, "clap-out-event", "no event or not core");
        check(frames == 0 ? e->time == 0 : e->time < frames, "clap-out-event",
              describe("time %.0f in a block of %.0f", e->time, frames));
        check(e->time >= lastTime, "clap-out-event", "pushed out of time order");
        lastTime = e->time;
        if (pushed >= capacity) return false;  // the host's queue is full
        const auto range = [this](clap_id id) -> const ParamRange* {
            for (const ParamRange& p : params)
                if (p.id == id) return &p;
            return nullptr;
        };
        if (e->type == CLAP_EVENT_PARAM_VALUE) {
            check(e->size >= sizeof(clap_event_param_value_t), "clap-out-event", "a short value event");
            const auto* v = reinterpret_cast<const clap_event_param_value_t*>(e);
            const ParamRange* p = range(v->param_id);
            check(p != nullptr, "clap-out-event", describe("a value for unknown parameter %.0f", v->param_id));
            check(std::isfinite(v->value) && v->value >= p->minimum && v->value <= p->maximum, "clap-out-value",
                  describe("parameter %.0f at %g", v->param_id, v->value));
            check(open(v->param_id), "clap-gesture-order", describe("a value of %.0f outside a gesture", v->param_id));
            echoes.emplace_back(v->param_id, v->value);
        } else if (e->type == CLAP_EVENT_PARAM_GESTURE_BEGIN || e->type == CLAP_EVENT_PARAM_GESTURE_END) {
            check(e->size >= sizeof(clap_event_param_gesture_t), "clap-out-event", "a short gesture event");
            const clap_id id = reinterpret_cast<const clap_event_param_gesture_t*>(e)->param_id;
            check(range(id) != nullptr, "clap-out-event", describe("a gesture on unknown parameter %.0f", id));
            const bool begin = e->type == CLAP_EVENT_PARAM_GESTURE_BEGIN;
            check(open(id) != begin, "clap-gesture-order", describe(begin ? "%.0f begun twice" : "%.0f ended, never begun", id));
            if (begin)
                gestures.push_back(id);
            else
                std::erase(gestures, id);
        } else {
            check(false, "clap-out-event", describe("an event of type %.0f", e->type));
        }
        ++pushed;
        return true;
    }
    bool open(clap_id id) const { return std::find(gestures.begin(), gestures.end(), id) != gestures.end(); }

    const std::vector<ParamRange>& params;
    std::vector<clap_id>& gestures;
    std::vector<std::pair<clap_id, double>>& echoes;
    std::uint32_t frames;
    std::size_t capacity, pushed = 0;
    std::uint32_t lastTime = 0;
};

// ---------------------------------------------------------------- streams

struct OutStream {
    std::vector<std::uint8_t> bytes;
    StreamPlan plan;
    clap_ostream_t clap{this, [](const clap_ostream_t* s, const void* data, std::uint64_t size) -> std::int64_t {
                            auto* self = static_cast<OutStream*>(s->ctx);
                            if (self->plan.goesWrong() && self->bytes.size() >= self->plan.failAt) {
                                switch (self->plan.ending) {
                                    case StreamPlan::kError: return -1;
                                    case StreamPlan::kOverReport: return static_cast<std::int64_t>(size) + 17;
                                    case StreamPlan::kNegative: return -5;
                                    default: return 0;
                                }
                            }
                            const std::uint64_t n = std::min<std::uint64_t>(size, self->plan.piece);
                            const auto* b = static_cast<const std::uint8_t*>(data);
                            self->bytes.insert(self->bytes.end(), b, b + n);
                            return static_cast<std::int64_t>(n);
                        }};
};

struct InStream {
    std::vector<std::uint8_t> bytes;
    StreamPlan plan;
    std::size_t position = 0;
    clap_istream_t clap{this, [](const clap_istream_t* s, void* data, std::uint64_t size) -> std::int64_t {
                            auto* self = static_cast<InStream*>(s->ctx);
                            if (self->plan.goesWrong() && self->position >= self->plan.failAt) {
                                switch (self->plan.ending) {
                                    case StreamPlan::kError: return -1;
                                    case StreamPlan::kOverReport: return static_cast<std::int64_t>(size) + 17;
                                    case StreamPlan::kNegative: return -5;
                                    default: return 0;
                                }
                            }
                            const std::uint64_t n =
                                std::min<std::uint64_t>({size, self->plan.piece, self->bytes.size() - self->position});
                            if (n > 0) std::memcpy(data, self->bytes.data() + self->position, n);
                            self->position += n;
                            return static_cast<std::int64_t>(n);
                        }};
};

// ---------------------------------------------------------------- instance

template <typename T>
const T* extensionOf(const clap_plugin_t* plugin, const char* id) {
    return static_cast<const T*>(plugin->get_extension(plugin, id));
}

struct Instance {
    const clap_plugin_t* plugin = nullptr;
    const clap_plugin_params_t* params = nullptr;
    const clap_plugin_state_t* state = nullptr;
    const clap_plugin_gui_t* gui = nullptr;
    const clap_plugin_timer_support_t* timer = nullptr;
    const clap_plugin_posix_fd_support_t* fd = nullptr;
    std::vector<ParamRange> ranges;
    std::vector<clap_id> gestures;  // open in what the plug-in pushed
    // The values it pushed, which the host hands back with the next block
    // or flush, as hosts that record what they were told do.
    std::vector<std::pair<clap_id, double>> echoes;
    bool active = false, processing = false, guiCreated = false;
    std::uint32_t maxFrames = 1024;

    bool make(const clap_plugin_factory_t* factory, Host& host, const char* id) {
        plugin = factory->create_plugin(factory, &host.clap, id);
        if (!plugin) return false;
        check(plugin->init(plugin), "clap-init", "init refused");
        params = extensionOf<clap_plugin_params_t>(plugin, CLAP_EXT_PARAMS);
        state = extensionOf<clap_plugin_state_t>(plugin, CLAP_EXT_STATE);
        gui = extensionOf<clap_plugin_gui_t>(plugin, CLAP_EXT_GUI);
        timer = extensionOf<clap_plugin_timer_support_t>(plugin, CLAP_EXT_TIMER_SUPPORT);
        fd = extensionOf<clap_plugin_posix_fd_support_t>(plugin, CLAP_EXT_POSIX_FD_SUPPORT);
        check(params && state, "clap-extensions", "no params or state");
        // The parameters as a host scans them.
        const std::uint32_t count = params->count(plugin);
        check(count < 4096, "clap-param-info", describe("%.0f parameters", count));
        for (std::uint32_t k = 0; k < count; ++k) {
            clap_param_info_t info{};
            check(params->get_info(plugin, k, &info), "clap-param-info", "an index below the count");
            check(std::isfinite(info.min_value) && std::isfinite(info.max_value) && info.min_value < info.max_value &&
                      info.default_value >= info.min_value && info.default_value <= info.max_value,
                  "clap-param-info", describe("[%g, %g], default %g", info.min_value, info.max_value, info.default_value));
            check(std::memchr(info.name, 0, sizeof info.name) != nullptr, "clap-param-info", "an unterminated name");
            for (const ParamRange& other : ranges) check(other.id != info.id, "clap-param-info", "an id twice");
            ranges.push_back({info.id, info.min_value, info.max_value, info.default_value});
        }
        clap_param_info_t past{};
        check(!params->get_info(plugin, count, &past), "clap-param-info", "an index past the count");
        return true;
    }

    std::vector<double> values() const {
        std::vector<double> out;
        for (const ParamRange& p : ranges) {
            double v = NAN;
            check(params->get_value(plugin, p.id, &v), "clap-value", describe("parameter %.0f has none", p.id));
            check(std::isfinite(v) && v >= p.minimum && v <= p.maximum, "clap-value",
                  describe("parameter %.0f at %g", p.id, v));
            out.push_back(v);
        }
        return out;
    }

    std::vector<std::uint8_t> save(StreamPlan plan = {}, bool* ok = nullptr) const {
        OutStream out;
        out.plan = plan;
        const bool saved = state->save(plugin, &out.clap);
        if (ok) *ok = saved;
        return saved ? out.bytes : std::vector<std::uint8_t>{};
    }

    bool load(const std::vector<std::uint8_t>& bytes, StreamPlan plan = {}) const {
        InStream in;
        in.bytes = bytes;
        in.plan = plan;
        return state->load(plugin, &in.clap);
    }

    void flush(const clap_input_events_t* in, std::size_t capacity = SIZE_MAX) {
        OutEvents out(ranges, gestures, echoes, 0, capacity);
        params->flush(plugin, in, &out.clap);
    }

    // The echoes first in a list of the host's events, at the block's start.
    void echo(InEvents& events) {
        for (const auto& [id, value] : echoes) events.value(id, value, 0);
        echoes.clear();
    }
};

// ---------------------------------------------------------------- blocks

struct Block {
    std::uint32_t frames = 0;
    std::uint8_t precision = 0;  // 0 float, 1 double, 2 both set, 3 neither
    std::uint8_t inLayout = 0, outLayout = 0;
    bool inPlace = false;
    std::uint64_t constantMask = 0;
    std::uint8_t signal = 1;
    std::uint32_t seed = 0;
    bool transport = false;
    clap_event_transport_t time{};
    std::vector<std::uint8_t> eventBytes;  // decoded again for each instance
    std::size_t outCapacity = SIZE_MAX;
    bool outEvents = true;
};

clap_event_transport_t readTransport(ByteReader& in) {
    clap_event_transport_t t{};
    t.header = {sizeof t, 0, CLAP_CORE_EVENT_SPACE_ID, CLAP_EVENT_TRANSPORT, 0};
    t.flags = in.read<std::uint32_t>();
    t.song_pos_beats = in.read<std::int64_t>() >> (in.u8() % 64);
    t.song_pos_seconds = in.read<std::int64_t>() >> (in.u8() % 64);
    const double tempos[] = {120.0, 0.0, -60.0, NAN, 1e300, 33.3, INFINITY, 240.0};
    t.tempo = tempos[in.u8() % 8];
    t.tempo_inc = in.read<double>();
    t.bar_start = in.read<std::int64_t>() >> (in.u8() % 64);
    t.bar_number = in.read<std::int32_t>();
    t.tsig_num = static_cast<std::uint16_t>(in.u8() % 8 == 0 ? 0 : in.u8());
    t.tsig_denom = static_cast<std::uint16_t>(in.u8() % 8 == 0 ? 0 : in.u8());
    return t;
}

// The block's input events from their bytes: values at any frame and value
// (also unknown ids, other spaces and sizes that lie), modulations, the
// host's own gestures, transports, notes and MIDI.
void decodeEvents(const std::vector<std::uint8_t>& bytes, const std::vector<ParamRange>& ranges, std::uint32_t frames,
                  InEvents& events) {
    ByteReader in(bytes.data(), bytes.size());
    const int count = in.u8() % 10;
    const bool sorted = in.u8() % 8 != 0;
    std::uint32_t time = 0;
    for (int k = 0; k < count; ++k) {
        const std::uint8_t kind = in.u8();
        const std::uint8_t at = in.u8();
        time = sorted ? std::max(time, frames > 0 ? at * frames / 256 : 0) : (at < 250 ? at * (frames + 1) / 250 : at * 1000u);
        const std::uint8_t pick = in.u8();
        const ParamRange fallback{pick, 0, 1, 0};
        const ParamRange& p = ranges.empty() || pick >= 250 ? fallback : ranges[pick % ranges.size()];
        const std::uint16_t space = kind & 0x80 ? 0xB33F : CLAP_CORE_EVENT_SPACE_ID;
        switch (kind % 8) {
            case 0: case 1: case 2: {
                clap_event_param_value_t v{};
                v.header = {sizeof v, time, space, CLAP_EVENT_PARAM_VALUE, 0};
                if (kind & 0x40) v.header.size = sizeof(clap_event_header_t);  // a size that lies
                v.param_id = p.id;
                v.note_id = -1;
                v.port_index = v.channel = v.key = -1;
                v.value = pickValue(in, p.minimum, p.maximum, p.defaultValue);
                events.add(v);
                break;
            }
            case 3: {
                clap_event_param_mod_t m{};
                m.header = {sizeof m, time, space, CLAP_EVENT_PARAM_MOD, 0};
                m.param_id = p.id;
                m.note_id = -1;
                m.port_index = m.channel = m.key = -1;
                m.amount = pickValue(in, -1, 1, 0);
                events.add(m);
                break;
            }
            case 4: {
                clap_event_param_gesture_t g{};
                g.header = {sizeof g, time, space,
                            static_cast<std::uint16_t>(kind & 0x20 ? CLAP_EVENT_PARAM_GESTURE_END : CLAP_EVENT_PARAM_GESTURE_BEGIN), 0};
                g.param_id = p.id;
                events.add(g);
                break;
            }
            case 5: {
                clap_event_transport_t t = readTransport(in);
                t.header.time = time;
                t.header.space_id = space;
                events.add(t);
                break;
            }
            case 6: {
                clap_event_note_t n{};
                n.header = {sizeof n, time, space, static_cast<std::uint16_t>(kind % 4), 0};
                n.key = 60;
                n.velocity = 1.0;
                events.add(n);
                break;
            }
            default: {
                clap_event_midi_t m{};
                m.header = {sizeof m, time, space, CLAP_EVENT_MIDI, 0};
                m.data[0] = 0x90;
                m.data[1] = 60;
                m.data[2] = 100;
                events.add(m);
                break;
            }
        }
    }
}

Block readBlock(ByteReader& in, const Instance& instance) {
    Block b;
    const std::uint8_t shape = in.u8();
    b.frames = pickFrames(in, instance.maxFrames);
    b.precision = shape % 8 < 5 ? 0 : shape % 8 < 7 ? 1 : (shape & 0x40 ? 2 : 3);
    const std::uint8_t layouts = in.u8();
    b.inLayout = layouts & 0xF;
    b.outLayout = layouts >> 4;
    b.inPlace = (shape & 0x10) != 0;
    b.constantMask = in.u8() % 4;
    b.signal = in.u8();
    b.seed = in.read<std::uint16_t>();
    b.transport = (shape & 0x20) != 0;
    if (b.transport) b.time = readTransport(in);
    b.eventBytes.resize(in.u8() % 64);
    in.bytes(b.eventBytes.data(), b.eventBytes.size());
    const std::uint8_t out = in.u8();
    b.outEvents = out % 16 != 0;
    b.outCapacity = out % 4 == 1 ? out / 16 : SIZE_MAX;
    return b;
}

struct Rendered {
    clap_process_status status = CLAP_PROCESS_ERROR;
    std::vector<std::uint8_t> outputs;
};

// Port layouts: 0-9 one stereo port, 10 no port, 11 a count of one but no
// ports, 12 mono, 13 a channel without memory, 14 three channels, 15 no
// channel memory at all.
template <typename Sample>
Rendered runTyped(Instance& instance, const Block& b) {
    const std::size_t frames = b.frames;
    BlockBuffers<Sample> buffers(frames, b.signal, b.seed, b.inPlace);
    const auto portOf = [&b](std::uint8_t layout, Sample** pointers, clap_audio_buffer_t& port,
                             std::uint32_t& count) -> clap_audio_buffer_t* {
        port = clap_audio_buffer_t{};
        count = 1;
        if (layout == 10) {
            count = 0;
            return nullptr;
        }
        if (layout == 11) return nullptr;
        port.channel_count = layout == 12 ? 1 : layout == 14 ? 3 : 2;
        port.constant_mask = b.constantMask;
        if (layout == 13) pointers[1] = nullptr;
        Sample** channels = layout == 15 ? nullptr : pointers;
        static float* noFloats[3] = {nullptr, nullptr, nullptr};
        if constexpr (sizeof(Sample) == 4) {
            port.data32 = b.precision == 3 ? nullptr : channels;
            if (b.precision == 2) port.data64 = reinterpret_cast<double**>(noFloats);
        } else {
            port.data64 = b.precision == 3 ? nullptr : channels;
            if (b.precision == 2) port.data32 = noFloats;
        }
        return &port;
    };
    clap_audio_buffer_t inPort, outPort;
    std::uint32_t inCount = 0, outCount = 0;
    const clap_audio_buffer_t* inputs = portOf(b.inLayout, buffers.in, inPort, inCount);
    clap_audio_buffer_t* outputs = portOf(b.outLayout, buffers.out, outPort, outCount);
    InEvents events;
    instance.echo(events);
    decodeEvents(b.eventBytes, instance.ranges, b.frames, events);
    OutEvents out(instance.ranges, instance.gestures, instance.echoes, b.frames, b.outCapacity);
    const clap_process_t process{static_cast<std::int64_t>(b.seed) * 64, b.frames, b.transport ? &b.time : nullptr,
                                 inputs, outputs, inCount, outCount, events.list(), b.outEvents ? &out.clap : nullptr};
    Rendered r;
    r.status = instance.plugin->process(instance.plugin, &process);
    check(r.status >= CLAP_PROCESS_ERROR && r.status <= CLAP_PROCESS_SLEEP, "clap-process-status",
          describe("status %.0f", r.status));
    // Of both precisions or neither, the plug-in cannot know which to write.
    if (r.status == CLAP_PROCESS_ERROR || frames == 0 || b.precision >= 2 || outputs == nullptr) return r;
    Sample** written;
    if constexpr (sizeof(Sample) == 4)
        written = outPort.data32;
    else
        written = outPort.data64;
    if (written == nullptr) return r;
    for (std::uint32_t c = 0; c < std::min<std::uint32_t>(outPort.channel_count, 2); ++c) {
        if (written[c] == nullptr) continue;
        checkOutput(written[c], frames, "clap-unwritten-outputs", "clap-nonfinite-output",
                    buffers.inputBefore(c));
        // A plug-in that lets the host sleep it has rung out: its output is
        // below -120 dBFS.
        if (r.status == CLAP_PROCESS_SLEEP)
            for (std::size_t i = 0; i < frames; ++i)
                check(std::fabs(static_cast<double>(written[c][i])) < 1e-6, "clap-sleeps-early",
                      describe("sample %.0f at %g", static_cast<double>(i), written[c][i]));
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(written[c]);
        r.outputs.insert(r.outputs.end(), bytes, bytes + frames * sizeof(Sample));
    }
    buffers.checkInputsKept("clap-input-written");
    return r;
}

Rendered render(Instance& instance, const Block& b) {
    return b.precision == 1 ? runTyped<double>(instance, b) : runTyped<float>(instance, b);
}

// ---------------------------------------------------------------- the sequence

class Sequence {
public:
    explicit Sequence(ByteReader& in) : in(in) { host.audio = &audio; }

    void run() {
        const std::uint8_t offers = in.u8();
        // The host: each optional extension may be missing, some refuse.
        host.offerTimers = offers % 8 != 1;
        host.offerFds = offers % 8 != 2;
        host.offerParams = offers % 8 != 3;
        host.offerThreadCheck = offers % 8 != 4;
        host.offerState = offers % 8 != 5;
        host.offerLog = offers % 8 != 6;
        host.offerGui = (offers & 0x08) == 0;
        host.refuseTimers = (offers & 0x30) == 0x30;
        host.refuseFds = (offers & 0x50) == 0x50;
        host.refuseResize = (offers & 0x80) != 0;

        check(clap_entry.init("/fuzz/Tonarvo.clap"), "clap-entry", "init refused");
        factory = static_cast<const clap_plugin_factory_t*>(clap_entry.get_factory(CLAP_PLUGIN_FACTORY_ID));
        check(factory && factory->get_plugin_count(factory) >= 1, "clap-entry", "no factory or plug-in");
        const clap_plugin_descriptor_t* descriptor = factory->get_plugin_descriptor(factory, 0);
        check(descriptor && descriptor->id, "clap-entry", "no descriptor");
        id = descriptor->id;
        check(main.make(factory, host, id.c_str()), "clap-create", "no instance");

        for (int step = 0; step < kMaxSteps && !in.empty(); ++step) this->step(in.u8());
        finish();
        clap_entry.deinit();
    }

private:
    void step(std::uint8_t op) {
        static const char* const names[] = {"activate", "deactivate", "start_processing", "stop_processing", "reset",
                                            "process", "process", "process", "flush", "params", "params",
                                            "state.save", "state.load", "gui", "gui", "gui", "host loop",
                                            "lifecycle", "extensions", "on_main_thread"};
        FACE_TRACE("clap: %s\n", names[op % 20]);
        switch (op % 20) {
            case 0: {
                const double rates[] = {44100, 48000, 96000, 22050, 192000, 8000, 0, -1, NAN, 1e12};
                const double rate = rates[in.u8() % 10];
                // A maximum past 2048 frames only when asked for (the copies for it are slow).
                const std::uint32_t maximum = in.u8() == 0xFF ? in.read<std::uint32_t>() : 1 + in.read<std::uint16_t>() % 2048;
                const std::uint32_t minimum = in.u8() % 4 == 0 ? maximum + 1 : 1;
                audio.drain();
                if (main.plugin->activate(main.plugin, rate, minimum, maximum)) {
                    main.active = true;
                    main.maxFrames = maximum;
                }
                break;
            }
            case 1:
                audio.drain();
                main.plugin->deactivate(main.plugin);
                main.active = main.processing = false;
                break;
            case 2:
                if (!legalOnAudioThread()) break;
                onAudio([this] {
                    if (main.plugin->start_processing(main.plugin)) main.processing = true;
                });
                break;
            case 3:
                if (!legalOnAudioThread()) break;
                onAudio([this] {
                    main.plugin->stop_processing(main.plugin);
                    main.processing = false;
                });
                break;
            case 4:
                if (legalOnAudioThread()) onAudio([this] { main.plugin->reset(main.plugin); });
                break;
            case 5: case 6: case 7: {
                const Block b = readBlock(in, main);
                if (legalOnAudioThread()) onAudio([this, b] { render(main, b); });
                break;
            }
            case 8: flush(); break;
            case 9: case 10: parameters(); break;
            case 11: {
                const StreamPlan plan = StreamPlan::read(in);
                bool ok = false;
                std::vector<std::uint8_t> bytes = main.save(plan, &ok);
                if (!plan.goesWrong()) check(ok && !bytes.empty(), "clap-save", "a working stream refused");
                if (ok) saved = bytes;
                break;
            }
            case 12: {
                const std::vector<std::uint8_t> bytes = pickStateBytes(in, saved);
                const StreamPlan plan = StreamPlan::read(in);
                main.load(bytes, plan);  // while active too: the format allows it
                main.values();
                break;
            }
            case 13: case 14: case 15: editor(); break;
            case 16: turn(in.u8() % 4 + 1); break;
            case 17: lifecycle(); break;
            case 18: extensions(); break;
            default: main.plugin->on_main_thread(main.plugin); break;
        }
    }

    // With an audio thread of its own the host keeps to the format's order
    // (audio calls only while active), so what races is the plug-in's doing;
    // without one, any order goes.
    bool legalOnAudioThread() const { return !audio.threaded() || main.active; }

    // A call of the audio thread's: on its thread with threads, marked as
    // such without.
    template <typename Call>
    void onAudio(Call call) {
        audio.post([this, call] {
            AudioCall mark(host);
            call();
        });
    }

    void flush() {
        InEvents events;
        std::vector<std::uint8_t> bytes(in.u8() % 48);
        in.bytes(bytes.data(), bytes.size());
        const std::size_t capacity = in.u8() % 4 == 1 ? 1 : SIZE_MAX;
        // Active: on the audio thread, never beside process. Else the main thread's.
        if (main.active) {
            onAudio([this, bytes, capacity] {
                InEvents e;
                main.echo(e);
                decodeEvents(bytes, main.ranges, 0, e);
                main.flush(e.list(), capacity);
            });
        } else {
            main.echo(events);
            decodeEvents(bytes, main.ranges, 0, events);
            main.flush(in.u8() % 8 == 0 ? nullptr : events.list(), capacity);
        }
    }

    void parameters() {
        if (main.ranges.empty()) return;
        const ParamRange& p = main.ranges[in.u8() % main.ranges.size()];
        const clap_id pid = in.u8() == 0 ? p.id + 1000 : p.id;
        double v = NAN;
        if (main.params->get_value(main.plugin, pid, &v))
            check(std::isfinite(v) && v >= p.minimum && v <= p.maximum, "clap-value", describe("%g", v));
        const double value = pickValue(in, p.minimum, p.maximum, p.defaultValue);
        const std::uint32_t capacities[] = {256, 1, 2, 5, 0, 64, 8, 3};
        const std::uint32_t capacity = capacities[in.u8() % 8];
        std::vector<char> text(capacity + 1, '\x7f');
        if (main.params->value_to_text(main.plugin, pid, value, capacity ? text.data() : nullptr, capacity)) {
            check(capacity > 0 && std::memchr(text.data(), 0, capacity) != nullptr, "clap-text", "not terminated within capacity");
            check(text[capacity] == '\x7f', "clap-text", "written past the capacity");
            double back = NAN;
            if (capacity >= 64 && main.params->text_to_value(main.plugin, pid, text.data(), &back))
                check(std::isfinite(back), "clap-text-parses", std::string(text.data()) + describe(" gives %g", back));
            else if (capacity >= 64)
                check(false, "clap-text-parses", "'" + std::string(text.data()) + "' does not parse back");
        }
        std::string typed(in.u8() % 24, ' ');
        in.bytes(typed.data(), typed.size());
        double typedValue = NAN;
        if (main.params->text_to_value(main.plugin, pid, typed.c_str(), &typedValue))
            check(std::isfinite(typedValue), "clap-text-parses", describe("typed text gives %g", typedValue));
        clap_param_info_t info{};
        main.params->get_info(main.plugin, in.u8(), &info);
    }

    // ------------------------------------------------------------ editor

    void editor() {
        if (!main.gui) return;
        const clap_plugin_gui_t& gui = *main.gui;
        const clap_plugin_t* p = main.plugin;
        const char* apis[] = {CLAP_WINDOW_API_X11, CLAP_WINDOW_API_WIN32, CLAP_WINDOW_API_WAYLAND, "", nullptr};
        switch (in.u8() % 14) {
            case 0: {
                const char* api = apis[in.u8() % 5];
                const bool floating = in.u8() % 4 == 0;
                gui.is_api_supported(p, api, floating);
                if (gui.create(p, api, floating)) main.guiCreated = true;
                break;
            }
            case 1:
                gui.destroy(p);
                main.guiCreated = false;
                checkRegistrations();
                break;
            case 2: {
                const double scales[] = {1.0, 1.25, 2.0, 0.5, 4.0, 8.0, NAN, 1.5, 0.0, -1.0};
                gui.set_scale(p, scales[in.u8() % 10]);
                break;
            }
            case 3: {
                std::uint32_t w = 0, h = 0;
                if (gui.get_size(p, &w, &h))
                    check(w >= 100 && h >= 50 && w <= 4 * 2048 && h <= 4 * 2048, "clap-size", describe("%.0f x %.0f", w, h));
                gui.can_resize(p);
                break;
            }
            case 4: {
                std::uint32_t w = in.read<std::uint16_t>(), h = in.read<std::uint16_t>();
                if (gui.adjust_size(p, &w, &h)) check(w > 0 && h > 0, "clap-size", "adjusted to no area");
                gui.set_size(p, in.read<std::uint16_t>(), in.read<std::uint16_t>());
                clap_gui_resize_hints_t hints{};
                gui.get_resize_hints(p, &hints);
                break;
            }
            case 5:
                if (opens < kMaxEditorOpens) {
                    ++opens;
                    const std::uint8_t how = in.u8();
                    clap_window_t window{};
                    window.api = how % 8 == 0 ? CLAP_WINDOW_API_WIN32 : CLAP_WINDOW_API_X11;
                    window.x11 = how % 8 == 1 ? 0 : display::parentWindow();
                    gui.set_parent(p, &window);
                }
                break;
            case 6: gui.show(p); break;
            case 7: gui.hide(p); break;
            case 8: {
                clap_window_t window{CLAP_WINDOW_API_X11, {}};
                window.x11 = display::parentWindow();
                gui.set_transient(p, &window);
                gui.suggest_title(p, "fuzz");
                const char* api = nullptr;
                bool floating = false;
                gui.get_preferred_api(p, &api, &floating);
                break;
            }
            case 9: case 10: click(); break;
            default: turn(1 + in.u8() % 3); break;
        }
    }

    // The host's loop: the clock moves, each timer fires, each descriptor
    // counts as readable; also a timer id and a descriptor that are not the
    // plug-in's.
    void turn(int times) {
        for (int k = 0; k < times; ++k) {
            advanceClock(40);
            const std::vector<clap_id> timers = host.timers;
            const std::vector<int> fds = host.fds;
            if (main.timer)
                for (clap_id t : timers) main.timer->on_timer(main.plugin, t);
            if (main.fd)
                for (int f : fds) main.fd->on_fd(main.plugin, f, CLAP_POSIX_FD_READ);
        }
        if (main.timer) main.timer->on_timer(main.plugin, 77777);
        if (main.fd) main.fd->on_fd(main.plugin, 1023, CLAP_POSIX_FD_ERROR);
    }

    void click() {
        Click::read(in).send([this](int turns) { turn(turns); });
    }

    void checkRegistrations() const {
        check(host.timers.empty() && host.fds.empty(), "clap-registration-outlives",
              describe("%.0f timers and %.0f descriptors left", host.timers.size(), host.fds.size()));
    }

    // ------------------------------------------------------------ lifecycle

    void lifecycle() {
        switch (in.u8() % 6) {
            case 0:  // init again: refused, nothing broken
                check(!main.plugin->init(main.plugin), "clap-init", "a second init accepted");
                break;
            case 1: {  // the entry counted
                check(clap_entry.init("/fuzz/Tonarvo.clap"), "clap-entry", "a second init refused");
                clap_entry.deinit();
                check(clap_entry.get_factory("clap.plugin-factory.x") == nullptr, "clap-entry", "an unknown factory");
                check(factory->get_plugin_descriptor(factory, 1 + in.u8()) == nullptr, "clap-entry", "a descriptor too many");
                const std::string wrong = id + "x";
                check(factory->create_plugin(factory, &host.clap, wrong.c_str()) == nullptr, "clap-entry", "a wrong id made");
                check(factory->create_plugin(factory, nullptr, id.c_str()) == nullptr, "clap-entry", "made without a host");
                break;
            }
            case 2: {  // an instance never initialised, destroyed
                const clap_plugin_t* bare = factory->create_plugin(factory, &host.clap, id.c_str());
                if (bare) {
                    bare->get_extension(bare, CLAP_EXT_PARAMS);
                    bare->destroy(bare);
                }
                break;
            }
            default: {
                // A new main instance: the old one destroyed the careless
                // way (active, processing, editor made) or the proper one.
                audio.drain();
                const bool careful = in.u8() & 1;
                if (careful) {
                    if (main.guiCreated) main.gui->destroy(main.plugin);
                    if (main.processing) main.plugin->stop_processing(main.plugin);
                    if (main.active) main.plugin->deactivate(main.plugin);
                }
                main.plugin->destroy(main.plugin);
                checkRegistrations();
                check(display::childWindows() == 0, "editor-window-left", "the instance is gone, its window is not");
                main = Instance{};
                check(main.make(factory, host, id.c_str()), "clap-create");
                break;
            }
        }
    }

    void extensions() {
        const char* ids[] = {CLAP_EXT_AUDIO_PORTS, CLAP_EXT_LATENCY, CLAP_EXT_TAIL, CLAP_EXT_RENDER,
                             CLAP_EXT_STATE_CONTEXT, "clap.params.x", "", CLAP_EXT_THREAD_CHECK};
        main.plugin->get_extension(main.plugin, ids[in.u8() % 8]);
        if (const auto* ports = extensionOf<clap_plugin_audio_ports_t>(main.plugin, CLAP_EXT_AUDIO_PORTS)) {
            for (bool input : {true, false}) {
                const std::uint32_t count = ports->count(main.plugin, input);
                clap_audio_port_info_t info{};
                for (std::uint32_t k = 0; k < count; ++k)
                    check(ports->get(main.plugin, k, input, &info) && info.channel_count > 0, "clap-ports");
                ports->get(main.plugin, count + in.u8(), input, &info);
            }
        }
        if (const auto* tail = extensionOf<clap_plugin_tail_t>(main.plugin, CLAP_EXT_TAIL)) tail->get(main.plugin);
        if (const auto* latency = extensionOf<clap_plugin_latency_t>(main.plugin, CLAP_EXT_LATENCY))
            latency->get(main.plugin);
    }

    // ------------------------------------------------------------ the end

    void finish() {
        audio.drain();
        if (main.guiCreated) main.gui->destroy(main.plugin);
        main.guiCreated = false;
        if (main.processing) main.plugin->stop_processing(main.plugin);
        if (main.active) main.plugin->deactivate(main.plugin);
        main.active = main.processing = false;
        checkRegistrations();
        check(display::childWindows() == 0, "editor-window-left", "the editor is gone, its window is not");
        // What the editor still had to report arrives with this flush.
        main.flush(nullptr);
        check(main.gestures.empty(), "clap-open-gesture",
              describe("%.0f gestures begun and never ended", main.gestures.size()));

        // A save loads into a fresh instance with the very same values and
        // saves the same bytes, also after a flush.
        const std::vector<double> before = main.values();
        bool ok = false;
        const std::vector<std::uint8_t> state = main.save({}, &ok);
        check(ok && !state.empty(), "clap-save", "the final save failed");
        Instance fresh;
        check(fresh.make(factory, host, id.c_str()), "clap-create");
        check(fresh.load(state), "clap-load", "an own save refused");
        const std::vector<double> after = fresh.values();
        bool same = true;
        for (std::size_t k = 0; k < before.size(); ++k)
            if (!sameBits(before[k], after[k])) {
                same = false;
                check(false, "clap-state-exact", describe("parameter %.0f: %.17g became %.17g", k, before[k], after[k]));
            }
        check(fresh.save() == state, "clap-state-reproducible", "a loaded save saves other bytes");
        fresh.flush(nullptr);
        check(fresh.save() == state, "clap-state-reproducible", "after a flush a loaded save saves other bytes");

        // Loaded while active (the format allows it), the state renders what
        // it renders loaded before the activation.
        if (same) {
            Instance late;
            check(late.make(factory, host, id.c_str()), "clap-create");
            Block b;
            b.frames = 256;
            b.signal = 2;
            b.seed = 99;
            Rendered rendered[2];
            Instance* both[2] = {&fresh, &late};
            for (int k = 0; k < 2; ++k) {
                check(both[k]->plugin->activate(both[k]->plugin, 48000, 1, 256) &&
                          both[k]->plugin->start_processing(both[k]->plugin),
                      "clap-activate", "refused");
                if (k == 1) check(late.load(state), "clap-load", "an own save refused while active");
                AudioCall mark(host);
                rendered[k] = render(*both[k], b);
                both[k]->plugin->stop_processing(both[k]->plugin);
                both[k]->plugin->deactivate(both[k]->plugin);
            }
            check(rendered[0].status != CLAP_PROCESS_ERROR && rendered[0].outputs == rendered[1].outputs,
                  "clap-render-after-load", "loaded while active, the state renders another block");
            late.plugin->destroy(late.plugin);
            // reset clears all the processing's memory: the instance that
            // ran the sequence then renders what the fresh one renders.
            check(main.plugin->activate(main.plugin, 48000, 1, 256) && main.plugin->start_processing(main.plugin),
                  "clap-activate", "refused");
            AudioCall mark(host);
            main.plugin->reset(main.plugin);
            const Rendered again = render(main, b);
            main.plugin->stop_processing(main.plugin);
            main.plugin->deactivate(main.plugin);
            check(again.outputs == rendered[0].outputs, "clap-reset-clears",
                  "after reset the old signal still rings: " + difference<float>(again.outputs, rendered[0].outputs));
        }
        fresh.plugin->destroy(fresh.plugin);
        main.plugin->destroy(main.plugin);
        checkRegistrations();
    }

    ByteReader& in;
    AudioThread audio;
    Host host;
    const clap_plugin_factory_t* factory = nullptr;
    std::string id;
    Instance main;
    int opens = 0;
    std::vector<std::uint8_t> saved;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return runInput<Sequence>(data, size);
}
