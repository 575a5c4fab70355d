// The CLAP face of an effect built on the runtime: one clap_plugin_t around
// the shared core (the effect's own VST 2.4 instance, driven as a VST 2.4
// host drives it). Parameters are the VST 2.4 parameters in the sliders' own
// units, ids = VST 2.4 indexes; host changes take effect at their frame
// through the core's split processing; state is the VST 2.4 chunk with the
// exact values behind it; the editor is the VST 2.4 editor, idled from the
// host's timer (and X connection) on Linux and from a window timer on
// Windows.
//
// Threads: the editor's edits are made on the main thread (the effect's own
// design: its interface sets sliders) and cross to the audio thread as
// gesture records in a single-producer, single-consumer ring; process and
// flush drain it into the host's output events without allocating.
#pragma once

#include <cstdint>

#include "host/clap/ClapAbi.h"
#include "host/wrap/WrappedEffect.h"

namespace clapface {

// Marks the blob a CLAP save appends after the VST 2.4 chunk: the exact
// double values the chunk only holds as floats. Other faces read the chunk
// and ignore what follows it.
inline constexpr char kExactValuesTag[8] = {'T', 'n', 'r', 'v', 'E', 'x', 'a', 'c'};
// A state larger than this is not ours (the chunk is a few hundred bytes).
inline constexpr std::uint64_t kMaxStateBytes = 1u << 20;

// What the factory needs to make instances of one plug-in.
struct PluginRecord {
    clap_plugin_descriptor_t descriptor;
    wrap::InstanceFactory factory;
    // Frames after the input falls silent until the output is below -120
    // dBFS, at any rate (the effect's ring-down is counted in frames).
    std::uint32_t tailFrames;
};

// A new plug-in object for `host`, or null (no host, an incompatible host
// version, no memory). Nothing calls the host here.
const clap_plugin_t* createPlugin(const PluginRecord& record, const clap_host_t* host);

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
