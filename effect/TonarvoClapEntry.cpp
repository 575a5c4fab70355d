// The CLAP library's one export, clap_entry: Tonarvo's descriptor, the
// factory that makes its instances on the shared core, and the discovery of
// its factory presets.
#include <array>
#include <cstring>

#include "effect/TPlexaEffect.h"
#include "effect/TonarvoPlugin.h"
#include "effect/TonarvoPresets.h"
#include "host/clap/ClapEntry.h"
#include "host/clap/ClapPresets.h"

#ifndef TONARVO_VERSION
#error "TONARVO_VERSION names the project's version"
#endif

namespace {

// Fixed for good: hosts store it in projects.
constexpr const char* kClapId = "com.marvoltic.tonarvo";

// "distortion": the slope-limited stylus (the tracking force) is what gives
// the effect its character; the tone arm's resonance alone would be a filter.
const char* const kFeatures[] = {CLAP_PLUGIN_FEATURE_AUDIO_EFFECT, CLAP_PLUGIN_FEATURE_STEREO,
                                 CLAP_PLUGIN_FEATURE_DISTORTION, nullptr};

// The table's presets as the provider lists them; the load key is the
// preset's key.
constexpr std::size_t kPresetCount = tonarvo::kFactoryPresetCount;
const std::array<clapface::PresetEntry, kPresetCount> kPresetEntries = [] {
    std::array<clapface::PresetEntry, kPresetCount> entries{};
    const auto table = tonarvo::factoryPresets();
    for (std::size_t k = 0; k < kPresetCount && k < table.size(); ++k)
        entries[k] = {table[k].name, table[k].key, table[k].description, table[k].values,
                      static_cast<std::uint32_t>(tonarvo::kPresetValueCount)};
    return entries;
}();
const clapface::PresetBank kPresetBank{
    {CLAP_VERSION_INIT, "com.marvoltic.tonarvo.presets", "Tonarvo factory presets", TPlexaEffect::kVendor},
    kClapId,
    kFeatures,
    kPresetEntries.data(),
    static_cast<std::uint32_t>(kPresetEntries.size())};

const clapface::PluginRecord kRecord{
    {CLAP_VERSION_INIT, kClapId, TPlexaEffect::kDescription, TPlexaEffect::kVendor, "", "", "",
     TONARVO_VERSION, "Record player tone arm and stylus simulation", kFeatures},
    tonarvo::pluginDescription(),
    &kPresetBank};

const clapface::Factory kFactory = clapface::makeFactory(kRecord);
const clapface::PresetFactory kPresetFactory = clapface::makePresetFactory(kPresetBank);

bool init(const char* path) { return clapface::entryInit(path); }
void deinit() { clapface::entryDeinit(); }
const void* factory(const char* id) {
    if (id && std::strcmp(id, CLAP_PLUGIN_FACTORY_ID) == 0) return &kFactory.clap;
    return clapface::isPresetFactoryId(id) ? &kPresetFactory.clap : nullptr;
}

}  // namespace

extern "C" {
CLAP_EXPORT extern const clap_plugin_entry_t clap_entry;
const clap_plugin_entry_t clap_entry{CLAP_VERSION_INIT, &init, &deinit, &factory};
}
