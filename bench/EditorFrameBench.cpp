// The cost of one interface frame at a scale against the same frame at 1, in
// one run: each iteration draws a frame at each and times them apart, so the
// ratio (counter "ratio") compares like with like on a machine whose speed
// drifts. Offscreen on Cairo, as the X11 window draws: a black-started image
// of the scaled size, the effect's frame section, and nothing else.
#include <benchmark/benchmark.h>

#include <chrono>

#include "editor/cairo/CairoGraphics.h"
#include "editor/cairo/OffscreenPaint.h"
#include "effect/TPlexaEffect.h"
#include "host/CVeST.h"
#include "host/PluginEntry.h"

namespace {

vst2::VstIntPtr quietHost(vst2::AEffect*, std::int32_t opcode, std::int32_t, vst2::VstIntPtr, void*, float) {
    return opcode == vst2::audioMasterVersion ? 2400 : 0;
}

double frameSeconds(CVeST* adapter, TPlexaEffect* effect, double scale) {
    const auto start = std::chrono::steady_clock::now();
    {
        OffscreenPaint paint(adapter, 681, 371, OffscreenPaint::Background::Black, scale);
        effect->gfxSection();
        paint.finish();
        benchmark::DoNotOptimize(paint.surface());
    }
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Argument: the scale in hundredths.
void FrameAtScaleAgainstOne(benchmark::State& state) {
    gfx::installGraphicsPlatform(&gfx::cairoGraphicsPlatform());
    vst2::AEffect* descriptor = vsthost::createPluginInstance<TPlexaEffect>(&quietHost);
    auto* adapter = static_cast<CVeST*>(descriptor->object);
    auto* effect = static_cast<TPlexaEffect*>(adapter->effect);
    descriptor->dispatcher(descriptor, vst2::effOpen, 0, 0, nullptr, 0);
    descriptor->dispatcher(descriptor, vst2::effMainsChanged, 0, 1, nullptr, 0);
    float silence[64] = {};
    float* channels[2] = {silence, silence + 32};
    descriptor->processReplacing(descriptor, channels, channels, 32);  // the border's size
    const double scale = static_cast<double>(state.range(0)) / 100;
    // The images are resampled on the first frame at a scale, then kept.
    frameSeconds(adapter, effect, 1.0);
    frameSeconds(adapter, effect, scale);
    double atOne = 0, scaled = 0;
    for (auto _ : state) {
        atOne += frameSeconds(adapter, effect, 1.0);
        scaled += frameSeconds(adapter, effect, scale);
    }
    const auto n = static_cast<double>(state.iterations());
    state.counters["us_1x"] = atOne / n * 1e6;
    state.counters["us_scaled"] = scaled / n * 1e6;
    state.counters["ratio"] = scaled / atOne;
    descriptor->dispatcher(descriptor, vst2::effClose, 0, 0, nullptr, 0);
}
BENCHMARK(FrameAtScaleAgainstOne)->Arg(150)->Arg(200)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
