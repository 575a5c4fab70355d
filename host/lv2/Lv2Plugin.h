// The LV2 face of an effect built on the runtime. The runtime reaches its
// host through a CVeST adapter, so each LV2 instance holds one, made by the
// same factory as the VST 2.4 entry point uses, and is that adapter's host:
// it sends the opcodes a VST 2.4 host would (open, rate, block size, switch
// on and off, chunks) and answers the runtime's host requests from what the
// LV2 host gave. Initialisation, the slider section and state therefore run
// exactly where they run under VST 2.4. What differs: the host owns the
// controls, in the sliders' own units, and hands them over at each run.
#pragma once

#include <lv2/core/lv2.h>
#include <lv2/options/options.h>
#include <lv2/state/state.h>
#include <lv2/urid/urid.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "host/lv2/Lv2Time.h"
#include "host/vst2_abi.h"
#include "host/wrap/WrappedEffect.h"

class CVeST;
namespace plexa {
class TPlexa;
}

namespace lv2face {

using wrap::InstanceFactory;

// Port numbers: the audio inputs, the audio outputs, one control per
// parameter in parameter order, then the time and transport input.
struct PortLayout {
    std::uint32_t inputs = 0, outputs = 0, controls = 0;
    std::uint32_t firstOutput() const { return inputs; }
    std::uint32_t firstControl() const { return inputs + outputs; }
    std::uint32_t timePort() const { return inputs + outputs + controls; }
    std::uint32_t count() const { return timePort() + 1; }
};

using wrap::kDefaultBlockSize;

class Plugin {
public:
    // Null when the effect cannot be made. `pluginUri` names the saved state.
    static Plugin* create(InstanceFactory factory, const char* pluginUri, double sampleRate,
                             const LV2_Feature* const* features);
    ~Plugin();
    Plugin(const Plugin&) = delete;
    Plugin& operator=(const Plugin&) = delete;

    void connect(std::uint32_t port, void* data);
    void activate();
    void deactivate();
    void run(std::uint32_t frames);
    LV2_State_Status save(LV2_State_Store_Function store, LV2_State_Handle handle);
    LV2_State_Status restore(LV2_State_Retrieve_Function retrieve, LV2_State_Handle handle);
    std::uint32_t setOptions(const LV2_Options_Option* options);

    const PortLayout& ports() const { return layout; }
    wrap::WrappedEffect& wrapped() const { return *core; }
    CVeST& adapter() const { return core->adapter(); }
    plexa::TPlexa& effect() const { return core->effect(); }
    vst2::VstIntPtr dispatch(std::int32_t opcode, std::int32_t index = 0, vst2::VstIntPtr value = 0,
                             void* ptr = nullptr, float opt = 0.0f) {
        return core->dispatch(opcode, index, value, ptr, opt);
    }
    // Parameter p's current value in the slider's own units.
    double controlValue(std::uint32_t parameter) const { return core->value(parameter); }

private:
    explicit Plugin(std::unique_ptr<wrap::WrappedEffect> core);
    void applyControls();

    std::unique_ptr<wrap::WrappedEffect> core;
    wrap::HostControls hostControls;  // the port values the effect last took
    PortLayout layout;
    std::vector<float*> audio;             // inputs, then outputs
    std::vector<const float*> controls;
    const LV2_Atom_Sequence* timeEvents = nullptr;
    Lv2Time time;
    LV2_URID_Map* map = nullptr;
    LV2_URID chunkKey = 0, chunkType = 0, intType = 0, longType = 0, maxBlock = 0, nominalBlock = 0;
};

// An LV2 descriptor that carries the factory and URI its instances come from.
struct PluginDescriptor {
    LV2_Descriptor lv2;
    InstanceFactory factory;
};

PluginDescriptor pluginDescriptor(const char* uri, InstanceFactory factory);

}  // namespace lv2face
