// CLAP preset discovery for presets built into the plug-in, and what loading
// one of them does. The first half declares the preset-discovery and
// preset-load interfaces (plain C, for plug-ins and hosts alike); the second
// is the face's side: a discovery factory with one provider, which declares
// one plug-in location of factory content and lists every preset in it, and
// the load of a preset into the shared core.
#pragma once

#include <cstdint>

#include "host/clap/ClapAbi.h"
#include "host/wrap/PluginModel.h"

extern "C" {

#define CLAP_PRESET_DISCOVERY_FACTORY_ID "clap.preset-discovery-factory/2"
// The same interface under its draft name, which hosts still ask for.
#define CLAP_PRESET_DISCOVERY_FACTORY_ID_COMPAT "clap.preset-discovery-factory/draft-2"
#define CLAP_EXT_PRESET_LOAD "clap.preset-load/2"
#define CLAP_EXT_PRESET_LOAD_COMPAT "clap.preset-load.draft/2"

typedef uint64_t clap_timestamp;
#define CLAP_TIMESTAMP_UNKNOWN ((clap_timestamp)0)

// A file or folder path; or presets inside the plug-in, with a null location.
enum clap_preset_discovery_location_kind {
    CLAP_PRESET_DISCOVERY_LOCATION_FILE = 0,
    CLAP_PRESET_DISCOVERY_LOCATION_PLUGIN = 1,
};

enum clap_preset_discovery_flags {
    CLAP_PRESET_DISCOVERY_IS_FACTORY_CONTENT = 1 << 0,
    CLAP_PRESET_DISCOVERY_IS_USER_CONTENT = 1 << 1,
    CLAP_PRESET_DISCOVERY_IS_DEMO_CONTENT = 1 << 2,
    CLAP_PRESET_DISCOVERY_IS_FAVORITE = 1 << 3,
};

// A plug-in in any format: abi "clap" with the plug-in's id, "vst3" with a
// UUID string, "vst2" with the unique ID in decimal.
typedef struct clap_universal_plugin_id {
    const char* abi;
    const char* id;
} clap_universal_plugin_id_t;

typedef struct clap_preset_discovery_metadata_receiver clap_preset_discovery_metadata_receiver_t;
struct clap_preset_discovery_metadata_receiver {
    void* receiver_data;
    void (*on_error)(const clap_preset_discovery_metadata_receiver_t* receiver, int32_t os_error,
                     const char* error_message);
    // Mandatory for presets inside a container (the plug-in is one); false: stop.
    bool (*begin_preset)(const clap_preset_discovery_metadata_receiver_t* receiver, const char* name,
                         const char* load_key);
    void (*add_plugin_id)(const clap_preset_discovery_metadata_receiver_t* receiver,
                          const clap_universal_plugin_id_t* plugin_id);
    void (*set_soundpack_id)(const clap_preset_discovery_metadata_receiver_t* receiver, const char* soundpack_id);
    void (*set_flags)(const clap_preset_discovery_metadata_receiver_t* receiver, uint32_t flags);
    void (*add_creator)(const clap_preset_discovery_metadata_receiver_t* receiver, const char* creator);
    void (*set_description)(const clap_preset_discovery_metadata_receiver_t* receiver, const char* description);
    void (*set_timestamps)(const clap_preset_discovery_metadata_receiver_t* receiver, clap_timestamp creation_time,
                           clap_timestamp modification_time);
    void (*add_feature)(const clap_preset_discovery_metadata_receiver_t* receiver, const char* feature);
    void (*add_extra_info)(const clap_preset_discovery_metadata_receiver_t* receiver, const char* key,
                           const char* value);
};

typedef struct clap_preset_discovery_filetype {
    const char* name;
    const char* description;     // may be null
    const char* file_extension;  // without the dot; null or empty: every file
} clap_preset_discovery_filetype_t;

typedef struct clap_preset_discovery_location {
    uint32_t flags;
    const char* name;
    uint32_t kind;         // clap_preset_discovery_location_kind
    const char* location;  // null for CLAP_PRESET_DISCOVERY_LOCATION_PLUGIN
} clap_preset_discovery_location_t;

typedef struct clap_preset_discovery_soundpack {
    uint32_t flags;
    const char* id;
    const char* name;
    const char* description;
    const char* homepage_url;
    const char* vendor;
    const char* image_path;
    clap_timestamp release_timestamp;
} clap_preset_discovery_soundpack_t;

typedef struct clap_preset_discovery_provider_descriptor {
    clap_version_t clap_version;
    const char* id;
    const char* name;
    const char* vendor;  // may be null
} clap_preset_discovery_provider_descriptor_t;

typedef struct clap_preset_discovery_provider clap_preset_discovery_provider_t;
struct clap_preset_discovery_provider {
    const clap_preset_discovery_provider_descriptor_t* desc;
    void* provider_data;
    bool (*init)(const clap_preset_discovery_provider_t* provider);
    void (*destroy)(const clap_preset_discovery_provider_t* provider);
    bool (*get_metadata)(const clap_preset_discovery_provider_t* provider, uint32_t location_kind,
                         const char* location, const clap_preset_discovery_metadata_receiver_t* metadata_receiver);
    const void* (*get_extension)(const clap_preset_discovery_provider_t* provider, const char* extension_id);
};

// The host's side, handed to the provider it creates.
typedef struct clap_preset_discovery_indexer clap_preset_discovery_indexer_t;
struct clap_preset_discovery_indexer {
    clap_version_t clap_version;
    const char* name;
    const char* vendor;
    const char* url;
    const char* version;
    void* indexer_data;
    bool (*declare_filetype)(const clap_preset_discovery_indexer_t* indexer,
                             const clap_preset_discovery_filetype_t* filetype);
    bool (*declare_location)(const clap_preset_discovery_indexer_t* indexer,
                             const clap_preset_discovery_location_t* location);
    bool (*declare_soundpack)(const clap_preset_discovery_indexer_t* indexer,
                              const clap_preset_discovery_soundpack_t* soundpack);
    const void* (*get_extension)(const clap_preset_discovery_indexer_t* indexer, const char* extension_id);
};

// Thread-safe; the caller frees a created provider with its destroy.
typedef struct clap_preset_discovery_factory clap_preset_discovery_factory_t;
struct clap_preset_discovery_factory {
    uint32_t (*count)(const clap_preset_discovery_factory_t* factory);
    const clap_preset_discovery_provider_descriptor_t* (*get_descriptor)(const clap_preset_discovery_factory_t* factory,
                                                                          uint32_t index);
    const clap_preset_discovery_provider_t* (*create)(const clap_preset_discovery_factory_t* factory,
                                                      const clap_preset_discovery_indexer_t* indexer,
                                                      const char* provider_id);
};

// [main-thread], both sides.
typedef struct clap_plugin_preset_load {
    bool (*from_location)(const clap_plugin_t* plugin, uint32_t location_kind, const char* location,
                          const char* load_key);
} clap_plugin_preset_load_t;

typedef struct clap_host_preset_load {
    void (*on_error)(const clap_host_t* host, uint32_t location_kind, const char* location, const char* load_key,
                     int32_t os_error, const char* msg);
    void (*loaded)(const clap_host_t* host, uint32_t location_kind, const char* location, const char* load_key);
} clap_host_preset_load_t;

}  // extern "C"

CLAP_ABI_ASSERT(sizeof(clap_universal_plugin_id_t) == 16 && CLAP_ABI_OFFSET(clap_universal_plugin_id_t, id) == 8,
                "clap_universal_plugin_id_t");
CLAP_ABI_ASSERT(sizeof(clap_preset_discovery_filetype_t) == 24 &&
                    CLAP_ABI_OFFSET(clap_preset_discovery_filetype_t, file_extension) == 16,
                "clap_preset_discovery_filetype_t");
CLAP_ABI_ASSERT(sizeof(clap_preset_discovery_location_t) == 32 &&
                    CLAP_ABI_OFFSET(clap_preset_discovery_location_t, name) == 8 &&
                    CLAP_ABI_OFFSET(clap_preset_discovery_location_t, kind) == 16 &&
                    CLAP_ABI_OFFSET(clap_preset_discovery_location_t, location) == 24,
                "clap_preset_discovery_location_t");
CLAP_ABI_ASSERT(sizeof(clap_preset_discovery_soundpack_t) == 64 &&
                    CLAP_ABI_OFFSET(clap_preset_discovery_soundpack_t, id) == 8 &&
                    CLAP_ABI_OFFSET(clap_preset_discovery_soundpack_t, vendor) == 40 &&
                    CLAP_ABI_OFFSET(clap_preset_discovery_soundpack_t, release_timestamp) == 56,
                "clap_preset_discovery_soundpack_t");
CLAP_ABI_ASSERT(sizeof(clap_preset_discovery_provider_descriptor_t) == 40 &&
                    CLAP_ABI_OFFSET(clap_preset_discovery_provider_descriptor_t, id) == 16 &&
                    CLAP_ABI_OFFSET(clap_preset_discovery_provider_descriptor_t, vendor) == 32,
                "clap_preset_discovery_provider_descriptor_t");
CLAP_ABI_ASSERT(sizeof(clap_preset_discovery_provider_t) == 48 &&
                    CLAP_ABI_OFFSET(clap_preset_discovery_provider_t, init) == 16 &&
                    CLAP_ABI_OFFSET(clap_preset_discovery_provider_t, get_metadata) == 32 &&
                    CLAP_ABI_OFFSET(clap_preset_discovery_provider_t, get_extension) == 40,
                "clap_preset_discovery_provider_t");
CLAP_ABI_ASSERT(sizeof(clap_preset_discovery_indexer_t) == 88 &&
                    CLAP_ABI_OFFSET(clap_preset_discovery_indexer_t, name) == 16 &&
                    CLAP_ABI_OFFSET(clap_preset_discovery_indexer_t, indexer_data) == 48 &&
                    CLAP_ABI_OFFSET(clap_preset_discovery_indexer_t, declare_filetype) == 56 &&
                    CLAP_ABI_OFFSET(clap_preset_discovery_indexer_t, declare_location) == 64 &&
                    CLAP_ABI_OFFSET(clap_preset_discovery_indexer_t, declare_soundpack) == 72 &&
                    CLAP_ABI_OFFSET(clap_preset_discovery_indexer_t, get_extension) == 80,
                "clap_preset_discovery_indexer_t");
CLAP_ABI_ASSERT(sizeof(clap_preset_discovery_metadata_receiver_t) == 88 &&
                    CLAP_ABI_OFFSET(clap_preset_discovery_metadata_receiver_t, on_error) == 8 &&
                    CLAP_ABI_OFFSET(clap_preset_discovery_metadata_receiver_t, begin_preset) == 16 &&
                    CLAP_ABI_OFFSET(clap_preset_discovery_metadata_receiver_t, add_plugin_id) == 24 &&
                    CLAP_ABI_OFFSET(clap_preset_discovery_metadata_receiver_t, set_flags) == 40 &&
                    CLAP_ABI_OFFSET(clap_preset_discovery_metadata_receiver_t, set_description) == 56 &&
                    CLAP_ABI_OFFSET(clap_preset_discovery_metadata_receiver_t, set_timestamps) == 64 &&
                    CLAP_ABI_OFFSET(clap_preset_discovery_metadata_receiver_t, add_feature) == 72 &&
                    CLAP_ABI_OFFSET(clap_preset_discovery_metadata_receiver_t, add_extra_info) == 80,
                "clap_preset_discovery_metadata_receiver_t");
CLAP_ABI_ASSERT(sizeof(clap_preset_discovery_factory_t) == 24 &&
                    CLAP_ABI_OFFSET(clap_preset_discovery_factory_t, get_descriptor) == 8 &&
                    CLAP_ABI_OFFSET(clap_preset_discovery_factory_t, create) == 16,
                "clap_preset_discovery_factory_t");
CLAP_ABI_ASSERT(sizeof(clap_plugin_preset_load_t) == 8 && sizeof(clap_host_preset_load_t) == 16 &&
                    CLAP_ABI_OFFSET(clap_host_preset_load_t, loaded) == 8,
                "preset-load tables");

namespace clapface {

// One preset built into the plug-in: its values in the parameters' own units,
// in parameter order.
struct PresetEntry {
    const char* name;
    const char* loadKey;
    const char* description;
    const double* values;
    std::uint32_t valueCount;
};

// The presets of one plug-in, and how the provider presents them.
struct PresetBank {
    clap_preset_discovery_provider_descriptor_t provider;
    const char* pluginId;         // the CLAP id of the plug-in they apply to
    const char* const* features;  // null-terminated, as in the plug-in's descriptor
    const PresetEntry* presets;
    std::uint32_t count;
};

// A discovery factory offering one provider for `bank`; the host sees `clap`.
struct PresetFactory {
    clap_preset_discovery_factory_t clap;
    const PresetBank* bank;
};
PresetFactory makePresetFactory(const PresetBank& bank);
// Whether `id` names the discovery factory (either of its names).
bool isPresetFactoryId(const char* id);

// The preset a host's load names (a plug-in location, no path, a load key
// the provider listed), or -1.
std::int32_t findPreset(const PresetBank& bank, std::uint32_t locationKind, const char* location,
                        const char* loadKey);
// Puts the preset's values into the model exactly as the table holds them
// (as a state load does), so a host reads back the very numbers it listed.
// False for an index outside the bank. Main thread, as any state load.
bool applyPreset(const PresetBank& bank, std::int32_t index, wrap::PluginModel& model);

}  // namespace clapface
