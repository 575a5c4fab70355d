// A small lilv host for the LV2 tests: loads the built bundle, maps URIDs,
// and runs instances over buffers of its own with the controls in its hands.
#pragma once

#include <lilv/lilv.h>
#include <lv2/urid/urid.h>

#include <gtest/gtest.h>

#include <array>
#include <climits>
#include <deque>
#include <string>
#include <unordered_map>
#include <vector>

namespace lv2test {

constexpr const char* kPluginUri = "urn:tonarvo:tonarvo";
constexpr std::uint32_t kFirstControl = 4, kControls = 6;

class UridMap {
public:
    LV2_URID id(const char* uri) {
        const auto [entry, added] = ids.try_emplace(uri, static_cast<LV2_URID>(ids.size() + 1));
        if (added) uris.push_back(entry->first);
        return entry->second;
    }
    LV2_URID_Map map{this, [](LV2_URID_Map_Handle h, const char* uri) { return static_cast<UridMap*>(h)->id(uri); }};
    LV2_URID_Unmap unmap{this, [](LV2_URID_Unmap_Handle h, LV2_URID u) {
                             auto* self = static_cast<UridMap*>(h);
                             return u >= 1 && u <= self->uris.size() ? self->uris[u - 1].c_str() : nullptr;
                         }};
    LV2_Feature mapFeature{LV2_URID__map, &map};
    LV2_Feature unmapFeature{LV2_URID__unmap, &unmap};

private:
    std::unordered_map<std::string, LV2_URID> ids;
    std::deque<std::string> uris;  // stable storage for unmap's answers
};

// The world with the bundle loaded; one per test binary.
class World {
public:
    World() : world(lilv_world_new()) {
        LilvNode* bundle = lilv_new_file_uri(world, nullptr, TONARVO_LV2_BUNDLE "/");
        lilv_world_load_bundle(world, bundle);
        lilv_node_free(bundle);
        LilvNode* uri = lilv_new_uri(world, kPluginUri);
        plugin = lilv_plugins_get_by_uri(lilv_world_get_all_plugins(world), uri);
        lilv_node_free(uri);
    }
    ~World() { lilv_world_free(world); }

    std::uint32_t portIndex(const char* symbol) const {
        LilvNode* name = lilv_new_string(world, symbol);
        const LilvPort* port = plugin ? lilv_plugin_get_port_by_symbol(plugin, name) : nullptr;
        lilv_node_free(name);
        return port ? lilv_port_get_index(plugin, port) : UINT32_MAX;
    }
    World(const World&) = delete;
    World& operator=(const World&) = delete;

    LilvWorld* world;
    const LilvPlugin* plugin = nullptr;
    UridMap urids;
};

// One instance, its stereo buffers and its six controls (host-owned values).
class Instance {
public:
    static constexpr std::uint32_t kFrames = 256;

    Instance(World& world, double rate = 48000.0) : features{&world.urids.mapFeature, &world.urids.unmapFeature, nullptr} {
        instance = world.plugin ? lilv_plugin_instantiate(world.plugin, rate, features.data()) : nullptr;
        if (!instance) return;
        // The defaults, as a host reads them from the description.
        std::vector<float> defaults(lilv_plugin_get_num_ports(world.plugin));
        lilv_plugin_get_port_ranges_float(world.plugin, nullptr, nullptr, defaults.data());
        for (std::uint32_t p = 0; p < kControls; ++p) controls[p] = defaults[kFirstControl + p];
        for (std::uint32_t c = 0; c < 4; ++c) lilv_instance_connect_port(instance, c, audio[c].data());
        for (std::uint32_t p = 0; p < kControls; ++p) lilv_instance_connect_port(instance, kFirstControl + p, &controls[p]);
        lilv_instance_activate(instance);
    }
    ~Instance() {
        if (!instance) return;
        lilv_instance_deactivate(instance);
        lilv_instance_free(instance);
    }
    Instance(const Instance&) = delete;
    Instance& operator=(const Instance&) = delete;

    // One block of a fixed test signal; returns the left and right output.
    std::vector<float> run(std::uint32_t block = 0) {
        for (std::uint32_t i = 0; i < kFrames; ++i) {
            audio[0][i] = 0.5f * static_cast<float>(((block * kFrames + i) % 89) / 89.0 - 0.5);
            audio[1][i] = 0.3f * static_cast<float>(((block * kFrames + i) % 41) / 41.0 - 0.5);
        }
        lilv_instance_run(instance, kFrames);
        std::vector<float> out(audio[2].begin(), audio[2].end());
        out.insert(out.end(), audio[3].begin(), audio[3].end());
        return out;
    }

    LilvInstance* instance = nullptr;
    std::array<float, kControls> controls{};

private:
    std::array<const LV2_Feature*, 3> features;
    std::array<std::array<float, kFrames>, 4> audio{};
};

}  // namespace lv2test
