// The benchmark of the Windows DLL, run under Wine: the cases of the Linux
// program (BenchCases.h) timed by a small harness, since Debian's Google
// Benchmark does not build for Windows. Every round runs each case once, in
// turn, so a busy machine slows them alike; each case reports its median.
// Times are the thread's processor time, as Google Benchmark's are, so other
// programs on the machine do not count; Wine counts it in 10 ms ticks, so a
// run should last a second or so. Wall times are shown beside.
//
//   tests/windows/wine-run.sh build/windows/wineprefix build/windows/tonarvo_bench.exe
//       [--plugin PATH]... [--rounds N] [--seconds S]
//
// Without --plugin it times Tonarvo.dll beside it; several --plugin options
// time several builds side by side, each named after its folder.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <windows.h>

#include "BenchCases.h"
#include "tools/vsthost/Errors.h"

namespace {

using namespace tonarvobench;

class Stopwatch {
public:
    void start() {
        cpuStart_ = threadSeconds();
        wallStart_ = std::chrono::steady_clock::now();
    }
    void stop() {
        wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart_).count();
        cpu = threadSeconds() - cpuStart_;
    }
    double cpu = 0, wall = 0;

private:
    static double threadSeconds() {
        FILETIME created, exited, kernel, user;
        GetThreadTimes(GetCurrentThread(), &created, &exited, &kernel, &user);
        const auto seconds = [](FILETIME t) {
            return static_cast<double>((static_cast<unsigned long long>(t.dwHighDateTime) << 32) | t.dwLowDateTime) *
                   1e-7;
        };
        return seconds(kernel) + seconds(user);
    }
    double cpuStart_ = 0;
    std::chrono::steady_clock::time_point wallStart_;
};

struct Case {
    std::string name;
    double subSteps;
    std::function<void(Stopwatch&)> run;  // starts and stops the watch around what it times
    std::vector<double> cpu, wall;
    bool differs = false;
};

template <typename Sample>
Case timed(const PluginCase& plugin) {
    auto in = std::make_shared<Audio<Sample>>(hostBuffers<Sample>(input(plugin.rate, plugin.silent)));
    auto out = std::make_shared<Audio<Sample>>();
    Case c{plugin.name, subStepsOf(plugin.rate, plugin.silent), {}, {}, {}};
    c.run = [=](Stopwatch& watch) {
        PluginRun run(plugin.library, plugin.rate);
        watch.start();
        run.process(*in, *out);
        watch.stop();
    };
    // One untimed render first: it warms up and is checked bit for bit.
    Stopwatch warmUp;
    c.run(warmUp);
    c.differs = !matchesLiteral(*out, plugin.rate, plugin.silent);
    return c;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 == 1 ? v[n / 2] : 0.5 * (v[n / 2 - 1] + v[n / 2]);
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> plugins;
    int rounds = 5;
    for (int i = 1; i < argc; i += 2) {
        const std::string option = argv[i];
        const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
        if (value != nullptr && option == "--plugin")
            plugins.push_back(value);
        else if (value != nullptr && option == "--rounds")
            rounds = std::max(1, std::atoi(value));
        else if (value == nullptr || option != "--seconds" || !setInputSeconds(value)) {
            std::fprintf(stderr, "usage: %s [--plugin PATH]... [--rounds N] [--seconds S]\n", argv[0]);
            return 2;
        }
    }
    // The DLL the build ships lies beside the program.
    if (plugins.empty()) plugins.push_back((std::filesystem::path(argv[0]).parent_path() / "Tonarvo.dll").string());

    std::vector<Case> cases;
    try {
        for (const PluginCase& c : pluginCases(plugins))
            cases.push_back(c.doublePrecision ? timed<double>(c) : timed<float>(c));
    } catch (const vhost::ToolError& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    auto literalIn = std::make_shared<Audio<float>>(hostBuffers<float>(input(44100.0f, false)));
    cases.push_back({"Literal/44100", subStepsOf(44100.0f, false), [literalIn](Stopwatch& watch) {
                         Audio<float> out;
                         LiteralRun model(44100.0f);
                         watch.start();
                         model.process(*literalIn, out);
                         watch.stop();
                     }, {}, {}});
    auto floor = std::make_shared<Floor>(44100.0f);
    cases.push_back({"Floor/44100", floor->run(), [floor](Stopwatch& watch) {
                         watch.start();
                         floor->run();
                         watch.stop();
                     }, {}, {}});

    for (int r = 0; r < rounds; ++r)
        for (Case& c : cases) {
            Stopwatch watch;
            c.run(watch);
            c.cpu.push_back(watch.cpu);
            c.wall.push_back(watch.wall);
        }

    const double floorNs = median(cases.back().cpu) / cases.back().subSteps * 1e9;
    std::printf("%d rounds of %g s of input; medians of processor time (wall time beside)\n", rounds,
                inputSeconds());
    std::printf("%-32s %9s %11s %15s %8s %9s\n", "case", "ms", "realtime_x", "ns_per_substep", "x_floor", "wall_ms");
    bool differs = false;
    for (const Case& c : cases) {
        const double s = median(c.cpu), ns = s / c.subSteps * 1e9;
        std::printf("%-32s %9.0f %11.1f %15.3f %8.2f %9.0f%s\n", c.name.c_str(), s * 1e3, inputSeconds() / s, ns,
                    ns / floorNs, median(c.wall) * 1e3, c.differs ? "  output differs from the literal model" : "");
        differs = differs || c.differs;
    }
    return differs ? 1 : 0;
}
