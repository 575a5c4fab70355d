// A host's threads at once on one instance: audio processing without pause;
// the user interface opening the editor in a real window, idling it at 60 Hz
// and dragging the mouse across it, closing and reopening it; automation
// writing and reading parameters and their texts; a preset browser getting
// and setting chunks. The watchdog ends the run if any of them hangs.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <thread>

#include "tools/vststress/HostWindow.h"
#include "tools/vststress/RealtimeWatch.h"
#include "tools/vststress/StressHost.h"
#include "tools/vststress/Tests.h"

namespace stress {

namespace {

constexpr double kRate = 48000.0;
constexpr int kBlock = 256;

struct Shared {
    std::atomic<bool> stop{false};
};

struct AudioTally {
    long blocks = 0;
    Levels levels;
    watch::Counts counts;
};

void audioThread(Context& context, vst2::AEffect* effect, Shared& shared, AudioTally& tally) {
    Watchdog::Heartbeat heartbeat(context.watchdog, "audio");
    markAudioThread(true);
    Buffers<float> floats(effect->numInputs, effect->numOutputs, kBlock);
    Buffers<double> doubles(effect->numInputs, effect->numOutputs, kBlock);
    Music music(kRate, context.options.seed);
    const bool useFloat = supports<float>(effect), useDouble = supports<double>(effect);
    const auto run = [&](auto& buffers) {
        music.fill(buffers.in(), buffers.inputs(), 0, kBlock);
        buffers.markOutputs(kBlock);
        {
            watch::Armed armed;
            process(effect, buffers.in(), buffers.out(), kBlock);
        }
        tally.levels.add(buffers.out(), buffers.outputs(), 0, kBlock, context.options.bound);
    };
    // First-use work in each precision before the count starts.
    if (useFloat) run(floats);
    if (useDouble) run(doubles);
    watch::reset();
    while (!shared.stop.load(std::memory_order_relaxed)) {
        // Runs of each precision in turn, as a host may switch between them.
        if (useFloat && (!useDouble || (tally.blocks / 64) % 2 == 0)) run(floats);
        else run(doubles);
        ++tally.blocks;
        heartbeat.beat();
    }
    tally.counts = watch::counts();
    markAudioThread(false);
}

struct EditorTally {
    long idles = 0, opens = 0, refused = 0, drags = 0;
    std::string window;  // why there is none, if none
};

void interfaceThread(Context& context, vhost::Plugin& plugin, Shared& shared, EditorTally& tally) {
    Watchdog::Heartbeat heartbeat(context.watchdog, "interface");
    const bool hasEditor = plugin.hasFlag(vst2::effFlagsHasEditor);
    int width = 400, height = 300;
    vst2::ERect* rect = nullptr;
    if (hasEditor && plugin.dispatch(vst2::effEditGetRect, 0, 0, &rect) != 0 && rect != nullptr &&
        rect->right > rect->left && rect->bottom > rect->top) {
        width = rect->right - rect->left;
        height = rect->bottom - rect->top;
    }
    std::unique_ptr<HostWindow> window;
    if (!hasEditor) tally.window = "the plug-in has no editor";
    else if (!context.options.editor) tally.window = "--no-editor";
    else window = HostWindow::create(width, height, tally.window);

    std::mt19937 random = context.random(61);
    bool open = false;
    const auto openEditor = [&] {
        if (window == nullptr) return;
        ++tally.opens;
        open = plugin.dispatch(vst2::effEditOpen, 0, 0, window->parent()) != 0;
        if (!open) ++tally.refused;
    };
    openEditor();
    int frame = 0, dragX = 0, dragY = 0, dragLeft = 0;
    bool reopen = false;
    const auto period = std::chrono::microseconds(1000000 / 60);
    auto next = Clock::now();
    while (!shared.stop.load(std::memory_order_relaxed)) {
        if (window != nullptr) window->pump();
        plugin.dispatch(vst2::effEditIdle);
        ++tally.idles;
        if (window != nullptr && open) {
            // A drag: press somewhere, move for a dozen frames, release.
            if (dragLeft == 0 && frame % 20 == 0) {
                dragX = static_cast<int>(random() % static_cast<unsigned>(width));
                dragY = static_cast<int>(random() % static_cast<unsigned>(height));
                dragLeft = 12;
                ++tally.drags;
            }
            if (dragLeft > 0) {
                dragX = std::clamp(dragX + static_cast<int>(random() % 21) - 10, 0, width - 1);
                dragY = std::clamp(dragY + static_cast<int>(random() % 21) - 10, 0, height - 1);
                window->pointer(dragX, dragY, --dragLeft > 0);
            }
        }
        // Hosts close and reopen editors (docking, switching tracks), here
        // every second and a half, between drags.
        if (++frame % 90 == 0) reopen = true;
        if (reopen && window != nullptr && dragLeft == 0) {
            reopen = false;
            if (open) plugin.dispatch(vst2::effEditClose);
            window->pump();
            openEditor();
        }
        heartbeat.beat();
        next += period;
        std::this_thread::sleep_until(next);
        if (Clock::now() > next + period * 4) next = Clock::now();  // fell behind: do not race to catch up
    }
    if (open) plugin.dispatch(vst2::effEditClose);
    if (window != nullptr) window->pump();
}

struct ControlTally {
    long writes = 0, reads = 0, texts = 0, badTexts = 0, nonFinite = 0;
    long gets = 0, sets = 0;
};

void automationThread(Context& context, vhost::Plugin& plugin, Shared& shared, ControlTally& tally) {
    Watchdog::Heartbeat heartbeat(context.watchdog, "automation");
    std::mt19937 random = context.random(71);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    const int count = plugin.numParams();
    if (count == 0) return;
    while (!shared.stop.load(std::memory_order_relaxed)) {
        for (int i = 0; i < 32; ++i) {
            const int p = static_cast<int>(random() % static_cast<unsigned>(count));
            plugin.setParameter(p, unit(random));
            ++tally.writes;
            if (!std::isfinite(plugin.getParameter(p))) ++tally.nonFinite;
            ++tally.reads;
        }
        for (const vst2::VstInt32 opcode : {vst2::effGetParamDisplay, vst2::effGetParamName, vst2::effGetParamLabel}) {
            if (!parameterText(plugin, opcode, static_cast<int>(random() % static_cast<unsigned>(count))))
                ++tally.badTexts;
            ++tally.texts;
        }
        heartbeat.beat();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

void presetThread(Context& context, vhost::Plugin& plugin, Shared& shared, ControlTally& tally) {
    Watchdog::Heartbeat heartbeat(context.watchdog, "presets");
    std::vector<std::vector<std::uint8_t>> saved;
    std::mt19937 random = context.random(81);
    while (!shared.stop.load(std::memory_order_relaxed)) {
        saved.push_back(plugin.getChunk());
        ++tally.gets;
        if (saved.size() > 8) saved.erase(saved.begin());
        const auto& chunk = saved[random() % saved.size()];
        if (!chunk.empty()) {
            plugin.setChunk(chunk);
            ++tally.sets;
        }
        for (int p = 0; p < plugin.numParams(); ++p)
            if (!std::isfinite(plugin.getParameter(p))) ++tally.nonFinite;
        heartbeat.beat();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

}  // namespace

void threadsConcurrent(Context& context, Report& report) {
    const double seconds = std::max(1.0, context.seconds(5.0));
    auto plugin = startInstance(context, kRate, kBlock);
    Shared shared;
    AudioTally audio;
    EditorTally editor;
    ControlTally automation, presets;
    std::thread threads[] = {
        std::thread(audioThread, std::ref(context), &plugin->effect(), std::ref(shared), std::ref(audio)),
        std::thread(interfaceThread, std::ref(context), std::ref(*plugin), std::ref(shared), std::ref(editor)),
        std::thread(automationThread, std::ref(context), std::ref(*plugin), std::ref(shared), std::ref(automation)),
        std::thread(presetThread, std::ref(context), std::ref(*plugin), std::ref(shared), std::ref(presets)),
    };
    {
        Watchdog::Heartbeat heartbeat(context.watchdog, "main");
        const auto end = Clock::now() + std::chrono::duration<double>(seconds);
        while (Clock::now() < end) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            heartbeat.beat();
        }
        shared.stop.store(true);
    }
    for (auto& thread : threads) thread.join();

    if (!audio.levels.clean())
        report.fail(format("audio: %ld non-finite, %ld beyond the bound, %ld not written", audio.levels.nonFinite,
                           audio.levels.overBound, audio.levels.unwritten));
    if (watch::available() && (audio.counts.allocations > 0 || audio.counts.locks > 0))
        report.fail(format("the audio thread allocated %ld times and took %ld locks, waits or sleeps",
                           audio.counts.allocations, audio.counts.locks));
    if (editor.refused > 0) report.fail(format("the editor refused %ld of %ld opens", editor.refused, editor.opens));
    if (automation.nonFinite + presets.nonFinite > 0)
        report.fail(format("%ld non-finite parameter reads", automation.nonFinite + presets.nonFinite));
    if (automation.badTexts > 0) report.fail(format("%ld parameter texts without a terminator", automation.badTexts));

    report.figure(format("%.1f s: %ld blocks of %d", seconds, audio.blocks, kBlock));
    if (editor.window.empty())
        report.figure(format("editor opened %ld times, %ld idles, %ld drags", editor.opens, editor.idles, editor.drags));
    else
        report.figure(format("no editor window (%s), %ld idles", editor.window.c_str(), editor.idles));
    report.figure(format("%ld parameter writes, %ld texts; %ld chunks got, %ld set", automation.writes,
                         automation.texts, presets.gets, presets.sets));
    if (watch::available())
        report.figure(format("audio thread: %ld allocations, %ld locks", audio.counts.allocations, audio.counts.locks));
}

}  // namespace stress
