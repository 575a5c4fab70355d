// Real-time factor and time per sub-step of the plug-in, against its literal
// model and against the floor: the one dependent chain a sub-step cannot avoid.
//
//   build/dsp/bench/tonarvo_bench --benchmark_counters_tabular=true
#include <benchmark/benchmark.h>

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <map>
#include <memory>
#include <vector>

#include "LiteralTonearm.h"
#include "Signals.h"
#include "effect/TPlexaEffect.h"
#include "host/CVeST.h"
#include "host/PluginEntry.h"

namespace {

using namespace vst2;

constexpr double kSeconds = 10.0;
constexpr int kBlock = 512;

VstIntPtr hostCallback(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    return opcode == audioMasterVersion ? 2400 : 0;
}

struct Instance {
    explicit Instance(float rate) {
        effect = vsthost::createPluginInstance<TPlexaEffect>(&hostCallback);
        effect->dispatcher(effect, effOpen, 0, 0, nullptr, 0.0f);
        effect->dispatcher(effect, effSetSampleRate, 0, 0, nullptr, rate);
        effect->dispatcher(effect, effSetBlockSize, 0, kBlock, nullptr, 0.0f);
        effect->dispatcher(effect, effMainsChanged, 0, 1, nullptr, 0.0f);
    }
    ~Instance() { effect->dispatcher(effect, effClose, 0, 0, nullptr, 0.0f); }
    TPlexaEffect& fx() const { return *static_cast<TPlexaEffect*>(static_cast<CVeST*>(effect->object)->effect); }
    AEffect* effect;
};

const dsptest::Stereo& input(float rate, bool silent) {
    static std::map<std::pair<float, bool>, dsptest::Stereo> cache;
    auto key = std::make_pair(rate, silent);
    auto it = cache.find(key);
    if (it == cache.end())
        it = cache.emplace(key, dsptest::makeSignal(silent ? dsptest::Kind::Silence : dsptest::Kind::Music, rate,
                                                    kSeconds)).first;
    return it->second;
}

// Sub-steps the plug-in runs on this input, counted frame by frame once.
double subStepsOf(float rate, bool silent) {
    static std::map<std::pair<float, bool>, double> cache;
    auto key = std::make_pair(rate, silent);
    if (auto it = cache.find(key); it != cache.end()) return it->second;
    const dsptest::Stereo& s = input(rate, silent);
    Instance instance(rate);
    double total = 0;
    for (int i = 0; i < s.frames(); ++i) {
        double l = s.left[static_cast<std::size_t>(i)], r = s.right[static_cast<std::size_t>(i)];
        double* in[2] = {&l, &r};
        instance.effect->processDoubleReplacing(instance.effect, in, in, 1);
        const double o = instance.fx().v.oversampling;
        total += o >= 1 ? std::floor(std::fmin(o, 1e6)) : 0;
    }
    cache[key] = total;
    return total;
}

void report(benchmark::State& state, float rate, double subSteps) {
    const double runs = static_cast<double>(state.iterations());
    state.counters["realtime_x"] =
        benchmark::Counter(kSeconds * runs, benchmark::Counter::kIsRate);
    state.counters["ns_per_substep"] =
        benchmark::Counter(subSteps * runs * 1e-9, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.counters["rate"] = rate;
}

template <typename Sample>
void runPlugin(benchmark::State& state, float rate, bool silent) {
    const dsptest::Stereo& s = input(rate, silent);
    const double subSteps = subStepsOf(rate, silent);
    std::vector<Sample> inL(s.left.begin(), s.left.end()), inR(s.right.begin(), s.right.end());
    std::vector<Sample> outL(inL.size()), outR(inR.size());
    for (auto _ : state) {
        state.PauseTiming();
        auto instance = std::make_unique<Instance>(rate);
        state.ResumeTiming();
        for (int at = 0; at < s.frames(); at += kBlock) {
            const int n = std::min(kBlock, s.frames() - at);
            Sample* in[2] = {inL.data() + at, inR.data() + at};
            Sample* out[2] = {outL.data() + at, outR.data() + at};
            if constexpr (sizeof(Sample) == sizeof(float))
                instance->effect->processReplacing(instance->effect, in, out, n);
            else
                instance->effect->processDoubleReplacing(instance->effect, in, out, n);
        }
        benchmark::DoNotOptimize(outL.data());
        state.PauseTiming();
        instance.reset();
        state.ResumeTiming();
    }
    report(state, rate, subSteps);
}

void BM_Plugin(benchmark::State& state) { runPlugin<float>(state, static_cast<float>(state.range(0)), false); }
void BM_PluginDouble(benchmark::State& state) { runPlugin<double>(state, static_cast<float>(state.range(0)), false); }
void BM_PluginSilence(benchmark::State& state) { runPlugin<float>(state, static_cast<float>(state.range(0)), true); }

void BM_Literal(benchmark::State& state) {
    const float rate = static_cast<float>(state.range(0));
    const dsptest::Stereo& s = input(rate, false);
    const double subSteps = subStepsOf(rate, false);
    std::vector<float> outL(s.left.size()), outR(s.right.size());
    literal::HostView host;
    host.sampleRate = rate;
    host.blockSize = kBlock;
    host.hasTimeInfo = false;
    for (auto _ : state) {
        literal::Tonearm model;
        model.resume(host);
        for (int at = 0; at < s.frames(); at += kBlock) {
            const int n = std::min(kBlock, s.frames() - at);
            model.processFloat(s.left.data() + at, s.right.data() + at, outL.data() + at, outR.data() + at, n,
                               host);
        }
        benchmark::DoNotOptimize(outL.data());
    }
    report(state, rate, subSteps);
}

double sanitize(double x) { return std::fabs(x) <= DBL_MAX ? x : 0.0; }

// Once the held input fills the history, a sub-step's first low-pass is
// y = (K - c3 y1) - c4 y2: nothing can run faster than this recursion.
void BM_Floor(benchmark::State& state) {
    const float rate = static_cast<float>(state.range(0));
    const double subSteps = subStepsOf(rate, false);
    Instance instance(rate);
    const tonarvo::BiquadCoefficients& d = instance.fx().v.upsampleFilter;
    const double c3 = d.a1 / d.a0, c4 = d.a2 / d.a0;
    const dsptest::Stereo& s = input(rate, false);
    const long long frames = s.frames();
    const long long perFrame = static_cast<long long>(subSteps) / frames;
    for (auto _ : state) {
        double yl1 = 0, yl2 = 0, yr1 = 0, yr2 = 0;
        for (long long f = 0; f < frames; ++f) {
            const double kl = s.left[static_cast<std::size_t>(f)] * 0.1, kr = s.right[static_cast<std::size_t>(f)] * 0.1;
            for (long long k = 0; k < perFrame; ++k) {
                const double yl = sanitize((kl - c3 * yl1) - c4 * yl2);
                const double yr = sanitize((kr - c3 * yr1) - c4 * yr2);
                yl2 = yl1;
                yl1 = yl;
                yr2 = yr1;
                yr1 = yr;
            }
        }
        benchmark::DoNotOptimize(yl1);
        benchmark::DoNotOptimize(yr1);
    }
    report(state, rate, static_cast<double>(perFrame * frames));
}

}  // namespace

BENCHMARK(BM_Plugin)->Arg(44100)->Arg(96000)->Arg(192000)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PluginDouble)->Arg(44100)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PluginSilence)->Arg(44100)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Literal)->Arg(44100)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Floor)->Arg(44100)->Unit(benchmark::kMillisecond)->UseRealTime();

BENCHMARK_MAIN();
