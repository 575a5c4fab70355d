// vststress: a strict host's battery against any VST 2.4 plug-in, VST 3
// bundle or CLAP file (hosted through vsthost's loader). One line per test;
// exit status 1 when any fails, 2 on a usage error.
#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#if defined(_WIN32)
#include <windows.h>
#else
#include <unistd.h>
#endif

#include "tools/vsthost/Errors.h"
#include "tools/vststress/Battery.h"
#include "tools/vststress/RealtimeWatch.h"
#include "tools/vststress/StressHost.h"

namespace {

using namespace stress;

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define STRESS_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define STRESS_SANITIZED 1
#endif
#endif

// A crash inside the plug-in fails the test that was running and ends the
// run (its line already shows the test's name). Sanitizers report crashes
// themselves, with more to say.
std::atomic<const char*> gRunning{nullptr};

#if defined(_WIN32)
LONG WINAPI onCrash(EXCEPTION_POINTERS* info) {
    std::printf("FAIL  crashed (exception 0x%08lX)\nvststress: crashed in %s\n",
                static_cast<unsigned long>(info->ExceptionRecord->ExceptionCode), gRunning.load());
    std::fflush(stdout);
    ExitProcess(1);
}
void installCrashHandler() { SetUnhandledExceptionFilter(&onCrash); }
#elif !defined(STRESS_SANITIZED)
void onCrash(int signal) {
    char line[160];
    const int n = std::snprintf(line, sizeof line, "FAIL  crashed (signal %d)\nvststress: crashed in %s\n", signal,
                                gRunning.load());
    if (n > 0) (void)!write(STDOUT_FILENO, line, static_cast<std::size_t>(n));
    _exit(1);
}
void installCrashHandler() {
    static std::vector<char> alternate(1 << 16);
    stack_t stack{};
    stack.ss_sp = alternate.data();
    stack.ss_size = alternate.size();
    sigaltstack(&stack, nullptr);
    struct sigaction action {};
    action.sa_handler = &onCrash;
    action.sa_flags = SA_ONSTACK | SA_RESETHAND;
    for (const int s : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT}) sigaction(s, &action, nullptr);
}
#else
void installCrashHandler() {}
#endif

void describe(const std::shared_ptr<vhost::PluginLibrary>& library) {
    auto plugin = vhost::Plugin::create(library, &hostCallback);
    plugin->open();
    std::printf("plug-in: \"%s\" by \"%s\", entry %s, unique ID %d\n", plugin->effectName().c_str(),
                plugin->vendorString().c_str(), library->entryName().c_str(), plugin->uniqueId());
    std::printf("         %d in, %d out, %d parameters, flags 0x%X (%s%s%s%s)\n", plugin->numInputs(),
                plugin->numOutputs(), plugin->numParams(), static_cast<unsigned>(plugin->flags()),
                plugin->hasFlag(vst2::effFlagsCanReplacing) ? "float" : "no float",
                plugin->hasFlag(vst2::effFlagsCanDoubleReplacing) ? ", double" : "",
                plugin->hasFlag(vst2::effFlagsProgramChunks) ? ", chunks" : "",
                plugin->hasFlag(vst2::effFlagsHasEditor) ? ", editor" : "");
}

int run(const Options& options) {
    if (options.list) {
        for (const TestCase& test : allTests()) std::printf("%-20s %s\n", test.name, test.summary);
        return 0;
    }
    auto library = vhost::PluginLibrary::open(options.pluginPath);
    const bool watching = watch::attach(library->nativeHandle());
    describe(library);
    std::printf("watch:   %s\n", watch::method());
    std::printf("options: scale %g, bound %g, recovery %g s, block ratio %g, seed %u\n", options.scale, options.bound,
                options.recoverSeconds, options.blockRatio, options.seed);
    (void)watching;
    std::fflush(stdout);

    installCrashHandler();
    Watchdog watchdog(options.hangSeconds);
    Context context{options, library, watchdog};
    int passed = 0, failed = 0;
    for (const TestCase& test : allTests()) {
        if (!selected(options, test.name)) continue;
        std::printf("%-20s ", test.name);
        std::fflush(stdout);
        gRunning.store(test.name);
        watchdog.setTest(test.name);
        Report report;
        const Clock::time_point start = Clock::now();
        try {
            test.run(context, report);
        } catch (const std::exception& e) {
            report.fail(std::string("stopped: ") + e.what());
        }
        const double seconds = secondsSince(start);
        std::printf("%s  %s (%.1f s)\n", report.failed() ? "FAIL" : "PASS", report.summary().c_str(), seconds);
        if (options.verbose)
            for (const std::string& line : report.details()) std::printf("    %s\n", line.c_str());
        std::fflush(stdout);
        (report.failed() ? failed : passed) += 1;
    }
    gRunning.store("the end");
    // The library stays loaded until the process ends, as in a host: what
    // its dependencies keep until exit is then still theirs in a leak report.
    // Never destroyed, since a static's destructor would unload it before
    // the leak check reads the stacks.
    static const auto* keptLoaded = new std::shared_ptr<vhost::PluginLibrary>(library);
    (void)keptLoaded;
    std::printf("vststress: %d passed, %d failed\n", passed, failed);
    return failed == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    std::setvbuf(stdout, nullptr, _IOLBF, 1 << 14);
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::printf("%s", usageText());
            return 0;
        }
    try {
        const Options options = parseOptions(std::vector<std::string>(argv + 1, argv + argc));
        return run(options);
    } catch (const vhost::UsageError& e) {
        std::fprintf(stderr, "vststress: %s\n\n%s", e.what(), usageText());
        return 2;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "vststress: %s\n", e.what());
        return 1;
    }
}
