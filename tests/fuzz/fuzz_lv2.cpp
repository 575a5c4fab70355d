// The LV2 face in any order a host may call it, through lv2_descriptor and
// lv2ui_descriptor only, with the ports read from the bundle's description as
// a host reads them (lilv): the input chooses the features, the connections
// (also none, and in place), runs of any length with control values of any
// kind and time positions of any shape, state saved and restored through a
// host that fails or hands back the wrong thing, options, and the interface
// with its idle, port events, scale options and clicks. After the sequence:
// a save restored into a fresh instance saves the same bytes and renders what
// it renders restored after the activation, and no window is left behind.
#include <lilv/lilv.h>
#include <lv2/atom/atom.h>
#include <lv2/atom/util.h>
#include <lv2/buf-size/buf-size.h>
#include <lv2/core/lv2.h>
#include <lv2/instance-access/instance-access.h>
#include <lv2/options/options.h>
#include <lv2/state/state.h>
#include <lv2/time/time.h>
#include <lv2/ui/ui.h>
#include <lv2/urid/urid.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "../lv2/Lv2TestHost.h"
#include "FaceFuzz.h"

extern "C" const LV2_Descriptor* lv2_descriptor(std::uint32_t index);
extern "C" const LV2UI_Descriptor* lv2ui_descriptor(std::uint32_t index);

namespace {

using namespace facefuzz;

// ---------------------------------------------------------------- description

struct Port {
    enum Kind { kAudio, kControl, kAtom, kOther } kind = kOther;
    bool input = false;
    float minimum = 0, maximum = 1, defaultValue = 0;
};

// The bundle's ports, read once as a host reads them.
struct Description {
    Description() {
        LilvWorld* world = lilv_world_new();
        LilvNode* bundle = lilv_new_file_uri(world, nullptr, TONARVO_LV2_BUNDLE "/");
        lilv_world_load_bundle(world, bundle);
        const LV2_Descriptor* d = lv2_descriptor(0);
        LilvNode* uri = lilv_new_uri(world, d ? d->URI : "");
        const LilvPlugin* plugin = lilv_plugins_get_by_uri(lilv_world_get_all_plugins(world), uri);
        if (plugin) {
            LilvNode* audio = lilv_new_uri(world, LV2_CORE__AudioPort);
            LilvNode* control = lilv_new_uri(world, LV2_CORE__ControlPort);
            LilvNode* atom = lilv_new_uri(world, LV2_ATOM__AtomPort);
            LilvNode* input = lilv_new_uri(world, LV2_CORE__InputPort);
            const std::uint32_t count = lilv_plugin_get_num_ports(plugin);
            std::vector<float> minimum(count), maximum(count), defaults(count);
            lilv_plugin_get_port_ranges_float(plugin, minimum.data(), maximum.data(), defaults.data());
            for (std::uint32_t k = 0; k < count; ++k) {
                const LilvPort* p = lilv_plugin_get_port_by_index(plugin, k);
                Port port;
                port.kind = lilv_port_is_a(plugin, p, audio)     ? Port::kAudio
                            : lilv_port_is_a(plugin, p, control) ? Port::kControl
                            : lilv_port_is_a(plugin, p, atom)    ? Port::kAtom
                                                                 : Port::kOther;
                port.input = lilv_port_is_a(plugin, p, input);
                port.minimum = std::isnan(minimum[k]) ? 0 : minimum[k];
                port.maximum = std::isnan(maximum[k]) ? 1 : maximum[k];
                port.defaultValue = std::isnan(defaults[k]) ? port.minimum : defaults[k];
                ports.push_back(port);
            }
            for (LilvNode* n : {audio, control, atom, input}) lilv_node_free(n);
        }
        lilv_node_free(uri);
        lilv_node_free(bundle);
        lilv_world_free(world);
        check(!ports.empty(), "lv2-description", "no plug-in with ports in " TONARVO_LV2_BUNDLE);
    }
    std::vector<Port> ports;
};

const Description& description() {
    static const Description d;
    return d;
}

// ---------------------------------------------------------------- host

// URIDs as a host maps them: the LV2 tests' own map.
using Urids = lv2test::UridMap;

// A state the host keeps, and how it answers the plug-in.
struct StateStore {
    std::map<LV2_URID, std::pair<std::uint32_t, std::vector<std::uint8_t>>> properties;  // key: type, bytes
    int answer = 0;  // 0 right, 1 nothing, 2 wrong type, 3 other bytes, 4 store fails
    std::vector<std::uint8_t> otherBytes;

    static LV2_State_Status store(LV2_State_Handle h, std::uint32_t key, const void* value, std::size_t size,
                                  std::uint32_t type, std::uint32_t flags) {
        auto* self = static_cast<StateStore*>(h);
        check(value != nullptr || size == 0, "lv2-state-store", "no value");
        check((flags & LV2_STATE_IS_POD) != 0 && size < (1u << 24), "lv2-state-store", "not plain data, or huge");
        if (self->answer == 4) return LV2_STATE_ERR_UNKNOWN;
        const auto* b = static_cast<const std::uint8_t*>(value);
        self->properties[key] = {type, std::vector<std::uint8_t>(b, b + size)};
        return LV2_STATE_SUCCESS;
    }
    static const void* retrieve(LV2_State_Handle h, std::uint32_t key, std::size_t* size, std::uint32_t* type,
                                std::uint32_t* flags) {
        auto* self = static_cast<StateStore*>(h);
        const auto found = self->properties.find(key);
        if (self->answer == 1 || found == self->properties.end()) return nullptr;
        *flags = LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE;
        *type = self->answer == 2 ? found->second.first + 1 : found->second.first;
        if (self->answer == 3) {
            *size = self->otherBytes.size();
            return self->otherBytes.data();
        }
        *size = found->second.second.size();
        return found->second.second.data();
    }
};

struct Instance {
    const LV2_Descriptor* descriptor = nullptr;
    LV2_Handle handle = nullptr;
    const LV2_State_Interface* state = nullptr;
    const LV2_Options_Interface* options = nullptr;
    bool active = false;

    bool make(double rate, const LV2_Feature* const* features) {
        descriptor = lv2_descriptor(0);
        check(descriptor && lv2_descriptor(1) == nullptr, "lv2-descriptor", "not one plug-in");
        handle = descriptor->instantiate(descriptor, rate, "/fuzz/Tonarvo.lv2/", features);
        if (!handle) return false;
        state = static_cast<const LV2_State_Interface*>(descriptor->extension_data(LV2_STATE__interface));
        options = static_cast<const LV2_Options_Interface*>(descriptor->extension_data(LV2_OPTIONS__interface));
        return true;
    }
    void cleanup() {
        if (!handle) return;
        descriptor->cleanup(handle);
        handle = nullptr;
    }
};

// The host's side of every port: audio buffers, control values, the time
// input's sequence; what each port is connected to.
struct Wiring {
    std::vector<std::vector<float>> audio;
    std::vector<float> controls;
    std::vector<std::uint64_t> atoms;  // 8-byte aligned sequence
    std::vector<std::uint8_t> connection;  // 0 its own, 1 nothing, 2 in place (outputs: the first input's)

    explicit Wiring(const Description& d)
        : audio(d.ports.size()), controls(d.ports.size()), atoms(256), connection(d.ports.size(), 0) {
        for (std::size_t k = 0; k < d.ports.size(); ++k) controls[k] = d.ports[k].defaultValue;
        emptySequence();
    }
    LV2_Atom_Sequence* sequence() { return reinterpret_cast<LV2_Atom_Sequence*>(atoms.data()); }
    void emptySequence() {
        std::fill(atoms.begin(), atoms.end(), 0);
        sequence()->atom.size = sizeof(LV2_Atom_Sequence_Body);
    }
    void* target(std::size_t port, const Description& d) {
        const Port& p = d.ports[port];
        if (connection[port] == 1) return nullptr;
        if (p.kind == Port::kControl) return &controls[port];
        if (p.kind == Port::kAtom) return atoms.data();
        if (p.kind == Port::kAudio && !p.input && connection[port] == 2)
            for (std::size_t k = 0; k < d.ports.size(); ++k)
                if (d.ports[k].kind == Port::kAudio && d.ports[k].input && connection[k] == 0) return audio[k].data();
        return p.kind == Port::kAudio ? audio[port].data() : nullptr;
    }
    bool inPlace(std::size_t port, const Description& d) { return target(port, d) != audio[port].data(); }
    // Every port connected as planned, audio of at least `frames`.
    void connectAll(Instance& instance, std::uint32_t frames, const Description& d) {
        for (std::size_t k = 0; k < d.ports.size(); ++k)
            if (d.ports[k].kind == Port::kAudio && audio[k].size() < frames + 1) audio[k].resize(frames + 1);
        for (std::size_t k = 0; k < d.ports.size(); ++k)
            instance.descriptor->connect_port(instance.handle, static_cast<std::uint32_t>(k), target(k, d));
    }
};

// ---------------------------------------------------------------- the sequence

class Sequence {
public:
    explicit Sequence(ByteReader& in) : in(in), ports(description()), wiring(ports) {}

    void run() {
        const std::uint8_t offers = in.u8();
        const double rates[] = {48000, 44100, 96000, 22050, 192000, 8000, 11025, 1e7};
        rate = rates[offers % 8];
        // Features: a map or none, options (block lengths, as Int or Long or
        // of a wrong type) or none.
        withMap = (offers & 0x08) == 0;
        optionBlock = (offers & 0x30) >> 4;
        blockLength = in.u8() == 0xFF ? static_cast<std::int32_t>(in.read<std::uint32_t>()) : 1 + in.read<std::uint16_t>() % 4096;
        buildFeatures();
        // The URIDs the time input is written with, mapped here: the map is
        // the main thread's, and the sequence is written on the audio thread.
        for (const char* uri : {LV2_ATOM__beatTime, LV2_TIME__Position, LV2_ATOM__Chunk, LV2_TIME__bar, LV2_TIME__barBeat,
                                LV2_TIME__beat, LV2_TIME__beatUnit, LV2_TIME__beatsPerBar, LV2_TIME__beatsPerMinute,
                                LV2_TIME__speed, LV2_TIME__frame, LV2_ATOM__Float, LV2_ATOM__Double, LV2_ATOM__Int,
                                LV2_ATOM__Long, LV2_ATOM__Object, LV2_ATOM__Blank})
            timeUrids[uri] = urids.id(uri);
        FACE_TRACE("lv2: instantiate at %g Hz, map %d, block option %d of %d\n", rate, withMap, optionBlock, blockLength);
        check(main.make(rate, features.data()), "lv2-instantiate", "refused");
        maxFrames = blockLength > 0 && blockLength <= static_cast<std::int32_t>(kMaxFrames) ? blockLength : 1024;

        for (int step = 0; step < kMaxSteps && !in.empty(); ++step) this->step(in.u8());
        finish();
    }

private:
    // A block length the host sets through the options interface (again on
    // the instances compared at the end, which must process in the same pieces).
    void setOptions(Instance& instance, std::pair<std::int32_t, LV2_URID> option) {
        const LV2_Options_Option set[] = {
            {LV2_OPTIONS_INSTANCE, 0, urids.id(LV2_BUF_SIZE__maxBlockLength), sizeof option.first, option.second,
             &option.first},
            {LV2_OPTIONS_INSTANCE, 0, 0, 0, 0, nullptr}};
        instance.options->set(instance.handle, set);
    }

    void buildFeatures() {
        const LV2_URID intType = urids.id(LV2_ATOM__Int), longType = urids.id(LV2_ATOM__Long);
        const LV2_URID floatType = urids.id(LV2_ATOM__Float);
        longLength = blockLength;
        optionList.clear();
        const LV2_URID key = urids.id(LV2_BUF_SIZE__maxBlockLength);
        if (optionBlock == 1) optionList.push_back({LV2_OPTIONS_INSTANCE, 0, key, sizeof(std::int32_t), intType, &blockLength});
        if (optionBlock == 2) optionList.push_back({LV2_OPTIONS_INSTANCE, 0, key, sizeof(std::int64_t), longType, &longLength});
        if (optionBlock == 3) optionList.push_back({LV2_OPTIONS_INSTANCE, 0, key, sizeof(float), floatType, &blockLength});
        optionList.push_back({LV2_OPTIONS_INSTANCE, 0, urids.id(LV2_BUF_SIZE__nominalBlockLength), sizeof(std::int32_t),
                              intType, &blockLength});
        optionList.push_back({LV2_OPTIONS_INSTANCE, 0, 0, 0, 0, nullptr});
        optionsFeature.data = optionList.data();
        features.clear();
        if (withMap) features.push_back(&mapFeature);
        if (optionBlock) features.push_back(&optionsFeature);
        features.push_back(&unknownFeature);
        features.push_back(nullptr);
    }

    void step(std::uint8_t op) {
        static const char* const names[] = {"connect_port", "activate", "deactivate", "run", "run", "run",
                                            "control", "control", "state.save", "state.restore", "options",
                                            "extension_data", "ui", "ui", "ui", "lifecycle"};
        FACE_TRACE("lv2: %s\n", names[op % 16]);
        switch (op % 16) {
            case 0: {
                const std::size_t port = in.u8() % (ports.ports.size() + 2);
                const std::uint8_t how = in.u8() % 8;
                if (port >= ports.ports.size()) {
                    // A port the plug-in does not have: ignored.
                    onAudio([this, port] {
                        main.descriptor->connect_port(main.handle, static_cast<std::uint32_t>(port), wiring.controls.data());
                    });
                    break;
                }
                const std::uint8_t connection = how == 0 ? 1 : how == 1 ? 2 : 0;
                onAudio([this, port, connection] { wiring.connection[port] = connection; });
                break;
            }
            case 1:
                audio.drain();
                main.descriptor->activate(main.handle);
                main.active = true;
                break;
            case 2:
                audio.drain();
                main.descriptor->deactivate(main.handle);
                main.active = false;
                break;
            case 3: case 4: case 5: runBlock(); break;
            case 6: case 7: {
                std::vector<std::size_t> controls;
                for (std::size_t k = 0; k < ports.ports.size(); ++k)
                    if (ports.ports[k].kind == Port::kControl && ports.ports[k].input) controls.push_back(k);
                if (controls.empty()) break;
                const std::size_t port = controls[in.u8() % controls.size()];
                const Port& p = ports.ports[port];
                const auto value = static_cast<float>(pickValue(in, p.minimum, p.maximum, p.defaultValue));
                onAudio([this, port, value] { wiring.controls[port] = value; });
                break;
            }
            case 8: {
                if (!main.state) break;
                store.answer = in.u8() % 6 == 0 ? 4 : 0;
                // Save may run beside run (its own threading class).
                const LV2_State_Status status = main.state->save(main.handle, &StateStore::store, &store, 0, features.data());
                if (store.answer == 0 && withMap) check(status == LV2_STATE_SUCCESS, "lv2-save", "refused with a map");
                if (status == LV2_STATE_SUCCESS) saved = store.properties;
                break;
            }
            case 9: {
                if (!main.state) break;
                StateStore restore;
                restore.properties = saved;
                restore.answer = in.u8() % 4;
                if (restore.answer == 3) {
                    std::vector<std::uint8_t> base;
                    if (!saved.empty()) base = saved.begin()->second.second;
                    restore.otherBytes = pickStateBytes(in, base);
                }
                // Restore is of the instantiation class: nothing beside it.
                audio.drain();
                main.state->restore(main.handle, &StateStore::retrieve, &restore, 0, features.data());
                break;
            }
            case 10: {
                if (!main.options) break;
                const auto length = static_cast<std::int32_t>(in.read<std::uint32_t>() >> (in.u8() % 32));
                optionSets.push_back({length, urids.id(in.u8() & 1 ? LV2_ATOM__Int : LV2_ATOM__Float)});
                audio.drain();
                setOptions(main, optionSets.back());
                LV2_Options_Option get[] = {{LV2_OPTIONS_INSTANCE, 0, urids.id(LV2_BUF_SIZE__maxBlockLength), 0, 0, nullptr},
                                            {LV2_OPTIONS_INSTANCE, 0, 0, 0, 0, nullptr}};
                main.options->get(main.handle, get);
                break;
            }
            case 11: {
                const char* uris[] = {LV2_STATE__interface, LV2_OPTIONS__interface, LV2_UI__idleInterface, "", "urn:x"};
                main.descriptor->extension_data(uris[in.u8() % 5]);
                break;
            }
            case 12: case 13: case 14: ui(); break;
            default: lifecycle(); break;
        }
    }

    template <typename Call>
    void onAudio(Call call) {
        audio.post(call);
    }

    // ------------------------------------------------------------ run

    // A time:Position object among the block's events, with fields of any
    // type and value, at frames in or past the block.
    void writeSequence(std::uint32_t frames, const std::vector<std::uint8_t>& bytes) {
        const auto id = [this](const char* uri) { return timeUrids.at(uri); };
        wiring.emptySequence();
        ByteReader e(bytes.data(), bytes.size());
        LV2_Atom_Sequence* seq = wiring.sequence();
        seq->body.unit = e.u8() % 8 == 0 ? id(LV2_ATOM__beatTime) : 0;
        const std::size_t capacity = wiring.atoms.size() * 8 - sizeof(LV2_Atom);
        const int events = e.u8() % 4;
        for (int k = 0; k < events; ++k) {
            std::vector<std::uint8_t> body;  // object body: otype, id, then properties
            const auto put = [&body](const void* p, std::size_t n) {
                const auto* b = static_cast<const std::uint8_t*>(p);
                body.insert(body.end(), b, b + n);
                body.resize((body.size() + 7) / 8 * 8);
            };
            const LV2_Atom_Object_Body object{0, id(e.u8() % 8 ? LV2_TIME__Position : LV2_ATOM__Chunk)};
            put(&object, sizeof object);
            const char* keys[] = {LV2_TIME__bar, LV2_TIME__barBeat, LV2_TIME__beat, LV2_TIME__beatUnit,
                                  LV2_TIME__beatsPerBar, LV2_TIME__beatsPerMinute, LV2_TIME__speed, LV2_TIME__frame};
            for (int f = e.u8() % 9; f > 0; --f) {
                const std::uint8_t kind = e.u8();
                LV2_Atom_Property_Body property{id(keys[kind % 8]), 0, {0, 0}};
                const double value = pickValue(e, -1e6, 1e6, 1);
                const std::uint8_t type = (kind >> 3) % 5;
                std::uint8_t payload[8]{};
                if (type == 0) {
                    property.value = {4, id(LV2_ATOM__Float)};
                    const auto f32 = static_cast<float>(value);
                    std::memcpy(payload, &f32, 4);
                } else if (type == 1) {
                    property.value = {8, id(LV2_ATOM__Double)};
                    std::memcpy(payload, &value, 8);
                } else if (type == 2) {
                    property.value = {4, id(LV2_ATOM__Int)};
                    const auto i32 = static_cast<std::int32_t>(std::isfinite(value) ? std::fmod(value, 2e9) : 0);
                    std::memcpy(payload, &i32, 4);
                } else if (type == 3) {
                    property.value = {8, id(LV2_ATOM__Long)};
                    const auto i64 = static_cast<std::int64_t>(std::isfinite(value) ? std::fmod(value, 9e18) : 0);
                    std::memcpy(payload, &i64, 8);
                } else {
                    property.value = {0, id(LV2_ATOM__Float)};  // a number with no body
                }
                put(&property, sizeof property);
                body.insert(body.end(), payload, payload + property.value.size);
                body.resize((body.size() + 7) / 8 * 8);
            }
            const std::uint8_t at = e.u8();
            LV2_Atom_Event event{};
            event.time.frames = at < 200 ? at * static_cast<std::int64_t>(frames) / 200 : static_cast<std::int64_t>(frames) + at;
            event.body = {static_cast<std::uint32_t>(body.size()), id(e.u8() % 8 ? LV2_ATOM__Object : LV2_ATOM__Blank)};
            const std::size_t need = sizeof event + body.size();
            if (seq->atom.size + need > capacity) break;
            auto* end = reinterpret_cast<std::uint8_t*>(&seq->body) + seq->atom.size;
            std::memcpy(end, &event, sizeof event);
            std::memcpy(end + sizeof event, body.data(), body.size());
            seq->atom.size += static_cast<std::uint32_t>(need);
        }
    }

    void runBlock() {
        const std::uint32_t frames = pickFrames(in, static_cast<std::uint32_t>(maxFrames));
        const std::uint8_t signal = in.u8();
        const std::uint32_t seed = in.read<std::uint16_t>();
        std::vector<std::uint8_t> events(in.u8() % 96);
        in.bytes(events.data(), events.size());
        // With an audio thread of its own the host keeps to the format's
        // order (run only while active), so what races is the plug-in's
        // doing; without one, any order goes.
        if (!audio.threaded() || main.active)
            onAudio([this, frames, signal, seed, events] { runOn(main, frames, signal, seed, events); });
    }

    // One run with the wiring, its inputs filled, its outputs marked; the
    // outputs' samples come back.
    std::vector<float> runOn(Instance& instance, std::uint32_t frames, std::uint8_t signal, std::uint32_t seed,
                             const std::vector<std::uint8_t>& events) {
        wiring.connectAll(instance, frames, ports);
        if (withMap) writeSequence(frames, events);
        std::vector<std::vector<float>> before(ports.ports.size());
        for (std::size_t k = 0; k < ports.ports.size(); ++k) {
            const Port& p = ports.ports[k];
            if (p.kind != Port::kAudio) continue;
            if (p.input) {
                fillInput(wiring.audio[k].data(), frames, static_cast<std::uint8_t>(signal + k), seed + static_cast<std::uint32_t>(k));
                before[k].assign(wiring.audio[k].begin(), wiring.audio[k].begin() + frames);
            }
        }
        for (std::size_t k = 0; k < ports.ports.size(); ++k)
            if (ports.ports[k].kind == Port::kAudio && !ports.ports[k].input && !wiring.inPlace(k, ports))
                markUnwritten(wiring.audio[k].data(), frames);
        instance.descriptor->run(instance.handle, frames);
        std::vector<float> out;
        for (std::size_t k = 0; k < ports.ports.size(); ++k) {
            const Port& p = ports.ports[k];
            if (p.kind != Port::kAudio || p.input || wiring.connection[k] == 1) continue;
            const auto* samples = static_cast<const float*>(wiring.target(k, ports));
            const float* original = nullptr;
            if (wiring.inPlace(k, ports))
                for (std::size_t i = 0; i < ports.ports.size(); ++i)
                    if (samples == wiring.audio[i].data()) original = before[i].data();
            checkOutput(samples, frames, "lv2-unwritten-outputs", "lv2-nonfinite-output", original);
            out.insert(out.end(), samples, samples + frames);
        }
        for (std::size_t k = 0; k < ports.ports.size(); ++k) {
            const Port& p = ports.ports[k];
            bool shared = false;
            for (std::size_t o = 0; o < ports.ports.size(); ++o)
                shared = shared || (o != k && wiring.target(o, ports) == wiring.audio[k].data());
            if (p.kind == Port::kAudio && p.input && wiring.connection[k] == 0 && !shared && frames > 0)
                check(std::memcmp(before[k].data(), wiring.audio[k].data(), frames * sizeof(float)) == 0, "lv2-input-written");
        }
        return out;
    }

    // ------------------------------------------------------------ interface

    struct Ui {
        const LV2UI_Descriptor* descriptor = nullptr;
        LV2UI_Handle handle = nullptr;
        const LV2UI_Idle_Interface* idle = nullptr;
        const LV2_Options_Interface* options = nullptr;
    };

    static void uiWrite(LV2UI_Controller controller, std::uint32_t port, std::uint32_t size, std::uint32_t format,
                        const void* buffer) {
        auto* self = static_cast<Sequence*>(controller);
        FACE_TRACE("lv2: < write to port %u\n", port);
        const Description& d = self->ports;
        check(port < d.ports.size() && d.ports[port].kind == Port::kControl && d.ports[port].input, "lv2-ui-write",
              describe("to port %.0f", port));
        check(size == sizeof(float) && format == 0 && buffer != nullptr, "lv2-ui-write", "not a float");
        float value;
        std::memcpy(&value, buffer, sizeof value);
        const Port& p = d.ports[port];
        check(std::isfinite(value) && value >= p.minimum && value <= p.maximum, "lv2-ui-write",
              describe("port %.0f at %g", port, value));
        // The host's port follows what the interface wrote.
        self->onAudio([self, port, value] { self->wiring.controls[port] = value; });
    }

    void ui() {
        Ui& slot = uis[in.u8() & 1];
        switch (in.u8() % 10) {
            case 0: {
                if (slot.handle || opens >= kMaxEditorOpens) break;
                ++opens;
                const std::uint8_t how = in.u8();
                slot.descriptor = lv2ui_descriptor(0);
                check(slot.descriptor && lv2ui_descriptor(1) == nullptr, "lv2-ui-descriptor", "not one interface");
                float scale = std::array<float, 8>{1.0f, 1.5f, 2.0f, 0.5f, 4.0f, 9.0f, NAN, 1.25f}[in.u8() % 8];
                std::int32_t wrongType = 2;
                const LV2_Options_Option options[] = {
                    {LV2_OPTIONS_INSTANCE, 0, urids.id(LV2_UI__scaleFactor), static_cast<std::uint32_t>(sizeof scale),
                     urids.id(how & 0x10 ? LV2_ATOM__Int : LV2_ATOM__Float),
                     how & 0x10 ? static_cast<const void*>(&wrongType) : &scale},
                    {LV2_OPTIONS_INSTANCE, 0, 0, 0, 0, nullptr}};
                const LV2_Feature parent{LV2_UI__parent, reinterpret_cast<void*>(display::parentWindow())};
                const LV2_Feature access{LV2_INSTANCE_ACCESS_URI, main.handle};
                const LV2_Feature idleFeature{LV2_UI__idleInterface, nullptr};
                const LV2_Feature optionsFeature{LV2_OPTIONS__options, const_cast<LV2_Options_Option*>(options)};
                const LV2_Feature resizeFeature{LV2_UI__resize, &resize};
                std::vector<const LV2_Feature*> list;
                if (how % 8 != 1) list.push_back(&parent);
                if (how % 8 != 2) list.push_back(&access);
                if (withMap) list.push_back(&mapFeature);
                list.push_back(&idleFeature);
                if (how & 0x20) list.push_back(&resizeFeature);
                if (how & 0x40) list.push_back(&optionsFeature);
                list.push_back(nullptr);
                LV2UI_Widget widget = nullptr;
                const LV2_Descriptor* plugin = lv2_descriptor(0);
                slot.handle = slot.descriptor->instantiate(slot.descriptor, how % 8 == 3 ? "urn:other" : plugin->URI,
                                                           "/fuzz/Tonarvo.lv2/", &Sequence::uiWrite, this, &widget,
                                                           list.data());
                if (slot.handle) {
                    check(widget != nullptr, "lv2-ui-widget", "an interface without a widget");
                    slot.idle = static_cast<const LV2UI_Idle_Interface*>(slot.descriptor->extension_data(LV2_UI__idleInterface));
                    slot.options = static_cast<const LV2_Options_Interface*>(slot.descriptor->extension_data(LV2_OPTIONS__interface));
                }
                break;
            }
            case 1: closeUi(slot); break;
            case 2: case 3:
                idle(1 + in.u8() % 3);
                break;
            case 4:
                if (slot.handle) {
                    const std::uint32_t port = in.u8() % (ports.ports.size() + 2);
                    const Port& p = ports.ports[port % ports.ports.size()];
                    const auto value = static_cast<float>(pickValue(in, p.minimum, p.maximum, p.defaultValue));
                    const std::uint32_t size = in.u8() % 8 == 0 ? 2 : sizeof value;
                    slot.descriptor->port_event(slot.handle, port, size, in.u8() % 8 == 0 ? 7 : 0, &value);
                }
                break;
            case 5:
                if (slot.handle && slot.options) {
                    double scale = pickValue(in, 1, 4, 1);
                    const LV2_Options_Option set[] = {
                        {LV2_OPTIONS_INSTANCE, 0, urids.id(in.u8() % 8 ? LV2_UI__scaleFactor : LV2_ATOM__Chunk),
                         sizeof scale, urids.id(LV2_ATOM__Double), &scale},
                        {LV2_OPTIONS_INSTANCE, 0, 0, 0, 0, nullptr}};
                    slot.options->set(slot.handle, set);
                }
                break;
            case 6: case 7: click(); break;
            default: idle(1); break;
        }
    }

    void idle(int times) {
        for (int k = 0; k < times; ++k) {
            advanceClock(40);
            for (Ui& u : uis)
                if (u.handle && u.idle) u.idle->idle(u.handle);
        }
    }

    void click() {
        Click::read(in).send([this](int turns) { idle(turns); });
    }

    void closeUi(Ui& slot) {
        if (!slot.handle) return;
        slot.descriptor->cleanup(slot.handle);
        slot = Ui{};
    }

    // ------------------------------------------------------------ lifecycle

    void lifecycle() {
        const std::uint8_t what = in.u8() % 3;
        audio.drain();
        // The interfaces go first: they reach the instance.
        for (Ui& u : uis) closeUi(u);
        check(display::childWindows() == 0, "editor-window-left", "the interfaces are gone, a window is not");
        if (what == 0) return;
        if (what == 1 && main.active) main.descriptor->deactivate(main.handle);  // else cleaned up while active
        main.cleanup();
        main = Instance{};
        optionSets.clear();  // a new instance knows only the features
        check(main.make(rate, features.data()), "lv2-instantiate", "refused");
    }

    // ------------------------------------------------------------ the end

    void finish() {
        audio.drain();
        for (Ui& u : uis) closeUi(u);
        check(display::childWindows() == 0, "editor-window-left", "the interfaces are gone, a window is not");
        if (!main.state || !withMap) {
            main.cleanup();
            return;
        }
        if (main.active) main.descriptor->deactivate(main.handle);
        // A save restored into a fresh instance saves the same bytes.
        StateStore first;
        check(main.state->save(main.handle, &StateStore::store, &first, 0, features.data()) == LV2_STATE_SUCCESS,
              "lv2-save", "the final save failed");
        Instance fresh;
        check(fresh.make(rate, features.data()), "lv2-instantiate");
        if (fresh.options)
            for (const auto& option : optionSets) setOptions(fresh, option);
        check(fresh.state->restore(fresh.handle, &StateStore::retrieve, &first, 0, features.data()) == LV2_STATE_SUCCESS,
              "lv2-restore", "an own save refused");
        StateStore second;
        fresh.state->save(fresh.handle, &StateStore::store, &second, 0, features.data());
        check(second.properties == first.properties, "lv2-state-reproducible", "a restored save saves other bytes");

        // Restored after the activation, the state renders what it renders
        // restored before it, with the same ports.
        Instance late;
        check(late.make(rate, features.data()), "lv2-instantiate");
        if (late.options)
            for (const auto& option : optionSets) setOptions(late, option);
        for (std::uint8_t& c : wiring.connection) c = 0;
        std::vector<float> rendered[2];
        Instance* both[2] = {&fresh, &late};
        for (int k = 0; k < 2; ++k) {
            both[k]->descriptor->activate(both[k]->handle);
            if (k == 1)
                check(late.state->restore(late.handle, &StateStore::retrieve, &first, 0, features.data()) == LV2_STATE_SUCCESS,
                      "lv2-restore", "an own save refused while active");
            rendered[k] = runOn(*both[k], 256, 2, 99, {});
            both[k]->descriptor->deactivate(both[k]->handle);
        }
        check(rendered[0] == rendered[1], "lv2-render-after-load", "restored while active, the state renders another block");
        // activate resets what depends on the instance's history: the one
        // that ran the sequence then renders what the fresh one renders.
        main.descriptor->activate(main.handle);
        const std::vector<float> again = runOn(main, 256, 2, 99, {});
        main.descriptor->deactivate(main.handle);
        check(again == rendered[0], "lv2-activate-clears", "after activate the old signal still rings");
        late.cleanup();
        fresh.cleanup();
        main.cleanup();
    }

    ByteReader& in;
    std::vector<std::pair<std::int32_t, LV2_URID>> optionSets;
    const Description& ports;
    AudioThread audio;
    Urids urids;
    LV2_Feature& mapFeature = urids.mapFeature;
    std::vector<LV2_Options_Option> optionList;
    LV2_Feature optionsFeature{LV2_OPTIONS__options, nullptr};
    LV2_Feature unknownFeature{"urn:fuzz:unknown", nullptr};
    std::vector<const LV2_Feature*> features;
    LV2UI_Resize resize{this, [](LV2UI_Feature_Handle, int w, int h) {
                            check(w > 0 && h > 0 && w <= 4 * 2048 && h <= 4 * 2048, "lv2-ui-resize",
                                  describe("%.0f x %.0f", w, h));
                            return 0;
                        }};
    bool withMap = true;
    int optionBlock = 0;
    std::int32_t blockLength = 1024, maxFrames = 1024;
    std::int64_t longLength = 1024;
    double rate = 48000;
    Wiring wiring;
    Instance main;
    StateStore store;
    std::map<LV2_URID, std::pair<std::uint32_t, std::vector<std::uint8_t>>> saved;
    std::map<std::string, LV2_URID> timeUrids;
    std::array<Ui, 2> uis{};
    int opens = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return runInput<Sequence>(data, size, [] { description(); });
}
