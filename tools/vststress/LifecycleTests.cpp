// Instances made and unmade: hundreds of cycles in the orders real hosts
// use, and several threads doing it at once.
#include <thread>

#include "tools/vsthost/Errors.h"
#include "tools/vststress/RealtimeWatch.h"
#include "tools/vststress/StressHost.h"
#include "tools/vststress/Tests.h"

namespace stress {

namespace {

constexpr int kFrames = 64;

struct CycleTally {
    long processCalls = 0;
    Levels levels;
};

template <typename Sample>
void processSome(vhost::Plugin& plugin, Music& music, int blocks, CycleTally& tally, double bound) {
    vst2::AEffect* effect = &plugin.effect();
    Buffers<Sample> buffers(effect->numInputs, effect->numOutputs, kFrames);
    for (int b = 0; b < blocks; ++b) {
        music.fill(buffers.in(), buffers.inputs(), 0, kFrames);
        buffers.markOutputs(kFrames);
        process(effect, buffers.in(), buffers.out(), kFrames);
        tally.levels.add(buffers.out(), buffers.outputs(), 0, kFrames, bound);
        ++tally.processCalls;
    }
}

void processBoth(vhost::Plugin& plugin, Music& music, int blocks, CycleTally& tally, double bound) {
    forEachPrecision(plugin.effect(), [&](auto sample) {
        processSome<decltype(sample)>(plugin, music, blocks, tally, bound);
    });
}

// The orders hosts drive an instance in (see the README): a full cycle; a
// scanner that never switches on; double switch-on and switch-off; a
// session restore (parameters, switch-on, chunk while on, switch-on again)
// followed by a rate change and the off-on-off close some hosts make.
void cycle(const Context& context, int order, Music& music, CycleTally& tally) {
    const double bound = context.options.bound;
    auto plugin = context.create();
    plugin->open();
    switch (order) {
        case 0:
            plugin->setSampleRate(44100.0f);
            plugin->setBlockSize(kFrames);
            plugin->setActive(true);
            plugin->startProcess();
            processBoth(*plugin, music, 2, tally, bound);
            plugin->stopProcess();
            plugin->setActive(false);
            break;
        case 1:
            plugin->effectName();
            plugin->paramNames();
            plugin->setActive(false);
            break;
        case 2:
            plugin->setSampleRate(48000.0f);
            plugin->setBlockSize(kFrames);
            plugin->setActive(true);
            plugin->setActive(true);
            processBoth(*plugin, music, 1, tally, bound);
            plugin->setActive(false);
            plugin->setActive(false);
            break;
        default: {
            plugin->setSampleRate(44100.0f);
            plugin->setBlockSize(kFrames);
            const std::vector<std::uint8_t> chunk = plugin->getChunk();
            for (int p = 0; p < plugin->numParams(); ++p) plugin->setParameter(p, 0.25f);
            plugin->setActive(true);
            if (!chunk.empty()) plugin->setChunk(chunk);
            plugin->setActive(true);
            processBoth(*plugin, music, 1, tally, bound);
            plugin->setActive(false);
            plugin->setSampleRate(96000.0f);
            plugin->setActive(true);
            processBoth(*plugin, music, 1, tally, bound);
            plugin->setActive(false);
            plugin->setActive(true);
            plugin->setActive(false);
            break;
        }
    }
    plugin.reset();  // effClose
}

void reportLevels(Report& report, const Levels& levels) {
    if (levels.nonFinite > 0) report.fail(format("%ld non-finite output samples", levels.nonFinite));
    if (levels.overBound > 0) report.fail(format("%ld output samples beyond the bound", levels.overBound));
    if (levels.unwritten > 0) report.fail(format("%ld output samples never written", levels.unwritten));
}

}  // namespace

void lifecycleCycles(Context& context, Report& report) {
    constexpr int kOrders = 4;
    const int cycles = context.count(300, 2 * kOrders);
    const int warmUp = cycles / 10;
    Watchdog::Heartbeat heartbeat(context.watchdog, "main");
    Music music(44100.0, context.options.seed);
    CycleTally tally;
    long liveAfterWarmUp = -1;
    for (int k = 0; k < cycles; ++k) {
        if (k == warmUp) liveAfterWarmUp = watch::liveBlocks();
        cycle(context, k % kOrders, music, tally);
        heartbeat.beat();
    }
    reportLevels(report, tally.levels);
    report.figure(format("%d cycles in %d host orders, %ld process calls", cycles, kOrders, tally.processCalls));
    const long live = watch::liveBlocks();
    if (live >= 0 && liveAfterWarmUp >= 0) {
        // A plug-in may fill caches on first use (the warm-up); after that the
        // heap must stay as it was.
        const long growth = live - liveAfterWarmUp;
        report.figure(format("heap blocks %+ld over the last %d cycles", growth, cycles - warmUp));
        if (growth > 8) report.fail(format("leaks: %ld heap blocks more after %d cycles", growth, cycles - warmUp));
    } else {
        report.figure("leaks left to the sanitizer");
    }
}

void lifecycleThreads(Context& context, Report& report) {
    const int threads = context.options.creatorThreads;
    const int perThread = context.count(40, 4);
    struct Result {
        CycleTally tally;
        int instances = 0;
        std::string error;
    };
    std::vector<Result> results(static_cast<std::size_t>(threads));
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t) {
        workers.emplace_back([&, t] {
            Result& result = results[static_cast<std::size_t>(t)];
            Watchdog::Heartbeat heartbeat(context.watchdog, "creator");
            Music music(48000.0, context.options.seed + static_cast<std::uint32_t>(t));
            try {
                // Two alive at a time: the next is made before the last goes.
                std::unique_ptr<vhost::Plugin> previous;
                for (int k = 0; k < perThread; ++k) {
                    auto plugin = startInstance(context, 48000.0, kFrames);
                    processBoth(*plugin, music, 2, result.tally, context.options.bound);
                    plugin->getChunk();
                    previous = std::move(plugin);
                    ++result.instances;
                    heartbeat.beat();
                }
            } catch (const vhost::ToolError& e) {
                result.error = e.what();
            }
        });
    }
    for (auto& worker : workers) worker.join();
    Levels levels;
    int instances = 0;
    long calls = 0;
    for (const Result& result : results) {
        if (!result.error.empty()) report.fail(result.error);
        levels.merge(result.tally.levels);
        instances += result.instances;
        calls += result.tally.processCalls;
    }
    reportLevels(report, levels);
    report.figure(format("%d threads made %d instances, %ld process calls", threads, instances, calls));
}

}  // namespace stress
