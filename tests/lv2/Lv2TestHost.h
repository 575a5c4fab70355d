// A small lilv host for the LV2 tests: loads the built bundle, maps URIDs,
// and runs instances over buffers of its own with the controls in its hands.
#pragma once

#include <lilv/lilv.h>
#include <lv2/state/state.h>
#include <lv2/urid/urid.h>

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>
#include <unordered_map>
#include <vector>

namespace lv2test {

constexpr const char* kPluginUri = "urn:tonarvo:tonarvo";
constexpr std::uint32_t kFirstControl = 4, kControls = 6;

class UridMap {
public:
    LV2_URID id(const char* uri) {
        return ids.try_emplace(uri, static_cast<LV2_URID>(ids.size() + 1)).first->second;
    }
    LV2_URID_Map map{this, [](LV2_URID_Map_Handle h, const char* uri) { return static_cast<UridMap*>(h)->id(uri); }};
    LV2_Feature mapFeature{LV2_URID__map, &map};

private:
    std::unordered_map<std::string, LV2_URID> ids;
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

    Instance(World& world, double rate = 48000.0) : features{&world.urids.mapFeature, nullptr} {
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
    std::array<const LV2_Feature*, 2> features;
    std::array<std::array<float, kFrames>, 4> audio{};
};

// The state interface called directly, keeping the one property it stores.
struct SavedState {
    LV2_URID key = 0, type = 0;
    std::vector<std::uint8_t> bytes;

    float slider(int number) const {
        float value = 0;
        std::memcpy(&value, bytes.data() + 4 * number, sizeof value);
        return value;
    }
    void setSlider(int number, float value) { std::memcpy(bytes.data() + 4 * number, &value, sizeof value); }
};

inline const LV2_State_Interface& stateInterface(Instance& i) {
    return *static_cast<const LV2_State_Interface*>(lilv_instance_get_extension_data(i.instance, LV2_STATE__interface));
}

inline SavedState save(Instance& i) {
    SavedState saved;
    const auto store = [](LV2_State_Handle h, std::uint32_t key, const void* value, std::size_t size, std::uint32_t type,
                          std::uint32_t) {
        auto* s = static_cast<SavedState*>(h);
        s->key = key;
        s->type = type;
        s->bytes.assign(static_cast<const std::uint8_t*>(value), static_cast<const std::uint8_t*>(value) + size);
        return LV2_STATE_SUCCESS;
    };
    EXPECT_EQ(stateInterface(i).save(lilv_instance_get_handle(i.instance), store, &saved, 0, nullptr), LV2_STATE_SUCCESS);
    return saved;
}

inline void restore(Instance& i, SavedState& saved) {
    const auto retrieve = [](LV2_State_Handle h, std::uint32_t key, std::size_t* size, std::uint32_t* type,
                             std::uint32_t* flags) -> const void* {
        auto* s = static_cast<SavedState*>(h);
        if (key != s->key) return nullptr;
        *size = s->bytes.size();
        *type = s->type;
        *flags = LV2_STATE_IS_POD;
        return s->bytes.data();
    };
    EXPECT_EQ(stateInterface(i).restore(lilv_instance_get_handle(i.instance), retrieve, &saved, 0, nullptr),
              LV2_STATE_SUCCESS);
}

}  // namespace lv2test
