// Proof that the audio thread's calls into the loaded plug-in never allocate.
// This executable replaces the global allocation functions; the plug-in
// library's references to them bind here through ELF symbol interposition,
// so every allocation the plug-in makes is counted while the counter is armed.
#include <lv2/core/lv2.h>
#include <lv2/urid/urid.h>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <new>
#include <string>
#include <vector>

#include "../lv2/PositionEvents.h"
#include "PluginHost.h"
#ifdef TONARVO_CLAP_PATH
#include "../clap/ClapTestHost.h"
#endif
#ifdef TONARVO_VST3_MODULE
#include "../vst3/Vst3TestHost.h"
#include "effect/TonarvoVst3.h"
#endif

#if defined(__SANITIZE_ADDRESS__)
#define E2E_UNDER_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define E2E_UNDER_ASAN 1
#endif
#endif

// malloc itself is only wrapped on glibc without the address sanitizer,
// which brings its own malloc and must keep it.
#if defined(__GLIBC__) && !defined(E2E_UNDER_ASAN)
#define E2E_COUNT_MALLOC 1
#endif

namespace {

std::atomic<bool> gArmed{false};
std::atomic<long> gNewCount{0};
std::atomic<long> gMallocCount{0};

void* countedNew(std::size_t size) {
    if (gArmed.load(std::memory_order_relaxed)) gNewCount.fetch_add(1, std::memory_order_relaxed);
    void* p = std::malloc(size == 0 ? 1 : size);
    if (p == nullptr) throw std::bad_alloc();
    return p;
}

void* countedAlignedNew(std::size_t size, std::align_val_t alignment) {
    if (gArmed.load(std::memory_order_relaxed)) gNewCount.fetch_add(1, std::memory_order_relaxed);
    const auto align = static_cast<std::size_t>(alignment) < sizeof(void*) ? sizeof(void*)
                                                                            : static_cast<std::size_t>(alignment);
    void* p = nullptr;
    if (posix_memalign(&p, align, size == 0 ? 1 : size) != 0) throw std::bad_alloc();
    return p;
}

}  // namespace

#define E2E_DEFAULT_VISIBILITY __attribute__((visibility("default")))

E2E_DEFAULT_VISIBILITY void* operator new(std::size_t size) { return countedNew(size); }
E2E_DEFAULT_VISIBILITY void* operator new[](std::size_t size) { return countedNew(size); }
E2E_DEFAULT_VISIBILITY void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    try {
        return countedNew(size);
    } catch (...) {
        return nullptr;
    }
}
E2E_DEFAULT_VISIBILITY void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    try {
        return countedNew(size);
    } catch (...) {
        return nullptr;
    }
}
E2E_DEFAULT_VISIBILITY void* operator new(std::size_t size, std::align_val_t a) { return countedAlignedNew(size, a); }
E2E_DEFAULT_VISIBILITY void* operator new[](std::size_t size, std::align_val_t a) {
    return countedAlignedNew(size, a);
}
E2E_DEFAULT_VISIBILITY void operator delete(void* p) noexcept { std::free(p); }
E2E_DEFAULT_VISIBILITY void operator delete[](void* p) noexcept { std::free(p); }
E2E_DEFAULT_VISIBILITY void operator delete(void* p, std::size_t) noexcept { std::free(p); }
E2E_DEFAULT_VISIBILITY void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
E2E_DEFAULT_VISIBILITY void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
E2E_DEFAULT_VISIBILITY void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }
E2E_DEFAULT_VISIBILITY void operator delete(void* p, std::align_val_t) noexcept { std::free(p); }
E2E_DEFAULT_VISIBILITY void operator delete[](void* p, std::align_val_t) noexcept { std::free(p); }
E2E_DEFAULT_VISIBILITY void operator delete(void* p, std::size_t, std::align_val_t) noexcept { std::free(p); }
E2E_DEFAULT_VISIBILITY void operator delete[](void* p, std::size_t, std::align_val_t) noexcept { std::free(p); }

#ifdef E2E_COUNT_MALLOC
extern "C" {
void* __libc_malloc(std::size_t size);
void* __libc_calloc(std::size_t count, std::size_t size);
void* __libc_realloc(void* p, std::size_t size);
void __libc_free(void* p);

E2E_DEFAULT_VISIBILITY void* malloc(std::size_t size) noexcept {
    if (gArmed.load(std::memory_order_relaxed)) gMallocCount.fetch_add(1, std::memory_order_relaxed);
    return __libc_malloc(size);
}
E2E_DEFAULT_VISIBILITY void* calloc(std::size_t count, std::size_t size) noexcept {
    if (gArmed.load(std::memory_order_relaxed)) gMallocCount.fetch_add(1, std::memory_order_relaxed);
    return __libc_calloc(count, size);
}
E2E_DEFAULT_VISIBILITY void* realloc(void* p, std::size_t size) noexcept {
    if (gArmed.load(std::memory_order_relaxed)) gMallocCount.fetch_add(1, std::memory_order_relaxed);
    return __libc_realloc(p, size);
}
E2E_DEFAULT_VISIBILITY void free(void* p) noexcept { __libc_free(p); }
}
#endif

namespace e2e {
namespace {

struct AllocationCount {
    long news;
    long mallocs;
};

class ArmedCounter {
public:
    ArmedCounter() {
        gNewCount = 0;
        gMallocCount = 0;
        gArmed = true;
    }
    AllocationCount stop() {
        gArmed = false;
        return {gNewCount.load(), gMallocCount.load()};
    }
    ~ArmedCounter() { gArmed = false; }
};

// A host that answers without recording anything (recording would itself
// allocate), optionally with time information as a playing transport gives.
VstTimeInfo gTimeInfo{};
bool gGiveTimeInfo = false;

VstIntPtr quietHost(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    switch (opcode) {
        case audioMasterVersion: return 2400;
        case audioMasterGetTime: return gGiveTimeInfo ? reinterpret_cast<VstIntPtr>(&gTimeInfo) : 0;
        default: return 0;
    }
}

TEST(RealtimeSafety, TheCounterSeesThePluginsAllocations) {
    Instance instance(tonarvoEntry(), &quietHost);
    ASSERT_NE(instance.effect, nullptr);
    std::string longName(300, 'n');
    void* chunk = nullptr;
    ArmedCounter counter;
    // The first save grows the state stream; a long name needs a new string buffer.
    const VstIntPtr size = instance.dispatch(effGetChunk, 0, 0, &chunk);
    instance.dispatch(effSetProgramName, 0, 0, longName.data());
    const AllocationCount count = counter.stop();
    EXPECT_EQ(size, 260);
    EXPECT_GT(count.news, 0) << "operator new of the plug-in is not interposed; the proof below would be vacuous";
#ifdef E2E_COUNT_MALLOC
    EXPECT_GE(count.mallocs, count.news);
#endif
}

class RealtimeSafetyProcessing : public ::testing::TestWithParam<bool> {};

TEST_P(RealtimeSafetyProcessing, ProcessingAndParameterChangesAllocateNothing) {
    gGiveTimeInfo = GetParam();
    gTimeInfo = VstTimeInfo{};
    gTimeInfo.sampleRate = 48000.0;
    gTimeInfo.tempo = 128.0;
    gTimeInfo.ppqPos = 17.25;
    gTimeInfo.timeSigNumerator = 7;
    gTimeInfo.timeSigDenominator = 8;
    gTimeInfo.flags = kVstTransportPlaying | kVstTempoValid | kVstTimeSigValid | kVstPpqPosValid;

    Instance instance(tonarvoEntry(), &quietHost);
    ASSERT_NE(instance.effect, nullptr);
    AEffect* e = instance.effect;
    constexpr VstInt32 kMaxBlock = 4096;
    instance.startUp(48000.0f, kMaxBlock);

    // Everything the loop touches exists before the counter is armed.
    std::vector<float> fl(kMaxBlock), fr(kMaxBlock), fol(kMaxBlock), forr(kMaxBlock);
    std::vector<double> dl(kMaxBlock), dr(kMaxBlock), dol(kMaxBlock), dor(kMaxBlock);
    for (std::size_t i = 0; i < fl.size(); ++i) {
        fl[i] = static_cast<float>((i % 97) / 97.0 - 0.5);
        fr[i] = static_cast<float>((i % 31) / 62.0);
        dl[i] = fl[i];
        dr[i] = -fr[i];
    }
    float* fin[2] = {fl.data(), fr.data()};
    float* fout[2] = {fol.data(), forr.data()};
    double* din[2] = {dl.data(), dr.data()};
    double* dout[2] = {dol.data(), dor.data()};

    VstMidiEvent note{};
    note.type = kVstMidiType;
    note.byteSize = sizeof note;
    note.midiData[0] = static_cast<char>(0x90);
    struct {
        VstInt32 numEvents;
        VstIntPtr reserved;
        VstEvent* events[2];
    } events{2, 0, {reinterpret_cast<VstEvent*>(&note), reinterpret_cast<VstEvent*>(&note)}};

    // Warm-up block in each precision: first-use initialisation happens here.
    e->processReplacing(e, fin, fout, kMaxBlock);
    e->processDoubleReplacing(e, din, dout, kMaxBlock);

    const VstInt32 sizes[] = {1, 37, 512, 4096};
    float sink = 0.0f;
    ArmedCounter counter;
    for (int round = 0; round < 12; ++round) {
        for (const VstInt32 frames : sizes) {
            e->dispatcher(e, effProcessEvents, 0, 0, &events, 0.0f);
            e->processReplacing(e, fin, fout, frames);
            for (VstInt32 p = 0; p < 6; ++p) {
                e->setParameter(e, p, static_cast<float>((round * 7 + p * 3 + frames) % 101) / 100.0f);
                sink += e->getParameter(e, p);
            }
            e->processDoubleReplacing(e, din, dout, frames);
            e->processReplacing(e, fin, fin, frames);  // in place
            e->processDoubleReplacing(e, din, din, 0);
        }
    }
    const AllocationCount count = counter.stop();
    EXPECT_EQ(count.news, 0);
    EXPECT_EQ(count.mallocs, 0);
    EXPECT_TRUE(std::isfinite(sink));
}

INSTANTIATE_TEST_SUITE_P(HostTime, RealtimeSafetyProcessing, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return info.param ? std::string("WithTimeInfo") : std::string("WithoutTimeInfo");
                         });

// The LV2 library's run: controls changing between blocks of every size, with
// a URID map and a playing transport on the time port, and with no features
// at all (as lv2apply runs it).
class RealtimeSafetyLv2 : public ::testing::TestWithParam<bool> {};

TEST_P(RealtimeSafetyLv2, RunWithChangingControlsAllocatesNothing) {
    static const PluginLibrary library(TONARVO_LV2_LIBRARY);
    const auto entry = reinterpret_cast<const LV2_Descriptor* (*)(std::uint32_t)>(library.symbol("lv2_descriptor"));
    ASSERT_NE(entry, nullptr) << library.error();
    const LV2_Descriptor* descriptor = entry(0);
    static std::vector<std::string> uris;  // mapped while instantiating, never in run
    LV2_URID_Map map{nullptr, [](LV2_URID_Map_Handle, const char* uri) {
                         for (std::size_t i = 0; i < uris.size(); ++i)
                             if (uris[i] == uri) return static_cast<LV2_URID>(i + 1);
                         uris.emplace_back(uri);
                         return static_cast<LV2_URID>(uris.size());
                     }};
    const LV2_Feature mapFeature{LV2_URID__map, &map};
    const LV2_Feature* withMap[] = {&mapFeature, nullptr};
    const LV2_Feature* none[] = {nullptr};
    LV2_Handle plugin = descriptor->instantiate(descriptor, 48000.0, TONARVO_LV2_BUNDLE, GetParam() ? withMap : none);
    ASSERT_NE(plugin, nullptr);

    constexpr std::uint32_t kMaxBlock = 4096;
    std::vector<std::vector<float>> audio(4, std::vector<float>(kMaxBlock));
    for (std::size_t i = 0; i < kMaxBlock; ++i) audio[0][i] = audio[1][i] = static_cast<float>((i % 97) / 97.0 - 0.5);
    for (std::uint32_t c = 0; c < 4; ++c) descriptor->connect_port(plugin, c, audio[c].data());
    float controls[6] = {0, 0, 0, -24, -24, 25.2f};
    for (std::uint32_t p = 0; p < 6; ++p) descriptor->connect_port(plugin, 4 + p, &controls[p]);
    alignas(LV2_Atom) std::uint8_t events[256];
    const lv2test::Position playing{0, 128.0f, 4.0f, 4, 0, 0.0f, 1.0f};
    lv2test::forgeEvents(&map, events, sizeof events, &playing);
    descriptor->connect_port(plugin, 10, events);
    descriptor->activate(plugin);
    descriptor->run(plugin, kMaxBlock);  // first-use initialisation happens here

    const std::uint32_t sizes[] = {1, 37, 512, kMaxBlock};
    ArmedCounter counter;
    for (int round = 0; round < 4; ++round)
        for (const std::uint32_t frames : sizes) {
            for (int p = 0; p < 6; ++p) controls[p] = static_cast<float>((round * 7 + p * 3 + frames) % 48) - 24.0f;
            descriptor->run(plugin, frames);
            descriptor->run(plugin, 0);
        }
    const AllocationCount count = counter.stop();
    EXPECT_EQ(count.news, 0);
    EXPECT_EQ(count.mallocs, 0);
    descriptor->deactivate(plugin);
    descriptor->cleanup(plugin);
}

INSTANTIATE_TEST_SUITE_P(HostFeatures, RealtimeSafetyLv2, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return info.param ? std::string("MapAndTime") : std::string("NoFeatures");
                         });

#ifdef TONARVO_CLAP_PATH
// The CLAP library's process and flush: parameter values at frames, a
// transport at the block's start and one inside it, an event of another
// namespace, both precisions, in place, blocks of every size, and reset.
TEST(RealtimeSafetyClap, ProcessFlushAndResetAllocateNothing) {
    const clap_plugin_entry_t* entry = claptest::loadEntry(TONARVO_CLAP_PATH);
    ASSERT_NE(entry, nullptr);
    claptest::Host host;
    claptest::Plugin plugin(entry, host);
    ASSERT_TRUE(plugin.ready);
    constexpr std::uint32_t kMaxBlock = 4096;
    ASSERT_TRUE(plugin.activate(48000.0, kMaxBlock));
    const clap_plugin_t* p = plugin.plugin;

    clap_event_transport_t transport{};
    transport.header = {sizeof transport, 0, CLAP_CORE_EVENT_SPACE_ID, CLAP_EVENT_TRANSPORT, 0};
    transport.flags = CLAP_TRANSPORT_HAS_TEMPO | CLAP_TRANSPORT_HAS_BEATS_TIMELINE | CLAP_TRANSPORT_HAS_TIME_SIGNATURE |
                      CLAP_TRANSPORT_IS_PLAYING;
    transport.tempo = 128.0;
    transport.song_pos_beats = 17 * CLAP_BEATTIME_FACTOR;
    transport.tsig_num = 7;
    transport.tsig_denom = 8;
    claptest::EventList in;
    for (std::uint32_t k = 0; k < 6; ++k) in.value(k, k == 2 ? 0.5 * k / 5.0 : -12.0 + 4.0 * k, 7 * k);
    transport.header.time = 40;
    in.add(transport);
    in.value(5, 30.0, 41, 0xb33f);
    for (std::uint32_t k = 0; k < 6; ++k) in.value(k, k == 2 ? 1.5 : 3.0 + k, 300 + k);
    claptest::OutputList out;
    out.events.reserve(1024);
    const clap_input_events_t* inList = in.list();
    const clap_output_events_t* outList = out.list();
    const auto* params = plugin.params;

    std::vector<float> fl(kMaxBlock), fr(kMaxBlock), fol(kMaxBlock), forr(kMaxBlock);
    std::vector<double> dl(kMaxBlock), dr(kMaxBlock), dol(kMaxBlock), dor(kMaxBlock);
    for (std::size_t i = 0; i < kMaxBlock; ++i) {
        fl[i] = static_cast<float>((i % 97) / 97.0 - 0.5);
        fr[i] = static_cast<float>((i % 31) / 62.0);
        dl[i] = fl[i];
        dr[i] = -fr[i];
    }
    float* fin[2] = {fl.data(), fr.data()};
    float* fout[2] = {fol.data(), forr.data()};
    double* din[2] = {dl.data(), dr.data()};
    double* dout[2] = {dol.data(), dor.data()};
    clap_audio_buffer_t floatIn{fin, nullptr, 2, 0, 0}, floatOut{fout, nullptr, 2, 0, 0};
    clap_audio_buffer_t doubleIn{nullptr, din, 2, 0, 0}, doubleOut{nullptr, dout, 2, 0, 0};
    clap_process_t block{0, kMaxBlock, &transport, &floatIn, &floatOut, 1, 1, inList, outList};
    p->process(p, &block);  // first-use initialisation happens here
    block.audio_inputs = &doubleIn;
    block.audio_outputs = &doubleOut;
    p->process(p, &block);

    const std::uint32_t sizes[] = {1, 37, 512, kMaxBlock};
    ArmedCounter counter;
    for (int round = 0; round < 4; ++round)
        for (const std::uint32_t frames : sizes) {
            block.frames_count = frames;
            block.transport = round % 2 ? &transport : nullptr;
            block.audio_inputs = &floatIn;
            block.audio_outputs = &floatOut;
            p->process(p, &block);
            block.audio_inputs = &doubleIn;
            block.audio_outputs = &doubleOut;
            p->process(p, &block);
            block.audio_outputs = &doubleIn;  // in place
            p->process(p, &block);
            params->flush(p, inList, outList);
            if (frames == 37) p->reset(p);
        }
    const AllocationCount count = counter.stop();
    EXPECT_EQ(count.news, 0);
    EXPECT_EQ(count.mallocs, 0);

    // The counter sees this library too: a save builds its blob.
    claptest::OutStream saved;
    saved.step = 4096;
    saved.bytes.reserve(4096);
    ArmedCounter stateCounter;
    EXPECT_TRUE(plugin.state->save(p, &saved.clap));
    EXPECT_GT(stateCounter.stop().news, 0);
}
#endif

#ifdef TONARVO_VST3_MODULE
// The VST 3 module's process: parameter points at offsets in every block,
// a playing transport, 32 and 64 bit, in place, and flushes without buffers.
TEST(RealtimeSafetyVst3, ProcessWithParameterChangesAllocatesNothing) {
    using namespace vst3test;
    static Module module(TONARVO_VST3_MODULE);
    const Tuid cid = vst3::makeTuid(tonarvo::kVst3ClassId[0], tonarvo::kVst3ClassId[1],
                                    tonarvo::kVst3ClassId[2], tonarvo::kVst3ClassId[3]);
    Plugin plugin(module, cid);
    ASSERT_NE(plugin.processor, nullptr);
    constexpr vst3::int32 kMaxBlock = 4096;
    plugin.start(48000.0, kMaxBlock, vst3::kSample64);

    std::vector<std::vector<float>> f(2, std::vector<float>(kMaxBlock));
    std::vector<std::vector<double>> d(2, std::vector<double>(kMaxBlock));
    for (std::size_t i = 0; i < kMaxBlock; ++i) {
        f[0][i] = f[1][i] = static_cast<float>((i % 97) / 97.0 - 0.5);
        d[0][i] = d[1][i] = f[0][i];
    }
    std::vector<std::vector<float>> fo = f;
    std::vector<std::vector<double>> dout = d;
    float* fin[2] = {f[0].data(), f[1].data()};
    float* fout[2] = {fo[0].data(), fo[1].data()};
    double* din[2] = {d[0].data(), d[1].data()};
    double* dou[2] = {dout[0].data(), dout[1].data()};
    vst3::ProcessContext context{};
    context.state = vst3::ProcessContext::kPlaying | vst3::ProcessContext::kTempoValid |
                    vst3::ProcessContext::kTimeSigValid | vst3::ProcessContext::kProjectTimeMusicValid;
    context.sampleRate = 48000.0;
    context.tempo = 128.0;
    context.timeSigNumerator = 7;
    context.timeSigDenominator = 8;

    const vst3::int32 sizes[] = {1, 37, 512, kMaxBlock};
    std::vector<ParamChanges> changes(4 * 4);  // made before the counter is armed
    for (std::size_t k = 0; k < changes.size(); ++k)
        for (vst3::ParamID p = 0; p < 6; ++p)
            for (int point = 0; point < 3; ++point)
                changes[k].add(p, static_cast<vst3::int32>(point * sizes[k % 4] / 3),
                               static_cast<double>((k * 7 + p * 3 + static_cast<std::size_t>(point)) % 101) / 100.0);
    plugin.process(din, dou, kMaxBlock);  // first-use initialisation happens here
    plugin.process(fin, fout, kMaxBlock);

    ArmedCounter counter;
    for (std::size_t k = 0; k < changes.size(); ++k) {
        const vst3::int32 frames = sizes[k % 4];
        context.projectTimeMusic = static_cast<double>(k);
        plugin.process(fin, fout, frames, &changes[k], &context);
        plugin.process(din, din, frames, &changes[k], &context);  // in place
        vst3::ProcessData flush{};
        flush.inputParameterChanges = &changes[k];
        plugin.processor->process(&flush);
    }
    const AllocationCount count = counter.stop();
    EXPECT_EQ(count.news, 0);
    EXPECT_EQ(count.mallocs, 0);
}
#endif

}  // namespace
}  // namespace e2e
