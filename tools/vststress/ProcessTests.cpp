// Processing in every format a host may choose: rates, block sizes, both
// precisions, and a host whose block size is not what it declared.
#include <algorithm>
#include <climits>

#include "tools/vststress/StressHost.h"
#include "tools/vststress/Tests.h"

namespace stress {

namespace {

constexpr double kRates[] = {8000,  11025, 16000,  22050,  32000,  44100, 48000,
                             88200, 96000, 176400, 192000, 352800, 384000};
constexpr int kSizes[] = {1, 2, 3, 7, 64, 127, 512, 1000, 4096, 8192};
constexpr double kReferenceRate = 48000.0;

// Outcome of one format, checked block by block. A switch-on in mid-stream
// restarts a plug-in's filters on a moving signal; what it does while it
// settles must be written, finite and bounded, but is not held against it as
// level or stuck output.
struct FormatCheck {
    Levels levels;
    Levels settling;
    bool inputsTouched = false;
    long calls = 0;
};

template <typename Sample>
void runFormat(vhost::Plugin& plugin, Music& music, int size, int frames, int settleFrames, double bound,
               FormatCheck& check) {
    vst2::AEffect* effect = &plugin.effect();
    Buffers<Sample> buffers(effect->numInputs, effect->numOutputs, size);
    for (int done = 0; done < settleFrames + frames; done += size) {
        music.fill(buffers.in(), buffers.inputs(), 0, size);
        buffers.keepInputs(size);
        buffers.markOutputs(size);
        process(effect, buffers.in(), buffers.out(), size);
        (done < settleFrames ? check.settling : check.levels).add(buffers.out(), buffers.outputs(), 0, size, bound);
        if (!buffers.inputsUntouched(size)) check.inputsTouched = true;
        ++check.calls;
    }
}

// A tenth of a second: longer than any restart of a sensible filter.
int settleFrames(double rate) { return static_cast<int>(rate / 10); }

// How the same setting behaved at 48 kHz: what another rate is held to.
struct Reference {
    double peak = 0.0;
    double stuckSeconds = 0.0;
};

Reference referenceOf(const Levels& levels) {
    return {levels.peak, static_cast<double>(levels.longestRun) / kReferenceRate};
}

// What went wrong in one format, or "" when nothing did. A plug-in that
// stays clear of the bound at 48 kHz must do so at every rate, and an output
// may not stay unchanged under music much longer than it does at 48 kHz.
std::string faults(const Levels& levels, bool inputsTouched, const Reference& reference, double rate,
                   const Options& options) {
    std::string text;
    if (levels.nonFinite > 0) text += format(" %ld non-finite", levels.nonFinite);
    if (levels.overBound > 0) text += format(" %ld beyond the bound (peak %.3g)", levels.overBound, levels.peak);
    else if (levels.atBound > 0 && reference.peak < 0.9 * options.bound)
        text += format(" %ld at the bound (peak %.3g against %.3g at 48 kHz)", levels.atBound, levels.peak,
                       reference.peak);
    const double stuck = static_cast<double>(levels.longestRun) / rate;
    if (stuck > options.stuckSeconds + 2 * reference.stuckSeconds)
        text += format(" stuck at %g for %.1f ms (%.1f ms at 48 kHz)", levels.runValue, 1000 * stuck,
                       1000 * reference.stuckSeconds);
    if (levels.unwritten > 0) text += format(" %ld not written", levels.unwritten);
    if (inputsTouched) text += " inputs changed";
    return text;
}

}  // namespace

void processFormats(Context& context, Report& report) {
    Watchdog::Heartbeat heartbeat(context.watchdog, "main");
    const int minimumFrames = context.count(512, 1);
    long calls = 0;
    int formats = 0;
    Levels all;
    auto probe = context.create();
    forEachPrecision(probe->effect(), [&](auto sample) {
        using Sample = decltype(sample);
        Reference reference;
        {
            auto plugin = startInstance(context, kReferenceRate, 512);
            Music music(kReferenceRate, context.options.seed);
            FormatCheck check;
            runFormat<Sample>(*plugin, music, 512, 16 * 512, 0, context.options.bound, check);
            reference = referenceOf(check.levels);
        }
        for (const double rate : kRates) {
            Music music(rate, context.options.seed);
            auto plugin = startInstance(context, rate, kSizes[0]);
            for (const int size : kSizes) {
                // The largest blocks cost the most at low rates: a short run
                // (sanitizer builds, Wine) takes them in one precision only.
                if (size > 1000 && context.options.scale < 0.5 && kIsDouble<Sample> && supports<float>(&probe->effect()))
                    continue;
                // The declared size is the size used: switched off, told, on.
                plugin->stopProcess();
                plugin->setActive(false);
                setHostFormat(rate, size);
                plugin->setBlockSize(size);
                plugin->setActive(true);
                plugin->startProcess();
                FormatCheck check;
                runFormat<Sample>(*plugin, music, size, std::max(size, minimumFrames), settleFrames(rate),
                                  context.options.bound, check);
                std::string wrong = faults(check.levels, check.inputsTouched, reference, rate, context.options);
                if (!check.settling.clean()) wrong += " (while settling after the switch-on)" + faults(check.settling, false, {2 * context.options.bound, 1e9}, rate, context.options);
                if (!wrong.empty())
                    report.fail(format("%.0f Hz, blocks of %d, %s:%s", rate, size, precisionName<Sample>(),
                                       wrong.c_str()));
                all.merge(check.levels);
                calls += check.calls;
                ++formats;
                heartbeat.beat();
            }
        }
    });
    report.figure(format("%d formats (%zu rates x %zu sizes x precisions), %ld calls, peak %.3g", formats,
                         std::size(kRates), std::size(kSizes), calls, all.peak));
}

void processSettings(Context& context, Report& report) {
    Watchdog::Heartbeat heartbeat(context.watchdog, "main");
    constexpr int kBlock = 512;
    const double seconds = std::max(0.05, context.seconds(0.1));
    std::mt19937 random = context.random(13);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    int runs = 0;
    Levels all;
    // Every control at its lowest, at its highest, and two random mixes.
    for (int setting = 0; setting < 4; ++setting) {
        std::vector<float> values;
        auto probe = context.create();
        for (int p = 0; p < probe->numParams(); ++p)
            values.push_back(setting == 0 ? 0.0f : setting == 1 ? 1.0f : unit(random));
        Reference reference;
        const auto runAt = [&](double rate) {
            auto plugin = startInstance(context, rate, kBlock);
            for (int p = 0; p < plugin->numParams(); ++p) plugin->setParameter(p, values[static_cast<std::size_t>(p)]);
            Music music(rate, context.options.seed + static_cast<std::uint32_t>(setting));
            FormatCheck check;
            const int frames = static_cast<int>(seconds * rate) / kBlock * kBlock + kBlock;
            if (supports<float>(&plugin->effect()))
                runFormat<float>(*plugin, music, kBlock, frames, 0, context.options.bound, check);
            else
                runFormat<double>(*plugin, music, kBlock, frames, 0, context.options.bound, check);
            heartbeat.beat();
            return check;
        };
        reference = referenceOf(runAt(kReferenceRate).levels);
        for (const double rate : kRates) {
            const FormatCheck check = runAt(rate);
            const std::string wrong = faults(check.levels, check.inputsTouched, reference, rate, context.options);
            if (!wrong.empty()) {
                std::string setTo;
                for (const float v : values) setTo += format(" %.2f", static_cast<double>(v));
                report.fail(format("%.0f Hz, setting%s:%s", rate, setTo.c_str(), wrong.c_str()));
            }
            all.merge(check.levels);
            ++runs;
        }
    }
    report.figure(format("%d runs of %.2f s (%zu rates x lowest, highest, 2 random settings), peak %.3g", runs,
                         seconds, std::size(kRates), all.peak));
}

void processHostSizes(Context& context, Report& report) {
    Watchdog::Heartbeat heartbeat(context.watchdog, "main");
    constexpr int kDeclared = 512;
    constexpr int kLargest = 4 * kDeclared;
    const int calls = context.count(300, 20);
    long empty = 0, beyond = 0;
    auto probe = context.create();
    forEachPrecision(probe->effect(), [&](auto sample) {
        using Sample = decltype(sample);
        auto plugin = startInstance(context, 48000.0, kDeclared);
        vst2::AEffect* effect = &plugin->effect();
        Buffers<Sample> buffers(effect->numInputs, effect->numOutputs, kLargest);
        Music music(48000.0, context.options.seed);
        std::mt19937 random = context.random(11);
        FormatCheck check;
        long spilled = 0, emptyTouched = 0;
        for (int k = 0; k < calls; ++k) {
            int frames;
            switch (k % 10) {
                case 0: frames = 0; break;
                case 1: frames = k % 20 == 1 ? -1 : (k % 30 == 1 ? INT_MIN : -kDeclared); break;
                case 2: case 3: case 4: frames = static_cast<int>(random() % (kLargest - kDeclared)) + kDeclared + 1; break;
                default: frames = static_cast<int>(random() % kDeclared) + 1; break;
            }
            music.fill(buffers.in(), buffers.inputs(), 0, kLargest);
            buffers.keepInputs(kLargest);
            buffers.markOutputs(kLargest);
            process(effect, buffers.in(), buffers.out(), frames);
            const int written = std::max(frames, 0);
            check.levels.add(buffers.out(), buffers.outputs(), 0, written, context.options.bound);
            // Nothing past the count, and nothing at all for an empty call.
            const long untouched = buffers.unwritten(kLargest) - buffers.unwritten(written);
            const long expected = static_cast<long>(kLargest - written) * buffers.outputs();
            if (untouched != expected) (frames <= 0 ? emptyTouched : spilled) += 1;
            if (!buffers.inputsUntouched(kLargest)) check.inputsTouched = true;
            if (frames <= 0) ++empty;
            if (frames > kDeclared) ++beyond;
            heartbeat.beat();
        }
        const std::string wrong = faults(check.levels, check.inputsTouched, Reference{}, 48000.0, context.options);
        if (!wrong.empty()) report.fail(format("%s:%s", precisionName<Sample>(), wrong.c_str()));
        if (spilled > 0) report.fail(format("%s: %ld calls wrote past their frame count", precisionName<Sample>(), spilled));
        if (emptyTouched > 0)
            report.fail(format("%s: %ld empty or negative calls wrote output", precisionName<Sample>(), emptyTouched));
    });
    report.figure(format("declared %d; %ld calls beyond it (up to %d), %ld empty or negative", kDeclared, beyond,
                         kLargest, empty));
}

}  // namespace stress
