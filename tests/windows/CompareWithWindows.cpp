// The Linux plug-in against the Windows DLL under Wine: the same input through
// the same scenarios (CrossRender.h), sample by sample. The two builds share
// every line of the effect; what differs underneath is the C runtime, whose
// sin, cos, exp, log and pow may round differently in the last bit.
//
// Exit code: 0 within the bound, 1 beyond it or on failure, 77 (skipped) when
// there is no Windows build, unless TONARVO_REQUIRE_WINDOWS is set.
#include <sys/stat.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <numbers>
#include <string>

#include "tests/windows/CrossRender.h"

namespace {

using crossrender::Audio;

// The largest difference allowed between the two renders of a double-precision
// output sample (full scale 1.0; the effect limits to +-2).
//
// Why differences arise at all: the DLL carries mingw-w64's own sin, cos, exp,
// log and pow (linked statically, not msvcrt's), and these round differently
// from glibc's for roughly 1 in 1000 arguments, by 1 ulp (exp, log, pow) and
// up to a few ulps (sin, cos). The effect calls them only to derive gains and
// filter designs from the settings and the sample rate, so a difference enters
// as a coefficient off by a few parts in 2^52 (about 1e-15 relative), which the
// filters and the 96 kHz tone-arm resonator (poles within about 1e-4 of the
// unit circle) amplify by at most about 1e4: some 1e-11 at full scale. 1e-9
// leaves two orders of magnitude above that, and is still 60 times below one
// step of 24-bit audio (2^-24 = 6e-8): a difference within it is inaudible and
// invisible in any fixed-point rendering. A real fault in the port (a wrong
// branch, a missing section, other settings) shows up at 1e-4 or more.
constexpr double kBound = 1e-9;

// Float outputs are doubles narrowed at the end; a difference within the
// bound can still move a sample that lies near a rounding boundary to the
// neighbouring float, so a float sample may in addition differ by one step.
double floatStep(double value) {
    const float f = static_cast<float>(std::fabs(value));
    return static_cast<double>(std::nextafter(f, std::numeric_limits<float>::infinity())) - static_cast<double>(f);
}

// A music-like stereo piece, deterministic: decaying plucked partials over a
// bass line, a passage of silence (the stylus's static mode), a noise burst,
// and a loud stretch that drives the slope limiter and the clip indicator.
Audio makeInput(double sampleRate, double seconds) {
    Audio audio;
    audio.frames = static_cast<std::size_t>(sampleRate * seconds);
    audio.samples.assign(2 * audio.frames, 0.0);
    std::uint32_t noise = 12345;
    for (std::size_t i = 0; i < audio.frames; ++i) {
        const double t = static_cast<double>(i) / sampleRate;
        const double beat = std::fmod(t, 0.5);
        const double pluck = std::exp(-6.0 * beat);
        const double note = 220.0 * std::pow(2.0, std::floor(std::fmod(t * 2.0, 5.0)) / 12.0);
        double left = 0.3 * pluck * (std::sin(2 * std::numbers::pi * note * t) + 0.3 * std::sin(2 * std::numbers::pi * 3 * note * t)) +
                      0.2 * std::sin(2 * std::numbers::pi * 55.0 * t);
        double right = 0.3 * pluck * std::sin(2 * std::numbers::pi * 1.5 * note * t + 0.4) + 0.2 * std::sin(2 * std::numbers::pi * 82.5 * t);
        if (t >= 1.5 && t < 2.0) left = right = 0.0;
        if (t >= 2.0 && t < 2.25) {
            noise = noise * 1664525u + 1013904223u;
            const double white = static_cast<double>(noise >> 8) / 8388608.0 - 1.0;
            left += 0.25 * white;
            right -= 0.25 * white;
        }
        if (t >= 3.0) {
            left *= 3.5;
            right *= 3.5;
        }
        // Float-representable, so both precisions see the same input.
        audio.samples[i] = static_cast<float>(left);
        audio.samples[audio.frames + i] = static_cast<float>(right);
    }
    return audio;
}

bool exists(const std::string& path) {
    struct stat info{};
    return stat(path.c_str(), &info) == 0;
}

// Distance in representable floats; meaningful for values that both came
// out of a float render.
long long floatUlps(double a, double b) {
    auto key = [](float f) {
        std::int32_t bits;
        std::memcpy(&bits, &f, 4);
        return bits < 0 ? static_cast<long long>(INT32_MIN) - bits : static_cast<long long>(bits);
    };
    return std::llabs(key(static_cast<float>(a)) - key(static_cast<float>(b)));
}

struct Difference {
    double maxAbs = 0.0, peak = 0.0;
    double maxExcess = 0.0;  // the difference the bound is checked against
    std::size_t differing = 0, samples = 0;
    long long maxUlps = 0;  // float renders only
    bool nonFinite = false;

    void merge(const Difference& other) {
        maxAbs = std::max(maxAbs, other.maxAbs);
        maxExcess = std::max(maxExcess, other.maxExcess);
        peak = std::max(peak, other.peak);
        differing += other.differing;
        samples += other.samples;
        maxUlps = std::max(maxUlps, other.maxUlps);
        nonFinite = nonFinite || other.nonFinite;
    }
    void print(const char* name) const {
        std::printf("%-22s %12.3e %10zu %10zu %9lld %7.3f\n", name, maxAbs, differing, samples, maxUlps, peak);
    }
};

Difference compare(const std::vector<double>& ours, const double* theirs, bool doublePrecision) {
    Difference d;
    d.samples = ours.size();
    for (std::size_t i = 0; i < ours.size(); ++i) {
        const double a = ours[i], b = theirs[i];
        if (!std::isfinite(a) || !std::isfinite(b)) d.nonFinite = true;
        d.peak = std::max(d.peak, std::fabs(a));
        if (a != b) ++d.differing;
        const double diff = std::fabs(a - b);
        d.maxAbs = std::max(d.maxAbs, diff);
        if (doublePrecision) {
            d.maxExcess = std::max(d.maxExcess, diff);
        } else {
            d.maxUlps = std::max(d.maxUlps, floatUlps(a, b));
            d.maxExcess = std::max(d.maxExcess, diff - floatStep(std::max(std::fabs(a), std::fabs(b))));
        }
    }
    return d;
}

}  // namespace

int main() {
    const std::string windowsDir = TONARVO_WINDOWS_BUILD_DIR;
    const std::string dll = windowsDir + "/Tonarvo.dll";
    const std::string renderer = windowsDir + "/tonarvo_render_raw.exe";
    if (!exists(dll) || !exists(renderer)) {
        std::printf("no Windows build in %s (cmake --preset windows && cmake --build --preset windows)\n",
                    windowsDir.c_str());
        return std::getenv("TONARVO_REQUIRE_WINDOWS") ? 1 : 77;
    }

    const Audio input = makeInput(44100.0, 4.0);
    const std::string inputPath = std::string(WORK_DIR) + "/cross-input.f64";
    const std::string outputPath = std::string(WORK_DIR) + "/cross-windows.f64";
    std::remove(outputPath.c_str());
    if (!crossrender::writeDoubles(inputPath, input.samples)) {
        std::printf("cannot write %s\n", inputPath.c_str());
        return 1;
    }
    const std::string command = std::string("'") + WINE_RUN + "' '" + windowsDir + "/wineprefix' '" + renderer +
                                "' '" + dll + "' '" + inputPath + "' '" + outputPath + "'";
    if (std::system(command.c_str()) != 0) {
        std::printf("the Windows render failed: %s\n", command.c_str());
        return 1;
    }
    std::vector<double> windows;
    if (!crossrender::readDoubles(outputPath, windows)) {
        std::printf("cannot read the Windows render %s\n", outputPath.c_str());
        return 1;
    }

    void* library = crossrender::openLibrary(TONARVO_PLUGIN_PATH);
    const vst2::VstPluginMainProc entry = library ? crossrender::entryOf(library) : nullptr;
    if (entry == nullptr) {
        std::printf("cannot load %s\n", TONARVO_PLUGIN_PATH);
        return 1;
    }

    bool withinBound = true;
    double largest = 0.0, worst = 0.0;
    std::size_t position = 0;
    Difference sweep;
    std::size_t sweepRendersDiffering = 0, sweepRenders = 0;
    std::printf("%-22s %12s %10s %10s %9s %7s\n", "scenario", "max |diff|", "differing", "samples", "max ulps", "peak");
    for (const crossrender::Scenario& scenario : crossrender::allScenarios(input.frames)) {
        const Audio onLinux = crossrender::render(entry, scenario, input);
        if (onLinux.samples.empty() || position + onLinux.samples.size() > windows.size()) {
            std::printf("%s: a render is missing\n", scenario.name);
            return 1;
        }
        const Difference d = compare(onLinux.samples, windows.data() + position, scenario.doublePrecision);
        position += onLinux.samples.size();
        if (d.nonFinite) {
            std::printf("%s: non-finite samples\n", scenario.name);
            return 1;
        }
        largest = std::max(largest, d.maxAbs);
        worst = std::max(worst, d.maxExcess);
        if (std::string(scenario.name) == "sweep") {
            ++sweepRenders;
            if (d.differing > 0) ++sweepRendersDiffering;
            sweep.merge(d);
            continue;
        }
        d.print(scenario.name);
        // A silent render would compare nothing.
        if (d.peak < 0.05) {
            std::printf("%s: the render is nearly silent\n", scenario.name);
            withinBound = false;
        }
    }
    if (position != windows.size()) {
        std::printf("the Windows render has %zu values, the Linux one %zu\n", windows.size(), position);
        return 1;
    }
    sweep.print("sweep (all renders)");
    std::printf("sweep: %zu of %zu settings differ at all\n", sweepRendersDiffering, sweepRenders);
    withinBound = withinBound && worst <= kBound;
    std::printf("largest difference %.3e (beyond a float rounding step: %.3e), bound %.1e: %s\n", largest, worst,
                kBound, withinBound ? "ok" : "FAILED");
    return withinBound ? 0 : 1;
}
