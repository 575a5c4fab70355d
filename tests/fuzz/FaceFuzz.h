// What the call-sequence fuzzers of the VST 3, CLAP and LV2 faces share: the
// invariants and the known faults whose checks wait for their fix, the
// pattern that marks an output nobody wrote, the signals, values and stream
// behaviours a host may hand over, a display to open editors in, a clock the
// host moves, and an audio thread for the threaded replay.
//
// Each face's harness decodes its input into host calls in the format's own
// terms and reaches the face only through the exported entry (GetPluginFactory,
// clap_entry, lv2_descriptor / lv2ui_descriptor).
#pragma once

#include <atomic>
#include <cmath>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <functional>
#include <limits>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "ByteReader.h"

namespace facefuzz {

using fuzz::ByteReader;

// ---------------------------------------------------------------- invariants

// Faults filed and being fixed (issues 22 and 23). Their checks run on every
// input; while a fault is listed here a violation is counted and reported at
// exit instead of stopping the run. TONARVO_FUZZ_STRICT=<name>[,<name>...]
// (or "all") makes them fatal: remove a name once its fix is in.
// Faults a check here found that are known and not yet mended: counted and
// reported at exit instead of stopping the run (TONARVO_FUZZ_STRICT=<name>
// stops at them). Empty: every check stops the run.
inline constexpr const char* kKnownFaults[] = {""};

inline bool listed(const char* list, const char* name) {
    if (list == nullptr) return false;
    const std::string all(list), wanted(name);
    if (all == "all") return true;
    std::size_t start = 0;
    while (start <= all.size()) {
        const std::size_t end = std::min(all.find(',', start), all.size());
        if (all.compare(start, end - start, wanted) == 0) return true;
        start = end + 1;
    }
    return false;
}

inline bool isKnownFault(const char* name) {
    for (const char* known : kKnownFaults)
        if (std::strcmp(known, name) == 0) return true;
    return false;
}

struct KnownFaultCounts {
    std::atomic<std::uint64_t> count[std::size(kKnownFaults)]{};
    ~KnownFaultCounts() {
        for (std::size_t k = 0; k < std::size(kKnownFaults); ++k)
            if (const std::uint64_t n = count[k].load())
                std::fprintf(stderr, "known fault %s: seen %llu times (TONARVO_FUZZ_STRICT=%s stops at it)\n",
                             kKnownFaults[k], static_cast<unsigned long long>(n), kKnownFaults[k]);
    }
};
inline KnownFaultCounts gKnownFaultCounts;

[[noreturn]] inline void fail(const char* invariant, const std::string& detail) {
    std::fprintf(stderr, "\n==== invariant broken: %s\n     %s\n", invariant, detail.c_str());
    std::fflush(stderr);
    __builtin_trap();
}

// An invariant: a violation stops the fuzzer with its name, unless it is a
// known fault nobody asked to be strict about.
inline void check(bool ok, const char* invariant, const std::string& detail = {}) {
    if (ok) return;
    for (std::size_t k = 0; k < std::size(kKnownFaults); ++k)
        if (std::strcmp(kKnownFaults[k], invariant) == 0) {
            static const char* const strict = std::getenv("TONARVO_FUZZ_STRICT");
            if (listed(strict, invariant)) fail(invariant, detail);
            gKnownFaultCounts.count[k]++;
            return;
        }
    fail(invariant, detail);
}

// TONARVO_FUZZ_TRACE=1 prints the calls an input makes, for reading a
// reproducer.
inline bool tracing() {
    static const bool on = std::getenv("TONARVO_FUZZ_TRACE") != nullptr;
    return on;
}
#define FACE_TRACE(...)                                  \
    do {                                                 \
        if (facefuzz::tracing()) std::fprintf(stderr, __VA_ARGS__); \
    } while (0)

inline std::string describe(const char* format, double a = 0, double b = 0, double c = 0) {
    char text[256];
    std::snprintf(text, sizeof text, format, a, b, c);
    return text;
}

// ---------------------------------------------------------------- audio

// Outputs are filled with a NaN of this payload before each block; the effect
// never makes it, so any left afterwards is a sample nobody wrote.
inline constexpr std::uint32_t kUnwritten32 = 0x7FA0DEADu;
inline constexpr std::uint64_t kUnwritten64 = 0x7FF4DEADDEADBEEFull;

template <typename Sample>
void markUnwritten(Sample* samples, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) {
        if constexpr (sizeof(Sample) == 4)
            std::memcpy(&samples[i], &kUnwritten32, 4);
        else
            std::memcpy(&samples[i], &kUnwritten64, 8);
    }
}

template <typename Sample>
bool isUnwritten(Sample x) {
    if constexpr (sizeof(Sample) == 4) {
        std::uint32_t bits;
        std::memcpy(&bits, &x, 4);
        return bits == kUnwritten32;
    } else {
        std::uint64_t bits;
        std::memcpy(&bits, &x, 8);
        return bits == kUnwritten64;
    }
}

// Every sample of an output the host handed over: written, and finite. In
// place the output starts as the input (`input`, as it was): a non-finite
// sample still holding the input's bits is one nobody wrote.
template <typename Sample>
void checkOutput(const Sample* samples, std::size_t n, const char* unwritten, const char* nonFinite,
                 const Sample* input = nullptr) {
    for (std::size_t i = 0; i < n; ++i) {
        const bool finite = std::isfinite(samples[i]);
        const bool kept = input && !finite && std::memcmp(&samples[i], &input[i], sizeof(Sample)) == 0;
        if ((!input && isUnwritten(samples[i])) || kept) {
            check(false, unwritten, describe("sample %.0f of %.0f never written", static_cast<double>(i),
                                             static_cast<double>(n)));
            return;
        }
        if (!finite) {
            check(false, nonFinite, describe("sample %.0f of %.0f is not finite", static_cast<double>(i),
                                             static_cast<double>(n)));
            return;
        }
    }
}

// An input signal of one of the kinds a host may send, from a seed.
template <typename Sample>
void fillInput(Sample* samples, std::size_t n, std::uint8_t kind, std::uint32_t seed) {
    std::uint32_t state = seed * 2654435761u + 1;
    const auto noise = [&state] {
        state = state * 1664525u + 1013904223u;
        return static_cast<double>(state >> 8) / 8388608.0 - 1.0;
    };
    for (std::size_t i = 0; i < n; ++i) {
        const double t = static_cast<double>(i + seed % 977);
        double x = 0.0;
        switch (kind % 8) {
            case 0: x = 0.0; break;
            case 1: x = 0.7 * std::sin(t * 0.031) + 0.2 * std::sin(t * 0.77); break;
            case 2: x = noise(); break;
            case 3: x = (i / 37) % 2 ? 1.0 : -1.0; break;
            case 4: x = i == 0 ? 1.0 : 0.0; break;
            case 5: x = noise() > 0 ? 1e30 : -3000.0; break;
            case 6: {
                const double r = noise();
                x = r > 0.9 ? std::numeric_limits<double>::quiet_NaN() : r < -0.9 ? -INFINITY : r;
                break;
            }
            default: x = 1e-41 * noise(); break;  // denormal as float
        }
        samples[i] = static_cast<Sample>(x);
    }
}

// A block's three input and three output channels, one frame longer than
// the block (a plug-in that writes past the end meets the sanitizer):
// inputs filled from the seed, outputs marked unwritten, or the inputs
// themselves when the host processes in place.
template <typename Sample>
struct BlockBuffers {
    BlockBuffers(std::size_t frames, std::uint8_t signal, std::uint32_t seed, bool inPlace)
        : frames(frames), inPlace(inPlace), ins(3, std::vector<Sample>(frames + 1)), outs(ins) {
        for (std::size_t c = 0; c < 3; ++c) fillInput(ins[c].data(), frames, static_cast<std::uint8_t>(signal + c), seed + c);
        before = ins;
        for (std::size_t c = 0; c < 3; ++c) {
            in[c] = ins[c].data();
            out[c] = inPlace ? in[c] : outs[c].data();
            if (!inPlace) markUnwritten(outs[c].data(), frames);
        }
    }
    // What an output written in place may keep: the input it replaced.
    const Sample* inputBefore(std::size_t c) const { return inPlace ? before[c].data() : nullptr; }
    // A plug-in reads the inputs of a block processed apart, never writes them.
    void checkInputsKept(const char* invariant) const {
        if (inPlace) return;
        for (std::size_t c = 0; c < 3; ++c)
            check(std::memcmp(ins[c].data(), before[c].data(), frames * sizeof(Sample)) == 0, invariant);
    }

    std::size_t frames;
    bool inPlace;
    std::vector<std::vector<Sample>> ins, outs, before;
    Sample* in[3];
    Sample* out[3];
};

// How far two renders of the same samples differ, for the report.
template <typename Sample>
std::string difference(const std::vector<std::uint8_t>& a, const std::vector<std::uint8_t>& b) {
    if (a.size() != b.size()) return describe("%.0f against %.0f bytes", a.size(), b.size());
    double largest = 0, at = 0;
    for (std::size_t i = 0; i + sizeof(Sample) <= a.size(); i += sizeof(Sample)) {
        Sample x, y;
        std::memcpy(&x, a.data() + i, sizeof x);
        std::memcpy(&y, b.data() + i, sizeof y);
        const double d = std::fabs(static_cast<double>(x) - static_cast<double>(y));
        if (d > largest || std::isnan(d)) {
            largest = d;
            at = static_cast<double>(i / sizeof(Sample));
        }
    }
    return describe("samples differ by up to %g (sample %.0f)", largest, at);
}

// ---------------------------------------------------------------- values

// A value for a parameter of range [minimum, maximum]: the ends, the
// default, any point inside, just outside, far outside, or not a number.
inline double pickValue(ByteReader& in, double minimum, double maximum, double defaultValue) {
    const std::uint8_t tag = in.u8();
    const double span = maximum - minimum;
    switch (tag % 16) {
        case 0: return minimum;
        case 1: return maximum;
        case 2: return defaultValue;
        case 3: return std::numeric_limits<double>::quiet_NaN();
        case 4: return INFINITY;
        case 5: return -INFINITY;
        case 6: return minimum - span * (1 + in.u8()) / 256.0;
        case 7: return maximum + span * (1 + in.u8()) / 256.0;
        case 8: return -1e300;
        case 9: return 1e308;
        case 10: return std::numeric_limits<double>::denorm_min();
        case 11: return -0.0;
        case 12: return in.read<double>();  // any bit pattern
        default: return minimum + span * in.read<std::uint16_t>() / 65535.0;
    }
}

inline bool sameBits(double a, double b) {
    std::uint64_t x, y;
    std::memcpy(&x, &a, 8);
    std::memcpy(&y, &b, 8);
    return x == y;
}

// ---------------------------------------------------------------- streams

// How a host's stream behaves: at most `piece` bytes per call, and after
// `failAt` bytes (when set) an error, or a lie about the count, or nothing
// more (a stream that ends early).
struct StreamPlan {
    enum Ending : std::uint8_t { kNone, kError, kOverReport, kNegative, kStall };
    std::uint32_t piece = 1u << 20;
    std::uint64_t failAt = UINT64_MAX;
    Ending ending = kNone;

    static StreamPlan read(ByteReader& in) {
        StreamPlan plan;
        const std::uint8_t tag = in.u8();
        const std::uint32_t pieces[] = {1, 2, 3, 7, 64, 260, 4096, 1u << 20};
        plan.piece = pieces[tag & 7];
        if ((tag >> 3) % 4 == 0) {  // one stream in four goes wrong
            plan.failAt = in.read<std::uint16_t>() % 400;
            plan.ending = static_cast<Ending>(1 + (tag >> 5) % 4);
        }
        return plan;
    }
    bool goesWrong() const { return ending != kNone; }
};

// What a state load reads: a save the harness kept, one with bytes changed,
// one cut short, one with bytes added, or any bytes.
inline std::vector<std::uint8_t> pickStateBytes(ByteReader& in, const std::vector<std::uint8_t>& saved) {
    std::vector<std::uint8_t> bytes = saved;
    switch (in.u8() % 6) {
        case 0: break;
        case 1:
            for (int k = in.u8() % 8 + 1; k > 0 && !bytes.empty(); --k) bytes[in.read<std::uint16_t>() % bytes.size()] = in.u8();
            break;
        case 2: bytes.resize(bytes.empty() ? 0 : in.read<std::uint16_t>() % bytes.size()); break;
        case 3:
            for (int k = in.u8() % 32; k > 0; --k) bytes.push_back(in.u8());
            break;
        case 4: {
            // A float or double somewhere made non-finite or huge.
            if (bytes.size() >= 8) {
                const std::size_t at = (in.read<std::uint16_t>() % (bytes.size() / 4)) * 4;
                const float specials[] = {NAN, INFINITY, -INFINITY, 3.4e38f, -1e20f, 1e-44f};
                const float f = specials[in.u8() % 6];
                if (at + 4 <= bytes.size()) std::memcpy(bytes.data() + at, &f, 4);
            }
            break;
        }
        default:
            bytes.resize(in.u8() * 4 + in.u8() % 4);
            in.bytes(bytes.data(), bytes.size());
            break;
    }
    return bytes;
}

// ---------------------------------------------------------------- environment

// The display editors open on: a mapped top-level window of the host's when
// the process has an X display (Xvfb in CI), else none (FaceFuzzX11.cpp).
namespace display {
bool available();
std::uintptr_t parentWindow();
// The windows the plug-in left inside the parent.
int childWindows();
// The editor's window inside the parent, 0 when none.
std::uintptr_t editorWindow();
// A button press (kind 0), release (1) or move (2) at (x, y) of the editor's
// window, as fractions of its size, through the X server's input path; true
// when it was sent.
bool sendPointer(std::uintptr_t window, int kind, double x, double y, unsigned button);

}  // namespace display

// A click the input chooses: where (as fractions of the window), which
// button, how many turns of the host's loop it is held, a drag, and whether
// it is released at all.
struct Click {
    double x = 0, y = 0, dx = 0, dy = 0;
    unsigned button = 1;
    int held = 1;
    bool drag = false, release = true;
    static Click read(ByteReader& in) {
        Click c;
        c.x = in.read<std::uint16_t>() / 65536.0;
        c.y = in.read<std::uint16_t>() / 65536.0;
        c.button = in.u8() % 4 == 0 ? 3 : 1;
        c.held = 1 + in.u8() % 3;
        c.drag = in.u8() & 1;
        if (c.drag) {
            c.dx = static_cast<int8_t>(in.u8()) / 256.0;
            c.dy = static_cast<int8_t>(in.u8()) / 256.0;
        }
        c.release = in.u8() % 8 != 0;  // or held to the end
        return c;
    }
    // Sends it to the editor's window, turning the host's loop as it goes.
    template <typename Turn>
    void send(Turn turn) const {
        const std::uintptr_t window = display::editorWindow();
        if (!display::sendPointer(window, 0, x, y, button)) return;
        turn(held);
        if (drag) {
            display::sendPointer(window, 2, x + dx, y + dy, button);
            turn(1);
        }
        if (release) display::sendPointer(window, 1, x + dx, y + dy, button);
        turn(2);
    }
};

// The frame clock the editor paces itself by, moved by the host (each timer
// tick it fires), and the calendar, time of day and random numbers fixed: the
// same input always takes the same path.
void installClock();
void resetClock();
void advanceClock(std::int32_t milliseconds);

// A settings folder of its own, so a user's scale setting cannot change a run.
void isolateSettings();

// One input: the environment made once (then `prepare`), the clock back at
// its start, the face's call sequence run.
template <typename Sequence>
int runInput(const std::uint8_t* data, std::size_t size, void (*prepare)() = nullptr) {
    static const bool ready = [prepare] {
        isolateSettings();
        installClock();
        if (prepare) prepare();
        return true;
    }();
    (void)ready;
    resetClock();
    ByteReader in(data, size);
    Sequence(in).run();
    return 0;
}

// ---------------------------------------------------------------- threads

// Set by the threaded replay: audio-thread calls go to a thread of their own
// while the main thread goes on, as each format allows.
inline bool gThreaded = false;

// The host's audio thread. Calls posted run in order on it (or at once
// without threads); drain() waits for all posted so far.
class AudioThread {
public:
    AudioThread() {
        if (gThreaded) worker = std::thread([this] { loop(); });
    }
    ~AudioThread() {
        if (!worker.joinable()) return;
        {
            std::lock_guard<std::mutex> lock(mutex);
            stopping = true;
        }
        wake.notify_all();
        worker.join();
    }
    AudioThread(const AudioThread&) = delete;
    AudioThread& operator=(const AudioThread&) = delete;

    void post(std::function<void()> call) {
        if (!worker.joinable()) {
            call();
            return;
        }
        {
            std::lock_guard<std::mutex> lock(mutex);
            calls.push_back(std::move(call));
        }
        wake.notify_all();
    }
    void drain() {
        if (!worker.joinable()) return;
        std::unique_lock<std::mutex> lock(mutex);
        done.wait(lock, [this] { return calls.empty() && !busy; });
    }
    bool onAudioThread() const { return !worker.joinable() || std::this_thread::get_id() == worker.get_id(); }
    bool threaded() const { return worker.joinable(); }

private:
    void loop() {
        std::unique_lock<std::mutex> lock(mutex);
        for (;;) {
            wake.wait(lock, [this] { return stopping || !calls.empty(); });
            if (calls.empty()) return;
            std::function<void()> call = std::move(calls.front());
            calls.pop_front();
            busy = true;
            lock.unlock();
            call();
            lock.lock();
            busy = false;
            if (calls.empty()) done.notify_all();
        }
    }
    std::mutex mutex;
    std::condition_variable wake, done;
    std::deque<std::function<void()>> calls;
    bool stopping = false, busy = false;
    std::thread worker;
};

// Limits that keep one input fast: steps per sequence, editors opened, and
// the largest block.
inline constexpr int kMaxSteps = 96;
inline constexpr int kMaxEditorOpens = 2;
inline constexpr std::uint32_t kMaxFrames = 4096;

// Frames for a block: none, one, a few, the announced size, just past it, or
// several times it.
inline std::uint32_t pickFrames(ByteReader& in, std::uint32_t announced) {
    const std::uint32_t a = announced == 0 || announced > kMaxFrames ? 512 : announced;
    const std::uint8_t tag = in.u8();
    std::uint32_t frames;
    switch (tag % 8) {
        case 0: frames = 0; break;
        case 1: frames = 1; break;
        case 2: frames = 1 + in.u8() % 64; break;
        case 3: frames = a; break;
        case 4: frames = a + 1 + in.u8() % 16; break;
        case 5: frames = a * (2 + tag / 64); break;
        default: frames = 1 + in.read<std::uint16_t>() % a; break;
    }
    return std::min(frames, kMaxFrames);
}

}  // namespace facefuzz
