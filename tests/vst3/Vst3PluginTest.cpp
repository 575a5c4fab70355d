// The VST 3 module against the VST 2.4 library it wraps: the same names,
// values, texts, chunk and, bit for bit, the same audio; plus what only
// VST 3 has (bus arrangements, flushes, in-place buffers, repeated
// lifecycle calls, state streams).
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>
#include <thread>
#include <atomic>

#include "../e2e/PluginHost.h"
#include "Vst3TestHost.h"
#include "effect/TonarvoVst3.h"
#include "host/vst3/Vst3Text.h"
#if defined(TONARVO_VST3_PRESETS)
#include <filesystem>
#include <set>

#include "effect/TonarvoPresets.h"
#include "host/vst3/Vst3PresetFile.h"
#endif

namespace vst3test {
namespace {

const Tuid kCid = makeTuid(tonarvo::kVst3ClassId[0], tonarvo::kVst3ClassId[1],
                           tonarvo::kVst3ClassId[2], tonarvo::kVst3ClassId[3]);

Module& module() {
    static Module m(TONARVO_VST3_MODULE);
    return m;
}
e2e::PluginLibrary& vst2Library() {
    static e2e::PluginLibrary library(TONARVO_PLUGIN_PATH);
    return library;
}

std::string utf8(const TChar* text) { return vst3::fromUtf16(text, 128); }

TEST(Vst3Module, FactoryAndClassDescribeTheVst2Effect) {
    ASSERT_TRUE(module().entered);
    ASSERT_NE(module().factory, nullptr);
    IPluginFactory3& factory = *module().factory;
    e2e::Instance vst2(vst2Library().entry());
    const std::string name = vst2.text(vst2::effGetEffectName);

    PFactoryInfo info{};
    ASSERT_EQ(factory.getFactoryInfo(&info), kResultOk);
    EXPECT_STREQ(info.vendor, vst2.text(vst2::effGetVendorString).c_str());
    EXPECT_EQ(info.flags, PFactoryInfo::kUnicode);
    ASSERT_EQ(factory.countClasses(), 1);
    PClassInfo2 c{};
    ASSERT_EQ(factory.getClassInfo2(0, &c), kResultOk);
    EXPECT_EQ(std::memcmp(c.cid, kCid.bytes, 16), 0);
    EXPECT_EQ(name, c.name);
    EXPECT_STREQ(c.category, "Audio Module Class");
    EXPECT_STREQ(c.subCategories, "Fx|Distortion|Stereo");
    EXPECT_STREQ(c.version, TONARVO_VERSION);
    PClassInfoW w{};
    ASSERT_EQ(factory.getClassInfoUnicode(0, &w), kResultOk);
    EXPECT_EQ(vst3::fromUtf16(w.name, 64), name);
    EXPECT_EQ(factory.getClassInfo2(1, &c), kInvalidArgument);

    // Unknown classes and interfaces make nothing.
    void* obj = &info;
    EXPECT_EQ(factory.createInstance(IComponent::iid.data(), IComponent::iid.data(), &obj), kNoInterface);
    EXPECT_EQ(obj, nullptr);
    obj = &info;
    EXPECT_EQ(factory.createInstance(kCid.data(), IPlugView::iid.data(), &obj), kNoInterface);
    EXPECT_EQ(obj, nullptr);

    // What hosts read without loading the module says the same.
    std::ifstream file(TONARVO_VST3_MODULEINFO, std::ios::binary);
    const std::string json((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    EXPECT_NE(json.find("\"CID\": \"" + std::string(printTuid(c.cid).text) + "\""), std::string::npos) << json;
    EXPECT_NE(json.find("\"Name\": \"" + name + "\""), std::string::npos);
    EXPECT_NE(json.find("\"Sub Categories\": [\"Fx\", \"Distortion\", \"Stereo\"]"), std::string::npos);
}

TEST(Vst3Lifecycle, RepeatedAndOutOfOrderCallsAreHarmless) {
    Plugin plugin(module(), kCid);
    ASSERT_NE(plugin.controller, nullptr);
    // As Ardour: initialise as component and as controller, terminate twice;
    // then as the validator: initialise again after terminate.
    EXPECT_EQ(plugin.controller->initialize(nullptr), kResultOk);
    EXPECT_EQ(plugin.component->terminate(), kResultOk);
    EXPECT_EQ(plugin.controller->terminate(), kResultOk);
    EXPECT_EQ(plugin.component->initialize(nullptr), kResultOk);
    EXPECT_EQ(plugin.processor->setProcessing(0), kResultOk);  // the scanner: off before any on
    EXPECT_EQ(plugin.component->setActive(0), kResultOk);

    SpeakerArrangement mono = SpeakerArr::kMono, stereo = SpeakerArr::kStereo, got = 0;
    EXPECT_EQ(plugin.processor->setBusArrangements(&mono, 1, &mono, 1), kResultFalse);
    EXPECT_EQ(plugin.processor->setBusArrangements(&stereo, 1, &stereo, 2), kResultFalse);
    EXPECT_EQ(plugin.processor->getBusArrangement(kOutput, 0, &got), kResultOk);
    EXPECT_EQ(got, SpeakerArr::kStereo);
    EXPECT_EQ(plugin.processor->canProcessSampleSize(kSample64), kResultTrue);
    EXPECT_EQ(plugin.processor->canProcessSampleSize(7), kResultFalse);
    EXPECT_EQ(plugin.component->getBusCount(kEvent, kInput), 0);
    BusInfo bus{};
    EXPECT_EQ(plugin.component->getBusInfo(kAudio, kInput, 1, &bus), kInvalidArgument);
    EXPECT_EQ(plugin.component->getBusInfo(kAudio, kOutput, 0, nullptr), kInvalidArgument);

    void* none = &bus;
    EXPECT_EQ(plugin.component->queryInterface(IUnitInfo::iid.data(), &none), kNoInterface);
    EXPECT_EQ(none, nullptr);
    EXPECT_EQ(plugin.controller->createView("other"), nullptr);

    plugin.start(48000.0, 256);
    EXPECT_EQ(plugin.component->setActive(1), kResultOk);  // twice on
    ProcessSetup late{kRealtime, kSample32, 64, 96000.0};
    EXPECT_EQ(plugin.processor->setupProcessing(&late), kResultFalse);  // not while it runs
    plugin.component->setActive(0);
    ProcessSetup absurd{kRealtime, kSample32, INT32_MAX, 1e300};
    EXPECT_EQ(plugin.processor->setupProcessing(&absurd), kInvalidArgument);
    absurd.sampleRate = 44100.0;  // a huge block is taken in pieces
    EXPECT_EQ(plugin.processor->setupProcessing(&absurd), kResultOk);
    plugin.component->setActive(1);
    float silence[8] = {}, out[2][8];
    float* ins[2] = {silence, silence};
    float* outs[2] = {out[0], out[1]};
    EXPECT_EQ(plugin.process(ins, outs, 8), kResultOk);
    // Destroyed while active (the Plugin's destructor switches off first;
    // this one does not).
    Plugin active(module(), kCid);
    active.start(44100.0, 512);
    active.component->release();
    active.processor->release();
    active.controller->release();
    active.component = nullptr;
}

TEST(Vst3Parameters, AreTheVst2ParametersAndABypassWithTheEditorsTexts) {
    Plugin plugin(module(), kCid);
    e2e::Instance vst2(vst2Library().entry());
    vst2.startUp();
    ASSERT_EQ(vst2.effect->numParams, 6);
    ASSERT_EQ(plugin.controller->getParameterCount(), 7);
    // What the editor names each control in.
    const char* const units[] = {"dB", "dB", "Hz", "Hz", "", "g"};
    for (int32 p = 0; p < 6; ++p) {
        SCOPED_TRACE(p);
        ParameterInfo info{};
        ASSERT_EQ(plugin.controller->getParameterInfo(p, &info), kResultOk);
        EXPECT_EQ(info.id, static_cast<ParamID>(p));
        EXPECT_EQ(utf8(info.title), vst2.text(vst2::effGetParamName, p));
        EXPECT_EQ(utf8(info.units), units[p]);
        EXPECT_EQ(info.defaultNormalizedValue, static_cast<double>(vst2.get(p)));
        EXPECT_EQ(info.flags, ParameterInfo::kCanAutomate);
        EXPECT_EQ(info.stepCount, 0);  // continuous
        EXPECT_EQ(static_cast<float>(plugin.controller->getParamNormalized(p)), vst2.get(p));
        for (double x : {0.0, 0.37, 0.5, 1.0}) {
            TChar text[128] = {};
            ASSERT_EQ(plugin.controller->getParamStringByValue(p, x, text), kResultOk);
            // The text reads back to a value that shows the same.
            ParamValue back = -1.0;
            ASSERT_EQ(plugin.controller->getParamValueByString(p, text, &back), kResultOk) << utf8(text);
            TChar again[128] = {};
            plugin.controller->getParamStringByValue(p, back, again);
            EXPECT_EQ(utf8(again), utf8(text));
            const ParamValue plain = plugin.controller->normalizedParamToPlain(p, x);
            EXPECT_NEAR(plugin.controller->plainParamToNormalized(p, plain), x, 1e-12);
        }
        TChar garbage[128] = {u'x', u'?', 0};
        ParamValue untouched = 0.25;
        EXPECT_EQ(plugin.controller->getParamValueByString(p, garbage, &untouched), kResultFalse);
    }
    ParameterInfo bypass{};
    ASSERT_EQ(plugin.controller->getParameterInfo(6, &bypass), kResultOk);
    EXPECT_EQ(bypass.flags, ParameterInfo::kCanAutomate | ParameterInfo::kIsBypass);
    EXPECT_EQ(bypass.stepCount, 1);
    EXPECT_EQ(bypass.defaultNormalizedValue, 0.0);
    TChar text[128] = {};
    EXPECT_EQ(plugin.controller->getParamStringByValue(7, 0.5, text), kInvalidArgument);
    EXPECT_EQ(plugin.controller->setParamNormalized(7, 0.5), kInvalidArgument);
    EXPECT_EQ(plugin.controller->setParamNormalized(0, std::nan("")), kInvalidArgument);
    EXPECT_EQ(plugin.controller->getParamNormalized(99), 0.0);
}

// ---------------------------------------------------------------- audio

struct Change {
    int32 frame;
    ParamID id;
    double value;
};

struct Scenario {
    const char* name;
    double rate;
    int32 block;
    bool doubles;
    std::vector<Change> changes;
};

constexpr double kSeconds = 0.25;
constexpr double kPi = 3.14159265358979323846;

template <typename Sample>
std::vector<std::vector<Sample>> testSignal(int32 frames, double rate) {
    std::vector<std::vector<Sample>> in(2, std::vector<Sample>(static_cast<std::size_t>(frames)));
    std::uint32_t noise = 12345;
    for (int32 n = 0; n < frames; ++n) {
        noise = noise * 1664525u + 1013904223u;
        const double hiss = (static_cast<double>(noise >> 8) / 16777216.0 - 0.5) * 0.2;
        in[0][n] = static_cast<Sample>(0.5 * std::sin(2 * kPi * 440.0 * n / rate) + hiss);
        in[1][n] = static_cast<Sample>(0.4 * std::sin(2 * kPi * 97.0 * n / rate) - hiss);
    }
    return in;
}

// The VST 2.4 library, as a host that calls setParameter between shorter
// process calls at each change's frame.
template <typename Sample>
std::vector<std::vector<Sample>> renderVst2(const Scenario& s, const std::vector<std::vector<Sample>>& in) {
    const auto frames = static_cast<int32>(in[0].size());
    std::vector<std::vector<Sample>> out(2, std::vector<Sample>(in[0].size()));
    e2e::Instance vst2(vst2Library().entry());
    vst2.startUp(static_cast<float>(s.rate), s.block);
    std::size_t next = 0;
    for (int32 start = 0; start < frames;) {
        while (next < s.changes.size() && s.changes[next].frame <= start) {
            vst2.set(static_cast<int32>(s.changes[next].id), static_cast<float>(s.changes[next].value));
            ++next;
        }
        const int32 blockEnd = std::min(frames, (start / s.block + 1) * s.block);
        const int32 end = next < s.changes.size() ? std::min(blockEnd, s.changes[next].frame) : blockEnd;
        Sample* ins[2] = {const_cast<Sample*>(in[0].data()) + start, const_cast<Sample*>(in[1].data()) + start};
        Sample* outs[2] = {out[0].data() + start, out[1].data() + start};
        if constexpr (sizeof(Sample) == sizeof(float))
            vst2.effect->processReplacing(vst2.effect, ins, outs, end - start);
        else
            vst2.effect->processDoubleReplacing(vst2.effect, ins, outs, end - start);
        start = end;
    }
    return out;
}

// The module, with each block's changes as points at their offsets;
// in place when asked (the output buffers start as a copy of the input).
template <typename Sample>
std::vector<std::vector<Sample>> renderVst3(const Scenario& s, const std::vector<std::vector<Sample>>& in,
                                            bool inPlace) {
    const auto frames = static_cast<int32>(in[0].size());
    std::vector<std::vector<Sample>> out = inPlace ? in : std::vector<std::vector<Sample>>(2, std::vector<Sample>(in[0].size()));
    Plugin plugin(module(), kCid);
    plugin.start(s.rate, s.block, s.doubles ? kSample64 : kSample32);
    for (int32 start = 0; start < frames; start += s.block) {
        const int32 n = std::min(s.block, frames - start);
        ParamChanges changes;
        for (const Change& c : s.changes)
            if (c.frame >= start && c.frame < start + n) changes.add(c.id, c.frame - start, c.value);
        Sample* ins[2] = {const_cast<Sample*>(in[0].data()) + start, const_cast<Sample*>(in[1].data()) + start};
        Sample* outs[2] = {out[0].data() + start, out[1].data() + start};
        EXPECT_EQ(plugin.process(inPlace ? outs : ins, outs, n, &changes), kResultOk);
    }
    return out;
}

template <typename Sample>
void expectSameAudio(const Scenario& s) {
    const auto frames = static_cast<int32>(kSeconds * s.rate);
    const auto in = testSignal<Sample>(frames, s.rate);
    const auto expected = renderVst2(s, in);
    const auto got = renderVst3(s, in, false);
    const auto inPlace = renderVst3(s, in, true);
    for (int c = 0; c < 2; ++c) {
        EXPECT_EQ(std::memcmp(got[c].data(), expected[c].data(), sizeof(Sample) * got[c].size()), 0)
            << s.name << " channel " << c;
        EXPECT_EQ(std::memcmp(inPlace[c].data(), expected[c].data(), sizeof(Sample) * got[c].size()), 0)
            << s.name << " in place, channel " << c;
    }
    double energy = 0;
    for (const Sample x : got[0]) energy += static_cast<double>(x) * static_cast<double>(x);
    EXPECT_GT(energy, 0.0) << s.name;  // silence would match trivially
}

TEST(Vst3Render, BitIdenticalToTheVst2LibraryDrivenWithSetParameter) {
    std::vector<Scenario> scenarios{
        {"defaults 44.1k/512", 44100.0, 512, false, {}},
        {"defaults 48k/64 double", 48000.0, 64, true, {}},
        {"defaults 96k/1000", 96000.0, 1000, false, {}},
    };
    // Each parameter at each end, from the first frame, and moved between
    // its ends inside blocks at odd offsets (several points in one queue).
    for (ParamID p = 0; p < 6; ++p)
        for (double end : {0.0, 1.0})
            scenarios.push_back({"ends", 44100.0, 256, p % 2 == 1, {{0, p, end}}});
    scenarios.push_back({"changes at offsets", 48000.0, 512, false,
                         {{100, 0, 0.9}, {100, 3, 0.1}, {333, 2, 0.7}, {511, 5, 1.0}, {700, 0, 0.2}, {701, 0, 0.8},
                          {2048, 4, 0.0}, {5000, 1, 0.6}}});
    scenarios.push_back({"changes at offsets, doubles", 44100.0, 333, true,
                         {{1, 1, 0.3}, {332, 2, 0.25}, {333, 2, 0.75}, {4000, 3, 0.95}, {4001, 4, 0.05}}});
    for (const Scenario& s : scenarios) {
        SCOPED_TRACE(s.name);
        if (s.doubles)
            expectSameAudio<double>(s);
        else
            expectSameAudio<float>(s);
    }
}

TEST(Vst3Render, EveryOutputIsWrittenOnEveryBlockTheHostHandsOver) {
    Plugin plugin(module(), kCid);
    plugin.start(44100.0, 128);
    ParamChanges changes;
    changes.add(2, 0, 1.0);
    changes.add(9, 0, 1.0);  // no such parameter
    ProcessData flush{};
    flush.inputParameterChanges = &changes;
    ASSERT_EQ(plugin.processor->process(&flush), kResultOk);
    EXPECT_EQ(plugin.controller->getParamNormalized(2), 1.0);
    // Buffers missing a channel: outputs that exist fall silent, the
    // changes still count.
    const float stale = std::nanf("");
    float left[16], right[16];
    std::fill(std::begin(left), std::end(left), stale);
    float* one[2] = {left, nullptr};
    float* outs[2] = {left, right};
    ParamChanges more;
    more.add(3, 5, 0.0);
    EXPECT_EQ(plugin.process(one, outs, 16, &more), kResultOk);
    EXPECT_EQ(plugin.controller->getParamNormalized(3), 0.0);
    for (float y : left) EXPECT_EQ(y, 0.0f);
    // A host that keeps mono buses after the plug-in refused them, and one
    // that hands over a second output bus and more channels than two.
    SpeakerArrangement mono = SpeakerArr::kMono;
    plugin.component->setActive(0);
    EXPECT_EQ(plugin.processor->setBusArrangements(&mono, 1, &mono, 1), kResultFalse);
    plugin.component->setActive(1);
    float in[16] = {}, outMono[16], extra[3][16];
    std::fill(std::begin(outMono), std::end(outMono), stale);
    for (auto& c : extra) std::fill(std::begin(c), std::end(c), stale);
    float* inMono[1] = {in};
    float* outOne[1] = {outMono};
    float* outThree[3] = {extra[0], extra[1], extra[2]};
    AudioBusBuffers input{1, 0, {inMono}}, outputs[2] = {{1, 0, {outOne}}, {3, 0, {outThree}}};
    ProcessData data{};
    data.symbolicSampleSize = kSample32;
    data.numSamples = 16;
    data.numInputs = 1;
    data.numOutputs = 2;
    data.inputs = &input;
    data.outputs = outputs;
    ASSERT_EQ(plugin.processor->process(&data), kResultOk);
    for (float y : outMono) EXPECT_EQ(y, 0.0f);
    for (auto& c : extra)
        for (float y : c) EXPECT_EQ(y, 0.0f);
    EXPECT_EQ(outputs[0].silenceFlags, 1u);
    EXPECT_EQ(outputs[1].silenceFlags, 7u);
    EXPECT_EQ(plugin.processor->process(nullptr), kInvalidArgument);
}

// The host tells the controller values after the audio has them; what it
// tells it late never moves the effect back. Set with no audio running, a
// value is in the state saved next.
TEST(Vst3Parameters, AValueTheHostEchoesLateNeverMovesTheEffectBack) {
    Plugin echoed(module(), kCid), plain(module(), kCid);
    auto in = testSignal<float>(256, 48000.0);
    std::vector<float> out[2][2];
    for (auto& pair : out)
        for (auto& c : pair) c.assign(256, 0.0f);
    for (int k = 0; k < 2; ++k) {
        Plugin& plugin = k == 0 ? echoed : plain;
        plugin.start(48000.0, 256);
        ParamChanges ramp;
        ramp.add(3, 0, 0.50);
        ramp.add(3, 128, 0.75);
        float* ins[2] = {in[0].data(), in[1].data()};
        float* outs[2] = {out[k][0].data(), out[k][1].data()};
        plugin.process(ins, outs, 256, &ramp);
        if (k == 0) {
            // The host's controller, a block behind.
            ASSERT_EQ(plugin.controller->setParamNormalized(3, 0.50), kResultOk);
            EXPECT_EQ(plugin.controller->getParamNormalized(3), 0.50);
            // What a state saved now holds: the host's word.
            Plugin fresh(module(), kCid);
            MemoryStream saved(plugin.state());
            ASSERT_EQ(fresh.component->setState(&saved), kResultOk);
            EXPECT_EQ(fresh.controller->getParamNormalized(3), 0.50);
        }
        plugin.process(ins, outs, 256);  // the next block, no changes
    }
    EXPECT_EQ(out[0][0], out[1][0]);  // it still hears 0.75
    EXPECT_EQ(out[0][1], out[1][1]);
    EXPECT_EQ(echoed.controller->getParamNormalized(3), 0.75);
    {
        // Switched off and on by a host that never says it processes: a
        // block without audio (a flush) brings 0.25, the echo comes after it.
        echoed.component->setActive(0);
        echoed.component->setActive(1);
        float* ins[2] = {in[0].data(), in[1].data()};
        float* outs[2] = {out[0][0].data(), out[0][1].data()};
        ParamChanges flush;
        flush.add(3, 0, 0.25);
        echoed.process(ins, outs, 0, &flush);
        ASSERT_EQ(echoed.controller->setParamNormalized(3, 0.75), kResultOk);
        echoed.process(ins, outs, 256);
        EXPECT_EQ(echoed.controller->getParamNormalized(3), 0.25);
    }

    // Active and processing, no audio yet (Ardour loading a session): a
    // value set now is in the state saved next, and the first block takes it.
    Plugin ardour(module(), kCid);
    ardour.start(48000.0, 256);
    ASSERT_EQ(ardour.controller->setParamNormalized(0, 0.625), kResultOk);
    Plugin fresh(module(), kCid);
    MemoryStream saved(ardour.state());
    ASSERT_EQ(fresh.component->setState(&saved), kResultOk);
    EXPECT_EQ(fresh.controller->getParamNormalized(0), 0.625);
    // Processing stops before any block came: the effect takes it then.
    ardour.processor->setProcessing(0);
    EXPECT_EQ(ardour.controller->getParamNormalized(0), 0.625);
    EXPECT_EQ(ardour.state(), fresh.state());
}

// The shared model measures the tail (tests/lv2, PluginModel); the face reports it.
TEST(Vst3Render, TheTailIsTheModelsAtEveryRate) {
    for (double rate : {22050.0, 44100.0, 192000.0}) {
        Plugin plugin(module(), kCid);
        plugin.start(rate, 512);
        EXPECT_EQ(plugin.processor->getTailSamples(), 840000u) << rate;
    }
}

// ---------------------------------------------------------------- state

TEST(Vst3State, IsTheVst2ChunkWithExactValuesAndRestoresIntoAFreshInstance) {
    Plugin plugin(module(), kCid);
    e2e::Instance vst2(vst2Library().entry());
    vst2.startUp();
    const double values[6] = {0.1, 0.9, 0.66, 0.25, 0.8, 0.775};
    for (ParamID p = 0; p < 6; ++p) {
        ASSERT_EQ(plugin.controller->setParamNormalized(p, values[p]), kResultOk);
        vst2.set(static_cast<int32>(p), static_cast<float>(values[p]));
    }
    ASSERT_EQ(plugin.controller->setParamNormalized(6, 1.0), kResultOk);
    // Saved before any process call carried the values: they are in it, the
    // VST 2.4 chunk first.
    MemoryStream saved(std::vector<std::uint8_t>{}, 7);  // short writes
    ASSERT_EQ(plugin.component->getState(&saved), kResultOk);
    const std::vector<unsigned char> chunk = vst2.chunk();
    ASSERT_GT(saved.bytes.size(), chunk.size());
    EXPECT_TRUE(std::equal(chunk.begin(), chunk.end(), saved.bytes.begin()));

    Plugin fresh(module(), kCid);
    fresh.start(48000.0, 256);
    MemoryStream load(saved.bytes, 3);  // short reads
    ASSERT_EQ(fresh.component->setState(&load), kResultOk);
    MemoryStream again(saved.bytes);
    ASSERT_EQ(fresh.controller->setComponentState(&again), kResultOk);
    // The very same values (the chunk alone holds floats), the bypass too.
    for (ParamID p = 0; p < 7; ++p)
        EXPECT_EQ(fresh.controller->getParamNormalized(p), plugin.controller->getParamNormalized(p)) << p;
    EXPECT_EQ(fresh.state(), saved.bytes);
    // A VST 2.4 reader takes the chunk and stops where it ends.
    e2e::Instance restored(vst2Library().entry());
    restored.startUp();
    ASSERT_NE(restored.restore(std::vector<unsigned char>(saved.bytes.begin(), saved.bytes.end())), 0);
    EXPECT_EQ(restored.chunk(), chunk);
    MemoryStream empty;
    EXPECT_EQ(fresh.controller->getControllerState(&empty), kResultOk);
    EXPECT_TRUE(empty.bytes.empty());
}

#if defined(TONARVO_VST3_PRESETS)
// The generated preset files: one per table entry, named after it; each
// file's component state, restored into a fresh instance as hosts load a
// preset, gives the table's values exactly, the state a host gets by setting
// them by hand, and that state's audio.
TEST(Vst3Presets, EachFileRestoresTheTablesValuesIntoAFreshInstance) {
    namespace fs = std::filesystem;
    const fs::path folder = fs::path(TONARVO_VST3_PRESETS) / "MARVOLTIC" / "MARVOLTIC - Tonarvo - 20241108";
    std::set<std::string> files, names;
    for (const auto& file : fs::directory_iterator(folder)) files.insert(file.path().filename().string());
    for (const tonarvo::FactoryPreset& preset : tonarvo::factoryPresets()) names.insert(std::string(preset.name) + ".vstpreset");
    EXPECT_EQ(files, names);

    for (const tonarvo::FactoryPreset& preset : tonarvo::factoryPresets()) {
        SCOPED_TRACE(preset.name);
        std::ifstream in(folder / (std::string(preset.name) + ".vstpreset"), std::ios::binary);
        const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(in), {}};
        vst3face::PresetFile file;
        ASSERT_TRUE(vst3face::readPresetFile(bytes.data(), bytes.size(), file));
        EXPECT_EQ(file.classId, "60950277BFA647B890278E157E1FEF98");  // the processor's, as hosts compare it
        EXPECT_TRUE(file.controllerState.empty());
        EXPECT_EQ(vst3face::writePresetFile(file), bytes);
        // Any cut short, and a list moved outside the file, are refused.
        for (std::size_t n = 0; n < bytes.size(); ++n) ASSERT_FALSE(vst3face::readPresetFile(bytes.data(), n, file)) << n;
        std::vector<std::uint8_t> moved = bytes;
        moved[44] = 0x7F;
        EXPECT_FALSE(vst3face::readPresetFile(moved.data(), moved.size(), file));
        ASSERT_TRUE(vst3face::readPresetFile(bytes.data(), bytes.size(), file));

        Plugin loaded(module(), kCid), byHand(module(), kCid);
        MemoryStream component(file.componentState), controller(file.componentState);
        ASSERT_EQ(loaded.component->setState(&component), kResultOk);
        ASSERT_EQ(loaded.controller->setComponentState(&controller), kResultOk);
        for (ParamID p = 0; p < tonarvo::kPresetValueCount; ++p) {
            const ParamValue x = byHand.controller->plainParamToNormalized(p, preset.values[p]);
            ASSERT_EQ(byHand.controller->setParamNormalized(p, x), kResultOk);
            EXPECT_EQ(loaded.controller->getParamNormalized(p), x) << "parameter " << p;
        }
        EXPECT_EQ(loaded.state(), file.componentState);
        EXPECT_EQ(byHand.state(), file.componentState);
        loaded.start(48000.0, 256);
        byHand.start(48000.0, 256);
        for (int block = 0; block < 8; ++block) {
            std::vector<float> signal(256), out[2][2];
            for (std::size_t i = 0; i < signal.size(); ++i)
                signal[i] = 0.4f * static_cast<float>(std::sin(0.05 * static_cast<double>(block * 256 + static_cast<int>(i))));
            for (int k = 0; k < 2; ++k) {
                out[k][0] = out[k][1] = std::vector<float>(256);
                float* inputs[] = {signal.data(), signal.data()};
                float* outputs[] = {out[k][0].data(), out[k][1].data()};
                ASSERT_EQ((k ? byHand : loaded).process(inputs, outputs, 256), kResultOk);
            }
            ASSERT_EQ(out[0][0], out[1][0]) << "block " << block;
        }
    }
}
#endif

TEST(Vst3State, BadStateIsRefusedOrReadAsTheChunkRulesSay) {
    Plugin plugin(module(), kCid);
    plugin.start(44100.0, 64);
    plugin.controller->setParamNormalized(1, 0.75);
    const std::vector<std::uint8_t> good = plugin.state();
    std::vector<std::vector<std::uint8_t>> bad{
        {},
        {good.begin(), good.begin() + static_cast<long>(good.size() / 2)},
        std::vector<std::uint8_t>(good.size(), 0xFF),
        std::vector<std::uint8_t>(2 << 20, 0x00),  // past any chunk
    };
    std::string text = "VstW\x00\x00\x00\x08 another plug-in's bytes";
    bad.emplace_back(text.begin(), text.end());
    // Sliders far past their ranges, which the chunk rules keep: the host
    // still reads values in [0, 1] (found by fuzz_vst3).
    for (const float past : {1e20f, -3e38f}) {
        bad.push_back(good);
        for (std::size_t at = 4; at + 4 <= good.size(); at += 4) std::memcpy(bad.back().data() + at, &past, 4);
    }
    for (auto& bytes : bad) {
        MemoryStream stream(bytes);
        const tresult result = plugin.component->setState(&stream);
        EXPECT_TRUE(result == kResultOk || result == kResultFalse) << bytes.size();
        MemoryStream again(bytes);
        plugin.controller->setComponentState(&again);
        for (ParamID p = 0; p < 6; ++p) {
            const double x = plugin.controller->getParamNormalized(p);
            EXPECT_TRUE(std::isfinite(x) && x >= 0.0 && x <= 1.0) << bytes.size() << " " << p;
        }
        float silence[32] = {}, out[2][32];
        float* ins[2] = {silence, silence};
        float* outs[2] = {out[0], out[1]};
        plugin.process(ins, outs, 32);
        for (float y : out[0]) EXPECT_TRUE(std::isfinite(y));
    }
    EXPECT_EQ(plugin.component->setState(nullptr), kInvalidArgument);
    EXPECT_EQ(plugin.component->getState(nullptr), kInvalidArgument);
    // The refused states left the last good one standing, or the chunk
    // rules read it: whatever stands saves and restores again.
    MemoryStream restore(good);
    EXPECT_EQ(plugin.component->setState(&restore), kResultOk);
    EXPECT_EQ(plugin.state(), good);
}

// A host's two threads at once: the UI thread sets values, reads them and
// saves the state while the audio thread processes blocks with changes.
// Under the tsan preset this is where races would show.
TEST(Vst3Threads, ControllerCallsWhileProcessing) {
    Plugin plugin(module(), kCid);
    plugin.start(48000.0, 128);
    std::atomic<bool> done{false};
    std::thread audio([&] {
        auto in = testSignal<float>(128, 48000.0);
        std::vector<float> out[2] = {std::vector<float>(128), std::vector<float>(128)};
        float* ins[2] = {in[0].data(), in[1].data()};
        float* outs[2] = {out[0].data(), out[1].data()};
        for (int block = 0; !done.load() || block < 50; ++block) {
            ParamChanges changes;
            changes.add(static_cast<ParamID>(block % 6), block % 128, (block % 11) / 10.0);
            plugin.process(ins, outs, 128, &changes);
        }
    });
    for (int k = 0; k < 200; ++k) {
        plugin.controller->setParamNormalized(static_cast<ParamID>(k % 6), (k % 7) / 6.0);
        EXPECT_TRUE(std::isfinite(plugin.controller->getParamNormalized(static_cast<ParamID>((k + 3) % 6))));
        if (k % 20 == 0) {
            EXPECT_FALSE(plugin.state().empty());
        }
    }
    done = true;
    audio.join();
}

}  // namespace
}  // namespace vst3test
