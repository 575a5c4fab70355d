// Real-time factor and time per sub-step of the shipped plug-in, against the
// literal model and against the floor, in one run:
//
//   build/default/bench/tonarvo_bench --benchmark_counters_tabular=true
//
// The plug-in is the built Tonarvo.so, loaded through its entry point. Other
// builds of it can be timed beside it, each case named after its file:
//
//   tonarvo_bench --plugin=a/Tonarvo.so --plugin=b/Tonarvo.so
//
// --seconds=S shortens the input (10 s) for a smoke run.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "BenchCases.h"
#include "tools/vsthost/Errors.h"

namespace {

using namespace tonarvobench;

bool differed = false;

void report(benchmark::State& state, double subSteps) {
    const double runs = static_cast<double>(state.iterations());
    state.counters["realtime_x"] = benchmark::Counter(inputSeconds() * runs, benchmark::Counter::kIsRate);
    state.counters["ns_per_substep"] =
        benchmark::Counter(subSteps * runs * 1e-9, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

template <typename Sample>
void runPlugin(benchmark::State& state, const PluginCase& c) {
    Audio<Sample> in = hostBuffers<Sample>(input(c.rate, c.silent)), out;
    for (auto _ : state) {
        state.PauseTiming();
        auto run = std::make_unique<PluginRun>(c.library, c.rate);
        state.ResumeTiming();
        run->process(in, out);
        benchmark::DoNotOptimize(out.left.data());
        state.PauseTiming();
        run.reset();
        state.ResumeTiming();
    }
    if (!matchesLiteral(out, c.rate, c.silent)) {
        differed = true;
        state.SkipWithError("output differs from the literal model");
    }
    report(state, subStepsOf(c.rate, c.silent));
}

void runLiteral(benchmark::State& state, float rate) {
    const Audio<float> in = hostBuffers<float>(input(rate, false));
    Audio<float> out;
    const double subSteps = subStepsOf(rate, false);
    for (auto _ : state) {
        LiteralRun model(rate);
        model.process(in, out);
        benchmark::DoNotOptimize(out.left.data());
    }
    report(state, subSteps);
}

void runFloor(benchmark::State& state, float rate) {
    Floor floor(rate);
    double subSteps = 0;
    for (auto _ : state) {
        subSteps = floor.run();
        benchmark::DoNotOptimize(floor.sink());
    }
    report(state, subSteps);
}

template <typename Case>
void add(const std::string& name, Case run) {
    benchmark::RegisterBenchmark(name.c_str(), run)->Unit(benchmark::kMillisecond);
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    std::vector<std::string> plugins;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg.rfind("--plugin=", 0) == 0)
            plugins.push_back(arg.substr(9));
        else if (arg.rfind("--seconds=", 0) != 0 || !setInputSeconds(arg.c_str() + 10)) {
            std::fprintf(stderr, "unknown option %s\n", arg.c_str());
            return 2;
        }
    }
    if (plugins.empty()) plugins.push_back(TONARVO_PLUGIN_PATH);

    try {
        for (const PluginCase& c : pluginCases(plugins))
            add(c.name, [c](benchmark::State& s) { c.doublePrecision ? runPlugin<double>(s, c) : runPlugin<float>(s, c); });
    } catch (const vhost::ToolError& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    add("Literal/44100", [](benchmark::State& s) { runLiteral(s, 44100.0f); });
    add("Floor/44100", [](benchmark::State& s) { runFloor(s, 44100.0f); });

    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return differed ? 1 : 0;
}
