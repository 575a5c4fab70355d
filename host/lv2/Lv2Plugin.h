// The LV2 face: the shared model (wrap::PluginModel) behind LV2's ports. The
// host owns the controls, in the sliders' own units, and hands them over at
// each run as the block's first changes; the state is the VST 2.4 chunk
// (the values themselves are the host's ports).
#pragma once

#include <lv2/core/lv2.h>
#include <lv2/options/options.h>
#include <lv2/state/state.h>
#include <lv2/urid/urid.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "host/lv2/Lv2Time.h"
#include "host/wrap/PluginModel.h"

namespace lv2face {

// Port numbers: the audio inputs, the audio outputs, one control per slider
// in parameter order, the time and transport input, then the switch that
// bypasses the effect (lv2:enabled; last, so the ports before it keep the
// numbers they always had).
struct PortLayout {
    std::uint32_t inputs = 0, outputs = 0, controls = 0;
    std::uint32_t firstOutput() const { return inputs; }
    std::uint32_t firstControl() const { return inputs + outputs; }
    std::uint32_t timePort() const { return inputs + outputs + controls; }
    std::uint32_t enabledPort() const { return timePort() + 1; }
    std::uint32_t count() const { return enabledPort() + 1; }
};

using wrap::kDefaultBlockSize;

class Plugin {
public:
    // Null when the effect cannot be made. `pluginUri` names the saved state.
    static Plugin* create(const wrap::PluginDescription& description, const char* pluginUri, double sampleRate,
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
    wrap::PluginModel& model() const { return *shared; }
    wrap::WrappedEffect& wrapped() const { return shared->effect(); }
    // Parameter p's current value in the slider's own units.
    double controlValue(std::uint32_t parameter) const { return shared->hostValue(parameter); }

private:
    explicit Plugin(std::unique_ptr<wrap::PluginModel> model);
    void takeBlockSize();

    std::unique_ptr<wrap::PluginModel> shared;
    PortLayout layout;
    std::vector<float*> audio;             // inputs, then outputs
    std::vector<const float*> controls;
    const float* enabled = nullptr;
    std::int32_t pendingBlock = 0;  // set through the options while running
    // Each port's value at the last run (the controls, then enabled).
    std::vector<float> portValues;
    // The ports' values as a block's changes, made before any run.
    std::vector<wrap::PluginModel::Change> changes;
    const LV2_Atom_Sequence* timeEvents = nullptr;
    Lv2Time time;
    LV2_URID_Map* map = nullptr;
    LV2_URID chunkKey = 0, chunkType = 0, intType = 0, longType = 0, maxBlock = 0, nominalBlock = 0;
};

// An LV2 descriptor that carries the plug-in its instances present.
struct PluginDescriptor {
    LV2_Descriptor lv2;
    const wrap::PluginDescription* description;
};

PluginDescriptor pluginDescriptor(const char* uri, const wrap::PluginDescription& description);

}  // namespace lv2face
