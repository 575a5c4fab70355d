#include "tools/vststress/Battery.h"

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "tools/vststress/StressHost.h"
#include "tools/vststress/Tests.h"

namespace stress {

std::string format(const char* pattern, ...) {
    char buffer[512];
    va_list args;
    va_start(args, pattern);
    std::vsnprintf(buffer, sizeof buffer, pattern, args);
    va_end(args);
    return buffer;
}

void Report::fail(const std::string& why) {
    if (failures_++ < 3) reasons_.push_back(why);
    details_.push_back("failed: " + why);
}

void Report::figure(const std::string& text) { figures_.push_back(text); }

void Report::detail(const std::string& text) { details_.push_back(text); }

std::string Report::summary() const {
    std::string text;
    for (const std::string& reason : reasons_) text += (text.empty() ? "" : "; ") + reason;
    if (failures_ > static_cast<int>(reasons_.size()))
        text += format(" (and %d more)", failures_ - static_cast<int>(reasons_.size()));
    for (const std::string& figure : figures_) text += (text.empty() ? "" : "; ") + figure;
    return text;
}

struct Watchdog::Thread {
    std::thread thread;
};

Watchdog::Watchdog(double hangSeconds) : hangSeconds_(hangSeconds), thread_(std::make_unique<Thread>()) {
    thread_->thread = std::thread([this] { run(); });
}

Watchdog::~Watchdog() {
    stop_.store(true);
    thread_->thread.join();
}

void Watchdog::run() {
    std::uint64_t seen[kSlots] = {};
    Clock::time_point since[kSlots];
    for (auto& t : since) t = Clock::now();
    while (!stop_.load()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        for (int i = 0; i < kSlots; ++i) {
            const char* name = slots_[i].name.load(std::memory_order_acquire);
            const std::uint64_t count = slots_[i].count.load(std::memory_order_relaxed);
            if (name == nullptr || count != seen[i]) {
                seen[i] = count;
                since[i] = Clock::now();
                continue;
            }
            if (secondsSince(since[i]) > hangSeconds_) {
                std::printf("FAIL  the %s thread made no progress for %.0f s: hung\n", name, hangSeconds_);
                std::printf("vststress: hung in %s\n", test_.load(std::memory_order_relaxed));
                std::fflush(stdout);
                std::_Exit(1);
            }
        }
    }
}

Watchdog::Heartbeat::Heartbeat(Watchdog& watchdog, const char* name) : watchdog_(watchdog), slot_(0) {
    for (int i = 0; i < kSlots; ++i) {
        const char* expected = nullptr;
        if (watchdog_.slots_[i].name.compare_exchange_strong(expected, name, std::memory_order_acq_rel)) {
            slot_ = i;
            return;
        }
    }
    std::fprintf(stderr, "vststress: more than %d watched threads\n", kSlots);
    std::abort();
}

Watchdog::Heartbeat::~Heartbeat() {
    watchdog_.slots_[slot_].count.fetch_add(1, std::memory_order_relaxed);
    watchdog_.slots_[slot_].name.store(nullptr, std::memory_order_release);
}

std::unique_ptr<vhost::Plugin> Context::create() const { return vhost::Plugin::create(library, &hostCallback); }

int Context::count(double base, int floor) const {
    const double scaled = std::round(base * options.scale);
    return scaled < floor ? floor : static_cast<int>(scaled);
}

const std::vector<TestCase>& allTests() {
    static const std::vector<TestCase> tests = {
        {"lifecycle.cycles", "create, open, resume, process, suspend, close, in the orders hosts use; nothing leaked",
         &lifecycleCycles},
        {"lifecycle.threads", "several threads creating, processing and closing instances at once", &lifecycleThreads},
        {"process.formats", "every rate 8 to 384 kHz x block sizes 1 to 8192, both precisions", &processFormats},
        {"process.settings", "every rate at the lowest, highest and random settings: finite, bounded, never stuck",
         &processSettings},
        {"process.host-sizes", "sizes varying per call beyond the declared maximum, empty and negative counts",
         &processHostSizes},
        {"state.round-trip", "random settings -> chunk -> fresh instances: same parameters, same output",
         &stateRoundTrip},
        {"state.own-pointer", "restoring from the pointer the plug-in's own getChunk returned", &stateOwnPointer},
        {"state.fuzz", "truncated, bit-flipped and random chunks: no crash, no non-finite parameter",
         &stateFuzz},
        {"audio.bad-input", "NaN, inf, huge, denormal and full-scale input: finite, bounded, recovers",
         &audioBadInput},
        {"timing.blocks", "worst block, first block, after a parameter write, after silence; no allocation or lock",
         &timingBlocks},
        {"threads.concurrent", "audio, editor, parameter and chunk threads at once, with a watchdog",
         &threadsConcurrent},
    };
    return tests;
}

std::unique_ptr<vhost::Plugin> startInstance(const Context& context, double sampleRate, int blockSize) {
    setHostFormat(sampleRate, blockSize);
    auto plugin = context.create();
    plugin->open();
    plugin->setSampleRate(static_cast<float>(sampleRate));
    plugin->setBlockSize(blockSize);
    plugin->setActive(true);
    plugin->startProcess();
    return plugin;
}

std::vector<float> parameters(vhost::Plugin& plugin) {
    std::vector<float> values;
    for (int i = 0; i < plugin.numParams(); ++i) values.push_back(plugin.getParameter(i));
    return values;
}

bool parameterText(vhost::Plugin& plugin, vst2::VstInt32 opcode, int index) {
    // Far beyond the documented 8 characters: only a missing terminator or a
    // runaway copy is a fault here. Cleared first, as hosts do, so a plug-in
    // that answers nothing passes.
    char text[1024];
    std::memset(text, 0x55, sizeof text);
    text[0] = '\0';
    plugin.dispatch(opcode, index, 0, text);
    return std::memchr(text, 0, sizeof text) != nullptr;
}

bool selected(const Options& options, const std::string& name) {
    const auto matches = [&](const std::vector<std::string>& patterns) {
        for (const std::string& p : patterns) {
            if (p == name) return true;
            if (!p.empty() && p.back() == '.' && name.compare(0, p.size(), p) == 0) return true;
        }
        return false;
    };
    if (!options.only.empty() && !matches(options.only)) return false;
    return !matches(options.skip);
}

}  // namespace stress
