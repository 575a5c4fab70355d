// The CLAP library's one export, clap_entry: Tonarvo's descriptor and the
// factory that makes its instances on the shared core.
#include <cstring>

#include "effect/TPlexaEffect.h"
#include "effect/TonarvoPlugin.h"
#include "host/clap/ClapEntry.h"

#ifndef TONARVO_VERSION
#error "TONARVO_VERSION names the project's version"
#endif

namespace {

// "distortion": the slope-limited stylus (the tracking force) is what gives
// the effect its character; the tone arm's resonance alone would be a filter.
const char* const kFeatures[] = {CLAP_PLUGIN_FEATURE_AUDIO_EFFECT, CLAP_PLUGIN_FEATURE_STEREO,
                                 CLAP_PLUGIN_FEATURE_DISTORTION, nullptr};

const clapface::PluginRecord kRecord{
    {CLAP_VERSION_INIT, "com.marvoltic.tonarvo", TPlexaEffect::kDescription, TPlexaEffect::kVendor, "", "", "",
     TONARVO_VERSION, "Record player tone arm and stylus simulation", kFeatures},
    tonarvo::pluginDescription()};

const clapface::Factory kFactory = clapface::makeFactory(kRecord);

bool init(const char* path) { return clapface::entryInit(path); }
void deinit() { clapface::entryDeinit(); }
const void* factory(const char* id) {
    return id && std::strcmp(id, CLAP_PLUGIN_FACTORY_ID) == 0 ? &kFactory.clap : nullptr;
}

}  // namespace

extern "C" {
CLAP_EXPORT extern const clap_plugin_entry_t clap_entry;
const clap_plugin_entry_t clap_entry{CLAP_VERSION_INIT, &init, &deinit, &factory};
}
