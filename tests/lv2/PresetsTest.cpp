// The factory presets: the table's values are what every face's own write
// stores; each preset renders finite, audible, stable audio below full scale
// from a -6 dBFS signal, unlike every other preset, at 44.1 and 96 kHz; the
// LV2 bundle's presets, loaded through lilv, and the CLAP face's load of a
// key give exactly the table's values and the audio of setting them by hand.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include <lv2/atom/atom.h>
#include <lv2/presets/presets.h>

#include "../dsp/Signals.h"
#include "Lv2TestHost.h"
#include "effect/TonarvoInstance.h"
#include "effect/TonarvoLv2.h"
#include "effect/TonarvoPlugin.h"
#include "effect/TonarvoPresets.h"
#include "host/clap/ClapPresets.h"
#include "host/wrap/WrappedEffect.h"

namespace {

using tonarvo::FactoryPreset;
using tonarvo::kPresetValueCount;

#if defined(TONARVO_SANITIZED_BUILD)
// The instrumented effect runs about ten times slower; what it looks for
// (memory and undefined behaviour) one rate shows.
constexpr double kSeconds = 0.5;
constexpr double kRates[] = {44100.0};
#else
constexpr double kSeconds = 2.0;
constexpr double kRates[] = {44100.0, 96000.0};
#endif

std::unique_ptr<wrap::WrappedEffect> effectWith(const FactoryPreset& preset, double rate) {
    auto effect = wrap::WrappedEffect::create(&tonarvo::newInstance, rate, 512);
    if (effect)
        for (std::uint32_t p = 0; p < kPresetValueCount; ++p) effect->setValue(p, preset.values[p]);
    return effect;
}

// Both channels of `in` through `effect`, switched on, in blocks of 512.
dsptest::Stereo render(wrap::WrappedEffect& effect, const dsptest::Stereo& in) {
    effect.setActive(true);
    dsptest::Stereo out = in;
    for (std::size_t at = 0; at < in.left.size(); at += 512) {
        const auto n = static_cast<std::uint32_t>(std::min<std::size_t>(512, in.left.size() - at));
        float* channels[] = {out.left.data() + at, out.right.data() + at};
        effect.process(channels, channels, n);
    }
    return out;
}

double rms(const std::vector<float>& x, std::size_t from, std::size_t to) {
    double sum = 0;
    for (std::size_t i = from; i < to; ++i) sum += static_cast<double>(x[i]) * x[i];
    return std::sqrt(sum / static_cast<double>(std::max<std::size_t>(to - from, 1)));
}

// Music scaled to a -6 dBFS peak, then silence; and a -6 dBFS sweep.
dsptest::Stereo musicThenSilence(double rate) {
    dsptest::Stereo s = dsptest::makeSignal(dsptest::Kind::Music, rate, kSeconds);
    float peak = 0;
    for (std::size_t i = 0; i < s.left.size(); ++i) peak = std::max({peak, std::fabs(s.left[i]), std::fabs(s.right[i])});
    for (std::size_t i = 0; i < s.left.size(); ++i) {
        s.left[i] *= 0.5f / peak;
        s.right[i] *= 0.5f / peak;
    }
    s.left.resize(s.left.size() + static_cast<std::size_t>(rate), 0.0f);
    s.right.resize(s.left.size(), 0.0f);
    return s;
}

TEST(FactoryPresets, EveryValueIsAFloatOnTheStepGridThatTheSliderWriteStoresExactly) {
    const auto presets = tonarvo::factoryPresets();
    ASSERT_GE(presets.size(), 8u);
    ASSERT_LE(presets.size(), 12u);
    std::set<std::string> names, keys;
    for (const FactoryPreset& preset : presets) {
        SCOPED_TRACE(preset.name);
        EXPECT_TRUE(names.insert(preset.name).second);
        EXPECT_TRUE(keys.insert(preset.key).second);
        // Keys end up in URIs and load keys, names in file names.
        for (const char* c = preset.key; *c; ++c) EXPECT_TRUE(std::strchr("abcdefghijklmnopqrstuvwxyz0123456789-", *c));
        EXPECT_EQ(std::strcspn(preset.name, "\\*?/:<>|\""), std::strlen(preset.name));
        EXPECT_GT(std::strlen(preset.description), 20u);
        EXPECT_EQ(std::strcspn(preset.description, "\n\"\\"), std::strlen(preset.description));

        const auto effect = effectWith(preset, 44100.0);
        ASSERT_NE(effect, nullptr);
        ASSERT_GE(effect->parameters(), kPresetValueCount);
        for (std::uint32_t p = 0; p < kPresetValueCount; ++p) {
            const double v = preset.values[p];
            const wrap::WrappedEffect::ParameterInfo info = effect->parameterInfo(p);
            EXPECT_EQ(static_cast<double>(static_cast<float>(v)), v) << "parameter " << p;
            EXPECT_GE(v, info.minimum);
            EXPECT_LE(v, info.maximum);
            EXPECT_EQ(effect->value(p), v) << "parameter " << p << " was stepped off the table's value";
        }
    }
}

TEST(FactoryPresets, EachRendersFiniteAudibleStableUnclippedAndDistinctAt44And96kHz) {
    for (const double rate : kRates) {
        const dsptest::Stereo music = musicThenSilence(rate);
        const dsptest::Stereo sweep = dsptest::makeSignal(dsptest::Kind::Sweep, rate, 2 * kSeconds);
        const std::size_t end = static_cast<std::size_t>(kSeconds * rate);
        std::vector<std::vector<float>> outputs[2];  // the music's and the sweep's left channel
        for (const FactoryPreset& preset : tonarvo::factoryPresets()) {
            SCOPED_TRACE(testing::Message() << preset.name << " at " << rate << " Hz");
            for (const dsptest::Stereo* in : {&music, &sweep}) {
                const auto effect = effectWith(preset, rate);
                const dsptest::Stereo out = render(*effect, *in);
                float peak = 0;
                bool finite = true;
                for (std::size_t i = 0; i < out.left.size(); ++i) {
                    finite = finite && std::isfinite(out.left[i]) && std::isfinite(out.right[i]);
                    peak = std::max({peak, std::fabs(out.left[i]), std::fabs(out.right[i])});
                }
                EXPECT_TRUE(finite);
                EXPECT_LT(peak, 1.0f) << (in == &music ? "music" : "sweep") << " clips";
                if (in == &music) {
                    // Audible while the music plays, and it dies away after it.
                    const double playing = rms(out.left, end / 2, end);
                    EXPECT_GT(playing, 0.01);
                    EXPECT_LT(rms(out.left, out.left.size() - static_cast<std::size_t>(rate / 4), out.left.size()),
                              0.01 * playing);
                }
                outputs[in == &music ? 0 : 1].push_back(out.left);
            }
        }
        // No two presets sound alike: in the music or the sweep, what differs
        // between any two is within 20 dB of what plays.
        const auto distance = [](const std::vector<float>& a, const std::vector<float>& b, std::size_t n) {
            std::vector<float> difference(n);
            for (std::size_t i = 0; i < n; ++i) difference[i] = a[i] - b[i];
            return rms(difference, 0, n) / std::max(rms(a, 0, n), rms(b, 0, n));
        };
        for (std::size_t a = 0; a < outputs[0].size(); ++a)
            for (std::size_t b = a + 1; b < outputs[0].size(); ++b)
                EXPECT_GT(std::max(distance(outputs[0][a], outputs[0][b], end),
                                   distance(outputs[1][a], outputs[1][b], sweep.left.size())),
                          0.1)
                    << tonarvo::factoryPresets()[a].name << " and " << tonarvo::factoryPresets()[b].name << " at "
                    << rate << " Hz";
    }
}

TEST(ClapPresets, ALoadKeyAppliesTheTablesValuesExactlyAndRendersAsSetByHand) {
    const auto table = tonarvo::factoryPresets();
    std::vector<clapface::PresetEntry> entries;
    for (const FactoryPreset& preset : table)
        entries.push_back({preset.name, preset.key, preset.description, preset.values, kPresetValueCount});
    const clapface::PresetBank bank{{}, "com.marvoltic.tonarvo", nullptr, entries.data(),
                                    static_cast<std::uint32_t>(entries.size())};
    EXPECT_EQ(clapface::findPreset(bank, CLAP_PRESET_DISCOVERY_LOCATION_PLUGIN, nullptr, "no-such-preset"), -1);
    EXPECT_EQ(clapface::findPreset(bank, CLAP_PRESET_DISCOVERY_LOCATION_FILE, nullptr, table[0].key), -1);
    EXPECT_EQ(clapface::findPreset(bank, CLAP_PRESET_DISCOVERY_LOCATION_PLUGIN, "/a/path", table[0].key), -1);
    EXPECT_EQ(clapface::findPreset(bank, CLAP_PRESET_DISCOVERY_LOCATION_PLUGIN, nullptr, nullptr), -1);

    const dsptest::Stereo music = dsptest::makeSignal(dsptest::Kind::Music, 48000.0, kSeconds / 4);
    for (std::size_t k = 0; k < table.size(); ++k) {
        SCOPED_TRACE(table[k].name);
        auto loaded = wrap::PluginModel::create(tonarvo::pluginDescription(), wrap::HostUnits::Plain, 48000.0, 512);
        ASSERT_NE(loaded, nullptr);
        // Another preset first: a load replaces every value.
        ASSERT_TRUE(clapface::applyPreset(bank, static_cast<std::int32_t>((k + 1) % table.size()), *loaded));
        const std::int32_t index = clapface::findPreset(bank, CLAP_PRESET_DISCOVERY_LOCATION_PLUGIN, nullptr, table[k].key);
        ASSERT_EQ(index, static_cast<std::int32_t>(k));
        ASSERT_TRUE(clapface::applyPreset(bank, index, *loaded));
        for (std::uint32_t p = 0; p < kPresetValueCount; ++p) EXPECT_EQ(loaded->hostValue(p), table[k].values[p]);
        const auto byHand = effectWith(table[k], 48000.0);
        EXPECT_EQ(render(loaded->effect(), music).left, render(*byHand, music).left);
    }
    auto model = wrap::PluginModel::create(tonarvo::pluginDescription(), wrap::HostUnits::Plain, 48000.0, 512);
    EXPECT_FALSE(clapface::applyPreset(bank, -1, *model));
    EXPECT_FALSE(clapface::applyPreset(bank, static_cast<std::int32_t>(table.size()), *model));
}

TEST(Lv2Presets, LilvListsEachAsFactoryContentAndLoadsTheTablesValuesAndAudio) {
    lv2test::World world;
    ASSERT_NE(world.plugin, nullptr);
    LilvNode* presetClass = lilv_new_uri(world.world, LV2_PRESETS__Preset);
    LilvNode* label = lilv_new_uri(world.world, LILV_NS_RDFS "label");
    LilvNode* comment = lilv_new_uri(world.world, LILV_NS_RDFS "comment");
    LilvNodes* related = lilv_plugin_get_related(world.plugin, presetClass);
    std::size_t found = 0;
    LILV_FOREACH (nodes, i, related) {
        const LilvNode* node = lilv_nodes_get(related, i);
        const std::string uri = lilv_node_as_uri(node);
        lilv_world_load_resource(world.world, node);
        const std::string prefix = std::string(lv2test::kPluginUri) + "#preset-";
        ASSERT_EQ(uri.rfind(prefix, 0), 0u) << uri;
        const std::int32_t index = tonarvo::findPreset(uri.substr(prefix.size()));
        ASSERT_GE(index, 0) << uri;
        ++found;
        const FactoryPreset& preset = tonarvo::factoryPresets()[static_cast<std::size_t>(index)];
        SCOPED_TRACE(preset.name);
        LilvNode* name = lilv_world_get(world.world, node, label, nullptr);
        LilvNode* text = lilv_world_get(world.world, node, comment, nullptr);
        // Ardour lists a preset with a comment as a factory preset.
        ASSERT_TRUE(name && text);
        EXPECT_STREQ(lilv_node_as_string(name), preset.name);
        EXPECT_STREQ(lilv_node_as_string(text), preset.description);
        lilv_node_free(name);
        lilv_node_free(text);

        LilvState* state = lilv_state_new_from_world(world.world, &world.urids.map, node);
        ASSERT_NE(state, nullptr);
        EXPECT_EQ(lilv_state_get_num_properties(state), 0u);
        lv2test::Instance loaded(world), byHand(world);
        struct Target {
            lv2test::Instance* instance;
            LV2_URID floatType;
            int set = 0;
        } target{&loaded, world.urids.id(LV2_ATOM__Float)};
        lilv_state_restore(
            state, loaded.instance,
            [](const char* symbol, void* user, const void* value, std::uint32_t size, std::uint32_t type) {
                auto* t = static_cast<Target*>(user);
                for (std::uint32_t p = 0; p < lv2test::kControls; ++p)
                    if (std::strcmp(symbol, tonarvo::kLv2ControlSymbols[p]) == 0 && type == t->floatType &&
                        size == sizeof(float)) {
                        std::memcpy(&t->instance->controls[p], value, sizeof(float));
                        ++t->set;
                    }
            },
            &target, 0, nullptr);
        lilv_state_free(state);
        EXPECT_EQ(target.set, static_cast<int>(lv2test::kControls));
        for (std::uint32_t p = 0; p < lv2test::kControls; ++p) {
            EXPECT_EQ(static_cast<double>(loaded.controls[p]), preset.values[p]) << tonarvo::kLv2ControlSymbols[p];
            byHand.controls[p] = static_cast<float>(preset.values[p]);
        }
        for (std::uint32_t b = 0; b < 20; ++b) ASSERT_EQ(loaded.run(b), byHand.run(b)) << "block " << b;
    }
    EXPECT_EQ(found, tonarvo::factoryPresets().size());
    lilv_nodes_free(related);
    lilv_node_free(comment);
    lilv_node_free(label);
    lilv_node_free(presetClass);
}

}  // namespace
