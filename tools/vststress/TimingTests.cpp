// What single blocks cost, as ratios to a median full-load block in the same
// run: the worst steady block, the first after switch-on, the first after a
// parameter write, the first music after a long silence, denormal input.
// Meanwhile the audio thread is watched for allocations and locks.
#include <algorithm>
#include <cmath>
#include <limits>

#if defined(_WIN32)
#include <windows.h>
#else
#include <time.h>
#endif

#include "tools/vststress/RealtimeWatch.h"
#include "tools/vststress/StressHost.h"
#include "tools/vststress/Tests.h"

namespace stress {

namespace {

constexpr double kRate = 44100.0;
constexpr int kBlock = 512;

// The calling thread's processor time where the system measures it finely
// (preemption by other processes does not count); elsewhere wall time.
double threadSeconds() {
#if defined(_WIN32)
    LARGE_INTEGER now, frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
#else
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + 1e-9 * static_cast<double>(now.tv_nsec);
#endif
}

double median(std::vector<double> values) {
    if (values.empty()) return 0.0;
    std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2), values.end());
    return values[values.size() / 2];
}

template <typename Sample>
void measure(Context& context, Report& report) {
    Watchdog::Heartbeat heartbeat(context.watchdog, "main");
    markAudioThread(true);
    auto plugin = startInstance(context, kRate, kBlock);
    vst2::AEffect* effect = &plugin->effect();
    Buffers<Sample> buffers(effect->numInputs, effect->numOutputs, kBlock);
    Music music(kRate, context.options.seed);
    Levels levels;
    long calls = 0;

    enum class Input { Music, Silence, Denormal };
    const auto block = [&](Input input) {
        if (input == Input::Music) music.fill(buffers.in(), buffers.inputs(), 0, kBlock);
        else if (input == Input::Silence) buffers.fillInputs(Sample(0), 0, kBlock);
        else buffers.fillInputs(std::numeric_limits<Sample>::denorm_min() * Sample(3), 0, kBlock);
        buffers.markOutputs(kBlock);
        double cost;
        {
            watch::Armed armed;
            const double start = threadSeconds();
            process(effect, buffers.in(), buffers.out(), kBlock);
            cost = threadSeconds() - start;
        }
        levels.add(buffers.out(), buffers.outputs(), 0, kBlock, context.options.bound);
        ++calls;
        heartbeat.beat();
        return cost;
    };

    for (int i = 0; i < 20; ++i) block(Input::Music);  // first-use work happens here, uncounted
    watch::reset();

    // Steady load: the median, and the worst block as the smallest of the
    // rounds' worst, so one interruption of the whole process cannot decide it.
    const int rounds = 5, perRound = context.count(100, 20);
    std::vector<double> steady;
    double worst = std::numeric_limits<double>::infinity();
    for (int r = 0; r < rounds; ++r) {
        double roundWorst = 0.0;
        for (int i = 0; i < perRound; ++i) {
            const double cost = block(Input::Music);
            steady.push_back(cost);
            roundWorst = std::max(roundWorst, cost);
        }
        worst = std::min(worst, roundWorst);
    }
    const double normal = median(steady);

    const int repeats = context.count(7, 3);
    std::vector<double> afterSwitchOn, afterSilence, denormal;
    for (int k = 0; k < repeats; ++k) {
        // Switching is the business of the host's other thread: not counted.
        plugin->stopProcess();
        plugin->setActive(false);
        plugin->setActive(true);
        plugin->startProcess();
        afterSwitchOn.push_back(block(Input::Music));
        for (int i = 0; i < static_cast<int>(kRate / kBlock); ++i) block(Input::Silence);
        afterSilence.push_back(block(Input::Music));
        for (int i = 0; i < 4; ++i) denormal.push_back(block(Input::Denormal));
        block(Input::Music);
    }

    // Parameter writes arrive on the audio thread in many hosts (automation).
    // The block right after a write is set against the blocks that follow it
    // at the same setting, so a costlier setting is not mistaken for a
    // costly write; the steady cost at the setting still counts against the
    // median above.
    std::mt19937 random = context.random(51);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    double worstParameter = 0.0, worstSetting = 0.0;
    int worstIndex = -1;
    for (int p = 0; p < std::min(plugin->numParams(), 64); ++p) {
        std::vector<double> ratios;
        for (int k = 0; k < repeats; ++k) {
            const float value = unit(random);
            {
                watch::Armed armed;
                plugin->setParameter(p, value);
            }
            const double first = block(Input::Music);
            std::vector<double> after;
            for (int i = 0; i < 4; ++i) after.push_back(block(Input::Music));
            ratios.push_back(first / median(after));
            worstSetting = std::max(worstSetting, median(after));
        }
        report.detail(format("parameter %d: the block after a write costs %.2fx the next ones", p, median(ratios)));
        if (median(ratios) > worstParameter) {
            worstParameter = median(ratios);
            worstIndex = p;
        }
    }
    const watch::Counts counted = watch::counts();
    markAudioThread(false);

    const double limit = context.options.blockRatio;
    const auto ratio = [&](const char* what, double cost) {
        const double r = normal > 0.0 ? cost / normal : 0.0;
        if (r > limit) report.fail(format("%s costs %.1fx a median block (limit %.1fx)", what, r, limit));
        return r;
    };
    const double rWorst = ratio("the worst steady block", worst);
    const double rSwitchOn = ratio("the first block after switch-on", median(afterSwitchOn));
    const double rSilence = ratio("the first music block after 1 s of silence", median(afterSilence));
    const double rDenormal = ratio("a block of denormal input", median(denormal));
    const double rSetting = ratio("steady processing at a random setting", worstSetting);
    double rParameter = 0.0;
    if (worstIndex >= 0) {
        rParameter = worstParameter;
        if (rParameter > limit)
            report.fail(format("the block after writing parameter %d costs %.1fx the blocks after it (limit %.1fx)",
                               worstIndex, rParameter, limit));
    }
    if (!levels.clean())
        report.fail(format("%ld non-finite, %ld beyond the bound, %ld not written", levels.nonFinite,
                           levels.overBound, levels.unwritten));
    report.figure(format("%s, %d frames at %.1f kHz: median block %.3f ms; worst %.2fx, after switch-on %.2fx, "
                         "at random settings %.2fx, after a parameter write %.2fx (against the next blocks), after silence %.2fx, "
                         "denormal input %.2fx",
                         precisionName<Sample>(), kBlock, kRate / 1000, normal * 1000, rWorst, rSwitchOn, rSetting,
                         rParameter, rSilence, rDenormal));
    if (watch::available()) {
        if (counted.allocations > 0 || counted.locks > 0)
            report.fail(format("the audio thread allocated %ld times and took %ld locks, waits or sleeps",
                               counted.allocations, counted.locks));
        report.figure(format("audio thread: %ld allocations, %ld locks in %ld calls", counted.allocations,
                             counted.locks, calls));
    } else {
        report.figure(format("allocations and locks %s", watch::method()));
    }
}

}  // namespace

void timingBlocks(Context& context, Report& report) {
    auto probe = context.create();
    if (supports<float>(&probe->effect()))
        measure<float>(context, report);
    else
        measure<double>(context, report);
}

}  // namespace stress
