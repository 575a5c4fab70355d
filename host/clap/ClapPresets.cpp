#include "host/clap/ClapPresets.h"

#include <cstring>
#include <new>

namespace clapface {

namespace {

// A provider the host created: the bank it lists, the indexer it declares to.
struct Provider {
    clap_preset_discovery_provider_t clap;
    const PresetBank* bank;
    const clap_preset_discovery_indexer_t* indexer;
};

const Provider& self(const clap_preset_discovery_provider_t* p) { return *static_cast<const Provider*>(p->provider_data); }

bool providerInit(const clap_preset_discovery_provider_t* p) {
    const Provider& provider = self(p);
    if (provider.indexer == nullptr || provider.indexer->declare_location == nullptr) return false;
    const clap_preset_discovery_location_t location{CLAP_PRESET_DISCOVERY_IS_FACTORY_CONTENT, "Factory",
                                                    CLAP_PRESET_DISCOVERY_LOCATION_PLUGIN, nullptr};
    return provider.indexer->declare_location(provider.indexer, &location);
}

void providerDestroy(const clap_preset_discovery_provider_t* p) {
    if (p) delete static_cast<const Provider*>(p->provider_data);
}

bool providerMetadata(const clap_preset_discovery_provider_t* p, std::uint32_t kind, const char* location,
                      const clap_preset_discovery_metadata_receiver_t* receiver) {
    const PresetBank& bank = *self(p).bank;
    if (kind != CLAP_PRESET_DISCOVERY_LOCATION_PLUGIN || location != nullptr || receiver == nullptr ||
        receiver->begin_preset == nullptr)
        return false;
    const clap_universal_plugin_id_t plugin{"clap", bank.pluginId};
    for (std::uint32_t k = 0; k < bank.count; ++k) {
        const PresetEntry& preset = bank.presets[k];
        if (!receiver->begin_preset(receiver, preset.name, preset.loadKey)) break;
        if (receiver->add_plugin_id) receiver->add_plugin_id(receiver, &plugin);
        if (receiver->set_flags) receiver->set_flags(receiver, CLAP_PRESET_DISCOVERY_IS_FACTORY_CONTENT);
        if (receiver->add_creator && bank.provider.vendor) receiver->add_creator(receiver, bank.provider.vendor);
        if (receiver->set_description) receiver->set_description(receiver, preset.description);
        if (receiver->add_feature && bank.features)
            for (const char* const* f = bank.features; *f; ++f) receiver->add_feature(receiver, *f);
    }
    return true;
}

const void* providerExtension(const clap_preset_discovery_provider_t*, const char*) { return nullptr; }

const PresetBank& bankOf(const clap_preset_discovery_factory_t* f) {
    return *reinterpret_cast<const PresetFactory*>(f)->bank;
}

}  // namespace

bool isPresetFactoryId(const char* id) {
    return id != nullptr && (std::strcmp(id, CLAP_PRESET_DISCOVERY_FACTORY_ID) == 0 ||
                             std::strcmp(id, CLAP_PRESET_DISCOVERY_FACTORY_ID_COMPAT) == 0);
}

PresetFactory makePresetFactory(const PresetBank& bank) {
    PresetFactory factory{};
    factory.bank = &bank;
    factory.clap.count = [](const clap_preset_discovery_factory_t*) -> std::uint32_t { return 1; };
    factory.clap.get_descriptor = [](const clap_preset_discovery_factory_t* f,
                                     std::uint32_t index) -> const clap_preset_discovery_provider_descriptor_t* {
        return f && index == 0 ? &bankOf(f).provider : nullptr;
    };
    // Nothing calls the indexer before the host calls init.
    factory.clap.create = [](const clap_preset_discovery_factory_t* f, const clap_preset_discovery_indexer_t* indexer,
                             const char* providerId) -> const clap_preset_discovery_provider_t* {
        if (f == nullptr || indexer == nullptr || providerId == nullptr ||
            std::strcmp(providerId, bankOf(f).provider.id) != 0)
            return nullptr;
        auto* provider = new (std::nothrow) Provider{};
        if (provider == nullptr) return nullptr;
        provider->bank = &bankOf(f);
        provider->indexer = indexer;
        provider->clap = {&provider->bank->provider, provider, &providerInit, &providerDestroy, &providerMetadata,
                          &providerExtension};
        return &provider->clap;
    };
    return factory;
}

std::int32_t findPreset(const PresetBank& bank, std::uint32_t locationKind, const char* location,
                        const char* loadKey) {
    if (locationKind != CLAP_PRESET_DISCOVERY_LOCATION_PLUGIN || location != nullptr || loadKey == nullptr) return -1;
    for (std::uint32_t k = 0; k < bank.count; ++k)
        if (std::strcmp(bank.presets[k].loadKey, loadKey) == 0) return static_cast<std::int32_t>(k);
    return -1;
}

bool applyPreset(const PresetBank& bank, std::int32_t index, wrap::PluginModel& model) {
    if (index < 0 || static_cast<std::uint32_t>(index) >= bank.count) return false;
    const PresetEntry& preset = bank.presets[index];
    model.loadValues(preset.values, preset.valueCount);
    return true;
}

}  // namespace clapface
