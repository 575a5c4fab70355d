// State as hosts move it: saved and restored into fresh instances, restored
// from the plug-in's own buffer, and restored from damaged data.
#include <cmath>
#include <cstring>
#include <limits>

#include "tools/vststress/Tests.h"

namespace stress {

namespace {

constexpr int kFrames = 512;

template <typename Sample>
std::vector<Sample> render(vhost::Plugin& plugin, std::uint32_t seed, int blocks) {
    vst2::AEffect* effect = &plugin.effect();
    Buffers<Sample> buffers(effect->numInputs, effect->numOutputs, kFrames);
    Music music(44100.0, seed);
    std::vector<Sample> rendered;
    for (int b = 0; b < blocks; ++b) {
        music.fill(buffers.in(), buffers.inputs(), 0, kFrames);
        process(effect, buffers.in(), buffers.out(), kFrames);
        for (int c = 0; c < buffers.outputs(); ++c) rendered.insert(rendered.end(), buffers.out()[c], buffers.out()[c] + kFrames);
    }
    return rendered;
}

void randomSettings(vhost::Plugin& plugin, std::mt19937& random) {
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    for (int p = 0; p < plugin.numParams(); ++p) plugin.setParameter(p, unit(random));
}

int firstDifference(const std::vector<float>& a, const std::vector<float>& b) {
    for (std::size_t i = 0; i < a.size() && i < b.size(); ++i)
        if (!(std::fabs(a[i] - b[i]) <= 1e-6f)) return static_cast<int>(i);
    return a.size() == b.size() ? -1 : static_cast<int>(std::min(a.size(), b.size()));
}

bool usesChunks(const vst2::AEffect& effect) { return (effect.flags & vst2::effFlagsProgramChunks) != 0; }

}  // namespace

void stateRoundTrip(Context& context, Report& report) {
    Watchdog::Heartbeat heartbeat(context.watchdog, "main");
    const int settings = context.count(16, 2);
    const int blocks = 4;
    std::mt19937 random = context.random(21);
    int compared = 0;
    for (int s = 0; s < settings; ++s) {
        auto original = startInstance(context, 44100.0, kFrames);
        if (!usesChunks(original->effect())) {
            report.figure("the plug-in keeps no chunks: nothing to restore");
            return;
        }
        randomSettings(*original, random);
        forEachPrecision(original->effect(), [&](auto sample) { render<decltype(sample)>(*original, 5, 1); });
        const std::vector<std::uint8_t> chunk = original->getChunk();
        const std::vector<float> expected = parameters(*original);
        if (chunk.empty()) {
            report.fail(format("setting %d: getChunk gave no data", s));
            continue;
        }
        // Two restored twins, one restored before switch-on and one after, as
        // hosts differ in that.
        auto restoreInto = [&](bool beforeSwitchOn) {
            auto twin = context.create();
            twin->open();
            twin->setSampleRate(44100.0f);
            twin->setBlockSize(kFrames);
            if (beforeSwitchOn) twin->setChunk(chunk);
            twin->setActive(true);
            twin->startProcess();
            if (!beforeSwitchOn) twin->setChunk(chunk);
            return twin;
        };
        auto first = restoreInto(s % 2 == 0);
        auto second = restoreInto(s % 2 != 0);
        for (auto* twin : {first.get(), second.get()}) {
            const int at = firstDifference(expected, parameters(*twin));
            if (at >= 0)
                report.fail(format("setting %d: parameter %d restored as %g, saved as %g", s, at,
                                   static_cast<double>(parameters(*twin)[static_cast<std::size_t>(at)]),
                                   static_cast<double>(expected[static_cast<std::size_t>(at)])));
        }
        forEachPrecision(first->effect(), [&](auto sample) {
            using Sample = decltype(sample);
            const std::vector<Sample> a = render<Sample>(*first, 99 + static_cast<std::uint32_t>(s), blocks);
            const std::vector<Sample> b = render<Sample>(*second, 99 + static_cast<std::uint32_t>(s), blocks);
            if (std::memcmp(a.data(), b.data(), a.size() * sizeof(Sample)) != 0) {
                std::size_t i = 0;
                while (i < a.size() && std::memcmp(&a[i], &b[i], sizeof(Sample)) == 0) ++i;
                report.fail(format("setting %d, %s: two instances restored from one chunk differ from sample %zu "
                                   "(%.9g against %.9g)",
                                   s, precisionName<Sample>(), i % (a.size() / 2), static_cast<double>(a[i]),
                                   static_cast<double>(b[i])));
            }
        });
        ++compared;
        heartbeat.beat();
    }
    report.figure(format("%d random settings restored twice each, parameters and %d blocks of output compared",
                         compared, blocks));
}

void stateOwnPointer(Context& context, Report& report) {
    Watchdog::Heartbeat heartbeat(context.watchdog, "main");
    const int rounds = context.count(6, 2);
    std::mt19937 random = context.random(31);
    int restored = 0;
    for (int r = 0; r < rounds; ++r) {
        auto plugin = startInstance(context, 44100.0, kFrames);
        if (!usesChunks(plugin->effect())) {
            report.figure("the plug-in keeps no chunks: nothing to restore");
            return;
        }
        randomSettings(*plugin, random);
        const std::vector<float> saved = parameters(*plugin);
        void* data = nullptr;
        const vst2::VstIntPtr size = plugin->dispatch(vst2::effGetChunk, 0, 0, &data);
        if (size <= 0 || data == nullptr) {
            report.fail("getChunk gave no data");
            return;
        }
        // Hosts hand the plug-in's own buffer straight back (undo, a copy
        // between slots of one instance) while it still holds the save.
        randomSettings(*plugin, random);
        plugin->dispatch(vst2::effSetChunk, 0, size, data);
        const std::vector<float> now = parameters(*plugin);
        const int at = firstDifference(saved, now);
        if (at >= 0)
            report.fail(format("round %d: after restoring its own buffer parameter %d is %g, the save holds %g", r, at,
                               static_cast<double>(now[static_cast<std::size_t>(at)]),
                               static_cast<double>(saved[static_cast<std::size_t>(at)])));
        else
            ++restored;
        heartbeat.beat();
    }
    report.figure(format("%d of %d restores from the plug-in's own getChunk buffer took effect", restored, rounds));
}

void stateFuzz(Context& context, Report& report) {
    Watchdog::Heartbeat heartbeat(context.watchdog, "main");
    const int count = context.count(1500, 60);
    std::mt19937 random = context.random(41);
    auto plugin = startInstance(context, 44100.0, 64);
    if (!usesChunks(plugin->effect())) {
        report.figure("the plug-in keeps no chunks: nothing to restore");
        return;
    }
    randomSettings(*plugin, random);
    const std::vector<std::uint8_t> base = plugin->getChunk();
    if (base.empty()) {
        report.fail("getChunk gave no data");
        return;
    }
    // Values a damaged float or double field may hold.
    const float kFloats[] = {std::numeric_limits<float>::quiet_NaN(), -std::numeric_limits<float>::quiet_NaN(),
                             std::numeric_limits<float>::infinity(), -std::numeric_limits<float>::infinity(),
                             std::numeric_limits<float>::max(), -std::numeric_limits<float>::max(),
                             std::numeric_limits<float>::denorm_min(), 1e30f, -1e10f, 32767.0f};
    const double kDoubles[] = {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity(),
                               -std::numeric_limits<double>::max(), 1e300};
    long nonFinite = 0, badTexts = 0, outOfRange = 0;
    Levels levels;
    int tried = 0;
    for (int k = 0; k < count; ++k) {
        std::vector<std::uint8_t> chunk = base;
        const int kind = k % 6;
        if (kind == 0) {
            chunk.resize(static_cast<std::size_t>(k / 6) % base.size());  // every truncation in turn
        } else if (kind == 1) {
            for (int flips = 1 + static_cast<int>(random() % 8); flips > 0; --flips)
                chunk[random() % chunk.size()] ^= static_cast<std::uint8_t>(1u << (random() % 8));
        } else if (kind == 2 && chunk.size() >= 4) {
            const float value = kFloats[random() % std::size(kFloats)];
            std::memcpy(&chunk[4 * (random() % (chunk.size() / 4))], &value, 4);
        } else if (kind == 3 && chunk.size() >= 8) {
            const double value = kDoubles[random() % std::size(kDoubles)];
            std::memcpy(&chunk[8 * (random() % (chunk.size() / 8))], &value, 8);
        } else if (kind == 4) {
            chunk.resize(random() % (2 * base.size() + 1));
            for (auto& byte : chunk) byte = static_cast<std::uint8_t>(random());
        } else {
            for (int extra = 1 + static_cast<int>(random() % 64); extra > 0; --extra)
                chunk.push_back(static_cast<std::uint8_t>(random()));
        }
        plugin->setChunk(chunk);
        for (int p = 0; p < plugin->numParams(); ++p) {
            const float value = plugin->getParameter(p);
            if (!std::isfinite(value)) {
                if (nonFinite++ == 0)
                    report.fail(format("parameter %d is %g after restoring a damaged chunk (case %d)", p,
                                       static_cast<double>(value), k));
            } else if (value < 0.0f || value > 1.0f) {
                ++outOfRange;
            }
            if (!parameterText(*plugin, vst2::effGetParamDisplay, p)) ++badTexts;
        }
        forEachPrecision(plugin->effect(), [&](auto sample) {
            using Sample = decltype(sample);
            vst2::AEffect* effect = &plugin->effect();
            Buffers<Sample> buffers(effect->numInputs, effect->numOutputs, 64);
            Music music(44100.0, static_cast<std::uint32_t>(k));
            music.fill(buffers.in(), buffers.inputs(), 0, 64);
            buffers.markOutputs(64);
            process(effect, buffers.in(), buffers.out(), 64);
            levels.add(buffers.out(), buffers.outputs(), 0, 64, context.options.bound);
        });
        ++tried;
        heartbeat.beat();
    }
    if (nonFinite > 1) report.fail(format("%ld non-finite parameter reads in all", nonFinite));
    if (badTexts > 0) report.fail(format("%ld parameter displays without a terminator", badTexts));
    if (!levels.clean())
        report.fail(format("output after damaged chunks: %ld non-finite, %ld beyond the bound, %ld not written",
                           levels.nonFinite, levels.overBound, levels.unwritten));
    report.figure(format("%d damaged chunks (truncated, bit flips, non-finite fields, random, extended)", tried));
    if (outOfRange > 0) report.figure(format("%ld parameter reads outside 0..1", outOfRange));
}

}  // namespace stress
