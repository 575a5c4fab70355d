#include "host/lv2/Lv2Plugin.h"

#include <lv2/atom/atom.h>
#include <lv2/buf-size/buf-size.h>

#include <bit>
#include <cmath>
#include <climits>
#include <cstring>
#include <memory>
#include <new>

#include "host/lv2/Lv2Features.h"

namespace lv2face {

Plugin::Plugin(std::unique_ptr<wrap::PluginModel> model) : shared(std::move(model)) {}

Plugin* Plugin::create(const wrap::PluginDescription& description, const char* pluginUri, double sampleRate,
                       const LV2_Feature* const* features) {
    try {
        std::unique_ptr<wrap::PluginModel> model =
            wrap::PluginModel::create(description, wrap::HostUnits::Plain, sampleRate);
        if (!model) return nullptr;
        std::unique_ptr<Plugin> self(new (std::nothrow) Plugin(std::move(model)));
        if (!self) return nullptr;
        self->layout.inputs = self->wrapped().inputs();
        self->layout.outputs = self->wrapped().outputs();
        self->layout.controls = self->shared->sliderCount();
        self->audio.assign(self->layout.inputs + self->layout.outputs, nullptr);
        self->controls.assign(self->layout.controls, nullptr);
        self->changes.reserve(self->layout.controls + 1);
        // Nothing taken yet: the first run takes every port.
        self->portValues.assign(self->layout.controls + 1, std::nanf(""));

        // Every feature is optional: lv2apply, for one, gives none.
        self->map = static_cast<LV2_URID_Map*>(featureData(features, LV2_URID__map));
        if (self->map && !self->map->map) self->map = nullptr;
        if (self->map) {
            const std::string key = std::string(pluginUri ? pluginUri : "") + "#chunk";
            self->chunkKey = self->map->map(self->map->handle, key.c_str());
            self->chunkType = self->map->map(self->map->handle, LV2_ATOM__Chunk);
            self->intType = self->map->map(self->map->handle, LV2_ATOM__Int);
            self->longType = self->map->map(self->map->handle, LV2_ATOM__Long);
            self->maxBlock = self->map->map(self->map->handle, LV2_BUF_SIZE__maxBlockLength);
            self->nominalBlock = self->map->map(self->map->handle, LV2_BUF_SIZE__nominalBlockLength);
        }
        self->time.bind(self->map, sampleRate);
        self->setOptions(static_cast<const LV2_Options_Option*>(featureData(features, LV2_OPTIONS__options)));
        return self.release();
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

Plugin::~Plugin() = default;

void Plugin::connect(std::uint32_t port, void* data) {
    if (port < layout.firstControl())
        audio[port] = static_cast<float*>(data);
    else if (port < layout.timePort())
        controls[port - layout.firstControl()] = static_cast<const float*>(data);
    else if (port == layout.timePort())
        timeEvents = static_cast<const LV2_Atom_Sequence*>(data);
    else if (port == layout.enabledPort())
        enabled = static_cast<const float*>(data);
}

// LV2 hosts may switch on twice or off without on; both are harmless.
void Plugin::activate() {
    takeBlockSize();
    shared->setActive(true);
}

void Plugin::takeBlockSize() {
    // Refused while the plug-in runs: kept for the next activation.
    if (pendingBlock > 0 && shared->setup(shared->sampleRate(), pendingBlock)) pendingBlock = 0;
}

void Plugin::deactivate() { shared->setActive(false); }

void Plugin::run(std::uint32_t frames) {
    if (timeEvents) time.read(*timeEvents);
    // A port holds a level the host hands over at every run: it is a change
    // of the host's only when it moved. (The interface sets sliders itself
    // and tells the host, whose port follows a little later: the stale value
    // it still carries meanwhile is no change.)
    changes.clear();
    const auto moved = [this](std::uint32_t id, const float* port) {
        if (port == nullptr || std::bit_cast<std::uint32_t>(*port) == std::bit_cast<std::uint32_t>(portValues[id])) return;
        portValues[id] = *port;
        if (!std::isfinite(*port)) return;  // no number: nothing the host said
        changes.push_back({0, id, id == shared->bypassId() ? (*port >= 0.5f ? 0.0 : 1.0) : static_cast<double>(*port)});
    };
    for (std::uint32_t p = 0; p < layout.controls; ++p) moved(p, controls[p]);
    moved(shared->bypassId(), enabled);
    const auto count = frames > INT32_MAX ? INT32_MAX : frames;
    shared->setTimeInfo(time.info());
    float** in = audio.data();
    float** out = audio.data() + layout.inputs;
    if (layout.inputs == 2 && layout.outputs == 2 && in[0] && in[1] && out[0] && out[1]) {
        shared->process(in, out, count, changes.data(), changes.size());
    } else {
        // A host that left audio unconnected: what it did connect is written.
        shared->take(changes.data(), changes.size());
        wrap::PluginModel::silence(out, layout.outputs, count);
    }
    time.advance(count);
}

LV2_State_Status Plugin::save(LV2_State_Store_Function store, LV2_State_Handle handle) {
    if (map == nullptr) return LV2_STATE_ERR_NO_FEATURE;
    const std::vector<std::uint8_t> chunk = shared->saveState();
    if (chunk.empty()) return LV2_STATE_ERR_UNKNOWN;
    return store(handle, chunkKey, chunk.data(), chunk.size(), chunkType, LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE);
}

LV2_State_Status Plugin::restore(LV2_State_Retrieve_Function retrieve, LV2_State_Handle handle) {
    if (map == nullptr) return LV2_STATE_ERR_NO_FEATURE;
    std::size_t size = 0;
    std::uint32_t type = 0, flags = 0;
    const void* chunk = retrieve(handle, chunkKey, &size, &type, &flags);
    if (chunk == nullptr) return LV2_STATE_ERR_NO_PROPERTY;
    if (type != chunkType) return LV2_STATE_ERR_BAD_TYPE;
    if (size > INT32_MAX) return LV2_STATE_ERR_UNKNOWN;
    // The restored values count as exchanged: a host that puts the same
    // values on its ports changes nothing, a different value wins. Every
    // port counts at the next run, moved or not.
    if (!shared->loadState(static_cast<const std::uint8_t*>(chunk), size)) return LV2_STATE_ERR_UNKNOWN;
    std::fill(portValues.begin(), portValues.end(), std::nanf(""));
    return LV2_STATE_SUCCESS;
}

std::uint32_t Plugin::setOptions(const LV2_Options_Option* options) {
    if (options == nullptr || map == nullptr) return LV2_OPTIONS_SUCCESS;
    std::int64_t maximum = 0, nominal = 0;
    for (const LV2_Options_Option* o = options; o->key != 0; ++o) {
        std::int64_t value = 0;
        if (o->type == intType && o->size == sizeof(std::int32_t) && o->value)
            value = *static_cast<const std::int32_t*>(o->value);
        else if (o->type == longType && o->size == sizeof(std::int64_t) && o->value)
            value = *static_cast<const std::int64_t*>(o->value);
        if (o->key == maxBlock) maximum = value;
        if (o->key == nominalBlock) nominal = value;
    }
    // A VST 2.4 block size is the largest block the host will send; one set
    // while the plug-in runs is taken at its next activation, as a VST 2.4
    // effect takes its block size at switch-on.
    const std::int64_t size = maximum > 0 ? maximum : nominal;
    if (size > 0 && size <= INT32_MAX) {
        pendingBlock = static_cast<std::int32_t>(size);
        takeBlockSize();
    }
    return LV2_OPTIONS_SUCCESS;
}

namespace {

Plugin* self(LV2_Handle handle) { return static_cast<Plugin*>(handle); }

LV2_Handle instantiate(const LV2_Descriptor* descriptor, double rate, const char*, const LV2_Feature* const* features) {
    const auto* ours = reinterpret_cast<const PluginDescriptor*>(descriptor);
    return Plugin::create(*ours->description, descriptor->URI, rate, features);
}

void connectPort(LV2_Handle h, std::uint32_t port, void* data) { self(h)->connect(port, data); }
void activate(LV2_Handle h) { self(h)->activate(); }
void run(LV2_Handle h, std::uint32_t frames) { self(h)->run(frames); }
void deactivate(LV2_Handle h) { self(h)->deactivate(); }
void cleanup(LV2_Handle h) { delete self(h); }

LV2_State_Status saveState(LV2_Handle h, LV2_State_Store_Function store, LV2_State_Handle handle, std::uint32_t,
                           const LV2_Feature* const*) {
    return self(h)->save(store, handle);
}
LV2_State_Status restoreState(LV2_Handle h, LV2_State_Retrieve_Function retrieve, LV2_State_Handle handle,
                              std::uint32_t, const LV2_Feature* const*) {
    return self(h)->restore(retrieve, handle);
}

// Nothing is offered for reading; the block size may be set.
std::uint32_t getOptions(LV2_Handle, LV2_Options_Option*) { return LV2_OPTIONS_ERR_UNKNOWN; }
std::uint32_t setOptions(LV2_Handle h, const LV2_Options_Option* options) { return self(h)->setOptions(options); }

const void* extensionData(const char* uri) {
    static const LV2_State_Interface state{&saveState, &restoreState};
    static const LV2_Options_Interface options{&getOptions, &setOptions};
    if (uri && std::strcmp(uri, LV2_STATE__interface) == 0) return &state;
    if (uri && std::strcmp(uri, LV2_OPTIONS__interface) == 0) return &options;
    return nullptr;
}

}  // namespace

PluginDescriptor pluginDescriptor(const char* uri, const wrap::PluginDescription& description) {
    return {{uri, &instantiate, &connectPort, &activate, &run, &deactivate, &cleanup, &extensionData}, &description};
}

}  // namespace lv2face
