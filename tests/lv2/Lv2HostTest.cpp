// The LV2 plug-in in a host of our own: state through lilv and through the
// state interface, restored values against the host's ports in both orders,
// and time and transport from a time:Position reaching the block section.
#include <lv2/atom/forge.h>
#include <lv2/state/state.h>
#include <lv2/time/time.h>

#include <cstring>
#include <memory>

#include "Lv2TestHost.h"
#include "effect/TPlexaEffect.h"
#include "effect/TonarvoLv2.h"
#include "host/lv2/Lv2Plugin.h"

namespace lv2test {
namespace {

World& world() {
    static World instance;
    return instance;
}

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

const LV2_State_Interface& stateInterface(Instance& i) {
    return *static_cast<const LV2_State_Interface*>(lilv_instance_get_extension_data(i.instance, LV2_STATE__interface));
}

SavedState save(Instance& i) {
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

void restore(Instance& i, SavedState& saved) {
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

TEST(Lv2State, ARestoredInstanceRendersLikeTheOriginalFromTheSave) {
    ASSERT_NE(world().plugin, nullptr);
    Instance original(world());
    ASSERT_NE(original.instance, nullptr);
    // Values the chunk's single precision keeps exactly.
    original.controls = {3.5f, -2.25f, 1.25f, 6.0f, -10.0f, 31.5f};
    lilv_instance_run(original.instance, 0);  // takes the controls, processes nothing

    // As a host saves a session: its port values beside the plug-in's state.
    const auto portValue = [](const char* symbol, void* user, std::uint32_t* size, std::uint32_t* type) -> const void* {
        const std::uint32_t index = world().portIndex(symbol);
        if (index < kFirstControl || index >= kFirstControl + kControls) return nullptr;
        *size = sizeof(float);
        *type = world().urids.id(LV2_ATOM__Float);
        return &static_cast<Instance*>(user)->controls[index - kFirstControl];
    };
    LilvState* state = lilv_state_new_from_instance(world().plugin, original.instance, &world().urids.map, nullptr,
                                                    nullptr, nullptr, nullptr, portValue, &original, 0, nullptr);
    ASSERT_NE(state, nullptr);
    Instance restored(world());
    const auto setPort = [](const char* symbol, void* user, const void* value, std::uint32_t, std::uint32_t) {
        const std::uint32_t index = world().portIndex(symbol);
        if (index >= kFirstControl && index < kFirstControl + kControls)
            std::memcpy(&static_cast<Instance*>(user)->controls[index - kFirstControl], value, sizeof(float));
    };
    lilv_state_restore(state, restored.instance, setPort, &restored, 0, nullptr);
    lilv_state_free(state);

    EXPECT_EQ(restored.controls, original.controls);
    EXPECT_EQ(save(restored).bytes, save(original).bytes);
    for (std::uint32_t b = 0; b < 40; ++b) ASSERT_EQ(restored.run(b), original.run(b)) << "block " << b;
}

TEST(Lv2State, RestoredValuesCountAsAppliedAndAPortSetOtherwiseWins) {
    Instance source(world());
    ASSERT_NE(source.instance, nullptr);
    SavedState saved = save(source);
    ASSERT_EQ(saved.bytes.size(), 260u);
    // Values no port write could make: off the input trim's step grid (as the
    // interface sets it), and the slew limit beyond its range.
    saved.setSlider(1, 3.14159f);
    saved.setSlider(22, 100.0f);

    for (const bool portsFirst : {true, false})
        for (const bool hostDiffers : {false, true}) {
            SCOPED_TRACE(testing::Message() << "ports " << (portsFirst ? "before" : "after") << " the restore, "
                                            << (hostDiffers ? "input trim differs" : "same values"));
            Instance target(world());
            target.run();
            const auto setPorts = [&] {
                target.controls[0] = hostDiffers ? 6.0f : 3.14159f;
                target.controls[5] = 100.0f;
            };
            if (portsFirst) setPorts();
            restore(target, saved);
            if (!portsFirst) setPorts();
            target.run();
            const SavedState now = save(target);
            EXPECT_EQ(now.slider(1), hostDiffers ? 6.0f : 3.14159f);
            EXPECT_EQ(now.slider(22), 100.0f);
        }
}

TEST(Lv2Time, APositionReachesTheBlockSectionAsAVst24HostGivesIt) {
    UridMap urids;
    const LV2_Feature* features[] = {&urids.mapFeature, nullptr};
    alignas(LV2_Atom) std::uint8_t events[512];
    const auto forge = [&](bool withPosition) {
        LV2_Atom_Forge f;
        lv2_atom_forge_init(&f, &urids.map);
        lv2_atom_forge_set_buffer(&f, events, sizeof events);
        LV2_Atom_Forge_Frame sequence, object;
        lv2_atom_forge_sequence_head(&f, &sequence, 0);
        if (withPosition) {
            // Bar 3, beat 1.5 of 6/8 at 90 beats a minute, playing, 16 frames into the block.
            lv2_atom_forge_frame_time(&f, 16);
            lv2_atom_forge_object(&f, &object, 0, urids.id(LV2_TIME__Position));
            lv2_atom_forge_key(&f, urids.id(LV2_TIME__beatsPerMinute));
            lv2_atom_forge_float(&f, 90.0f);
            lv2_atom_forge_key(&f, urids.id(LV2_TIME__beatsPerBar));
            lv2_atom_forge_float(&f, 6.0f);
            lv2_atom_forge_key(&f, urids.id(LV2_TIME__beatUnit));
            lv2_atom_forge_int(&f, 8);
            lv2_atom_forge_key(&f, urids.id(LV2_TIME__bar));
            lv2_atom_forge_long(&f, 3);
            lv2_atom_forge_key(&f, urids.id(LV2_TIME__barBeat));
            lv2_atom_forge_float(&f, 1.5f);
            lv2_atom_forge_key(&f, urids.id(LV2_TIME__speed));
            lv2_atom_forge_float(&f, 1.0f);
            lv2_atom_forge_pop(&f, &object);
        }
        lv2_atom_forge_pop(&f, &sequence);
    };
    float audio[4][64] = {};
    for (const bool withMap : {true, false}) {
        std::unique_ptr<lv2host::Lv2Plugin> plugin(lv2host::Lv2Plugin::create(
            &tonarvo::lv2::newInstance, kPluginUri, 48000.0, withMap ? features : nullptr));
        ASSERT_NE(plugin, nullptr);
        for (std::uint32_t c = 0; c < 4; ++c) plugin->connect(c, audio[c]);
        plugin->connect(plugin->ports().timePort(), events);
        plugin->activate();
        const tonarvo::TonarvoVariables& v = static_cast<TPlexaEffect&>(plugin->effect()).v;
        forge(true);
        plugin->run(64);
        if (!withMap) {
            // No URIDs, no time: what a VST 2.4 host without time information gives.
            EXPECT_EQ(v.hostTempo, 0.0);
            EXPECT_EQ(v.playState, 0.0);
            EXPECT_EQ(v.beatPosition, 0.0);
            continue;
        }
        const double beatsPerFrame = 90.0 / (60.0 * 48000.0);
        EXPECT_EQ(v.hostTempo, 90.0);
        EXPECT_EQ(v.hostTimeSigNumerator, 6.0);
        EXPECT_EQ(v.hostTimeSigDenominator, 8.0);
        EXPECT_EQ(v.playState, 1.0);
        // Quarter notes at the block's start: the position counted back 16 frames.
        EXPECT_DOUBLE_EQ(v.beatPosition, (3 * 6 + 1.5 - 16 * beatsPerFrame) * 4 / 8);
        forge(false);
        plugin->run(64);
        EXPECT_DOUBLE_EQ(v.beatPosition, (3 * 6 + 1.5 + 48 * beatsPerFrame) * 4 / 8);
    }
}

}  // namespace
}  // namespace lv2test
