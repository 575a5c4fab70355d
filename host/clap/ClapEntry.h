// The CLAP library's entry: one plug-in's descriptor and the factory that
// makes its instances on the shared model.
#pragma once

#include "host/clap/ClapAbi.h"
#include "host/wrap/PluginModel.h"

namespace clapface {

// What the factory needs to make instances of one plug-in.
struct PresetBank;

struct PluginRecord {
    clap_plugin_descriptor_t descriptor;
    const wrap::PluginDescription& description;
    // Presets built into the plug-in, loaded through preset-load; may be null.
    const PresetBank* presets;
};

// A plug-in factory offering one record; the host sees `clap`.
struct Factory {
    clap_plugin_factory_t clap;
    const PluginRecord* record;
};
Factory makeFactory(const PluginRecord& record);

// The entry's init and deinit: counted, so a host may call init again; the
// work is done on the first init and the last deinit only.
bool entryInit(const char* path);
void entryDeinit();

}  // namespace clapface
