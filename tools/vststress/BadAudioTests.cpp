// Input no plug-in should have to see but every plug-in does see sooner or
// later: a burst of it in the middle of music. The output must stay finite
// and within the bound throughout, and return to what an undisturbed twin
// plays within the recovery time once the music is back.
#include <algorithm>
#include <cmath>
#include <limits>

#include "tools/vststress/Tests.h"

namespace stress {

namespace {

constexpr double kRate = 48000.0;
constexpr int kBlock = 480;         // 10 ms
constexpr double kLead = 0.25;      // seconds of music before the burst
constexpr double kBurst = 0.1;      // seconds of bad input
constexpr double kSquare = 0.5;     // seconds of full-scale square
constexpr double kSettled = 0.25;   // seconds the output must stay with the twin
constexpr double kTolerance = 1e-3; // -60 dBFS

enum class Shape { Burst, OneSample, Square };

struct Kind {
    const char* name;
    double value;  // 0 for denormal: the precision's own smallest values
    Shape shape;
};

const Kind kKinds[] = {
    {"NaN", std::numeric_limits<double>::quiet_NaN(), Shape::Burst},
    {"one NaN sample", std::numeric_limits<double>::quiet_NaN(), Shape::OneSample},
    {"+inf", std::numeric_limits<double>::infinity(), Shape::Burst},
    {"-inf", -std::numeric_limits<double>::infinity(), Shape::Burst},
    {"1e10", 1e10, Shape::Burst},
    {"1e30", 1e30, Shape::Burst},
    {"3.4e38", 3.4e38, Shape::Burst},
    {"+32767", 32767.0, Shape::Burst},
    {"-32767", -32767.0, Shape::Burst},
    {"denormals", 0.0, Shape::Burst},
    {"full-scale square", 1.0, Shape::Square},
};

template <typename Sample>
Sample badSample(const Kind& kind, long frame) {
    if (kind.shape == Shape::Square) return (frame / 480) % 2 == 0 ? Sample(1) : Sample(-1);  // 50 Hz
    if (kind.value == 0.0) return std::numeric_limits<Sample>::denorm_min() * Sample(frame % 64 + 1);
    return static_cast<Sample>(kind.value);
}

struct Run {
    Levels levels;
    double recovery = -1.0;  // seconds after the burst's end; -1 if never
    double lastDifference = 0.0;  // largest in the last block rendered
    double rendered = 0.0;        // seconds rendered after the burst
};

// Renders the music, replacing frames [start, end) with the bad input, until
// the output has stayed with the twin's for kSettled seconds or the limit
// has passed. With no twin it renders the twin itself (kept in `twin`).
template <typename Sample>
Run renderAgainst(vhost::Plugin& plugin, const Kind* kind, std::vector<Sample>& twin, long total, double bound,
                  std::uint32_t seed) {
    vst2::AEffect* effect = &plugin.effect();
    Buffers<Sample> buffers(effect->numInputs, effect->numOutputs, kBlock);
    Music music(kRate, seed);
    const long start = static_cast<long>(kLead * kRate);
    const long end = kind == nullptr ? start
                     : kind->shape == Shape::OneSample ? start + 1
                                                       : start + static_cast<long>((kind->shape == Shape::Square ? kSquare : kBurst) * kRate);
    const int channels = buffers.outputs();
    Run run;
    long lastApart = end;  // the last frame at which the output was not yet back
    for (long at = 0; at < total; at += kBlock) {
        run.rendered = static_cast<double>(at + kBlock - end) / kRate;
        music.fill(buffers.in(), buffers.inputs(), 0, kBlock);
        if (kind != nullptr)
            for (long f = std::max(at, start); f < std::min(at + kBlock, end); ++f)
                for (int c = 0; c < buffers.inputs(); ++c) buffers.in()[c][f - at] = badSample<Sample>(*kind, f);
        buffers.markOutputs(kBlock);
        process(effect, buffers.in(), buffers.out(), kBlock);
        run.levels.add(buffers.out(), buffers.outputs(), 0, kBlock, bound);
        run.lastDifference = 0.0;
        for (int c = 0; c < channels; ++c)
            for (int i = 0; i < kBlock; ++i) {
                const std::size_t slot = (static_cast<std::size_t>(at) + i) * channels + c;
                if (kind == nullptr) {
                    twin[slot] = buffers.out()[c][i];
                    continue;
                }
                const double d = std::fabs(static_cast<double>(buffers.out()[c][i]) - static_cast<double>(twin[slot]));
                if (at + i >= end && !(d <= kTolerance)) lastApart = at + i;
                if (!(d <= run.lastDifference)) run.lastDifference = std::isfinite(d) ? d : INFINITY;
            }
        if (kind != nullptr && at + kBlock - lastApart > static_cast<long>(kSettled * kRate)) {
            run.recovery = static_cast<double>(lastApart - end + 1) / kRate;
            if (lastApart == end) run.recovery = 0.0;
            break;
        }
    }
    return run;
}

}  // namespace

void audioBadInput(Context& context, Report& report) {
    Watchdog::Heartbeat heartbeat(context.watchdog, "main");
    const double limit = context.options.recoverSeconds;
    const double longestBurst = std::max(kBurst, kSquare);
    const long total = static_cast<long>((kLead + longestBurst + limit + kSettled + 0.05) * kRate) / kBlock * kBlock;
    double slowest = 0.0;
    const char* slowestName = "";
    int runs = 0;
    auto probe = context.create();
    forEachPrecision(probe->effect(), [&](auto sample) {
        using Sample = decltype(sample);
        auto reference = startInstance(context, kRate, kBlock);
        std::vector<Sample> twin(static_cast<std::size_t>(total) *
                                 static_cast<std::size_t>(std::max(reference->numOutputs(), 1)));
        renderAgainst<Sample>(*reference, nullptr, twin, total, context.options.bound, context.options.seed);
        for (const Kind& kind : kKinds) {
            // A short run (sanitizer builds, Wine) gives the second precision
            // only the non-finite kinds, the first four.
            if (kIsDouble<Sample> && context.options.scale < 0.5 && supports<float>(&probe->effect()) &&
                &kind - kKinds >= 4)
                continue;
            auto plugin = startInstance(context, kRate, kBlock);
            const Run run = renderAgainst<Sample>(*plugin, &kind, twin, total, context.options.bound,
                                                  context.options.seed);
            const char* precision = precisionName<Sample>();
            if (run.levels.nonFinite > 0)
                report.fail(format("%s (%s): %ld non-finite output samples", kind.name, precision, run.levels.nonFinite));
            if (run.levels.overBound > 0)
                report.fail(format("%s (%s): %ld samples beyond %g (peak %.3g)", kind.name, precision,
                                   run.levels.overBound, context.options.bound, run.levels.peak));
            if (run.recovery < 0.0 || run.recovery > limit)
                report.fail(format("%s (%s): output still %.3g away from the undisturbed twin's %.2f s after the "
                                   "input returned (peak %.3g)",
                                   kind.name, precision, run.lastDifference, run.rendered, run.levels.peak));
            else if (run.recovery >= slowest) {
                slowest = run.recovery;
                slowestName = kind.name;
            }
            report.detail(format("%s (%s): recovered after %.3f s, peak %.3g", kind.name, precision, run.recovery,
                                 run.levels.peak));
            ++runs;
            heartbeat.beat();
        }
    });
    report.figure(format("%d bursts in music; slowest recovery %.3f s (%s), limit %.2f s", runs, slowest,
                         slowestName, limit));
}

}  // namespace stress
