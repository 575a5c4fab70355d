// The battery's frame: the tests, what each one reports, and the context
// they share (the loaded library, the options, the watchdog).
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "tools/vsthost/PluginLoader.h"
#include "tools/vststress/Options.h"

namespace stress {

// What one test found: failures (the first few kept), and figures for the
// summary line whether it passed or not.
class Report {
public:
    void fail(const std::string& why);
    void figure(const std::string& text);
    void detail(const std::string& text);  // printed with --verbose only

    bool failed() const { return failures_ > 0; }
    std::string summary() const;
    const std::vector<std::string>& details() const { return details_; }

private:
    int failures_ = 0;
    std::vector<std::string> reasons_;
    std::vector<std::string> figures_;
    std::vector<std::string> details_;
};

// Watches threads for progress. A thread that holds a Heartbeat and stops
// beating for longer than the limit has hung: the watchdog names the test and
// the thread and ends the process with a failure.
class Watchdog {
public:
    static constexpr int kSlots = 16;

    explicit Watchdog(double hangSeconds);
    ~Watchdog();
    Watchdog(const Watchdog&) = delete;
    Watchdog& operator=(const Watchdog&) = delete;

    void setTest(const char* name) { test_.store(name, std::memory_order_relaxed); }

    class Heartbeat {
    public:
        Heartbeat(Watchdog& watchdog, const char* name);
        ~Heartbeat();
        Heartbeat(const Heartbeat&) = delete;
        Heartbeat& operator=(const Heartbeat&) = delete;
        void beat() { watchdog_.slots_[slot_].count.fetch_add(1, std::memory_order_relaxed); }

    private:
        Watchdog& watchdog_;
        int slot_;
    };

private:
    struct Slot {
        std::atomic<const char*> name{nullptr};
        std::atomic<std::uint64_t> count{0};
    };
    void run();

    double hangSeconds_;
    std::atomic<const char*> test_{""};
    std::atomic<bool> stop_{false};
    Slot slots_[kSlots];
    struct Thread;
    std::unique_ptr<Thread> thread_;
};

struct Context {
    const Options& options;
    std::shared_ptr<vhost::PluginLibrary> library;
    Watchdog& watchdog;

    // A new instance created with the battery's host; not yet opened.
    std::unique_ptr<vhost::Plugin> create() const;

    // Counts and durations scaled by --scale/--long, never below the floor.
    int count(double base, int floor = 1) const;
    double seconds(double base) const { return base * options.scale; }
    std::mt19937 random(std::uint32_t salt) const { return std::mt19937(options.seed * 7919u + salt); }
};

using Clock = std::chrono::steady_clock;
inline double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// printf-like; Windows builds use the C99 printf of mingw-w64 (gnu_printf).
#if defined(_WIN32)
std::string format(const char* pattern, ...) __attribute__((format(gnu_printf, 1, 2)));
#else
std::string format(const char* pattern, ...) __attribute__((format(printf, 1, 2)));
#endif

// The tests, in the order they run.
struct TestCase {
    const char* name;
    const char* summary;
    void (*run)(Context&, Report&);
};
const std::vector<TestCase>& allTests();

// Whether the command line selects a test.
bool selected(const Options& options, const std::string& name);

}  // namespace stress
