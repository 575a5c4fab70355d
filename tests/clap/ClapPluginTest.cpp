// Tonarvo.clap in a host of our own, against the VST 2.4 library it wraps:
// what it describes, what it renders (bit for bit what the VST 2.4 face gives
// when driven with setParameter between shorter process calls), what it
// saves and loads, and what it refuses.
#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#if defined(__linux__)
#include <sys/resource.h>
#endif

#include "../e2e/PluginHost.h"
#include "ClapTestHost.h"
#include "effect/TonarvoPresets.h"

namespace claptest {
namespace {

const clap_plugin_entry_t* entry() {
    static const clap_plugin_entry_t* loaded = loadEntry(TONARVO_CLAP_PATH);
    return loaded;
}

constexpr std::uint32_t kParams = 6;
struct Range {
    double min, max, def;
};
// The sliders as the VST 2.4 face has them.
constexpr Range kRanges[kParams] = {{-24, 24, 0}, {-24, 24, 0}, {0, 2, 0}, {-24, 24, -24}, {-24, 24, -24}, {0, 48, 25.2}};

TEST(ClapEntry, DescribesOneStereoEffectAndMakesOnlyItsExactId) {
    ASSERT_NE(entry(), nullptr) << TONARVO_CLAP_PATH;
    EXPECT_TRUE(clap_version_is_compatible(entry()->clap_version));
    ASSERT_TRUE(entry()->init(TONARVO_CLAP_PATH));
    ASSERT_TRUE(entry()->init(TONARVO_CLAP_PATH));  // counted
    EXPECT_EQ(entry()->get_factory("clap.plugin-factory.x"), nullptr);
    const auto* factory = static_cast<const clap_plugin_factory_t*>(entry()->get_factory(CLAP_PLUGIN_FACTORY_ID));
    ASSERT_NE(factory, nullptr);
    ASSERT_EQ(factory->get_plugin_count(factory), 1u);
    EXPECT_EQ(factory->get_plugin_descriptor(factory, 1), nullptr);
    const clap_plugin_descriptor_t* d = factory->get_plugin_descriptor(factory, 0);
    ASSERT_NE(d, nullptr);
    e2e::TonarvoInstance vst;
    EXPECT_STREQ(d->id, "com.marvoltic.tonarvo");
    EXPECT_EQ(d->name, vst.text(vst2::effGetEffectName));
    EXPECT_STREQ(d->vendor, "MARVOLTIC");
    EXPECT_STREQ(d->version, TONARVO_VERSION);
    std::vector<std::string> features;
    for (const char* const* f = d->features; *f; ++f) features.push_back(*f);
    EXPECT_EQ(features, (std::vector<std::string>{"audio-effect", "stereo", "distortion"}));

    Host host;
    EXPECT_EQ(factory->create_plugin(factory, &host.clap, "com.marvoltic.tonarvox"), nullptr);
    EXPECT_EQ(factory->create_plugin(factory, nullptr, d->id), nullptr);
    const clap_plugin_t* uninitialised = factory->create_plugin(factory, &host.clap, d->id);
    ASSERT_NE(uninitialised, nullptr);
    uninitialised->destroy(uninitialised);  // never initialised: still fine

    Plugin p(entry(), host);
    ASSERT_TRUE(p.ready);
    EXPECT_EQ(p.plugin->get_extension(p.plugin, "clap.params.x"), nullptr);
    EXPECT_EQ(p.plugin->get_extension(p.plugin, CLAP_EXT_RENDER), nullptr);
    for (bool input : {true, false}) {
        ASSERT_EQ(p.ports->count(p.plugin, input), 1u);
        clap_audio_port_info_t info{};
        ASSERT_TRUE(p.ports->get(p.plugin, 0, input, &info));
        EXPECT_FALSE(p.ports->get(p.plugin, 1, input, &info));
        EXPECT_EQ(info.channel_count, 2u);
        EXPECT_STREQ(info.port_type, CLAP_PORT_STEREO);
        EXPECT_EQ(info.flags & (CLAP_AUDIO_PORT_IS_MAIN | CLAP_AUDIO_PORT_SUPPORTS_64BITS),
                  CLAP_AUDIO_PORT_IS_MAIN | CLAP_AUDIO_PORT_SUPPORTS_64BITS);
    }
    const auto* latency = p.ext<clap_plugin_latency_t>(CLAP_EXT_LATENCY);
    ASSERT_TRUE(p.activate(48000, 512));
    EXPECT_EQ(latency->get(p.plugin), 0u);

    // Parameters: the VST 2.4 names and ranges, in the sliders' units, then
    // the bypass; the texts name what the editor shows and parse back.
    ASSERT_EQ(p.params->count(p.plugin), kParams + 1);
    clap_param_info_t info{};
    EXPECT_FALSE(p.params->get_info(p.plugin, kParams + 1, &info));
    ASSERT_TRUE(p.params->get_info(p.plugin, kParams, &info));
    EXPECT_EQ(info.flags, static_cast<std::uint32_t>(CLAP_PARAM_IS_AUTOMATABLE | CLAP_PARAM_IS_BYPASS |
                                                     CLAP_PARAM_IS_STEPPED));
    EXPECT_EQ(info.min_value, 0.0);
    EXPECT_EQ(info.max_value, 1.0);
    EXPECT_EQ(info.default_value, 0.0);
    // At three quarters of each range.
    const char* const texts[kParams] = {"+12.00 dB", "+12.00 dB", "40325 Hz", "77.94 Hz", "9.33", "2.54 g"};
    for (std::uint32_t i = 0; i < kParams; ++i) {
        ASSERT_TRUE(p.params->get_info(p.plugin, i, &info));
        EXPECT_EQ(info.id, i);
        EXPECT_EQ(info.flags, static_cast<std::uint32_t>(CLAP_PARAM_IS_AUTOMATABLE));
        EXPECT_EQ(info.name, vst.text(vst2::effGetParamName, static_cast<vst2::VstInt32>(i)));
        EXPECT_EQ(info.min_value, kRanges[i].min);
        EXPECT_EQ(info.max_value, kRanges[i].max);
        EXPECT_EQ(info.default_value, kRanges[i].def);
        EXPECT_EQ(p.value(i), kRanges[i].def);
        const double v = kRanges[i].min + 0.75 * (kRanges[i].max - kRanges[i].min);
        char text[64], again[64];
        ASSERT_TRUE(p.params->value_to_text(p.plugin, i, v, text, sizeof text));
        EXPECT_STREQ(text, texts[i]);
        double back = 0;
        ASSERT_TRUE(p.params->text_to_value(p.plugin, i, text, &back));
        ASSERT_TRUE(p.params->value_to_text(p.plugin, i, back, again, sizeof again));
        EXPECT_STREQ(again, text);
        EXPECT_TRUE(p.params->value_to_text(p.plugin, i, v, text, 3));
        EXPECT_EQ(std::strlen(text), 2u);
        EXPECT_FALSE(p.params->value_to_text(p.plugin, i, NAN, text, sizeof text));
        EXPECT_FALSE(p.params->text_to_value(p.plugin, i, "loud", &back));
    }
    double v = 0;
    EXPECT_FALSE(p.params->get_value(p.plugin, kParams + 1, &v));
    // One page of remote controls: the six controls, two knobs empty.
    const auto* remote = p.ext<clap_plugin_remote_controls_t>(CLAP_EXT_REMOTE_CONTROLS);
    ASSERT_NE(remote, nullptr);
    ASSERT_EQ(remote->count(p.plugin), 1u);
    clap_remote_controls_page_t page{};
    ASSERT_TRUE(remote->get(p.plugin, 0, &page));
    EXPECT_FALSE(remote->get(p.plugin, 1, &page));
    for (std::uint32_t k = 0; k < CLAP_REMOTE_CONTROLS_COUNT; ++k)
        EXPECT_EQ(page.param_ids[k], k < kParams ? k : CLAP_INVALID_ID) << k;
    entry()->deinit();
    entry()->deinit();
}

TEST(ClapPresetDiscovery, OneProviderListsTheTablesPresetsAsFactoryContentInsideThePlugin) {
    ASSERT_NE(entry(), nullptr);
    ASSERT_TRUE(entry()->init(TONARVO_CLAP_PATH));
    const auto* factory =
        static_cast<const clap_preset_discovery_factory_t*>(entry()->get_factory(CLAP_PRESET_DISCOVERY_FACTORY_ID));
    ASSERT_NE(factory, nullptr);
    EXPECT_EQ(entry()->get_factory(CLAP_PRESET_DISCOVERY_FACTORY_ID_COMPAT), factory);
    ASSERT_EQ(factory->count(factory), 1u);
    EXPECT_EQ(factory->get_descriptor(factory, 1), nullptr);
    const clap_preset_discovery_provider_descriptor_t* d = factory->get_descriptor(factory, 0);
    ASSERT_NE(d, nullptr);
    EXPECT_TRUE(clap_version_is_compatible(d->clap_version));
    EXPECT_STREQ(d->vendor, "MARVOLTIC");

    PresetIndex wrongId;
    EXPECT_EQ(factory->create(factory, &wrongId.indexer, "com.marvoltic.tonarvo.presetsx"), nullptr);
    PresetIndex index;
    ASSERT_TRUE(index.index(factory, d->id));
    EXPECT_EQ(index.callsBeforeInit, 0);
    EXPECT_EQ(index.errors, 0);
    ASSERT_EQ(index.locations.size(), 1u);
    EXPECT_EQ(index.locations[0].kind, static_cast<std::uint32_t>(CLAP_PRESET_DISCOVERY_LOCATION_PLUGIN));
    EXPECT_EQ(index.locations[0].flags, static_cast<std::uint32_t>(CLAP_PRESET_DISCOVERY_IS_FACTORY_CONTENT));
    EXPECT_FALSE(index.locations[0].hasPath);

    const auto table = tonarvo::factoryPresets();
    ASSERT_EQ(index.presets.size(), table.size());
    for (std::size_t k = 0; k < table.size(); ++k) {
        const PresetIndex::Preset& p = index.presets[k];
        EXPECT_EQ(p.name, table[k].name);
        EXPECT_EQ(p.loadKey, table[k].key);
        EXPECT_EQ(p.description, table[k].description);
        EXPECT_EQ(p.pluginIds, std::vector<std::string>{"clap:com.marvoltic.tonarvo"});
        EXPECT_EQ(p.flags, static_cast<std::uint32_t>(CLAP_PRESET_DISCOVERY_IS_FACTORY_CONTENT));
        EXPECT_EQ(p.features, (std::vector<std::string>{"audio-effect", "stereo", "distortion"}));
        EXPECT_EQ(p.creators, std::vector<std::string>{"MARVOLTIC"});
    }

    // A file location is not ours; a host that has seen enough stops the list.
    const clap_preset_discovery_provider_t* provider = factory->create(factory, &index.indexer, d->id);
    ASSERT_NE(provider, nullptr);
    EXPECT_FALSE(provider->get_metadata(provider, CLAP_PRESET_DISCOVERY_LOCATION_FILE, "/tmp", &index.receiver));
    index.presets.clear();
    index.stopAfter = 3;
    EXPECT_TRUE(provider->get_metadata(provider, CLAP_PRESET_DISCOVERY_LOCATION_PLUGIN, nullptr, &index.receiver));
    EXPECT_EQ(index.presets.size(), 3u);
    provider->destroy(provider);

    // What the host found, it loads: the table's very values, the host told.
    Host host;
    Plugin p(entry(), host);
    ASSERT_TRUE(p.ready);
    const auto* load = p.ext<clap_plugin_preset_load_t>(CLAP_EXT_PRESET_LOAD);
    ASSERT_NE(load, nullptr);
    EXPECT_EQ(p.ext<clap_plugin_preset_load_t>(CLAP_EXT_PRESET_LOAD_COMPAT), load);
    const auto& hot = table.back();
    ASSERT_TRUE(load->from_location(p.plugin, CLAP_PRESET_DISCOVERY_LOCATION_PLUGIN, nullptr, hot.key));
    for (std::uint32_t i = 0; i < kParams; ++i) EXPECT_EQ(p.value(i), hot.values[i]) << i;
    EXPECT_EQ(host.presetsLoaded, std::vector<std::string>{hot.key});
    EXPECT_EQ(host.rescans, 1);
    EXPECT_FALSE(load->from_location(p.plugin, CLAP_PRESET_DISCOVERY_LOCATION_PLUGIN, nullptr, "no-such-preset"));
    EXPECT_FALSE(load->from_location(p.plugin, CLAP_PRESET_DISCOVERY_LOCATION_FILE, "/tmp/x", hot.key));
    EXPECT_EQ(host.presetErrors.size(), 2u);
    EXPECT_EQ(p.value(0), hot.values[0]);
    entry()->deinit();
}


// ---------------------------------------------------------------- rendering

struct Change {
    std::uint32_t block, frame, param;
    double value;
};

// Each parameter to both ends and back, several at one frame, one at a
// block's last frame, one at its first.
std::vector<Change> schedule(std::uint32_t frames) {
    std::vector<Change> c;
    for (std::uint32_t p = 0; p < kParams; ++p) {
        c.push_back({1 + p, frames / 3, p, kRanges[p].max});
        c.push_back({1 + p, frames / 3, (p + 1) % kParams, kRanges[(p + 1) % kParams].min});
        c.push_back({2 + p, frames - 1, p, kRanges[p].min});
        c.push_back({3 + p, 0, p, kRanges[p].def});
    }
    c.push_back({9, 5, 5, 6.5});
    c.push_back({9, 5, 2, 1.234});
    std::stable_sort(c.begin(), c.end(), [](const Change& a, const Change& b) {
        return a.block != b.block ? a.block < b.block : a.frame < b.frame;
    });
    return c;
}

template <typename Sample>
void signal(std::vector<Sample>& l, std::vector<Sample>& r, std::uint32_t block) {
    for (std::size_t i = 0; i < l.size(); ++i) {
        const double t = static_cast<double>(block * l.size() + i);
        l[i] = static_cast<Sample>(0.6 * std::sin(t * 0.031) + 0.2 * std::sin(t * 0.77));
        r[i] = static_cast<Sample>(0.5 * std::sin(t * 0.0057) * std::cos(t * 0.4));
    }
}

struct RenderCase {
    double rate;
    std::uint32_t maxBlock, frames;
    bool wide;
};

void PrintTo(const RenderCase& c, std::ostream* os) {
    *os << c.rate << " Hz, " << c.frames << " of " << c.maxBlock << (c.wide ? ", double" : ", float");
}

class ClapRender : public testing::TestWithParam<RenderCase> {};

template <typename Sample>
void renderBoth(const RenderCase& rc) {
    Host host;
    Plugin clap(entry(), host);
    ASSERT_TRUE(clap.ready);
    ASSERT_TRUE(clap.activate(rc.rate, rc.maxBlock));
    e2e::TonarvoInstance vst;
    vst.startUp(static_cast<float>(rc.rate), static_cast<vst2::VstInt32>(rc.maxBlock));

    const std::vector<Change> changes = schedule(rc.frames);
    std::vector<Sample> l(rc.frames), r(rc.frames), cl(rc.frames), cr(rc.frames), vl(rc.frames), vr(rc.frames);
    std::size_t next = 0;
    for (std::uint32_t block = 0; block < 12; ++block) {
        signal(l, r, block);
        // The CLAP host: every change as an event at its frame.
        EventList in;
        for (const Change& c : changes)
            if (c.block == block) in.value(c.param, c.value, c.frame);
        in.add(clap_event_param_gesture_t{{sizeof(clap_event_param_gesture_t), 0, 0xb33f, 5, 0}, 1});  // not ours
        Sample* ins[2] = {l.data(), r.data()};
        Sample* outs[2] = {cl.data(), cr.data()};
        clap_audio_buffer_t bufIn{}, bufOut{};
        bufIn.channel_count = bufOut.channel_count = 2;
        if constexpr (sizeof(Sample) == 8) {
            bufIn.data64 = ins;
            bufOut.data64 = outs;
        } else {
            bufIn.data32 = ins;
            bufOut.data32 = outs;
        }
        OutputList out;
        clap_process_t process{-1, rc.frames, nullptr, &bufIn, &bufOut, 1, 1, in.list(), out.list()};
        ASSERT_EQ(clap.plugin->process(clap.plugin, &process), CLAP_PROCESS_CONTINUE);

        // The VST 2.4 host: setParameter between shorter process calls.
        std::uint32_t done = 0;
        while (done < rc.frames) {
            for (; next < changes.size() && changes[next].block == block && changes[next].frame <= done; ++next) {
                const Range& g = kRanges[changes[next].param];
                vst.set(static_cast<vst2::VstInt32>(changes[next].param),
                        static_cast<float>((changes[next].value - g.min) / (g.max - g.min)));
            }
            std::uint32_t end = rc.frames;
            if (next < changes.size() && changes[next].block == block) end = changes[next].frame;
            Sample* vin[2] = {l.data() + done, r.data() + done};
            Sample* vout[2] = {vl.data() + done, vr.data() + done};
            if constexpr (sizeof(Sample) == 8)
                vst.effect->processDoubleReplacing(vst.effect, vin, vout, static_cast<vst2::VstInt32>(end - done));
            else
                vst.effect->processReplacing(vst.effect, vin, vout, static_cast<vst2::VstInt32>(end - done));
            done = end;
        }
        ASSERT_EQ(std::memcmp(cl.data(), vl.data(), rc.frames * sizeof(Sample)), 0) << "block " << block;
        ASSERT_EQ(std::memcmp(cr.data(), vr.data(), rc.frames * sizeof(Sample)), 0) << "block " << block;
    }
    for (std::uint32_t p = 0; p < kParams; ++p)
        EXPECT_EQ(static_cast<float>(clap.value(p)), static_cast<float>(kRanges[p].min + vst.get(static_cast<vst2::VstInt32>(p)) * (kRanges[p].max - kRanges[p].min)));
}

TEST_P(ClapRender, SameSamplesAsTheVst24FaceDrivenBetweenShorterCalls) {
    if (GetParam().wide)
        renderBoth<double>(GetParam());
    else
        renderBoth<float>(GetParam());
}

INSTANTIATE_TEST_SUITE_P(RatesBlocksPrecisions, ClapRender,
                         testing::Values(RenderCase{44100, 512, 512, false}, RenderCase{48000, 256, 200, true},
                                         RenderCase{96000, 1024, 1000, false}, RenderCase{22050, 1024, 37, true},
                                         RenderCase{192000, 2048, 2048, true}),
                         [](const testing::TestParamInfo<RenderCase>& info) {
                             const RenderCase& c = info.param;
                             return std::to_string(static_cast<int>(c.rate)) + "Hz_" + std::to_string(c.frames) +
                                    "of" + std::to_string(c.maxBlock) + (c.wide ? "_double" : "_float");
                         });

// ---------------------------------------------------------------- state

constexpr double kSet[kParams] = {6.5, -3.217, 1.234, 11.111, -0.5, 25.2};

TEST(ClapState, ExactValuesSurviveOneByteStreamsAndTheChunkStaysTheVst24One) {
    Host host;
    Plugin a(entry(), host), b(entry(), host);
    ASSERT_TRUE(a.ready && b.ready);
    for (std::uint32_t i = 0; i < kParams; ++i) a.set(i, kSet[i]);
    const std::vector<unsigned char> blob = a.save(1);
    ASSERT_TRUE(b.load(blob, 1));
    for (std::uint32_t i = 0; i < kParams; ++i) {
        EXPECT_EQ(b.value(i), kSet[i]) << i;
        EXPECT_EQ(b.value(i), a.value(i)) << i;
    }
    EXPECT_EQ(b.save(17), blob);
    EXPECT_GE(host.rescans, 1);

    // The VST 2.4 face reads a CLAP state as its chunk, and a CLAP instance
    // reads a plain chunk as the VST 2.4 face does (the float values).
    e2e::TonarvoInstance vst;
    vst.startUp();
    EXPECT_NE(vst.restore(blob), 0);
    const std::vector<unsigned char> chunk = vst.chunk();
    ASSERT_EQ(chunk.size(), 260u);
    EXPECT_EQ(std::memcmp(chunk.data(), blob.data(), chunk.size()), 0);
    Plugin c(entry(), host);
    ASSERT_TRUE(c.load(chunk, 3));
    for (std::uint32_t i = 0; i < kParams; ++i) EXPECT_EQ(c.value(i), static_cast<double>(static_cast<float>(kSet[i])));

    // A trailer that does not belong to its chunk leaves the chunk's values.
    std::vector<unsigned char> foreign = blob;
    std::memcpy(foreign.data() + 4 * 2, chunk.data() + 4 * 3, 4);  // another float in the chunk's first slider
    ASSERT_TRUE(c.load(foreign));
    EXPECT_EQ(c.save(64).size(), blob.size());
}

TEST(ClapState, BadStateIsRefusedOrReadAsTheChunkRulesSayNeverNonFinite) {
    Host host;
    Plugin p(entry(), host);
    ASSERT_TRUE(p.ready);
    for (std::uint32_t i = 0; i < kParams; ++i) p.set(i, kSet[i]);
    const std::vector<unsigned char> good = p.save(4096);
    const auto unchanged = [&] {
        for (std::uint32_t i = 0; i < kParams; ++i) EXPECT_EQ(p.value(i), kSet[i]) << i;
    };
    EXPECT_FALSE(p.load({}));
    EXPECT_FALSE(p.load({'h', 'e', 'l', 'l', 'o', '!', '!', '!'}));
    EXPECT_FALSE(p.load(std::vector<unsigned char>(good.begin(), good.begin() + 3)));
    std::vector<unsigned char> huge(2u << 20, 0);
    std::memcpy(huge.data(), good.data(), 4);
    EXPECT_FALSE(p.load(huge, 1u << 16));
    InStream failing;
    failing.bytes = good;
    failing.failAtEnd = true;
    EXPECT_FALSE(p.state->load(p.plugin, &failing.clap));
    unchanged();
    OutStream refusing;
    refusing.step = 0;
    EXPECT_FALSE(p.state->save(p.plugin, &refusing.clap));

    // Non-finite values in chunk and trailer: the chunk's rule makes them 0.
    std::vector<unsigned char> poisoned = good;
    const float nan = NAN;
    const double inf = INFINITY;
    std::memcpy(poisoned.data() + 4 * 2, &nan, 4);                                   // slider 1: the input trim
    std::memcpy(poisoned.data() + 260 + 8 * 5, &inf, 8);                              // the slew limit's exact value
    ASSERT_TRUE(p.load(poisoned));
    for (std::uint32_t i = 0; i < kParams; ++i) EXPECT_TRUE(std::isfinite(p.value(i))) << i;
    EXPECT_EQ(p.value(5), static_cast<double>(static_cast<float>(kSet[5])));
    // Sliders far past their ranges, which the chunk rules keep: the host
    // still reads values inside the ranges it was given (found by fuzz_clap).
    for (const float past : {1e20f, -3e38f}) {
        std::vector<unsigned char> beyond(good.begin(), good.begin() + 260);
        for (std::size_t at = 4; at < beyond.size(); at += 4) std::memcpy(beyond.data() + at, &past, 4);
        ASSERT_TRUE(p.load(beyond));
        for (std::uint32_t i = 0; i < kParams; ++i)
            EXPECT_TRUE(p.value(i) >= kRanges[i].min && p.value(i) <= kRanges[i].max) << i << " " << p.value(i);
    }
    // A chunk cut short, trailer gone: read as far as it goes.
    EXPECT_TRUE(p.load(std::vector<unsigned char>(good.begin(), good.begin() + 12)));
    for (std::uint32_t i = 0; i < kParams; ++i) EXPECT_TRUE(std::isfinite(p.value(i))) << i;
}

// ---------------------------------------------------------------- parameters

TEST(ClapParams, FlushTakesOnlyCoreValuesForKnownIdsInsideTheRange) {
    Host host;
    Plugin p(entry(), host);
    ASSERT_TRUE(p.ready);
    EventList in;
    in.value(0, 7.0, 0, 0xb33f);  // another namespace
    in.value(kParams, 1.0);
    in.value(1, NAN);
    in.value(2, 1000.0);
    in.value(3, -1e300);
    OutputList out;
    p.params->flush(p.plugin, in.list(), out.list());
    EXPECT_EQ(p.value(0), 0.0);
    EXPECT_EQ(p.value(1), 0.0);
    EXPECT_EQ(p.value(2), 2.0);
    EXPECT_EQ(p.value(3), -24.0);
    EXPECT_TRUE(out.events.empty());
    p.params->flush(p.plugin, nullptr, nullptr);

    // Blocks with no audio the effect can use: silence, no crash, values taken.
    ASSERT_TRUE(p.activate(44100, 64));
    std::vector<float> o(64, 1.0f);
    float* outs[2] = {o.data(), nullptr};
    clap_audio_buffer_t bufOut{outs, nullptr, 2, 0, 0};
    in.clear();
    in.value(5, 30.0, 10);
    clap_process_t process{0, 64, nullptr, nullptr, &bufOut, 0, 1, in.list(), nullptr};
    EXPECT_EQ(p.plugin->process(p.plugin, &process), CLAP_PROCESS_CONTINUE);
    EXPECT_EQ(o[0], 0.0f);
    EXPECT_EQ(p.value(5), 30.0);
    EXPECT_EQ(p.plugin->process(p.plugin, nullptr), CLAP_PROCESS_ERROR);
    EXPECT_FALSE(p.plugin->activate(p.plugin, NAN, 1, 64));
#if defined(__linux__)
    // Any maximum up to 2^31 - 1 frames is the host's to announce; the copies
    // for in-place blocks must not take gigabytes (found by fuzz_clap).
    rusage before{}, after{};
    getrusage(RUSAGE_SELF, &before);
    p.plugin->deactivate(p.plugin);
    EXPECT_TRUE(p.plugin->activate(p.plugin, 48000, 1, 1u << 28));
    getrusage(RUSAGE_SELF, &after);
    EXPECT_LT(after.ru_maxrss - before.ru_maxrss, 256 * 1024) << "kilobytes";
    EXPECT_EQ(p.plugin->process(p.plugin, &process), CLAP_PROCESS_CONTINUE);
#endif
}

// ---------------------------------------------------------------- what a validator checks

// Every parameter's text at many values parses back to a value that shows
// the same text; texts of nothing are refused.
TEST(ClapValidator, TextsRoundTripForEveryParameterAtManyValues) {
    Host host;
    Plugin p(entry(), host);
    ASSERT_TRUE(p.ready);
    for (std::uint32_t i = 0; i < p.params->count(p.plugin); ++i) {
        clap_param_info_t info{};
        ASSERT_TRUE(p.params->get_info(p.plugin, i, &info));
        for (int k = 0; k <= 200; ++k) {
            const double v = info.min_value + (info.max_value - info.min_value) * k / 200.0;
            char text[256], again[256];
            ASSERT_TRUE(p.params->value_to_text(p.plugin, info.id, v, text, sizeof text)) << i << " " << v;
            double back = NAN;
            ASSERT_TRUE(p.params->text_to_value(p.plugin, info.id, text, &back)) << i << " '" << text << "'";
            ASSERT_TRUE(p.params->value_to_text(p.plugin, info.id, back, again, sizeof again));
            EXPECT_STREQ(again, text) << i << " " << v;
        }
        char text[16];
        for (double bad : {NAN, INFINITY, -INFINITY}) EXPECT_FALSE(p.params->value_to_text(p.plugin, info.id, bad, text, 16));
        double back = 0;
        for (const char* bad : {"", "x", "1e999", "nan"}) EXPECT_FALSE(p.params->text_to_value(p.plugin, info.id, bad, &back)) << bad;
    }
}

// Random values in blocks of random lengths, events at random frames: the
// same output in place as apart. The state saved after them loads into a
// fresh instance that saves the same bytes, also after a flush.
TEST(ClapValidator, InPlaceAndApartAgreeAndStatesReproduce) {
    Host host;
    Plugin apart(entry(), host), inPlace(entry(), host);
    ASSERT_TRUE(apart.ready && inPlace.ready);
    ASSERT_TRUE(apart.activate(48000, 512) && inPlace.activate(48000, 512));
    std::uint32_t seed = 12345;
    const auto next = [&seed](std::uint32_t n) {
        seed = seed * 1664525u + 1013904223u;
        return (seed >> 8) % n;
    };
    for (int block = 0; block < 40; ++block) {
        const std::uint32_t frames = 1 + next(512);
        std::vector<float> l(frames), r(frames);
        signal(l, r, static_cast<std::uint32_t>(block));
        EventList in;
        for (std::uint32_t t = 0, n = next(5); n > 0; --n) {
            t = std::max(t, next(frames));
            const clap_id id = next(kParams);
            in.value(id, kRanges[id].min + (kRanges[id].max - kRanges[id].min) * next(1001) / 1000.0, t);
        }
        std::vector<float> ol(frames), orr(frames), il = l, ir = r;
        float* ins[2] = {l.data(), r.data()};
        float* outs[2] = {ol.data(), orr.data()};
        float* shared[2] = {il.data(), ir.data()};
        clap_audio_buffer_t bi{ins, nullptr, 2, 0, 0}, bo{outs, nullptr, 2, 0, 0}, bs{shared, nullptr, 2, 0, 0};
        OutputList out;
        clap_process_t a{0, frames, nullptr, &bi, &bo, 1, 1, in.list(), out.list()};
        clap_process_t b{0, frames, nullptr, &bs, &bs, 1, 1, in.list(), out.list()};
        ASSERT_NE(apart.plugin->process(apart.plugin, &a), CLAP_PROCESS_ERROR);
        ASSERT_NE(inPlace.plugin->process(inPlace.plugin, &b), CLAP_PROCESS_ERROR);
        ASSERT_EQ(std::memcmp(ol.data(), il.data(), frames * 4), 0) << "block " << block;
        ASSERT_EQ(std::memcmp(orr.data(), ir.data(), frames * 4), 0) << "block " << block;
    }
    const std::vector<unsigned char> saved = apart.save(7);
    Plugin fresh(entry(), host);
    ASSERT_TRUE(fresh.load(saved, 5));
    EXPECT_EQ(fresh.save(3), saved);
    EventList none;
    OutputList out;
    fresh.params->flush(fresh.plugin, none.list(), out.list());
    EXPECT_EQ(fresh.save(64), saved);
    for (std::uint32_t i = 0; i < kParams; ++i) EXPECT_EQ(fresh.value(i), apart.value(i)) << i;
}

// Hosts lacking each optional extension (none of ours offers thread-check,
// and the plug-in offers no state-context, so neither is ever needed): the
// plug-in still initialises, processes, flushes, saves and loads; the editor
// is made only with timers, and leaves nothing registered.
TEST(ClapValidator, HostsWithoutOptionalExtensions) {
    struct Case {
        const char* name;
        bool params, timers, fds;
    };
    for (const Case& c : {Case{"all", true, true, true}, Case{"no timer support", true, false, true},
                          Case{"no posix-fd", true, true, false}, Case{"no params", false, true, true},
                          Case{"none", false, false, false}}) {
        Host host;
        host.offerParams = c.params;
        host.offerTimers = c.timers;
        host.offerFds = c.fds;
        Plugin p(entry(), host);
        ASSERT_TRUE(p.ready) << c.name;
#if defined(_WIN32)
        // A window timer runs the Windows editor: it needs none of the host's.
        EXPECT_TRUE(p.gui->create(p.plugin, CLAP_WINDOW_API_WIN32, false)) << c.name;
#else
        EXPECT_EQ(p.gui->create(p.plugin, CLAP_WINDOW_API_X11, false), c.timers) << c.name;
        if (!c.timers) {
            EXPECT_FALSE(host.logs.empty()) << c.name;
        }
#endif
        ASSERT_TRUE(p.activate(44100, 64)) << c.name;
        std::vector<float> l(64, 0.25f), r(64, -0.25f);
        float* io[2] = {l.data(), r.data()};
        clap_audio_buffer_t buffer{io, nullptr, 2, 0, 0};
        EventList in;
        in.value(0, 6.0, 10);
        OutputList out;
        clap_process_t block{0, 64, nullptr, &buffer, &buffer, 1, 1, in.list(), out.list()};
        EXPECT_EQ(p.plugin->process(p.plugin, &block), CLAP_PROCESS_CONTINUE) << c.name;
        EXPECT_EQ(p.value(0), 6.0) << c.name;
        p.params->flush(p.plugin, nullptr, out.list());
        const std::vector<unsigned char> saved = p.save(64);
        EXPECT_TRUE(p.load(saved, 64)) << c.name;
        EXPECT_EQ(p.plugin->get_extension(p.plugin, CLAP_EXT_STATE_CONTEXT), nullptr);
        p.gui->destroy(p.plugin);
        EXPECT_TRUE(host.timers.empty() && host.fds.empty()) << c.name;
    }
}

// ---------------------------------------------------------------- threads

// The main thread's calls while the audio thread processes with changes at
// frames, as hosts make them: values, texts, save and load. Nothing may
// tear or turn non-finite (and the thread sanitizer build sees the races).
TEST(ClapThreads, MainThreadCallsBesideProcessing) {
    Host host;
    Plugin p(entry(), host);
    ASSERT_TRUE(p.ready);
    ASSERT_TRUE(p.activate(48000, 256));
    const std::vector<unsigned char> saved = p.save(4096);
    std::atomic<bool> stop{false};
    std::thread audio([&] {
        std::vector<float> l(256, 0.25f), r(256, -0.25f);
        float* channels[2] = {l.data(), r.data()};
        clap_audio_buffer_t buffer{channels, nullptr, 2, 0, 0};
        EventList in;
        for (std::uint32_t k = 0; k < kParams; ++k) in.value(k, kRanges[k].min + 0.3 * (kRanges[k].max - kRanges[k].min), 17 * k);
        for (std::uint32_t k = 0; k < kParams; ++k) in.value(k, kRanges[k].def, 128 + k);
        OutputList out;
        clap_process_t block{0, 256, nullptr, &buffer, &buffer, 1, 1, in.list(), out.list()};
        for (int n = 0; n < 400 || !stop; ++n) {
            p.plugin->process(p.plugin, &block);
            block.steady_time += 256;
        }
    });
    for (int round = 0; round < 50; ++round) {
        for (std::uint32_t k = 0; k < kParams; ++k) {
            const double v = p.value(k);
            EXPECT_TRUE(v >= kRanges[k].min && v <= kRanges[k].max) << v;
            char text[32];
            EXPECT_TRUE(p.params->value_to_text(p.plugin, k, v, text, sizeof text));
        }
        EXPECT_FALSE(p.save(64).empty());
        EXPECT_TRUE(p.load(saved, 4096));
    }
    stop = true;
    audio.join();
}

// ---------------------------------------------------------------- tail

// The model's tail (measured in tests/lv2, PluginModel), and the process
// status that lets a host sleep the plug-in once the input has been silent
// for all of it, never earlier; sound wakes it.
TEST(ClapTail, TheHostMaySleepThePluginOnceTheTailHasRungOut) {
    Host host;
    Plugin p(entry(), host);
    ASSERT_TRUE(p.ready);
    const auto* tail = p.ext<clap_plugin_tail_t>(CLAP_EXT_TAIL);
    ASSERT_NE(tail, nullptr);
    ASSERT_TRUE(p.activate(48000, 4096));
    const std::uint32_t declared = tail->get(p.plugin);
    EXPECT_EQ(declared, 840000u);
    std::vector<float> l(4096, 0.0f), r(4096, 0.0f), ol(4096), orr(4096);
    float* ins[2] = {l.data(), r.data()};
    float* outs[2] = {ol.data(), orr.data()};
    clap_audio_buffer_t bi{ins, nullptr, 2, 0, 0}, bo{outs, nullptr, 2, 0, 0};
    clap_process_t process{0, 4096, nullptr, &bi, &bo, 1, 1, nullptr, nullptr};
    l[100] = r[100] = 0.5f;  // a click, then silence
    std::uint64_t silent = 0;
    for (int block = 0; block < 300; ++block) {
        const clap_process_status status = p.plugin->process(p.plugin, &process);
        silent = block == 0 ? 4096 - 101 : silent + 4096;
        ASSERT_EQ(status, silent >= declared ? CLAP_PROCESS_SLEEP : CLAP_PROCESS_CONTINUE) << block;
        l[100] = r[100] = 0.0f;
    }
    l[7] = 1e-3f;
    EXPECT_EQ(p.plugin->process(p.plugin, &process), CLAP_PROCESS_CONTINUE);
}

}  // namespace
}  // namespace claptest
